#include "sortlib/engine/mark_all_bad.h"

#include "sortlib/engine/bad_block_marks.h"
#include "sortlib/engine/block_walk.h"
#include "sortlib/engine/erase_pass.h"
#include "sortlib/engine/session_log.h"
#include "sortlib/engine/session_progress.h"

namespace sievex {

int MarkAllBadBlock(RevertSession* s) {
  // The erase also clears every mark the flash carried. Its result stands
  // only until the walk below: a dead flash is met again at the first
  // status read, a stop at the first block.
  EraseAllBlock(s);

  s->m_bCEMask = 0x01;
  s->m_dwBadCount = 0;
  s->m_dwPrevBadCount = 0;
  SetState(s, kStateMarkBad);
  LogLine(s, FormatText("MarkAllBadBlock Port:%d\r\n", s->m_bPort), kLogMarkAllBad);

  for (uint32_t ce = 0; ce < s->m_dwCECount; ++ce) {
    for (uint32_t block = s->m_dwStartBlock; block < s->m_dwEndBlock; ++block) {
      SetCurBlock(s, block);
      if (StopRequested(s)) {
        SetState(s, kStateUserBreak);
        ReportProgress(s);
        return kStateUserBreak;
      }
      if (BlockState(s, ce, block) == kBlockFoundBad) {
        ++s->m_dwBadCount;
        SetShownBad(s, s->m_dwBadCount);
        MarkBlockBad(s, block);
      }
      if (!ReadStatus(s)) {
        SetState(s, kStateFlashError);
        ReportProgress(s);
        return kStateFlashError;
      }
      if (block % 30 == 0) ReportProgress(s);
    }
    s->m_bCEMask = static_cast<uint8_t>(s->m_bCEMask << 2);
  }
  ReportProgress(s);
  return kPassCompleted;
}

}  // namespace sievex
