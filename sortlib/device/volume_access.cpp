#include "sortlib/device/volume_access.h"

#include <cstdio>
#include <cstring>

#include "sortlib/device/sort_device.h"

namespace sievex {

std::string VolumePath(const SortDevice* device) {
  // The name is at most letter, colon and terminator; strnlen keeps a
  // record without a terminator from being read beyond its field.
  char path[64];
  std::string name(device->m_szDrive, strnlen(device->m_szDrive, sizeof device->m_szDrive));
  std::snprintf(path, sizeof path, "\\\\.\\%s", name.c_str());
  return path;
}

int OpenVolume(const SortDevice* device, std::unique_ptr<qv::Device>* volume) {
  if (device->m_szDrive[0] == '\0') return 0;
  *volume = qv::OpenDevice(VolumePath(device), qv::kOpenRead | qv::kOpenWrite);
  return *volume ? 1 : 0;
}

int QueryBusType(const SortDevice* device, uint32_t* busType) {
  std::unique_ptr<qv::Device> volume;
  if (!OpenVolume(device, &volume)) return 0;
  return volume->QueryBusType(busType) ? 1 : 0;
}

int GetDiskNumber(std::string_view path, uint32_t* number) {
  std::unique_ptr<qv::Device> disk = qv::OpenDevice(path, qv::kOpenRead);
  if (!disk) return 0;
  qv::DeviceNumber answer;
  if (!disk->GetDeviceNumber(&answer)) return 0;
  *number = answer.deviceNumber;
  return 1;
}

}  // namespace sievex
