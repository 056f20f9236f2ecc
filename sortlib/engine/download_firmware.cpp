#include "sortlib/engine/download_firmware.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "sortlib/device/identification.h"
#include "sortlib/device/sort_device.h"
#include "sortlib/device/vendor_commands.h"

namespace sievex {

namespace {

constexpr size_t kSliceBytes = 4096;
constexpr int64_t kSliceOffset = 0x5000;
constexpr uint16_t kRamBase = 0xF000;
constexpr size_t kRamChunk = 512;

// The dialog toolkit's standard text for a file that cannot be opened.
void ReportFileError(const std::string& path, int error) {
  std::string text;
  if (error == ENOENT || error == ENOTDIR) {
    text = path + " was not found.";
  } else if (error == EACCES || error == EPERM) {
    text = "Access to " + path + " was denied.";
  } else {
    text = "An unexpected error occurred while accessing " + path + ".";
  }
  qv::MessageBox(text, "Sievex", qv::kMbOk);
}

}  // namespace

void TakeTestRange(RevertSession* s) {
  const SortDevice* d = s->m_pDevice;
  s->m_dwEndBlock = d->m_dwBlocksPerCE;
  const uint32_t count = qv::RegistryReadDword("TestBlockCount", 0);
  s->m_dwStartBlock = qv::RegistryReadDword("TestStartBlock", 0);
  if (count != 0) {
    const uint64_t end = static_cast<uint64_t>(s->m_dwStartBlock) + count;
    s->m_dwEndBlock = end > d->m_dwBlocksPerCE ? d->m_dwBlocksPerCE : static_cast<uint32_t>(end);
  }
  s->m_dwSectorsPerBlock = d->m_dwSectorsPerBlock;
  s->m_dwSectorsPerPage = d->m_dwSectorsPerPage;
}

int DownloadFirmware(RevertSession* s, const std::string& path) {
  if (!s->m_pIoBuffer || !s->m_pPatternBuffer) return 0;
  std::unique_ptr<uint8_t[]> slice(new (std::nothrow) uint8_t[kSliceBytes]);
  if (!slice) {
    qv::MessageBox("Can not allocate 4K buffer.", "Error", qv::kMbOk);
    return 0;
  }
  std::memset(slice.get(), 0xFF, kSliceBytes);
  qv::Device* h = VolumeOf(s);
  if (!CmdPrepareDownload(h)) return 0;
  qv::SleepMs(100);

  int error = 0;
  {
    std::unique_ptr<qv::File> image = qv::File::Open(path, qv::FileAccess::kRead,
                                                     qv::FileShare::kReadWrite,
                                                     qv::FileOpen::kExisting, &error);
    if (!image) {
      ReportFileError(path, error);
      return 0;
    }
    // A file shorter than the slice leaves the rest 0xFF.
    if (image->Seek(kSliceOffset)) {
      size_t got = 0;
      while (got < kSliceBytes) {
        const long n = image->Read(slice.get() + got, kSliceBytes - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
      }
    }
  }
  for (size_t k = 0; k < kSliceBytes / kRamChunk; ++k) {
    CmdWriteRamEngine(h, static_cast<uint16_t>(kRamBase + kRamChunk * k), slice.get() + kRamChunk * k);
  }
  qv::SleepMs(300);

  TakeTestRange(s);
  uint8_t status[8];
  CmdReadStatus(h, 0x01, 1, status);
  CmdReadStatus(h, 0x04, 1, status);
  CmdReadStatus(h, 0x10, 1, status);
  slice.reset();

  SortDevice* d = s->m_pDevice;
  // A zero page size is refused by the set-up right after this step.
  d->m_dwPagesPerBlock =
      d->m_dwSectorsPerPage == 0 ? 0 : static_cast<uint16_t>(d->m_dwSectorsPerBlock / d->m_dwSectorsPerPage);
  if (d->m_dwSendFWInfo == 1) {
    uint8_t info[512];
    BuildFWInfo(d, s->m_pConfig, info);
    CmdWriteFWInfo(h, info);
  }
  return 1;
}

}  // namespace sievex
