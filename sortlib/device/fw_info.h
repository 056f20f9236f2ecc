// FWInfo: the 512-byte flash parameter block a KR425 controller receives
// after the engine's boot download. Multi-byte values are big-endian, so
// they are kept as byte pairs; every byte not named is 0.
#pragma once
#include <cstddef>
#include <cstdint>

namespace sievex {

#pragma pack(push, 1)
struct FWInfo {
  uint8_t m_wBlocksPerCE[2];     // 0x00
  uint8_t m_wSectorsPerPage[2];  // 0x02
  uint8_t m_wPagesPerBlock[2];   // 0x04
  uint8_t m_bRedundantSize;      // 0x06
  uint8_t m_bPlaneNo;            // 0x07
  uint8_t m_bChannelNo;          // 0x08
  uint8_t m_bCENo;               // 0x09
  uint8_t m_bEnableMultiPlane;   // 0x0A
  uint8_t m_bEnableDualMode;     // 0x0B
  uint8_t m_b16bit;              // 0x0C
  uint8_t m_bTiming;             // 0x0D
  uint8_t m_bVoltage;            // 0x0E
  uint8_t m_b2PlaneCmd;          // 0x0F
  uint8_t m_FlashId[5];          // 0x10
  uint8_t wStartGapBlock[2];     // 0x15
  uint8_t wGapBlockSize[2];      // 0x17
  uint8_t m_bAltPages;           // 0x19
  uint8_t m_Reserved1A[512 - 0x1A];
};
#pragma pack(pop)

static_assert(sizeof(FWInfo) == 512);
static_assert(offsetof(FWInfo, m_wSectorsPerPage) == 0x02);
static_assert(offsetof(FWInfo, m_wPagesPerBlock) == 0x04);
static_assert(offsetof(FWInfo, m_bRedundantSize) == 0x06);
static_assert(offsetof(FWInfo, m_bPlaneNo) == 0x07);
static_assert(offsetof(FWInfo, m_bChannelNo) == 0x08);
static_assert(offsetof(FWInfo, m_bCENo) == 0x09);
static_assert(offsetof(FWInfo, m_bEnableMultiPlane) == 0x0A);
static_assert(offsetof(FWInfo, m_bEnableDualMode) == 0x0B);
static_assert(offsetof(FWInfo, m_b16bit) == 0x0C);
static_assert(offsetof(FWInfo, m_bTiming) == 0x0D);
static_assert(offsetof(FWInfo, m_bVoltage) == 0x0E);
static_assert(offsetof(FWInfo, m_b2PlaneCmd) == 0x0F);
static_assert(offsetof(FWInfo, m_FlashId) == 0x10);
static_assert(offsetof(FWInfo, wStartGapBlock) == 0x15);
static_assert(offsetof(FWInfo, wGapBlockSize) == 0x17);
static_assert(offsetof(FWInfo, m_bAltPages) == 0x19);

}  // namespace sievex
