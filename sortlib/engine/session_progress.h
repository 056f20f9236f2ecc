// Progress and state of a run: the device's run fields, mirrored into the
// record the callback receives, and the per-pass percent counter.
#pragma once
#include <cstdint>

#include "sortlib/engine/revert_session.h"

namespace sievex {

// Calls the caller's callback with the address of m_Progress.
void ReportProgress(RevertSession* s);

void SetState(RevertSession* s, uint8_t state);
void SetShownBad(RevertSession* s, uint32_t count);
void SetCurBlock(RevertSession* s, uint32_t block);
void SetPercent(RevertSession* s, uint32_t percent);
// A pass's stage end: m_bPercentDone += m_bPercentStep, percent follows.
void AddStageToPercent(RevertSession* s);

// The block counter of a pass: when it exceeds the threshold the percent
// grows by one and the counter restarts. The threshold is unsigned, so a
// tiny flash (T smaller than the divisor) moves only at stage ends.
class PercentCounter {
 public:
  // threshold = T / divisor - 1 with T = m_dwEndBlock * m_dwCECount.
  PercentCounter(const RevertSession* s, uint32_t divisor);
  void Count(RevertSession* s, uint32_t positions);

 private:
  uint32_t counter_ = 0;
  uint32_t threshold_;
};

}  // namespace sievex
