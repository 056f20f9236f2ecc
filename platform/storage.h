// Storage services: drive letters, drive types, volumes and disk devices,
// the storage queries and SCSI pass-through. One backend answers for the
// whole process: the simulated machine named by QUORVIN_SIM when that is
// set, the host's block devices otherwise.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Drive types, in the system's values.
constexpr uint32_t kDriveUnknown = 0;
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kDriveRemote = 4;
constexpr uint32_t kDriveCdrom = 5;
constexpr uint32_t kDriveRamdisk = 6;

// Storage bus types, in the system's values.
constexpr uint32_t kBusUnknown = 0;
constexpr uint32_t kBusScsi = 1;
constexpr uint32_t kBusAtapi = 2;
constexpr uint32_t kBusAta = 3;
constexpr uint32_t kBusUsb = 7;
constexpr uint32_t kBusSata = 11;
constexpr uint32_t kBusNvme = 17;

enum class ScsiDirection : uint8_t { kNone, kIn, kOut };

// One SCSI command handed to the system.
struct ScsiCommand {
  const uint8_t* cdb = nullptr;
  uint8_t cdbLength = 0;
  ScsiDirection direction = ScsiDirection::kNone;
  void* data = nullptr;        // in: filled by the device; out: sent to it
  uint32_t dataLength = 0;
  uint32_t timeoutSeconds = 0;
  uint8_t senseLength = 0;     // sense bytes requested (0 = none)
};

// What became of it: whether the system delivered the command (a transport
// or OS failure is not delivered), the device's SCSI status, the bytes
// moved, and the OS error of a failed call.
struct ScsiResult {
  bool delivered = false;
  uint8_t scsiStatus = 0;
  uint32_t bytesMoved = 0;
  int osError = 0;
};

// IOCTL_STORAGE_GET_DEVICE_NUMBER's answer.
struct DeviceNumber {
  uint32_t deviceType = 0;
  uint32_t deviceNumber = 0;
  uint32_t partitionNumber = 0;
};

// An open volume ("\\.\E:") or disk device (a path from DiskInterfaces()).
// The one narrow virtual per service; closing is destruction.
class Device {
 public:
  virtual ~Device() = default;
  virtual ScsiResult PassThrough(const ScsiCommand& command) = 0;
  // IOCTL_STORAGE_QUERY_PROPERTY (storage device, standard query): the
  // descriptor's bus type.
  virtual bool QueryBusType(uint32_t* busType) = 0;
  virtual bool GetDeviceNumber(DeviceNumber* number) = 0;
};

// Access asked of an open.
constexpr unsigned kOpenRead = 1;
constexpr unsigned kOpenWrite = 2;

class StorageBackend {
 public:
  virtual ~StorageBackend() = default;
  // Bit n set when drive letter 'A' + n exists.
  virtual uint32_t LogicalDriveMask() = 0;
  // Drive type of a root such as "E:" or "E:\".
  virtual uint32_t DriveType(std::string_view root) = 0;
  // Opens "\\.\E:" or a disk interface path; nullptr on failure with the
  // OS error in *error.
  virtual std::unique_ptr<Device> Open(std::string_view path, unsigned access,
                                       int* error) = 0;
  // Device paths of the present disk devices, in a stable order.
  virtual std::vector<std::string> DiskInterfaces() = 0;
  // For people: what stands behind a drive letter ("/dev/sdb", "sim:E"),
  // and its size in bytes (0 when unknown).
  virtual std::string Describe(char /*letter*/) { return {}; }
  virtual uint64_t SizeBytes(char /*letter*/) { return 0; }
};

// The process's backend (created at first use).
StorageBackend& Storage();
// Replaces the backend (tests, tools); nullptr returns to the default.
// The caller keeps ownership.
void SetStorageBackend(StorageBackend* backend);

// Convenience forms over Storage().
uint32_t GetLogicalDrives();
uint32_t GetDriveType(std::string_view root);
std::unique_ptr<Device> OpenDevice(std::string_view path, unsigned access,
                                   int* error = nullptr);

// Backends.
std::unique_ptr<StorageBackend> CreateLinuxStorage(const std::string& sysfsRoot = "/sys",
                                                   const std::string& devRoot = "/dev");
std::unique_ptr<StorageBackend> CreateSimStorage(const std::string& machineFolder);

}  // namespace qv
