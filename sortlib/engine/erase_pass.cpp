#include "sortlib/engine/erase_pass.h"

#include "sortlib/device/sort_device.h"
#include "sortlib/device/vendor_commands.h"
#include "sortlib/engine/block_walk.h"
#include "sortlib/engine/session_log.h"
#include "sortlib/engine/session_progress.h"

namespace sievex {

namespace {

// Erases one block the way the test level asks; returns the pass result
// (2 to go on).
int EraseOne(RevertSession* s, uint32_t block) {
  if (s->m_dwTestLevel == 0) {
    // Level 0 does not judge the erase itself; only a dead controller
    // (the status read below) ends the pass.
    EraseBlock(s, block);
  } else {
    uint8_t answer[1] = {};
    if (!CmdEraseBlockChecked(VolumeOf(s), BlockSector(s, block), s->m_bCEMask, answer)) {
      const uint8_t state = ReadStatus(s) ? kStateCannotErase : kStateFlashError;
      SetState(s, state);
      return state;
    }
  }
  if (!ReadStatus(s)) {
    SetState(s, kStateFlashError);
    return kStateFlashError;
  }
  return kPassCompleted;
}

}  // namespace

int EraseAllBlock(RevertSession* s) {
  // This flash is erased block by block in the pattern pass instead.
  if (IsEraseBeforeWriteFlash(s)) return kPassCompleted;
  if (!s->m_pIoBuffer || !s->m_pPatternBuffer || s->m_dwReady == 0) {
    SetState(s, kStateUnknownError);
    return kStateUnknownError;
  }
  LogLine(s, "Begin erase block\n", kLogResults);
  SetState(s, kStateEraseFirst);
  SetShownBad(s, s->m_dwPrevBadCount);

  PercentCounter progress(s, s->m_pDevice->m_bPercentStep);
  s->m_dwPrevBadCount = s->m_dwBadCount;
  s->m_dwBadCount = 0;

  const uint32_t group = SelectCEGroup(s);
  BeginTwoPlane(s);
  int result = kPassCompleted;
  for (uint32_t ce = 0; ce < s->m_dwCECount && result == kPassCompleted; ce += group) {
    for (uint32_t block = s->m_dwStartBlock; block < s->m_dwEndBlock; block += s->m_dwPlanes) {
      if (StopRequested(s)) {
        SetState(s, kStateUserBreak);
        result = kStateUserBreak;
        break;
      }
      progress.Count(s, s->m_dwPlanes);
      if (IsSkippedBlock(s, block)) continue;
      result = EraseOne(s, block);
      if (result != kPassCompleted) break;
      SetCurBlock(s, block);
      if (block % 30 == 0) ReportProgress(s);
    }
    s->m_bCEMask = static_cast<uint8_t>(s->m_bCEMask << (2 * group));
  }
  EndTwoPlane(s);
  AddStageToPercent(s);
  ReportProgress(s);
  return result;
}

}  // namespace sievex
