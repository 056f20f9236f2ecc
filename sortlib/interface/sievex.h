// The sort library's exported class. One DLLSort stands for one USB flash
// drive named by its drive letter; StartSort runs the whole flash test on
// the caller's thread. The caller allocates the 260 bytes of the object and
// constructs it in place, so its size and member offsets are part of the
// library's interface and are checked below.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "sortlib/interface/kv_config.h"

struct SortDevice;
namespace sievex {
class DeviceLocator;
}

#define SIEVEX_API __attribute__((visibility("default")))

// Four-byte packing keeps the 8-byte locator pointer from padding the
// object to 264 bytes; every other member is at most 4-byte aligned.
#pragma pack(push, 4)
class SIEVEX_API DLLSort {
 public:
  // Names the drive by the first character of `drive` (an empty text gives
  // an empty name and an object that cannot start until a drive is named)
  // and runs discovery. verify 0 makes GetDeviceInfo take the drive as found.
  DLLSort(char* drive, int verify);
  ~DLLSort();
  // The object owns its locator; a member-wise copy would let two objects
  // delete one locator, so copying is refused.
  DLLSort(const DLLSort&) = delete;
  DLLSort& operator=(const DLLSort&) = delete;

  // Re-runs discovery for the current drive name.
  void Refresh();
  // The drive name (letter, colon, terminator) when the drive exists.
  int GetDiskName(char* out);
  int IsDeviceUse();
  // Names another drive without running discovery (call Refresh after).
  int SetDeviceName(char* name);
  int GetConfig(_KVConfig* out);
  int GetDeviceInfo(_USBDevceInfo* out);
  // Runs the test to its end; 1 when it finished in a passing state (or
  // there was no device to test), 0 when busy, stopped or failed.
  int StartSort(int port, _KVConfig* config, void (*callback)(void*));
  // Asks a running StartSort to stop and returns once it has ended.
  void StopSort();

 private:
  int SetConfig(_KVConfig* config);
  SortDevice* Device() const;

  sievex::DeviceLocator* m_pLocator;  // owned
  _KVConfig m_Config;                 // the stored configuration
  uint8_t m_Unused[25];
  // 1 when a drive is named and no sort runs; written by the running
  // thread, polled by StopSort on another.
  std::atomic<int32_t> m_dwIdle;
  int32_t m_dwVerifyDevice;

  friend struct DLLSortLayout;
};
#pragma pack(pop)

struct DLLSortLayout {
  static_assert(sizeof(void*) == 8, "the layout below is the 64-bit one");
  static_assert(sizeof(DLLSort) == 260);
  static_assert(offsetof(DLLSort, m_pLocator) == 0);
  static_assert(offsetof(DLLSort, m_Config) == 8);
  static_assert(offsetof(DLLSort, m_Unused) == 8 + sizeof(_KVConfig));
  static_assert(offsetof(DLLSort, m_dwIdle) == 252);
  static_assert(offsetof(DLLSort, m_dwVerifyDevice) == 256);
  static_assert(std::atomic<int32_t>::is_always_lock_free);
  static_assert(sizeof(std::atomic<int32_t>) == 4);
  static_assert(std::atomic<uint8_t>::is_always_lock_free);
  static_assert(sizeof(std::atomic<uint8_t>) == 1);
};
