#include "sortlib/engine/revert_session.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "sortlib/device/boot_code.h"
#include "sortlib/device/mode_codes.h"
#include "sortlib/device/sort_device.h"
#include "sortlib/device/vendor_commands.h"
#include "sortlib/engine/download_firmware.h"
#include "sortlib/engine/four_tap_random.h"
#include "sortlib/engine/session_log.h"
#include "sortlib/interface/kv_config.h"

namespace sievex {

namespace {

void ShowError(const std::string& text) { qv::MessageBox(text, "Error", qv::kMbOk); }

// The geometry and configuration every pass relies on. Besides zero sizes
// this refuses what would let commands miss the flash or run past a
// buffer: no CE or more CEs than the select byte addresses, pages larger
// than the I/O buffer, a block that is not whole pages, a partial-block
// range outside the block.
bool GeometryUsable(const RevertSession* s) {
  const SortDevice* d = s->m_pDevice;
  const _KVConfig* c = s->m_pConfig;
  if (d->m_dwBlocksPerCE == 0 || d->m_dwSectorsPerPage == 0 || d->m_dwSectorsPerBlock == 0) return false;
  if (d->m_dwCENo == 0 || d->m_dwCENo > kMaxCECount) return false;
  if (d->m_dwSectorsPerPage * kSectorBytes > kIoBufferBytes) return false;
  if (d->m_dwSectorsPerBlock % d->m_dwSectorsPerPage != 0) return false;
  if (c->m_dwPageMode != 0) {
    const uint32_t pagesPerBlock = d->m_dwSectorsPerBlock / d->m_dwSectorsPerPage;
    if (c->m_bPageCount == 0 || c->m_bFirstPage + c->m_bPageCount > pagesPerBlock) return false;
  }
  return true;
}

void LogGeometry(RevertSession* s) {
  const SortDevice* d = s->m_pDevice;
  const _KVConfig* c = s->m_pConfig;
  if (c->m_dwUseConfigGeometry == 0) {
    LogLine(s,
            FormatText("BlocksPerChip = %d Page Size=%d Bytes\n", static_cast<int>(d->m_dwBlocksPerCE),
                       static_cast<int>(d->m_dwSectorsPerPage * kSectorBytes)),
            kLogResults);
    if (d->m_dwSectorsPerPage != 0) {
      LogLine(s,
              FormatText("Block Size = %d Pages  MLC=%d Dual Mode=%d\n",
                         static_cast<int>(d->m_dwSectorsPerBlock / d->m_dwSectorsPerPage),
                         static_cast<int>(d->m_dwMLC), static_cast<int>(d->m_dwDualMode)),
              kLogResults);
    }
  } else {
    LogLine(s,
            FormatText("BlocksPerChip = %d SectorsPerPage=%d SectorsPerBlocks=%d\n",
                       static_cast<int>(c->m_dwBlocksPerChip), static_cast<int>(c->m_dwSectorsPerPage),
                       static_cast<int>(c->m_dwSectorsPerBlocks)),
            kLogResults);
  }
}

}  // namespace

RevertSession* OpenSession(RevertSession* s, SortDevice* device, _KVConfig* config,
                           void (*callback)(void*)) {
  // 1. Links and options.
  s->m_szPatternFile.reset(new (std::nothrow) char[kPatternPathBytes]());
  s->m_pDevice = device;
  s->m_pConfig = config;
  s->m_pfnProgress = callback;
  s->m_pStopFlag = &device->m_bStop;
  s->m_bPort = device->m_bPort;
  s->m_dwLogMask = qv::RegistryReadDword("WriteLog", 0);
  s->m_Progress = SortProgress{};

  // 2. Block states, readiness.
  s->m_dwCECount = device->m_dwCENo;
  bool allocated = s->m_szPatternFile != nullptr;
  if (device->m_dwCENo <= kMaxCECount) {
    const size_t blocks = static_cast<size_t>(device->m_dwCENo) * device->m_dwBlocksPerCE;
    s->m_pBlockState.reset(new (std::nothrow) uint8_t[blocks == 0 ? 1 : blocks]());
    allocated = allocated && s->m_pBlockState != nullptr;
  }
  s->m_dwTestLevel = config->m_bTestLevel;
  s->m_dwReady = 1;
  s->m_hLog.reset();
  s->m_hDevice.reset();
  s->m_hPatternFile.reset();
  s->m_dwPatternFileNo = 1;

  // 3. The log.
  if (s->m_dwLogMask != 0) {
    const std::string logName = FormatText(".\\RevertLog%02d.txt", s->m_bPort + 1);
    s->m_hLog = qv::File::Open(logName, qv::FileAccess::kWrite, qv::FileShare::kRead,
                               qv::FileOpen::kCreateAlways);
    if (!s->m_hLog) ShowError("Can not open log.");
  }

  // 4. The volume.
  s->m_hDevice = qv::OpenDevice(std::string("\\\\.\\") + device->m_szDrive, qv::kOpenRead | qv::kOpenWrite);
  if (!s->m_hDevice) {
    ShowError("Can not open the handle.");
    s->m_dwReady = 0;
    return s;
  }

  // 5, 6. Buffers, planes, the boot image.
  s->m_pIoBuffer = AllocateAligned(kIoBufferBytes, 0);
  s->m_dwPlanes = (device->m_bPlaneCount > 1 && config->m_dwMultiPlane != 0) ? 2 : 1;
  const std::string image = SelectFirmwareImage(device);
  s->m_PatternBufferBytes = static_cast<size_t>(device->m_dwSectorsPerBlock) * s->m_dwPlanes * kSectorBytes;
  s->m_pPatternBuffer = AllocateAligned(s->m_PatternBufferBytes, 0);
  if (!s->m_pIoBuffer || !s->m_pPatternBuffer || !allocated) {
    ShowError("Can not allocate buffer");
    s->m_dwReady = 0;
    return s;
  }

  // 7. Boot download; the test range is taken inside it.
  if (image.empty() || !DownloadFirmware(s, qv::ExecutableDirectory() + image)) {
    ShowError("Can not load firmware ()");
    s->m_dwReady = 0;
    return s;
  }

  // 8.
  s->m_dwTransferBytes = kIoBufferBytes;

  // 9. Timing, voltage and plane mode of a KR425.
  if (device->m_dwController == 0x425) {
    uint8_t answer[1];
    const uint8_t twoPlane = (config->m_dwMultiPlane != 0 && device->m_bPlaneCount > 1) ? 1 : 0;
    CmdSetMode(VolumeOf(s), TimingCode(config->m_bTimingIndex), VoltageCode(config->m_bVoltageIndex),
               twoPlane, answer);
  }

  // 10, 11.
  LogGeometry(s);
  if (!GeometryUsable(s)) {
    s->m_dwReady = 0;
    ShowError("Bad parameter!");
  }

  // 12.
  SeedRandom(s, static_cast<uint32_t>(qv::CalendarSeconds()));
  return s;
}

void CloseSession(RevertSession* s) {
  s->m_pIoBuffer.reset();
  s->m_pPatternBuffer.reset();
  s->m_PatternBufferBytes = 0;
  s->m_szPatternFile.reset();
  s->m_pBlockState.reset();
  s->m_pPageList.reset();
  s->m_hPatternFile.reset();
  s->m_hLog.reset();
  s->m_hDevice.reset();
}

}  // namespace sievex
