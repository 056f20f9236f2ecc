// The platform's storage services over a simulated machine (QUORVIN_SIM):
// every drive folder of the machine is a drive letter, a disk device
// ("\\?\simdisk#<disk number>") and the controller behind both.
#include <cctype>
#include <cerrno>
#include <string>

#include "platform/storage.h"
#include "sim/sim_api.h"

namespace qv {

namespace {

constexpr uint32_t kFileDeviceDisk = 7;
constexpr const char kDiskPrefix[] = "simdisk#";

// "\\.\E:" (either slash) → 'E'; 0 otherwise.
char VolumeLetter(std::string_view path) {
  if (path.size() != 6 || (path[0] != '\\' && path[0] != '/') || (path[1] != '\\' && path[1] != '/') ||
      path[2] != '.' || (path[3] != '\\' && path[3] != '/') || path[5] != ':')
    return 0;
  char c = char(std::toupper(static_cast<unsigned char>(path[4])));
  return c >= 'A' && c <= 'Z' ? c : 0;
}

// "\\?\simdisk#7" → 7; -1 otherwise.
long DiskOfPath(std::string_view path) {
  if (path.size() < 5 || path[2] != '?') return -1;
  std::string_view rest = path.substr(4);
  if (rest.substr(0, sizeof kDiskPrefix - 1) != kDiskPrefix) return -1;
  rest.remove_prefix(sizeof kDiskPrefix - 1);
  if (rest.empty()) return -1;
  long n = 0;
  for (char c : rest) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

char RootLetter(std::string_view root) {
  if (root.size() < 2 || root[1] != ':') return 0;
  char c = char(std::toupper(static_cast<unsigned char>(root[0])));
  return c >= 'A' && c <= 'Z' ? c : 0;
}

class SimDevice final : public Device {
 public:
  SimDevice(std::unique_ptr<sim::Drive> drive, bool volume) : drive_(std::move(drive)), volume_(volume) {}

  ScsiResult PassThrough(const ScsiCommand& command) override {
    sim::Request r;
    r.cdb = command.cdb;
    r.cdbLength = command.cdbLength;
    r.direction = command.direction == ScsiDirection::kIn    ? sim::Direction::kIn
                  : command.direction == ScsiDirection::kOut ? sim::Direction::kOut
                                                             : sim::Direction::kNone;
    r.data = command.data;
    r.dataLength = command.dataLength;
    sim::Reply reply = drive_->Execute(r);
    ScsiResult result;
    result.delivered = reply.delivered;
    result.scsiStatus = reply.scsiStatus;
    result.bytesMoved = reply.bytesMoved;
    result.osError = reply.osError;
    return result;
  }

  bool QueryBusType(uint32_t* busType) override {
    if (!drive_->Present()) return false;
    *busType = drive_->Description().busType;
    return true;
  }

  bool GetDeviceNumber(DeviceNumber* number) override {
    if (!drive_->Present()) return false;
    number->deviceType = kFileDeviceDisk;
    number->deviceNumber = drive_->Description().diskNumber;
    number->partitionNumber = volume_ ? 1 : 0;
    return true;
  }

 private:
  std::unique_ptr<sim::Drive> drive_;
  bool volume_;
};

class SimStorage final : public StorageBackend {
 public:
  explicit SimStorage(std::string machine) : machine_(std::move(machine)) {}

  uint32_t LogicalDriveMask() override {
    uint32_t mask = 0;
    for (const Entry& e : Present())
      if (e.desc.letter) mask |= 1u << (e.desc.letter - 'A');
    return mask;
  }

  uint32_t DriveType(std::string_view root) override {
    char letter = RootLetter(root);
    for (const Entry& e : Present())
      if (letter && e.desc.letter == letter) return e.desc.driveType;
    return kDriveNoRootDir;
  }

  std::unique_ptr<Device> Open(std::string_view path, unsigned, int* error) override {
    char letter = VolumeLetter(path);
    long disk = letter ? -1 : DiskOfPath(path);
    for (const Entry& e : Present()) {
      if ((letter && e.desc.letter == letter) || (disk >= 0 && e.desc.diskNumber == uint32_t(disk))) {
        auto drive = sim::Drive::Open(e.folder);
        if (drive && drive->Present()) return std::make_unique<SimDevice>(std::move(drive), letter != 0);
        break;
      }
    }
    if (error) *error = sim::kErrorFileNotFound;
    return nullptr;
  }

  std::vector<std::string> DiskInterfaces() override {
    std::vector<std::string> out;
    for (const Entry& e : Present()) out.push_back("\\\\?\\" + std::string(kDiskPrefix) + std::to_string(e.desc.diskNumber));
    return out;
  }

  std::string Describe(char letter) override {
    for (const Entry& e : Present())
      if (e.desc.letter == char(std::toupper(static_cast<unsigned char>(letter)))) return "sim:" + e.folder;
    return {};
  }

  uint64_t SizeBytes(char letter) override {
    for (const Entry& e : Present())
      if (e.desc.letter == char(std::toupper(static_cast<unsigned char>(letter)))) return e.desc.CapacityBytes();
    return 0;
  }

 private:
  struct Entry {
    std::string folder;
    sim::DriveSpec desc;
  };
  // The machine is read afresh on every query: drives come and go while a
  // program runs (flashsim create, plug, unplug).
  std::vector<Entry> Present() const {
    std::vector<Entry> out;
    for (const std::string& folder : sim::ListDriveFolders(machine_)) {
      Entry e{folder, {}};
      if (sim::IsPlugged(folder) && sim::LoadDriveSpec(folder + "/drive.ini", &e.desc, nullptr))
        out.push_back(std::move(e));
    }
    return out;
  }

  std::string machine_;
};

}  // namespace

std::unique_ptr<StorageBackend> CreateSimStorage(const std::string& machineFolder) {
  return std::make_unique<SimStorage>(machineFolder);
}

}  // namespace qv
