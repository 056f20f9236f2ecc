#include "sortlib/tests/fake_machine.h"

#include <cctype>
#include <cerrno>
#include <cstring>

namespace sievex_test {
namespace {

qv::ScsiResult Good(uint32_t moved) {
  qv::ScsiResult r;
  r.delivered = true;
  r.bytesMoved = moved;
  return r;
}

qv::ScsiResult CheckCondition() {
  qv::ScsiResult r;
  r.delivered = true;
  r.scsiStatus = 2;
  return r;
}

// The controller side of the discovery commands.
qv::ScsiResult Answer(FakeDrive* drive, const qv::ScsiCommand& c) {
  uint8_t* data = static_cast<uint8_t*>(c.data);
  const uint8_t op = c.cdb[0];
  if (op == 0x12) {
    if (!drive->inquiryWorks) return CheckCondition();
    std::memset(data, 0, c.dataLength);
    std::memcpy(data + 36, drive->tag.data(), std::min<size_t>(drive->tag.size(), 20));
    return Good(c.dataLength);
  }
  if (op == 0xF2) {
    if (!drive->configWorks) return CheckCondition();
    std::memcpy(data, drive->config.data(), std::min<size_t>(c.dataLength, 34));
    return Good(c.dataLength);
  }
  if (op != 0xFD) return Good(c.dataLength);
  switch (c.cdb[1]) {
    case 0x10:
      if (!drive->flashIdWorks) return CheckCondition();
      std::memcpy(data, drive->flashId.data(), 5);
      return Good(5);
    case 0x11:
      return drive->startBootWorks ? Good(0) : CheckCondition();
    case 0x00:
      if (c.cdb[2] == 0x01) {  // memory write
        uint32_t address = (c.cdb[3] << 8 | c.cdb[4]);
        if (address >= 0xF000 && address + c.dataLength <= 0x10000)
          std::memcpy(drive->bootRam.data() + (address - 0xF000), data, c.dataLength);
        ++drive->ramWrites;
      } else {
        std::memset(data, 0, c.dataLength);
        data[0] = drive->eccByte;
      }
      return Good(c.dataLength);
    default:
      return Good(c.dataLength);
  }
}

class CountedDevice : public RecordingDevice {
 public:
  CountedDevice(std::shared_ptr<std::vector<SentCommand>> log, Responder responder,
                std::shared_ptr<int> counter)
      : RecordingDevice(std::move(log), std::move(responder)), counter_(std::move(counter)) {
    ++*counter_;
  }
  ~CountedDevice() override { --*counter_; }

 private:
  std::shared_ptr<int> counter_;
};

// "\\.\E:" names volume E.
char VolumeLetter(std::string_view path) {
  if (path.size() == 6 && path.substr(0, 4) == "\\\\.\\" && path[5] == ':')
    return static_cast<char>(std::toupper(static_cast<unsigned char>(path[4])));
  return 0;
}

}  // namespace

size_t FakeDrive::Count(uint8_t op, int sub) const {
  size_t n = 0;
  for (const SentCommand& c : *log)
    if (c.cdb[0] == op && (sub < 0 || c.cdb[1] == sub)) ++n;
  return n;
}

FakeMachine::FakeMachine() { qv::SetStorageBackend(this); }
FakeMachine::~FakeMachine() { qv::SetStorageBackend(nullptr); }

FakeDrive& FakeMachine::AddDrive(char letter) {
  auto& slot = drives_[static_cast<char>(std::toupper(letter))];
  slot = std::make_unique<FakeDrive>();
  return *slot;
}

void FakeMachine::RemoveDrive(char letter) { drives_.erase(static_cast<char>(std::toupper(letter))); }

void FakeMachine::AddDisk(const std::string& path, uint32_t number) {
  disks_.emplace_back(path, number);
}

FakeDrive* FakeMachine::Find(char letter) {
  auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  return it == drives_.end() ? nullptr : it->second.get();
}

uint32_t FakeMachine::LogicalDriveMask() {
  uint32_t mask = 0;
  for (const auto& [letter, drive] : drives_) mask |= 1u << (letter - 'A');
  return mask;
}

uint32_t FakeMachine::DriveType(std::string_view root) {
  FakeDrive* drive = root.empty() ? nullptr : Find(root[0]);
  return drive ? drive->driveType : qv::kDriveNoRootDir;
}

std::unique_ptr<qv::Device> FakeMachine::Open(std::string_view path, unsigned, int* error) {
  if (char letter = VolumeLetter(path)) {
    FakeDrive* drive = Find(letter);
    if (drive == nullptr || !drive->opens) {
      if (error) *error = ENOENT;
      return nullptr;
    }
    auto device = std::make_unique<CountedDevice>(
        drive->log, [drive](const qv::ScsiCommand& c) { return Answer(drive, c); }, openHandles_);
    device->busType_ = drive->busType;
    device->busQueryWorks_ = drive->busQueryWorks;
    device->diskNumber_ = drive->diskNumber;
    return device;
  }
  for (const auto& [diskPath, number] : disks_) {
    if (diskPath != path) continue;
    auto device = std::make_unique<CountedDevice>(std::make_shared<std::vector<SentCommand>>(),
                                                  AnswerWith(0), openHandles_);
    device->diskNumber_ = number;
    return device;
  }
  if (error) *error = ENOENT;
  return nullptr;
}

std::vector<std::string> FakeMachine::DiskInterfaces() {
  std::vector<std::string> paths;
  for (const auto& [path, number] : disks_) paths.push_back(path);
  return paths;
}

std::string Tag(const std::string& text) {
  std::string tag = text.substr(0, 20);
  tag.resize(20, '\0');
  return tag;
}

}  // namespace sievex_test
