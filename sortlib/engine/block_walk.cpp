#include "sortlib/engine/block_walk.h"

#include <algorithm>
#include <cstring>

#include "sortlib/device/sort_device.h"
#include "sortlib/device/vendor_commands.h"
#include "sortlib/interface/kv_config.h"

namespace sievex {

uint32_t SelectCEGroup(RevertSession* s) {
  static constexpr uint32_t kGroupSizes[3] = {1, 2, 4};
  const uint8_t index = s->m_pConfig->m_bCEGroup;
  // An index outside the table is taken as single CEs.
  uint32_t n = index < 3 ? kGroupSizes[index] : 1;
  n = std::min(n, s->m_dwCECount);
  if (n == 2) {
    s->m_bCEMask = 0x05;
  } else if (n == 4) {
    s->m_bCEMask = 0x55;
  } else {
    s->m_bCEMask = 0x01;
  }
  // A CE count of 3 gives n = 3 with the single-CE mask; step by one CE then
  // so that every CE is still reached.
  if (n != 2 && n != 4) n = 1;
  return n;
}

bool IsSkippedBlock(const RevertSession* s, uint32_t block) {
  return IsSkippedFlashBlock(s->m_pDevice->m_FlashId, block);
}

bool IsSkippedFlashBlock(const uint8_t flashId[5], uint32_t block) {
  static constexpr uint8_t kIdA[5] = {0x45, 0xC5, 0x95, 0xA5, 0xEA};
  static constexpr uint8_t kIdB[5] = {0x45, 0xC5, 0x95, 0xE5, 0xEA};
  if (std::memcmp(flashId, kIdA, 5) != 0 && std::memcmp(flashId, kIdB, 5) != 0) return false;
  return (block >= 4146 && block <= 8191) || block >= 13312;
}

bool IsEraseBeforeWriteFlash(const RevertSession* s) {
  static constexpr uint8_t kId[5] = {0x45, 0xC5, 0x85, 0xBA, 0xF4};
  return std::memcmp(s->m_pDevice->m_FlashId, kId, 5) == 0;
}

bool StopRequested(const RevertSession* s) {
  return s->m_pStopFlag != nullptr && s->m_pStopFlag->load(std::memory_order_acquire) != 0;
}

bool ReadStatus(RevertSession* s) {
  return CmdReadStatus(VolumeOf(s), 1, 0, s->m_pIoBuffer.get()) != 0;
}

bool ReadStatusPassed(RevertSession* s) {
  return ReadStatus(s) && s->m_pIoBuffer[1] != 0;
}

void BeginTwoPlane(RevertSession* s) {
  if (s->m_dwPlanes != 2) return;
  uint8_t answer[1];
  CmdSetMode(VolumeOf(s), 0, 0, 1, answer);
}

void EndTwoPlane(RevertSession* s) {
  if (s->m_dwPlanes != 2) return;
  uint8_t answer[1];
  CmdSetMode(VolumeOf(s), 0, 0, 0, answer);
}

uint32_t BlockSector(const RevertSession* s, uint32_t block) {
  return block * s->m_dwSectorsPerBlock;
}

uint32_t PageSector(const RevertSession* s, uint32_t block, uint32_t page) {
  return block * s->m_dwSectorsPerBlock + page * s->m_dwSectorsPerPage;
}

int EraseBlock(RevertSession* s, uint32_t block) {
  return CmdEraseBlock(VolumeOf(s), BlockSector(s, block), s->m_bCEMask, s->m_pIoBuffer.get());
}

uint8_t& BlockState(RevertSession* s, uint32_t ce, uint32_t block) {
  return s->m_pBlockState[static_cast<size_t>(ce) * s->m_pDevice->m_dwBlocksPerCE + block];
}

}  // namespace sievex
