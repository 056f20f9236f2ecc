// A small stand-in for the machine's storage: drive letters with a drive
// type and bus, volumes whose controller answers the discovery commands
// (INQUIRY, flash ID, boot load, flash configuration) from a description,
// and a list of disk devices with their disk numbers. Installed as the
// process's storage backend while it lives.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/storage.h"
#include "sortlib/tests/recording_device.h"

namespace sievex_test {

struct FakeDrive {
  uint32_t driveType = qv::kDriveRemovable;
  uint32_t busType = qv::kBusUsb;
  bool busQueryWorks = true;
  bool opens = true;
  bool inquiryWorks = true;
  std::string tag;  // INQUIRY bytes 36..55
  std::array<uint8_t, 5> flashId{0x98, 0xD7, 0x95, 0x32, 0x7A};
  bool flashIdWorks = true;
  bool startBootWorks = true;
  bool configWorks = true;
  std::array<uint8_t, 34> config{};
  uint8_t eccByte = 0;      // controller memory 0x0059
  uint32_t diskNumber = 1;  // of the volume

  // What the drive was sent, over every handle.
  std::shared_ptr<std::vector<SentCommand>> log = std::make_shared<std::vector<SentCommand>>();
  // Controller memory 0xF000..0xFFFF as the RAM writes left it.
  std::vector<uint8_t> bootRam = std::vector<uint8_t>(0x1000, 0);
  unsigned ramWrites = 0;

  // Commands whose first byte (and second, for 0xFD) match.
  size_t Count(uint8_t op, int sub = -1) const;
};

class FakeMachine : public qv::StorageBackend {
 public:
  FakeMachine();
  ~FakeMachine() override;

  FakeDrive& AddDrive(char letter);
  void RemoveDrive(char letter);
  // Appends a disk device interface path with its disk number.
  void AddDisk(const std::string& path, uint32_t number);
  // Handles open now; discovery must leave none behind.
  int OpenHandles() const { return *openHandles_; }

  uint32_t LogicalDriveMask() override;
  uint32_t DriveType(std::string_view root) override;
  std::unique_ptr<qv::Device> Open(std::string_view path, unsigned access, int* error) override;
  std::vector<std::string> DiskInterfaces() override;

 private:
  FakeDrive* Find(char letter);
  std::map<char, std::unique_ptr<FakeDrive>> drives_;
  std::vector<std::pair<std::string, uint32_t>> disks_;
  std::shared_ptr<int> openHandles_ = std::make_shared<int>(0);
};

// A tag of 20 bytes from a text (shorter texts are zero-padded).
std::string Tag(const std::string& text);

}  // namespace sievex_test
