#include "sortlib/engine/blank_check.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/registry.h"
#include "sortlib/device/sort_device.h"
#include "sortlib/engine/bad_block_marks.h"
#include "sortlib/engine/bad_block_table.h"
#include "sortlib/engine/block_io.h"
#include "sortlib/engine/block_walk.h"
#include "sortlib/engine/session_log.h"
#include "sortlib/engine/session_progress.h"
#include "sortlib/interface/kv_config.h"

namespace sievex {

namespace {

// The "CheckBlank <%d Mark Bad> Bad block" line is formatted in two steps:
// the count first, then the block and the CE mask.
void LogMarkFound(RevertSession* s, uint32_t block) {
  std::string format = FormatText("CheckBlank <%d Mark Bad> Bad block", static_cast<int>(s->m_dwBadCount));
  format += " = %lx CE=%d\r\n";
  char line[256];
  std::snprintf(line, sizeof line, format.c_str(), static_cast<unsigned long>(block), s->m_bCEMask);
  LogLine(s, line, kLogResults);
}

// Walks every block; 2 when the walk completed.
int WalkBlocks(RevertSession* s) {
  PercentCounter progress(s, s->m_pDevice->m_bPercentStep);
  for (uint32_t ce = 0; ce < s->m_dwCECount; ++ce) {
    for (uint32_t block = s->m_dwStartBlock; block < s->m_dwEndBlock; ++block) {
      SetCurBlock(s, block);
      if (StopRequested(s)) {
        SetState(s, kStateUserBreak);
        return kStateUserBreak;
      }
      progress.Count(s, s->m_dwPlanes);
      if (IsSkippedBlock(s, block)) continue;
      if (IsBlockMarkedBad(s, block, 0)) {
        LogMarkFound(s, block);
        SetShownBad(s, s->m_dwBadCount);
        continue;
      }
      uint8_t& state = BlockState(s, ce, block);
      if (state == kBlockFoundBad) state = kBlockFoundBadUnmarked;
      if (!ReadStatus(s)) {
        SetState(s, kStateFlashError);
        return kStateFlashError;
      }
      if (s->m_dwTestLevel == 2 && !VerifyBlock(s, block)) {
        if (!ReadStatus(s)) {
          SetState(s, kStateFlashError);
          return kStateFlashError;
        }
        if (!MarkBlockBad(s, block)) {
          LogLine(s,
                  FormatText("Can not mark block %lx to bad.<Read compare>\n",
                             static_cast<unsigned long>(block)),
                  kLogResults);
          SetState(s, kStateCannotMarkBad);
          return kStateCannotMarkBad;
        }
        ++s->m_dwBadCount;
        // A block testing already found bad is counted on the reference
        // side once; only a newly found one adds to it. Recording it as
        // found bad lists it in the table without counting it again there
        // and keeps the table out of it.
        if (state == kBlockGood) ++s->m_dwPrevBadCount;
        state = kBlockFoundBad;
      }
      if (block % 30 == 0) ReportProgress(s);
    }
    s->m_bCEMask = static_cast<uint8_t>(s->m_bCEMask << 2);
  }
  return kPassCompleted;
}

}  // namespace

int CheckBlank(RevertSession* s) {
  if (!s->m_pIoBuffer || !s->m_pPatternBuffer || s->m_dwReady == 0) {
    s->m_pPageList.reset();
    SetState(s, kStateUnknownError);
    return kStateUnknownError;
  }
  // The expected content of a blank block; the pattern files are not read.
  std::memset(s->m_pPatternBuffer.get(), 0xFF,
              std::min<size_t>(s->m_dwTransferBytes, s->m_PatternBufferBytes));
  s->m_bPattern = 0xFF;

  s->m_dwPrevBadCount = s->m_dwBadCount;
  s->m_dwBadCount = 0;
  s->m_bCEMask = 0x01;
  s->m_bErrorBits = 0;
  SetState(s, kStateBlankCheck);
  SetShownBad(s, 0);

  int result = WalkBlocks(s);
  if (result == kPassCompleted) {
    SetState(s, kStateFinish);
    if (s->m_pConfig->m_dwBadTable != 0) WriteBadBlockTable(s);
    // What the user sees last is what the flash records: the marks found,
    // the blocks listed only in the table and those the blank verify marked.
    SetShownBad(s, s->m_dwBadCount);
    if (s->m_dwPatternRan != 0 && s->m_dwBadCount < s->m_dwPrevBadCount) {
      LogLine(s,
              FormatText("Bad blocks(%ld) record in flash is not equal to we tested (%ld)!\n",
                         static_cast<long>(s->m_dwBadCount), static_cast<long>(s->m_dwPrevBadCount)),
              kLogResults);
      if (qv::RegistryReadDword("SkipCannotmarkBad", 1) == 0) {
        SetState(s, kStateCannotMarkBad);
        result = kStateCannotMarkBad;
      }
    }
    LogLine(s, FormatText("Check total bad block count= %ld\n", static_cast<long>(s->m_dwBadCount)),
            kLogResults);
  }
  s->m_pPageList.reset();
  s->m_pDevice->m_bPercentDone = 100;
  SetPercent(s, 100);
  ReportProgress(s);
  return result;
}

}  // namespace sievex
