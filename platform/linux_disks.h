// The host's whole-disk block devices as the storage services see them:
// read from sysfs (under a configurable root, so that tests can use a small
// fixture tree) and given drive letters by a stable rule.
//
// Drive letters. Every whole disk in <sysfs>/block (loop, ram, zram, md
// and device-mapper nodes excepted) gets a letter from C upwards. A disk is
// known by its identity, never by its kernel name, which may change on a
// re-plug (sdb coming back as sdc): for a USB disk the USB port path and
// interface ("usb:1-2:1.0"), for other disks the sysfs path of the device.
// The letter of an identity is kept in the letters file
//   $XDG_CONFIG_HOME/quorvin/drive-letters.ini  (section [Letters], E=usb:1-2:1.0)
// which a user may edit to pin letters; a new identity takes the lowest
// letter that is neither pinned nor in use and is recorded there.
//
// Disk numbers are the disk's device number (major × 65536 + minor); a
// partition answers its disk's number. The present disks are listed in
// ascending disk number.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

struct LinuxDisk {
  char letter = 0;
  std::string name;        // kernel name, "sdb"
  std::string devicePath;  // "/dev/sdb" under the dev root
  std::string identity;    // "usb:1-2:1.0" or the sysfs device path
  uint32_t driveType = 0;  // kDriveCdrom, kDriveRemovable, kDriveFixed
  uint32_t busType = 0;    // kBusUsb, kBusNvme, kBusSata, kBusScsi, ...
  uint32_t diskNumber = 0;
  uint64_t sizeBytes = 0;
};

// Reads the disks and assigns letters (updating the letters file when a
// new identity appears and the file can be written).
std::vector<LinuxDisk> ScanLinuxDisks(const std::string& sysfsRoot, const std::string& devRoot,
                                      const std::string& lettersFile);

// Where the letters file lives for the current user.
std::string DriveLettersFilePath();

// Bus type of the disk that owns a block device number (partition or disk).
uint32_t BusTypeOfDeviceNumber(const std::string& sysfsRoot, unsigned major, unsigned minor);

}  // namespace qv
