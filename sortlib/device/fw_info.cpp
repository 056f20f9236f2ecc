#include "sortlib/device/fw_info.h"

#include <cstring>

#include "sortlib/device/identification.h"
#include "sortlib/device/mode_codes.h"
#include "sortlib/device/sort_device.h"
#include "sortlib/interface/kv_config.h"

namespace sievex {
namespace {

void PutBigEndian16(uint8_t out[2], uint32_t value) {
  out[0] = static_cast<uint8_t>(value >> 8);
  out[1] = static_cast<uint8_t>(value);
}

uint8_t RedundantSize(const SortDevice* device) {
  uint8_t fromDatabase = LookupRedundantSize(device);
  if (fromDatabase != 0) return fromDatabase;
  if (device->m_wEccCode == 8) return 0x80;
  if (device->m_wEccCode == 14) return 0xDA;
  return 0;
}

}  // namespace

void BuildFWInfo(const SortDevice* device, const _KVConfig* config, uint8_t out[512]) {
  // A missing configuration reads as all zero.
  _KVConfig none{};
  if (config == nullptr) config = &none;

  FWInfo info;
  std::memset(&info, 0, sizeof info);
  PutBigEndian16(info.m_wBlocksPerCE, device->m_dwBlocksPerCE);
  PutBigEndian16(info.m_wSectorsPerPage, device->m_dwSectorsPerPage);
  // A drive that reports no sectors per page gets 0 pages per block here
  // rather than a division by zero; the engine refuses such a geometry.
  PutBigEndian16(info.m_wPagesPerBlock, device->m_dwSectorsPerPage != 0
                                            ? device->m_dwSectorsPerBlock / device->m_dwSectorsPerPage
                                            : 0);
  info.m_bRedundantSize = RedundantSize(device);
  info.m_bPlaneNo = device->m_bPlaneCount;
  info.m_bChannelNo = 1;
  info.m_bCENo = static_cast<uint8_t>(device->m_dwCENo);
  info.m_bEnableMultiPlane = device->m_bPlaneCount > 1 && config->m_dwMultiPlane != 0 ? 1 : 0;
  info.m_bEnableDualMode = static_cast<uint8_t>(device->m_dwDualMode);
  info.m_b16bit = static_cast<uint8_t>(device->m_dw16Bit);
  info.m_bTiming = TimingCode(config->m_bTimingIndex);
  info.m_bVoltage = VoltageCode(config->m_bVoltageIndex);
  info.m_b2PlaneCmd = device->m_FlashId[0] == 0x2C || device->m_FlashId[0] == 0x89 ? 0x80 : 0x81;
  std::memcpy(info.m_FlashId, device->m_FlashId, sizeof info.m_FlashId);
  PutBigEndian16(info.wStartGapBlock, device->m_wStartGapBlock);
  PutBigEndian16(info.wGapBlockSize, device->m_wGapBlockSize);
  info.m_bAltPages = config->m_dwAltPages != 0 ? 2 : 0;
  std::memcpy(out, &info, sizeof info);
}

}  // namespace sievex
