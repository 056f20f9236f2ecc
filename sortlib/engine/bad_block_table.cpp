#include "sortlib/engine/bad_block_table.h"

#include <cstring>
#include <memory>
#include <new>

#include "sortlib/device/sort_device.h"
#include "sortlib/device/vendor_commands.h"
#include "sortlib/engine/block_walk.h"
#include "sortlib/interface/kv_config.h"

namespace sievex {

namespace {

constexpr uint8_t kTableSpare[4] = {0x00, 0x00, 0x02, 0x00};
constexpr uint8_t kTableTag[4] = {'b', 'a', 'd', '_'};
constexpr uint32_t kBlocksPerTablePage = 1024;

// The first block of a CE that nothing found bad, or end when there is none.
uint32_t FirstGoodBlock(RevertSession* s, uint32_t ce) {
  for (uint32_t block = 0; block < s->m_dwEndBlock; ++block) {
    if (BlockState(s, ce, block) == kBlockGood) return block;
  }
  return s->m_dwEndBlock;
}

}  // namespace

void WriteBadBlockTable(RevertSession* s) {
  const size_t pageBytes = static_cast<size_t>(s->m_dwSectorsPerPage) * kSectorBytes;
  std::unique_ptr<uint8_t[]> page(new (std::nothrow) uint8_t[pageBytes * 4]);
  if (!page) return;
  qv::Device* h = VolumeOf(s);
  const uint32_t tablePages = s->m_pDevice->m_dwBlocksPerCE / kBlocksPerTablePage;
  const bool altPages = s->m_pConfig->m_dwAltPages != 0;
  const size_t capacity = (pageBytes - sizeof(kTableTag)) / 2;
  // A table page never reaches into the closing page or the next block.
  const uint32_t pagesPerBlock = s->m_dwSectorsPerBlock / s->m_dwSectorsPerPage;

  s->m_bCEMask = 0x01;
  for (uint32_t ce = 0; ce < s->m_dwCECount; ++ce) {
    const uint32_t tableBlock = FirstGoodBlock(s, ce);
    if (tableBlock < s->m_dwEndBlock) {
      for (uint32_t i = 0; i < tablePages; ++i) {
        const uint32_t pageNo = altPages ? 2 * i : i;
        if (pageNo + 1 >= pagesPerBlock) break;
        std::memset(page.get(), 0xFF, pageBytes);
        std::memcpy(page.get(), kTableTag, sizeof(kTableTag));
        size_t listed = 0;
        for (uint32_t block = i * kBlocksPerTablePage; block < (i + 1) * kBlocksPerTablePage; ++block) {
          const uint8_t state = BlockState(s, ce, block);
          if (state != kBlockFoundBad && state != kBlockFoundBadUnmarked) continue;
          if (listed == capacity) break;  // the rest does not fit the page
          page[sizeof(kTableTag) + 2 * listed] = static_cast<uint8_t>(block >> 8);
          page[sizeof(kTableTag) + 2 * listed + 1] = static_cast<uint8_t>(block);
          ++listed;
          if (state == kBlockFoundBadUnmarked) ++s->m_dwBadCount;
        }
        CmdWriteSectors(h, PageSector(s, tableBlock, pageNo), s->m_bCEMask, s->m_dwSectorsPerPage,
                        kTableSpare, page.get());
      }
      std::memset(page.get(), 0xFF, pageBytes);
      std::memcpy(page.get(), kTableTag, sizeof(kTableTag));
      const uint32_t lastPage = (tableBlock + 1) * s->m_dwSectorsPerBlock - s->m_dwSectorsPerPage;
      CmdWriteSectors(h, lastPage, s->m_bCEMask, s->m_dwSectorsPerPage, kTableSpare, page.get());
    }
    s->m_bCEMask = static_cast<uint8_t>(s->m_bCEMask << 2);
  }
}

}  // namespace sievex
