#include "app/console/device_library_binding.h"

#include <cstring>

namespace {

constexpr const char* kEntryPointNames[] = {
    "Dravik_CreateCUSBDevice",    "Dravik_DeviceExist",
    "Dravik_GetNumberOfDrive",    "Dravik_SetCurrentDriveNumber",
    "Dravik_GetChipID",           "Dravik_GetDeviceString",
    "Dravik_GetFwVersion",        "Dravik_GetUpdateFWFile",
    "Dravik_GetDriveLetter",      "Dravik_GetDeviceAttrib",
    "Dravik_RunRepairDevice",     "Dravik_GetCurrentProgress",
    "Dravik_GetCurrentState",     "Dravik_GetBADBlockInfomation",
    "Dravik_GetErrorCode",
};
static_assert(std::size(kEntryPointNames) == DeviceLibraryBinding::kEntryPointCount);

}  // namespace

DeviceLibraryBinding::DeviceLibraryBinding(const char* libraryName) {
  if (libraryName) {
    size_t size = std::strlen(libraryName) + 1;
    m_szLibraryName = std::make_unique<char[]>(size);
    std::memcpy(m_szLibraryName.get(), libraryName, size);
  }
}

DeviceLibraryBinding::~DeviceLibraryBinding() {
  if (m_hModule && m_bOwnsModule) qv::FreeLibrary(m_hModule);
}

const char* DeviceLibraryBinding::EntryPointName(EntryPoint entry) {
  return entry < kEntryPointCount ? kEntryPointNames[entry] : "";
}

void DeviceLibraryBinding::Lookup(EntryPoint entry) {
  if (entry >= kEntryPointCount) return;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_hModule && m_szLibraryName && m_dwLastLoadError == 0) {
    m_hModule = qv::LoadLibrary(m_szLibraryName.get());
    if (!m_hModule) {
      uint32_t code = qv::LastLibraryError();
      m_dwLastLoadError = code != 0 ? code : kLoadErrorWithoutCode;
    }
  }
  if (!m_hModule) return;  // the entry stays "not looked up"
  Entry& e = m_entries[entry];
  e.address = qv::GetProcAddress(m_hModule, kEntryPointNames[entry]);
  e.state = e.address ? kBound : kMissing;
}

DeviceLibraryBinding::State DeviceLibraryBinding::StateOf(EntryPoint entry) const {
  if (entry >= kEntryPointCount) return kNotLookedUp;
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_entries[entry].state;
}

uint32_t DeviceLibraryBinding::LastLoadError() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_dwLastLoadError;
}

qv::ModuleHandle DeviceLibraryBinding::Module() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_hModule;
}

DravikDevice DeviceLibraryBinding::CreateCUSBDevice() {
  auto* fn = Bound<DravikCreateCUSBDeviceFn>(kCreateCUSBDevice);
  return fn ? fn() : nullptr;
}

int DeviceLibraryBinding::DeviceExist(DravikDevice device) {
  auto* fn = Bound<DravikDeviceExistFn>(kDeviceExist);
  return fn ? fn(device) : 0;
}

int DeviceLibraryBinding::GetNumberOfDrive(DravikDevice device) {
  auto* fn = Bound<DravikGetNumberOfDriveFn>(kGetNumberOfDrive);
  return fn ? fn(device) : 0;
}

int DeviceLibraryBinding::SetCurrentDriveNumber(DravikDevice device, int drive) {
  auto* fn = Bound<DravikSetCurrentDriveNumberFn>(kSetCurrentDriveNumber);
  return fn ? fn(device, drive) : 0;
}

int DeviceLibraryBinding::GetChipID(DravikDevice device, uint16_t* chipId, uint16_t* chipVersion) {
  auto* fn = Bound<DravikGetChipIDFn>(kGetChipID);
  return fn ? fn(device, chipId, chipVersion) : 0;
}

int DeviceLibraryBinding::GetDeviceString(DravikDevice device, char* text) {
  auto* fn = Bound<DravikGetDeviceStringFn>(kGetDeviceString);
  return fn ? fn(device, text) : 0;
}

int DeviceLibraryBinding::GetFwVersion(DravikDevice device, char* text) {
  auto* fn = Bound<DravikGetFwVersionFn>(kGetFwVersion);
  return fn ? fn(device, text) : 0;
}

int DeviceLibraryBinding::GetUpdateFWFile(DravikDevice device, char* path, uint8_t selectDevice) {
  auto* fn = Bound<DravikGetUpdateFWFileFn>(kGetUpdateFWFile);
  return fn ? fn(device, path, selectDevice) : 0;
}

int DeviceLibraryBinding::GetDriveLetter(DravikDevice device, int index, char* letter) {
  auto* fn = Bound<DravikGetDriveLetterFn>(kGetDriveLetter);
  return fn ? fn(device, index, letter) : 0;
}

int DeviceLibraryBinding::GetDeviceAttrib(DravikDevice device, uint32_t* value32,
                                          uint16_t* value16, uint8_t* a, uint8_t* b,
                                          uint8_t* c) {
  auto* fn = Bound<DravikGetDeviceAttribFn>(kGetDeviceAttrib);
  return fn ? fn(device, value32, value16, a, b, c) : 0;
}

int DeviceLibraryBinding::RunRepairDevice(DravikDevice device, uint8_t option) {
  auto* fn = Bound<DravikRunRepairDeviceFn>(kRunRepairDevice);
  return fn ? fn(device, option) : 0;
}

int DeviceLibraryBinding::GetCurrentProgress(DravikDevice device) {
  auto* fn = Bound<DravikGetCurrentProgressFn>(kGetCurrentProgress);
  return fn ? fn(device) : 0;
}

uint32_t DeviceLibraryBinding::GetCurrentState(DravikDevice device) {
  auto* fn = Bound<DravikGetCurrentStateFn>(kGetCurrentState);
  return fn ? fn(device) : 0;
}

int DeviceLibraryBinding::GetBADBlockInfomation(DravikDevice device, uint32_t* badCount,
                                                uint32_t* total, uint32_t* divisor) {
  auto* fn = Bound<DravikGetBADBlockInfomationFn>(kGetBADBlockInfomation);
  return fn ? fn(device, badCount, total, divisor) : 0;
}

uint32_t DeviceLibraryBinding::GetErrorCode(DravikDevice device) {
  auto* fn = Bound<DravikGetErrorCodeFn>(kGetErrorCode);
  return fn ? fn(device) : 0;
}
