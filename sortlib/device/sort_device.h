// The per-drive record of the library: the drive name, the binding, the
// identification and geometry of controller and flash, and the fields of a
// running test. Fields in the order of the design; everything not set by
// its owner starts at zero.
#pragma once
#include <atomic>
#include <cstdint>

struct _KVConfig;

struct SortDevice {
  char m_szDrive[8] = {};           // "E:" or empty
  uint32_t m_dwController = 0;      // controller id (0x423, 0x425, ...)
  uint8_t m_InquiryTag[20] = {};    // INQUIRY bytes 36..55
  uint8_t m_bPort = 0;              // port number of the run
  uint32_t m_dwFound = 0;           // volume matched to a present disk device
  uint32_t m_dwBadShown = 0;        // bad blocks shown
  uint32_t m_dwCENo = 0;            // number of CEs
  uint8_t m_FlashId[5] = {};
  uint32_t m_dwNeedBootCode = 0;
  uint8_t m_bRevision = 0;
  uint32_t m_dwMLC = 0;
  uint32_t m_dwDualMode = 0;
  uint8_t m_bPlaneCount = 0;
  uint32_t m_dwPagesPerBlock = 0;
  uint32_t m_dwSectorsPerPage = 0;
  uint32_t m_dwSectorsPerBlock = 0;
  uint32_t m_dwBlocksPerCE = 0;
  uint8_t m_bConfigHigh = 0;
  uint8_t m_bFlashSize = 0;
  uint32_t m_dwProbed = 0;          // INQUIRY and the probe succeeded once
  uint32_t m_dwSendFWInfo = 0;      // the engine sends FWInfo after its download
  // Run fields.
  uint8_t m_bPercentStep = 0;
  uint8_t m_bPercentDone = 0;
  uint32_t m_dwPercent = 0;
  uint32_t m_dwCurBlock = 0;
  uint8_t m_bState = 0;
  std::atomic<uint8_t> m_bStop{0};  // set by StopSort from another thread
  _KVConfig* m_pConfig = nullptr;   // the owning DLLSort's m_Config
  uint16_t m_wStartGapBlock = 0;
  uint16_t m_wGapBlockSize = 0;
  uint32_t m_dw16Bit = 0;
  uint32_t m_dwRevisionA1 = 0;
  uint16_t m_wEccCode = 0;
};
