// DeviceLocator binds a drive name to the controller behind it: the drive
// must be a disk on the USB bus (not a CD drive), answer INQUIRY with a
// known controller tag, and its volume must belong to one of the first 30
// present disk devices of the system.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sortlib/device/sort_device.h"

namespace sievex {

// Disk interfaces that discovery compares with the volume; a disk listed
// later is not found.
inline constexpr unsigned kMaxDiskInterfaces = 30;

class DeviceLocator {
 public:
  // Creates the record with the given drive name (letter, colon and
  // terminator at most) and runs Rescan.
  explicit DeviceLocator(const char* driveName);
  ~DeviceLocator();
  DeviceLocator(const DeviceLocator&) = delete;
  DeviceLocator& operator=(const DeviceLocator&) = delete;

  // Re-checks the binding; always completes.
  void Rescan();
  int DiscoverDevice(SortDevice* device);
  // The n-th disk interface path captured by the last discovery.
  int GetDiskInterfacePath(unsigned n, std::string* path) const;

  std::unique_ptr<SortDevice> m_pDevice;     // null only if its allocation failed
  // The present disk interfaces as the last discovery listed them.
  std::vector<std::string> m_hDevInfo;
};

// Upper-cases the drive name's letter in place and tells whether its bit
// (letter minus 'A', modulo 32) is set in the system's logical drive mask.
// An empty name never exists.
bool DriveExists(SortDevice* device);

}  // namespace sievex
