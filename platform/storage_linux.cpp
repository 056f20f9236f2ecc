// The storage services over the host's block devices: sysfs for the facts,
// SG_IO for SCSI pass-through.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include "platform/linux_disks.h"
#include "platform/storage.h"

namespace qv {

namespace {

constexpr uint32_t kFileDeviceDisk = 7;

class LinuxDevice final : public Device {
 public:
  LinuxDevice(int fd, std::string sysfsRoot) : fd_(fd), sysfsRoot_(std::move(sysfsRoot)) {}
  ~LinuxDevice() override { ::close(fd_); }

  ScsiResult PassThrough(const ScsiCommand& command) override {
    ScsiResult result;
    uint8_t sense[64] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    switch (command.direction) {
      case ScsiDirection::kIn:
        io.dxfer_direction = command.dataLength ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
        break;
      case ScsiDirection::kOut:
        io.dxfer_direction = command.dataLength ? SG_DXFER_TO_DEV : SG_DXFER_NONE;
        break;
      case ScsiDirection::kNone:
        io.dxfer_direction = SG_DXFER_NONE;
        break;
    }
    io.cmd_len = command.cdbLength;
    io.cmdp = const_cast<uint8_t*>(command.cdb);
    io.mx_sb_len = static_cast<unsigned char>(command.senseLength < sizeof sense ? command.senseLength
                                                                                 : sizeof sense);
    io.sbp = sense;
    io.dxfer_len = command.dataLength;
    io.dxferp = command.data;
    // Seconds to milliseconds, within what the driver takes.
    uint64_t ms = static_cast<uint64_t>(command.timeoutSeconds) * 1000u;
    io.timeout = static_cast<unsigned>(ms > 0x7FFFFFFF ? 0x7FFFFFFF : ms);
    if (ioctl(fd_, SG_IO, &io) != 0) {
      result.osError = errno;
      return result;
    }
    // A transport or driver failure is not a delivered command; a CHECK
    // CONDITION is (driver status then only says that sense data came).
    constexpr unsigned kDriverSense = 0x08;
    if (io.host_status != 0 || (io.driver_status & ~kDriverSense & 0x0F) != 0) {
      result.osError = EIO;
      return result;
    }
    result.delivered = true;
    result.scsiStatus = io.status;
    result.bytesMoved = command.dataLength - static_cast<uint32_t>(io.resid > 0 ? io.resid : 0);
    return result;
  }

  bool QueryBusType(uint32_t* busType) override {
    struct stat st;
    if (fstat(fd_, &st) != 0 || !S_ISBLK(st.st_mode)) return false;
    *busType = BusTypeOfDeviceNumber(sysfsRoot_, major(st.st_rdev), minor(st.st_rdev));
    return true;
  }

  bool GetDeviceNumber(DeviceNumber* number) override {
    struct stat st;
    if (fstat(fd_, &st) != 0 || !S_ISBLK(st.st_mode)) return false;
    unsigned maj = major(st.st_rdev), min = minor(st.st_rdev);
    // A partition answers the number of its disk.
    number->deviceType = kFileDeviceDisk;
    number->deviceNumber = DiskOf(maj, min);
    number->partitionNumber = 0;
    return true;
  }

 private:
  uint32_t DiskOf(unsigned maj, unsigned min) {
    std::string link = sysfsRoot_ + "/dev/block/" + std::to_string(maj) + ":" + std::to_string(min);
    std::string partition = link + "/partition";
    if (access(partition.c_str(), F_OK) == 0) {
      FILE* f = std::fopen((link + "/../dev").c_str(), "r");
      if (f) {
        unsigned dm = 0, dn = 0;
        if (std::fscanf(f, "%u:%u", &dm, &dn) == 2) maj = dm, min = dn;
        std::fclose(f);
      }
    }
    return maj * 65536u + min;
  }

  int fd_;
  std::string sysfsRoot_;
};

class LinuxStorage final : public StorageBackend {
 public:
  LinuxStorage(std::string sysfsRoot, std::string devRoot)
      : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}

  uint32_t LogicalDriveMask() override {
    uint32_t mask = 0;
    for (const LinuxDisk& d : Scan()) mask |= 1u << (d.letter - 'A');
    return mask;
  }

  uint32_t DriveType(std::string_view root) override {
    const LinuxDisk* d = nullptr;
    auto disks = Scan();
    if (!root.empty()) d = Find(disks, root[0]);
    return d ? d->driveType : kDriveNoRootDir;
  }

  std::unique_ptr<Device> Open(std::string_view path, unsigned access, int* error) override {
    std::string target;
    if (path.size() >= 6 && (path[0] == '\\' || path[0] == '/') && path[5] == ':') {
      auto disks = Scan();
      const LinuxDisk* d = Find(disks, path[4]);
      if (!d) {
        if (error) *error = ENOENT;
        return nullptr;
      }
      target = d->devicePath;
    } else {
      target = std::string(path);
    }
    int flags = O_CLOEXEC | O_NONBLOCK | ((access & kOpenWrite) ? O_RDWR : O_RDONLY);
    int fd = ::open(target.c_str(), flags);
    if (fd < 0) {
      if (error) *error = errno;
      return nullptr;
    }
    if (error) *error = 0;
    return std::make_unique<LinuxDevice>(fd, sysfsRoot_);
  }

  std::vector<std::string> DiskInterfaces() override {
    std::vector<std::string> paths;
    for (const LinuxDisk& d : Scan())
      if (d.driveType != kDriveCdrom) paths.push_back(d.devicePath);
    return paths;
  }

  std::string Describe(char letter) override {
    auto disks = Scan();
    const LinuxDisk* d = Find(disks, letter);
    return d ? d->devicePath : std::string();
  }

  uint64_t SizeBytes(char letter) override {
    auto disks = Scan();
    const LinuxDisk* d = Find(disks, letter);
    return d ? d->sizeBytes : 0;
  }

 private:
  std::vector<LinuxDisk> Scan() { return ScanLinuxDisks(sysfsRoot_, devRoot_, DriveLettersFilePath()); }
  static const LinuxDisk* Find(const std::vector<LinuxDisk>& disks, char letter) {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const LinuxDisk& d : disks)
      if (d.letter == letter) return &d;
    return nullptr;
  }

  std::string sysfsRoot_, devRoot_;
};

}  // namespace

std::unique_ptr<StorageBackend> CreateLinuxStorage(const std::string& sysfsRoot,
                                                   const std::string& devRoot) {
  return std::make_unique<LinuxStorage>(sysfsRoot, devRoot);
}

}  // namespace qv
