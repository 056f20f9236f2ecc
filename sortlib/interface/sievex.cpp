#include "sortlib/interface/sievex.h"

#include <cstring>
#include <new>

#include "platform/clock.h"
#include "sortlib/device/device_locator.h"
#include "sortlib/device/sort_device.h"
#include "sortlib/engine/run_revert.h"

using sievex::DeviceLocator;

namespace {

constexpr unsigned kStopPollMs = 100;

// Final states that make StartSort report failure: "UserBreak",
// "Can't Mark Bad", "Flash Error" and "Unknown Error".
bool IsFailingState(uint8_t state) { return state == 0 || state == 1 || state == 8 || state == 9; }

// Stands in for a missing progress callback, which the engine would call.
void IgnoreProgress(void*) {}

}  // namespace

DLLSort::DLLSort(char* drive, int verify)
    : m_pLocator(nullptr), m_Config{}, m_Unused{}, m_dwIdle(0), m_dwVerifyDevice(verify) {
  char name[4] = {};
  if (drive != nullptr && drive[0] != '\0') {
    name[0] = drive[0];
    name[1] = ':';
    m_dwIdle = 1;
  }
  try {
    m_pLocator = new (std::nothrow) DeviceLocator(name);
  } catch (...) {
    // Nothing crosses the library boundary; the object lives without a
    // locator and every operation reports failure.
    m_pLocator = nullptr;
  }
  if (SortDevice* device = Device()) {
    device->m_pConfig = &m_Config;
    device->m_dwCurBlock = 0;
  }
}

DLLSort::~DLLSort() { delete m_pLocator; }

SortDevice* DLLSort::Device() const {
  return m_pLocator != nullptr ? m_pLocator->m_pDevice.get() : nullptr;
}

void DLLSort::Refresh() {
  if (m_pLocator == nullptr) return;
  try {
    m_pLocator->Rescan();
  } catch (...) {
  }
}

int DLLSort::GetDiskName(char* out) {
  SortDevice* device = Device();
  if (out == nullptr || device == nullptr || !sievex::DriveExists(device)) return 0;
  std::memcpy(out, device->m_szDrive, 3);
  m_dwIdle = 1;
  return 1;
}

int DLLSort::IsDeviceUse() {
  SortDevice* device = Device();
  if (device == nullptr || !sievex::DriveExists(device)) return 0;
  m_dwIdle = 1;
  return 1;
}

int DLLSort::SetDeviceName(char* name) {
  SortDevice* device = Device();
  if (device == nullptr) return 0;
  // Without a letter the object would be marked ready with no drive to
  // test; an empty or missing name is refused and changes nothing.
  if (name == nullptr || name[0] == '\0') return 0;
  std::memset(device->m_szDrive, 0, sizeof device->m_szDrive);
  device->m_szDrive[0] = name[0];
  device->m_szDrive[1] = ':';
  m_dwIdle = 1;
  return 1;
}

int DLLSort::SetConfig(_KVConfig* config) {
  if (m_pLocator == nullptr || config == nullptr) return 0;
  std::memcpy(&m_Config, config, sizeof m_Config);
  m_Config.m_bStageCount = 1;
  return 1;
}

int DLLSort::GetConfig(_KVConfig* out) {
  if (m_pLocator == nullptr || out == nullptr) return 0;
  std::memcpy(out, &m_Config, sizeof m_Config);
  return 1;
}

int DLLSort::GetDeviceInfo(_USBDevceInfo* out) {
  if (m_pLocator == nullptr || out == nullptr) return 0;
  SortDevice* device = Device();
  if (device == nullptr || !sievex::DriveExists(device)) {
    out->m_dwFound = 0;
    return 0;
  }
  if (m_dwVerifyDevice == 0) device->m_dwFound = 1;
  if (device->m_dwFound == 0) {
    out->m_dwFound = 0;
    return 0;
  }
  out->m_dwFound = device->m_dwFound;
  out->m_szDrive[0] = device->m_szDrive[0];
  out->m_szDrive[1] = '\0';
  out->m_dwCENo = device->m_dwCENo;
  std::memcpy(out->m_FlashId, device->m_FlashId, sizeof out->m_FlashId);
  out->m_dwMLC = device->m_dwMLC;
  out->m_dwDualMode = device->m_dwDualMode;
  out->m_bPlaneCount = device->m_bPlaneCount;
  out->m_dwPagesPerBlock = device->m_dwPagesPerBlock;
  out->m_dwSectorsPerPage = device->m_dwSectorsPerPage;
  out->m_dwSectorsPerBlock = device->m_dwSectorsPerBlock;
  out->m_dwBlocksPerCE = device->m_dwBlocksPerCE;
  out->m_bConfigHigh = device->m_bConfigHigh;
  out->m_bFlashSize = device->m_bFlashSize;
  return 1;
}

int DLLSort::StartSort(int port, _KVConfig* config, void (*callback)(void*)) {
  // Taking the idle flag from 1 to 0 in one step is the guard: a second
  // caller, on any thread, finds it 0 and leaves at once.
  int32_t idle = 1;
  if (!m_dwIdle.compare_exchange_strong(idle, 0)) return 0;
  if (m_pLocator == nullptr || !SetConfig(config)) {
    m_dwIdle = 1;
    return 0;
  }
  SortDevice* device = Device();
  if (device == nullptr || device->m_dwFound == 0) {
    m_dwIdle = 1;
    return 1;  // nothing to test is not a failure of the test
  }
  device->m_bStop = 0;
  device->m_dwCurBlock = 0;
  device->m_bPort = static_cast<uint8_t>(port);
  int ran = 0;
  try {
    ran = sievex::RunRevert(device, static_cast<uint8_t>(port),
                            callback != nullptr ? callback : IgnoreProgress);
  } catch (...) {
    ran = 0;
  }
  const uint8_t finalState = device->m_bState;
  m_dwIdle = 1;
  if (ran == 0) return 0;
  return IsFailingState(finalState) ? 0 : 1;
}

void DLLSort::StopSort() {
  SortDevice* device = Device();
  if (device == nullptr) return;
  device->m_bStop = 1;
  if (m_dwIdle == 1) return;
  if (device->m_dwFound == 0) return;
  while (m_dwIdle != 1) {
    qv::SleepMs(kStopPollMs);
    // A run that started just after the flag was set cleared it again;
    // setting it on every poll makes that run stop as well.
    if (m_dwIdle != 1) device->m_bStop = 1;
  }
  device->m_bStop = 0;
}
