#include "sortlib/engine/session_progress.h"

#include "sortlib/device/sort_device.h"

namespace sievex {

void ReportProgress(RevertSession* s) {
  if (s->m_pfnProgress != nullptr) s->m_pfnProgress(&s->m_Progress);
}

void SetState(RevertSession* s, uint8_t state) {
  s->m_pDevice->m_bState = state;
  s->m_Progress.m_dwStatus = state;
}

void SetShownBad(RevertSession* s, uint32_t count) {
  s->m_pDevice->m_dwBadShown = count;
  s->m_Progress.m_dwBadBlocks = count;
}

void SetCurBlock(RevertSession* s, uint32_t block) {
  s->m_pDevice->m_dwCurBlock = block;
  s->m_Progress.m_dwScannedBlocks = block;
}

void SetPercent(RevertSession* s, uint32_t percent) {
  s->m_pDevice->m_dwPercent = percent;
  s->m_Progress.m_dwPercent = percent;
}

void AddStageToPercent(RevertSession* s) {
  SortDevice* d = s->m_pDevice;
  d->m_bPercentDone = static_cast<uint8_t>(d->m_bPercentDone + d->m_bPercentStep);
  SetPercent(s, d->m_bPercentDone);
}

PercentCounter::PercentCounter(const RevertSession* s, uint32_t divisor) {
  const uint32_t total = s->m_dwEndBlock * s->m_dwCECount;
  // A zero divisor cannot arise from the percent steps 20/25; guard anyway.
  threshold_ = (divisor == 0 ? 0u : total / divisor) - 1u;
}

void PercentCounter::Count(RevertSession* s, uint32_t positions) {
  counter_ += positions;
  if (counter_ > threshold_) {
    SetPercent(s, s->m_pDevice->m_dwPercent + 1);
    counter_ = 0;
  }
}

}  // namespace sievex
