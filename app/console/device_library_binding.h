// The device library Dravik.dll, loaded by module name at the first lookup
// and called only through entry points that were found in it. A library
// that is missing, or an entry point that it lacks, makes the call a no-op
// that leaves the caller's default (0, or the buffer as it was).
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/library.h"

// The device handle that Dravik_CreateCUSBDevice returns; every other entry
// point takes it first.
using DravikDevice = void*;

// Buffer sizes the callers pass (the library writes at most this much).
inline constexpr size_t kDeviceStringSize = 256;
inline constexpr size_t kFwVersionSize = 32;
inline constexpr size_t kUpdateFwFileSize = 512;

// The entry points as the library exports them (C linkage, by name).
extern "C" {
using DravikCreateCUSBDeviceFn = DravikDevice();
using DravikDeviceExistFn = int(DravikDevice);
using DravikGetNumberOfDriveFn = int(DravikDevice);
using DravikSetCurrentDriveNumberFn = int(DravikDevice, int drive);
using DravikGetChipIDFn = int(DravikDevice, uint16_t* chipId, uint16_t* chipVersion);
using DravikGetDeviceStringFn = int(DravikDevice, char* text /* kDeviceStringSize */);
using DravikGetFwVersionFn = int(DravikDevice, char* text /* kFwVersionSize */);
using DravikGetUpdateFWFileFn = int(DravikDevice, char* path /* kUpdateFwFileSize */,
                                    uint8_t selectDevice);
using DravikGetDriveLetterFn = int(DravikDevice, int index, char* letter);
using DravikGetDeviceAttribFn = int(DravikDevice, uint32_t*, uint16_t*, uint8_t*, uint8_t*,
                                    uint8_t*);
using DravikRunRepairDeviceFn = int(DravikDevice, uint8_t option);
using DravikGetCurrentProgressFn = int(DravikDevice);
using DravikGetCurrentStateFn = uint32_t(DravikDevice);
using DravikGetBADBlockInfomationFn = int(DravikDevice, uint32_t* badCount, uint32_t* total,
                                          uint32_t* divisor);
using DravikGetErrorCodeFn = uint32_t(DravikDevice);
}

class DeviceLibraryBinding {
 public:
  enum EntryPoint : unsigned {
    kCreateCUSBDevice,
    kDeviceExist,
    kGetNumberOfDrive,
    kSetCurrentDriveNumber,
    kGetChipID,
    kGetDeviceString,
    kGetFwVersion,
    kGetUpdateFWFile,
    kGetDriveLetter,
    kGetDeviceAttrib,
    kRunRepairDevice,
    kGetCurrentProgress,
    kGetCurrentState,
    kGetBADBlockInfomation,
    kGetErrorCode,
    kEntryPointCount
  };
  enum State : uint8_t { kNotLookedUp = 0, kMissing = 1, kBound = 2 };

  // Recorded as the load error when the loader failed without a code.
  static constexpr uint32_t kLoadErrorWithoutCode = 0x20000000;
  static constexpr char kDefaultLibraryName[] = "Dravik";

  explicit DeviceLibraryBinding(const char* libraryName = kDefaultLibraryName);
  ~DeviceLibraryBinding();
  DeviceLibraryBinding(const DeviceLibraryBinding&) = delete;
  DeviceLibraryBinding& operator=(const DeviceLibraryBinding&) = delete;

  // The exported name of an entry point ("Dravik_GetChipID").
  static const char* EntryPointName(EntryPoint entry);

  // Loads the library when it is not loaded yet and no load has failed
  // (a failure is recorded and never retried), then, with a module, looks
  // the entry point up: state 2 when found, 1 when not.
  void Lookup(EntryPoint entry);

  State StateOf(EntryPoint entry) const;
  uint32_t LastLoadError() const;
  qv::ModuleHandle Module() const;
  const char* LibraryName() const { return m_szLibraryName.get(); }

  // The calls: each looks up at state 0 and calls only at state 2.
  DravikDevice CreateCUSBDevice();
  int DeviceExist(DravikDevice device);
  int GetNumberOfDrive(DravikDevice device);
  int SetCurrentDriveNumber(DravikDevice device, int drive);
  int GetChipID(DravikDevice device, uint16_t* chipId, uint16_t* chipVersion);
  int GetDeviceString(DravikDevice device, char* text);
  int GetFwVersion(DravikDevice device, char* text);
  int GetUpdateFWFile(DravikDevice device, char* path, uint8_t selectDevice);
  int GetDriveLetter(DravikDevice device, int index, char* letter);
  int GetDeviceAttrib(DravikDevice device, uint32_t* value32, uint16_t* value16, uint8_t* a,
                      uint8_t* b, uint8_t* c);
  int RunRepairDevice(DravikDevice device, uint8_t option);
  int GetCurrentProgress(DravikDevice device);
  uint32_t GetCurrentState(DravikDevice device);
  int GetBADBlockInfomation(DravikDevice device, uint32_t* badCount, uint32_t* total,
                            uint32_t* divisor);
  uint32_t GetErrorCode(DravikDevice device);

 private:
  struct Entry {
    void* address = nullptr;
    State state = kNotLookedUp;
  };

  // The entry point's address when it is bound, else null.
  template <typename Fn>
  Fn* Bound(EntryPoint entry) {
    if (StateOf(entry) == kNotLookedUp) Lookup(entry);
    std::lock_guard<std::mutex> lock(m_mutex);
    const Entry& e = m_entries[entry];
    return e.state == kBound ? reinterpret_cast<Fn*>(e.address) : nullptr;
  }

  // The dialog thread and the repair worker both call in; lookups are
  // serialised so that the two never race on the module or an entry.
  mutable std::mutex m_mutex;
  qv::ModuleHandle m_hModule = nullptr;
  uint32_t m_dwLastLoadError = 0;
  bool m_bOwnsModule = true;
  std::unique_ptr<char[]> m_szLibraryName;
  std::array<Entry, kEntryPointCount> m_entries{};
};
