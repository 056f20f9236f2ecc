#include "sortlib/engine/bad_block_marks.h"

#include <cstring>

#include "sortlib/device/sort_device.h"
#include "sortlib/device/vendor_commands.h"
#include "sortlib/engine/block_walk.h"
#include "sortlib/engine/session_log.h"
#include "sortlib/interface/kv_config.h"

namespace sievex {

namespace {

bool AllFF(const uint8_t* bytes, int first, int last) {
  for (int i = first; i <= last; ++i) {
    if (bytes[i] != 0xFF) return false;
  }
  return true;
}

bool AltPages(const RevertSession* s) { return s->m_pConfig->m_dwAltPages != 0; }

uint32_t LastPageSector(const RevertSession* s, uint32_t block) {
  return (block + 1) * s->m_dwSectorsPerBlock - s->m_dwSectorsPerPage;
}

// In partial-block mode only some pages are written; a page the write left
// alone carries no page number, and judging it by one would find every
// block marked.
bool PageWrittenByPatternPass(const RevertSession* s, uint32_t page) {
  const _KVConfig* c = s->m_pConfig;
  if (c->m_dwPageMode == 0) return true;
  return page >= c->m_bFirstPage && page < uint32_t(c->m_bFirstPage) + c->m_bPageCount;
}

int Marked(RevertSession* s) {
  ++s->m_dwBadCount;
  return 1;
}

}  // namespace

bool IsMarkByteSet(uint8_t value) { return (value & 0xF0) == 0 || (value & 0x0F) == 0; }

int IsBlockMarkedBad(RevertSession* s, uint32_t block, int written) {
  qv::Device* h = VolumeOf(s);
  uint8_t* spare = s->m_pIoBuffer.get();
  const int firstExamined = written ? 3 : 0;

  const uint32_t firstPage = AltPages(s) ? 1 : 0;
  if (!CmdReadSpare(h, PageSector(s, block, firstPage), s->m_bCEMask, spare)) return 0;
  if (written && PageWrittenByPatternPass(s, firstPage)) {
    const uint32_t recorded = spare[0] | (spare[1] << 8) | (spare[2] << 16);
    const uint32_t expected =
        (block * s->m_pDevice->m_dwPagesPerBlock + (AltPages(s) ? 1 : 0)) & 0xFFFFFF;
    if (recorded != expected) return Marked(s);
  }
  if (!AllFF(spare, firstExamined, 5)) {
    if (spare[4] == 0xFF && spare[5] == 0xFF) return 0;
    if (IsMarkByteSet(spare[4]) || IsMarkByteSet(spare[5])) return Marked(s);
  }

  if (!CmdReadSpare(h, LastPageSector(s, block), s->m_bCEMask, spare)) return 0;
  if (AllFF(spare, firstExamined, 5)) return 0;
  if (spare[4] == 0xFF && spare[5] == 0xFF) {
    LogLine(s, FormatText("(L)<<Bad block mark offset 0~3 not all 0xFF>> blk=%lx.\n",
                          static_cast<unsigned long>(block)),
            kLogResults);
    return 0;
  }
  if (IsMarkByteSet(spare[4]) || IsMarkByteSet(spare[5])) return Marked(s);
  return 0;
}

int MarkBlockBad(RevertSession* s, uint32_t block) {
  qv::Device* h = VolumeOf(s);
  static constexpr uint8_t kMarkSpare[4] = {0x00, 0x00, 0x00, 0x00};
  EraseBlock(s, block);
  const size_t pageBytes = static_cast<size_t>(s->m_dwSectorsPerPage) * kSectorBytes;
  std::memset(s->m_pIoBuffer.get(), 0, pageBytes);
  const uint32_t last =
      (block + 1) * s->m_dwSectorsPerBlock - (AltPages(s) ? 2 : 1) * s->m_dwSectorsPerPage;
  const int first = CmdWriteSectors(h, BlockSector(s, block), s->m_bCEMask, s->m_dwSectorsPerPage,
                                    kMarkSpare, s->m_pIoBuffer.get());
  const int second = CmdWriteSectors(h, last, s->m_bCEMask, s->m_dwSectorsPerPage, kMarkSpare,
                                     s->m_pIoBuffer.get());
  return (first || second) ? 1 : 0;
}

}  // namespace sievex
