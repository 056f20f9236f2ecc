#include "sortlib/device/device_locator.h"

#include <cctype>
#include <cstring>
#include <new>

#include "platform/storage.h"
#include "sortlib/device/identification.h"
#include "sortlib/device/volume_access.h"

namespace sievex {
namespace {

void ClearDriveName(SortDevice* device) {
  std::memset(device->m_szDrive, 0, sizeof device->m_szDrive);
}

void UpperCaseDriveName(SortDevice* device) {
  char& letter = device->m_szDrive[0];
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}

bool LetterInDriveMask(const SortDevice* device) {
  unsigned bit = (static_cast<unsigned char>(device->m_szDrive[0]) - 'A') & 31u;
  return (qv::GetLogicalDrives() >> bit) & 1u;
}

}  // namespace

bool DriveExists(SortDevice* device) {
  if (device->m_szDrive[0] == '\0') return false;
  UpperCaseDriveName(device);
  return LetterInDriveMask(device);
}

DeviceLocator::DeviceLocator(const char* driveName)
    : m_pDevice(new (std::nothrow) SortDevice) {
  if (m_pDevice == nullptr) return;
  if (driveName != nullptr)
    std::strncpy(m_pDevice->m_szDrive, driveName, 3);  // letter, colon, terminator
  m_pDevice->m_szDrive[3] = '\0';
  Rescan();
}

DeviceLocator::~DeviceLocator() = default;

void DeviceLocator::Rescan() {
  SortDevice* device = m_pDevice.get();
  if (device == nullptr) return;
  if (device->m_dwFound == 1) {
    UpperCaseDriveName(device);
    if (!LetterInDriveMask(device)) device->m_dwFound = 0;
  }
  if (qv::GetDriveType(device->m_szDrive) == qv::kDriveCdrom) {
    ClearDriveName(device);
    return;
  }
  uint32_t bus = 0;
  if (QueryBusType(device, &bus) && bus != qv::kBusUsb) {
    ClearDriveName(device);
    return;
  }
  if (DiscoverDevice(device)) {
    device->m_bPort = 0;
    return;
  }
  // A drive whose controller answered once keeps its name; only the
  // matching to a disk device failed.
  if (device->m_dwProbed == 0) ClearDriveName(device);
}

int DeviceLocator::DiscoverDevice(SortDevice* device) {
  std::unique_ptr<qv::Device> volume;
  if (!OpenVolume(device, &volume)) return 0;
  if (!ReadInquiry(device, volume.release())) return 0;
  if (!ProbeController(device)) return 0;
  device->m_dwProbed = 1;

  uint32_t volumeNumber = 0;
  if (!GetDiskNumber(VolumePath(device), &volumeNumber)) return 0;
  m_hDevInfo = qv::Storage().DiskInterfaces();
  device->m_dwFound = 0;
  for (unsigned n = 0; n < kMaxDiskInterfaces; ++n) {
    std::string path;
    uint32_t diskNumber = 0;
    if (GetDiskInterfacePath(n, &path) && GetDiskNumber(path, &diskNumber) &&
        diskNumber == volumeNumber) {
      device->m_dwFound = 1;
      return 1;
    }
  }
  return 0;
}

int DeviceLocator::GetDiskInterfacePath(unsigned n, std::string* path) const {
  if (n >= m_hDevInfo.size() || m_hDevInfo[n].empty()) return 0;
  *path = m_hDevInfo[n];
  return 1;
}

}  // namespace sievex
