#include "sortlib/engine/block_io.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "sortlib/device/vendor_commands.h"
#include "sortlib/engine/block_walk.h"
#include "sortlib/engine/pattern_files.h"
#include "sortlib/interface/kv_config.h"

namespace sievex {

namespace {

constexpr uint8_t kBlankSpare[4] = {0xFF, 0xFF, 0xFF, 0xFF};

uint32_t MaxTransferSectors(const RevertSession* s) { return s->m_dwTransferBytes / kSectorBytes; }

uint32_t PartialFirstSector(const RevertSession* s, uint32_t block) {
  return s->m_pPageList[0] * s->m_dwSectorsPerPage + block * s->m_dwSectorsPerBlock;
}

}  // namespace

bool IsPartialBlockMode(const RevertSession* s) { return s->m_pConfig->m_dwPageMode != 0; }

uint32_t PartialSectors(const RevertSession* s) {
  return s->m_pConfig->m_bPageCount * s->m_dwSectorsPerPage;
}

int WriteBlock(RevertSession* s, uint32_t block, uint32_t planes) {
  qv::Device* h = VolumeOf(s);
  uint8_t* pattern = s->m_pPatternBuffer.get();
  const bool fromFiles = s->m_bPattern == 3;
  int ok = 1;
  if (!IsPartialBlockMode(s)) {
    const uint32_t total = s->m_dwSectorsPerBlock * planes;
    const uint32_t first = BlockSector(s, block);
    const bool altPages = s->m_pConfig->m_dwAltPages != 0;
    for (uint32_t done = 0; done < total;) {
      const uint32_t n = std::min(MaxTransferSectors(s), total - done);
      const uint8_t* data = pattern + static_cast<size_t>(done) * kSectorBytes;
      if (fromFiles) {
        if (!FillFromPatternFiles(s, pattern, static_cast<size_t>(n) * kSectorBytes)) return 0;
        data = pattern;
      }
      // Alternate-page addressing writes half the sectors of each transfer
      // while the addresses still advance by the whole transfer.
      const uint32_t count = altPages ? n / 2 : n;
      if (!CmdWriteSectors(h, first + done, s->m_bCEMask, count, kBlankSpare, data)) ok = 0;
      done += n;
    }
    return ok;
  }
  const uint32_t total = PartialSectors(s);
  const uint32_t first = PartialFirstSector(s, block);
  for (uint32_t done = 0; done < total;) {
    const uint32_t n = std::min(MaxTransferSectors(s), total - done);
    if (fromFiles && !FillFromPatternFiles(s, pattern, static_cast<size_t>(n) * kSectorBytes)) {
      return 0;
    }
    if (!CmdWriteSectors(h, first + done, s->m_bCEMask, n, kBlankSpare, pattern)) ok = 0;
    done += n;
  }
  return ok;
}

int CompareBits(RevertSession* s, uint32_t sectors) {
  const uint8_t* got = s->m_pIoBuffer.get();
  const uint8_t* want = s->m_pPatternBuffer.get();
  int result = 1;
  for (uint32_t sector = 0; sector < sectors; ++sector) {
    const size_t base = static_cast<size_t>(sector) * kSectorBytes;
    uint8_t differing = 0;
    for (size_t i = 0; i < kSectorBytes; ++i) {
      differing = static_cast<uint8_t>(differing + std::popcount<uint8_t>(got[base + i] ^ want[base + i]));
      if (differing > s->m_bErrorBits) {
        result = 0;
        break;
      }
    }
  }
  return result;
}

int VerifyBlock(RevertSession* s, uint32_t block) {
  qv::Device* h = VolumeOf(s);
  if (!IsPartialBlockMode(s)) {
    uint8_t* answer = s->m_pIoBuffer.get();
    if (!CmdVerifyBlock(h, BlockSector(s, block), s->m_bCEMask, answer)) return 0;
    return answer[0] <= s->m_bErrorBits ? 1 : 0;
  }
  const bool fromFiles = s->m_bPattern == 3;
  const uint32_t total = PartialSectors(s);
  const uint32_t first = PartialFirstSector(s, block);
  for (uint32_t done = 0; done < total;) {
    const uint32_t n = std::min(MaxTransferSectors(s), total - done);
    const size_t bytes = static_cast<size_t>(n) * kSectorBytes;
    std::memset(s->m_pIoBuffer.get(), 0, bytes);
    if (fromFiles && !FillFromPatternFiles(s, s->m_pPatternBuffer.get(), bytes)) return 0;
    if (!CmdReadSectors(h, first + done, s->m_bCEMask, static_cast<uint32_t>(bytes),
                        s->m_pIoBuffer.get())) {
      // Keep the pattern stream in step with the blocks that follow.
      SkipPatternData(s, done + n, total);
      return 0;
    }
    if (std::memcmp(s->m_pIoBuffer.get(), s->m_pPatternBuffer.get(), bytes) != 0 &&
        !CompareBits(s, n)) {
      SkipPatternData(s, done + n, total);
      return 0;
    }
    done += n;
  }
  return 1;
}

}  // namespace sievex
