#include "sortlib/engine/pattern_test.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/message_box.h"
#include "sortlib/device/sort_device.h"
#include "sortlib/engine/bad_block_marks.h"
#include "sortlib/engine/block_io.h"
#include "sortlib/engine/block_walk.h"
#include "sortlib/engine/fill_pattern.h"
#include "sortlib/engine/pattern_files.h"
#include "sortlib/engine/session_log.h"
#include "sortlib/engine/session_progress.h"
#include "sortlib/interface/kv_config.h"

namespace sievex {

namespace {

constexpr const char* kStartWrite = "Start Write Time:(Hour=>%H Minute=>%M Second=>%S)";
constexpr const char* kCompleteWrite = "Complete Write Time:(Hour=>%H Minute=>%M Second=>%S)";
constexpr const char* kStartRead = "Start Read Time:(Hour=>%H Minute=>%M Second=>%S)";
constexpr const char* kCompleteRead = "Complete Read Time:(Hour=>%H Minute=>%M Second=>%S)";

// The controller answers a status read with its flash reporting in; five
// tries, 200 ms apart.
bool FlashPresent(RevertSession* s) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (ReadStatusPassed(s)) return true;
    qv::SleepMs(200);
  }
  return false;
}

// After m_dwBadCount changes.
void ApplyShownCountRule(RevertSession* s) {
  if (s->m_dwBadCount >= s->m_dwPrevBadCount) SetShownBad(s, s->m_dwBadCount);
}

int Fail(RevertSession* s, uint8_t state) {
  SetState(s, state);
  return state;
}

// The pattern stream ended inside a block (stop flag or no data); the
// state is already set.
int StreamEnd(RevertSession* s) { return s->m_pDevice->m_bState; }

// One write phase; `reverse` is the inverted phase of test level 2, which
// sends no erase before writing.
int WritePhase(RevertSession* s, PercentCounter& progress, bool reverse) {
  const uint32_t group = SelectCEGroup(s);
  BeginTwoPlane(s);
  const bool eraseBeforeWrite = !reverse && s->m_pDevice->m_bPercentDone == 0;
  for (uint32_t ce = 0; ce < s->m_dwCECount; ce += group) {
    for (uint32_t block = s->m_dwStartBlock; block < s->m_dwEndBlock; block += s->m_dwPlanes) {
      progress.Count(s, s->m_dwPlanes);
      if (StopRequested(s)) return Fail(s, kStateUserBreak);
      SetCurBlock(s, block);
      if (eraseBeforeWrite) EraseBlock(s, block);
      if (IsSkippedBlock(s, block)) continue;
      if (!reverse && IsEraseBeforeWriteFlash(s)) EraseBlock(s, block);
      const int written = WriteBlock(s, block, s->m_dwPlanes);
      if (s->m_dwPatternStreamEnded) return StreamEnd(s);
      if (written) {
        if (block % 30 == 0) ReportProgress(s);
        continue;
      }
      if (!ReadStatus(s)) return Fail(s, kStateFlashError);
      LogLine(s,
              FormatText(reverse ? "<Write fail> Bad block = %lx CE=%d\n"
                                 : "<Write Fail> Bad block = %lx CE=%d\n",
                         static_cast<unsigned long>(block), s->m_bCEMask),
              kLogResults);
      s->m_dwBadCount += s->m_dwPlanes;
      ApplyShownCountRule(s);
    }
    s->m_bCEMask = static_cast<uint8_t>(s->m_bCEMask << (2 * group));
  }
  EndTwoPlane(s);
  return kPassCompleted;
}

// One read phase over every CE and block; `reverse` is the inverted phase.
int ReadPhase(RevertSession* s, PercentCounter& progress, bool reverse) {
  const uint32_t blockShare = IsPartialBlockMode(s) ? PartialSectors(s) : s->m_dwSectorsPerBlock;
  s->m_bCEMask = 0x01;
  for (uint32_t ce = 0; ce < s->m_dwCECount; ++ce) {
    for (uint32_t block = s->m_dwStartBlock; block < s->m_dwEndBlock; ++block) {
      progress.Count(s, 1);
      if (StopRequested(s)) return Fail(s, kStateUserBreak);
      if (IsSkippedBlock(s, block)) continue;
      if (IsBlockMarkedBad(s, block, 1)) {
        if (!reverse) {
          BlockState(s, ce, block) = kBlockFoundBad;
          SkipPatternData(s, 0, blockShare);
          if (s->m_dwPatternStreamEnded) return StreamEnd(s);
          LogLine(s,
                  FormatText("<Mark Bad> Bad block = %lx CE=%d\r\n",
                             static_cast<unsigned long>(block), s->m_bCEMask),
                  kLogResults);
        }
        ApplyShownCountRule(s);
        continue;
      }
      SetCurBlock(s, block);
      const int passed = VerifyBlock(s, block);
      if (s->m_dwPatternStreamEnded) return StreamEnd(s);
      if (passed) {
        EraseBlock(s, block);
        if (block % 30 == 0) ReportProgress(s);
        continue;
      }
      if (!ReadStatus(s)) return Fail(s, kStateFlashError);
      if (reverse) {
        LogLine(s,
                FormatText("<Read compare> Bad block = %lx CE=%d\n",
                           static_cast<unsigned long>(block), s->m_bCEMask),
                kLogResults);
        MarkBlockBad(s, block);
      } else {
        MarkBlockBad(s, block);
        LogLine(s,
                FormatText("<Read Compare fail> Bad block= %lx CE=%d\r\n",
                           static_cast<unsigned long>(block), s->m_bCEMask),
                kLogResults);
      }
      ++s->m_dwBadCount;
      BlockState(s, ce, block) = kBlockFoundBad;
      ApplyShownCountRule(s);
    }
    s->m_bCEMask = static_cast<uint8_t>(s->m_bCEMask << 2);
  }
  return kPassCompleted;
}

// Inverts the words of the first transfer's worth of the pattern buffer.
void InvertPattern(RevertSession* s) {
  const size_t bytes = std::min<size_t>(s->m_dwTransferBytes, s->m_PatternBufferBytes);
  uint8_t* p = s->m_pPatternBuffer.get();
  for (size_t i = 0; i + 4 <= bytes; i += 4) {
    for (size_t k = 0; k < 4; ++k) p[i + k] = static_cast<uint8_t>(~p[i + k]);
  }
}

int RunPhases(RevertSession* s, PercentCounter& progress) {
  if (!FlashPresent(s)) {
    qv::MessageBox("Flash not exist!", "Error", qv::kMbOk);
    return Fail(s, kStateFlashError);
  }
  FillPattern(s);
  SetShownBad(s, s->m_dwPrevBadCount);
  if (IsPartialBlockMode(s)) {
    const uint8_t count = s->m_pConfig->m_bPageCount;
    s->m_pPageList.reset(new uint32_t[count]);
    for (uint32_t i = 0; i < count; ++i) s->m_pPageList[i] = s->m_pConfig->m_bFirstPage + i;
  }

  SetState(s, kStateWriting);
  s->m_dwBadCount = 0;
  LogTimeLine(s, kStartWrite);
  RestartPatternFiles(s);
  int result = WritePhase(s, progress, false);
  if (result != kPassCompleted) return result;

  LogTimeLine(s, kCompleteWrite);
  LogLine(s,
          FormatText("<Erase> and <Write> result: Bad block count = %ld\n",
                     static_cast<long>(s->m_dwBadCount)),
          kLogResults);
  RestartPatternFiles(s);
  SetState(s, kStateReadVerify);
  s->m_bCEMask = 0x01;
  s->m_dwBadCount = 0;
  LogTimeLine(s, kStartRead);
  result = ReadPhase(s, progress, false);
  if (result != kPassCompleted) return result;

  LogTimeLine(s, kCompleteRead);
  LogLine(s,
          FormatText("<Read> and <Verify> result: Bad block count = %ld\n",
                     static_cast<long>(s->m_dwBadCount)),
          kLogResults);
  if (s->m_dwTestLevel != 2 || s->m_bPattern == 3) return kPassCompleted;

  LogLine(s, "Begin reverse Pattern Test\n", kLogResults);
  s->m_dwPrevBadCount = std::max(s->m_dwPrevBadCount, s->m_dwBadCount);
  s->m_dwBadCount = 0;
  SetState(s, kStateWriting);
  InvertPattern(s);
  result = WritePhase(s, progress, true);
  if (result != kPassCompleted) return result;
  LogLine(s,
          FormatText("[High] <Write> result: Bad block count = %ld\n",
                     static_cast<long>(s->m_dwBadCount)),
          kLogResults);

  SetState(s, kStateReadVerify);
  s->m_dwBadCount = 0;
  result = ReadPhase(s, progress, true);
  if (result != kPassCompleted) return result;
  LogLine(s,
          FormatText("[High] <Read> and <Compare> result: Bad block count = %ld\n",
                     static_cast<long>(s->m_dwBadCount)),
          kLogResults);
  return kPassCompleted;
}

}  // namespace

int PatternTest(RevertSession* s, uint8_t patternType) {
  if (!s->m_pIoBuffer || !s->m_pPatternBuffer || s->m_dwReady == 0) {
    SetState(s, kStateUnknownError);
    return kStateUnknownError;
  }
  s->m_bPattern = patternType;
  s->m_dwPatternRan = 1;
  uint32_t half = s->m_pDevice->m_bPercentStep / 2u;
  if (s->m_dwTestLevel == 2) half /= 2;
  PercentCounter progress(s, half);

  const int result = RunPhases(s, progress);

  EndTwoPlane(s);
  AddStageToPercent(s);
  s->m_dwPrevBadCount = s->m_dwBadCount;
  ReportProgress(s);
  return result;
}

}  // namespace sievex
