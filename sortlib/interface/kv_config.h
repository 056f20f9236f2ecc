// The two records that cross the library boundary, byte for byte.
#pragma once
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

// Test configuration: the caller fills it, the library copies it whole.
// Reserved fields are read by nobody and carried unchanged.
struct _KVConfig {
  uint32_t m_dwReserved00;
  uint32_t m_dwPatternValue;        // 0x04 value of pattern type 4
  uint32_t m_dwReserved08;
  uint32_t m_dwReserved0C;
  uint32_t m_dwReserved10;
  uint32_t m_dwReserved14;
  uint32_t m_dwReserved18;
  uint32_t m_dwEraseFirst;          // 0x1C erase pass before the pattern pass
  uint8_t m_bErrorBits;             // 0x20 tolerated differing bits per sector
  uint8_t m_bTestLevel;             // 0x21 0, 1 or 2
  uint8_t m_bVoltageIndex;          // 0x22 index into 0x77, 0x55, 0x33
  uint8_t m_bTimingIndex;           // 0x23 index into 0x00, 0x00, 0x44, 0x88, 0xCC
  uint8_t m_Reserved24[48];
  uint8_t m_bReserved54;
  uint8_t m_bStageCount;            // 0x55 stage count base of the percent step
  uint32_t m_dwReserved56;
  uint32_t m_dwUseConfigGeometry;   // 0x5A log geometry from the next fields
  uint8_t m_bReserved5E;
  uint8_t m_Reserved5F[12];
  uint32_t m_dwBlocksPerChip;       // 0x6B
  uint32_t m_dwSectorsPerBlocks;    // 0x6F
  uint32_t m_dwSectorsPerPage;      // 0x73
  uint8_t m_Reserved77[64];
  uint32_t m_dwReservedB7;
  uint32_t m_dwMultiPlane;          // 0xBB two-plane operation allowed
  uint32_t m_dwReservedBF;
  uint32_t m_dwReservedC3;
  uint32_t m_dwReservedC7;
  uint8_t m_bCEGroup;               // 0xCB index into CE group sizes 1, 2, 4
  uint8_t m_bPageCount;             // 0xCC pages tested in partial-block mode
  uint8_t m_bFirstPage;             // 0xCD first page tested in partial-block mode
  uint32_t m_dwPageMode;            // 0xCE partial-block mode
  uint8_t m_bPatternType;           // 0xD2 pattern type 0..4
  uint32_t m_dwBadTable;            // 0xD3 write the bad-block table
  uint32_t m_dwAltPages;            // 0xD7 alternate-page addressing
};

// Device description returned by DLLSort::GetDeviceInfo.
struct _USBDevceInfo {
  uint32_t m_dwFound;               // 0x00
  char m_szDrive[2];                // 0x04 letter and terminator
  uint32_t m_dwCENo;                // 0x06
  uint8_t m_FlashId[5];             // 0x0A
  uint32_t m_dwMLC;                 // 0x0F
  uint32_t m_dwDualMode;            // 0x13
  uint8_t m_bPlaneCount;            // 0x17
  uint32_t m_dwPagesPerBlock;       // 0x18
  uint32_t m_dwSectorsPerPage;      // 0x1C
  uint32_t m_dwSectorsPerBlock;     // 0x20
  uint32_t m_dwBlocksPerCE;         // 0x24
  uint8_t m_bConfigHigh;            // 0x28
  uint8_t m_bFlashSize;             // 0x29
};

#pragma pack(pop)

static_assert(sizeof(_KVConfig) == 219);
static_assert(offsetof(_KVConfig, m_dwPatternValue) == 0x04);
static_assert(offsetof(_KVConfig, m_dwReserved0C) == 0x0C);
static_assert(offsetof(_KVConfig, m_dwEraseFirst) == 0x1C);
static_assert(offsetof(_KVConfig, m_bErrorBits) == 0x20);
static_assert(offsetof(_KVConfig, m_bTestLevel) == 0x21);
static_assert(offsetof(_KVConfig, m_bVoltageIndex) == 0x22);
static_assert(offsetof(_KVConfig, m_bTimingIndex) == 0x23);
static_assert(offsetof(_KVConfig, m_Reserved24) == 0x24);
static_assert(offsetof(_KVConfig, m_bReserved54) == 0x54);
static_assert(offsetof(_KVConfig, m_bStageCount) == 0x55);
static_assert(offsetof(_KVConfig, m_dwReserved56) == 0x56);
static_assert(offsetof(_KVConfig, m_dwUseConfigGeometry) == 0x5A);
static_assert(offsetof(_KVConfig, m_bReserved5E) == 0x5E);
static_assert(offsetof(_KVConfig, m_Reserved5F) == 0x5F);
static_assert(offsetof(_KVConfig, m_dwBlocksPerChip) == 0x6B);
static_assert(offsetof(_KVConfig, m_dwSectorsPerBlocks) == 0x6F);
static_assert(offsetof(_KVConfig, m_dwSectorsPerPage) == 0x73);
static_assert(offsetof(_KVConfig, m_Reserved77) == 0x77);
static_assert(offsetof(_KVConfig, m_dwReservedB7) == 0xB7);
static_assert(offsetof(_KVConfig, m_dwMultiPlane) == 0xBB);
static_assert(offsetof(_KVConfig, m_dwReservedBF) == 0xBF);
static_assert(offsetof(_KVConfig, m_dwReservedC3) == 0xC3);
static_assert(offsetof(_KVConfig, m_dwReservedC7) == 0xC7);
static_assert(offsetof(_KVConfig, m_bCEGroup) == 0xCB);
static_assert(offsetof(_KVConfig, m_bPageCount) == 0xCC);
static_assert(offsetof(_KVConfig, m_bFirstPage) == 0xCD);
static_assert(offsetof(_KVConfig, m_dwPageMode) == 0xCE);
static_assert(offsetof(_KVConfig, m_bPatternType) == 0xD2);
static_assert(offsetof(_KVConfig, m_dwBadTable) == 0xD3);
static_assert(offsetof(_KVConfig, m_dwAltPages) == 0xD7);

static_assert(sizeof(_USBDevceInfo) == 42);
static_assert(offsetof(_USBDevceInfo, m_szDrive) == 0x04);
static_assert(offsetof(_USBDevceInfo, m_dwCENo) == 0x06);
static_assert(offsetof(_USBDevceInfo, m_FlashId) == 0x0A);
static_assert(offsetof(_USBDevceInfo, m_dwMLC) == 0x0F);
static_assert(offsetof(_USBDevceInfo, m_dwDualMode) == 0x13);
static_assert(offsetof(_USBDevceInfo, m_bPlaneCount) == 0x17);
static_assert(offsetof(_USBDevceInfo, m_dwPagesPerBlock) == 0x18);
static_assert(offsetof(_USBDevceInfo, m_dwSectorsPerPage) == 0x1C);
static_assert(offsetof(_USBDevceInfo, m_dwSectorsPerBlock) == 0x20);
static_assert(offsetof(_USBDevceInfo, m_dwBlocksPerCE) == 0x24);
static_assert(offsetof(_USBDevceInfo, m_bConfigHigh) == 0x28);
static_assert(offsetof(_USBDevceInfo, m_bFlashSize) == 0x29);
