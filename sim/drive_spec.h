// The description of one simulated drive: what its drive.ini holds. Every
// key has a default, so a description names only what differs.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// Controller models. 0 is a plain disk without a KR42x controller: it
// answers INQUIRY and refuses every vendor command.
inline constexpr uint16_t kPlainDisk = 0;

struct BlockRef {
  uint32_t ce = 0;
  uint32_t block = 0;
  bool operator==(const BlockRef&) const = default;
};

struct FactoryBadBlock {
  uint32_t ce = 0;
  uint32_t block = 0;
  bool lastPage = false;  // the mark sits in the last page instead of the first
  bool operator==(const FactoryBadBlock&) const = default;
};

struct ProgramFailBlock {
  uint32_t ce = 0;
  uint32_t block = 0;
  uint32_t fromPage = 0;  // programs of this page and every later one fail
  bool operator==(const ProgramFailBlock&) const = default;
};

struct StuckBit {
  uint32_t ce = 0;
  uint32_t block = 0;
  uint32_t page = 0;
  uint32_t byteOffset = 0;  // within the page's data
  uint8_t bit = 0;          // reads 0 whatever was programmed or erased
  bool operator==(const StuckBit&) const = default;
};

// Faults. The lists are the record: the counts are expanded into list
// entries from the seed when the drive is created (and whenever a
// description carries a count), so a drive's faults are reproducible.
struct FaultSpec {
  uint32_t seed = 1;
  std::vector<FactoryBadBlock> factoryBad;
  uint32_t factoryBadCount = 0;
  std::vector<BlockRef> eraseFail;
  uint32_t eraseFailCount = 0;
  std::vector<ProgramFailBlock> programFail;
  uint32_t programFailCount = 0;
  std::vector<BlockRef> weak;
  uint32_t weakCount = 0;
  uint32_t weakBits = 4;          // wrong bits per 512-byte sector after a program
  std::vector<StuckBit> stuckBits;
  uint32_t stuckBitCount = 0;
  double randomBitErrorRate = 0;  // chance of one flipped bit per 512-byte sector read
  uint64_t deadAfter = 0;         // the flash dies after this many commands (0: never)
  uint64_t unplugAfter = 0;       // the drive is pulled after this many commands (0: never)
};

// Modelled duration of each command: USB 2.0 high-speed defaults.
struct TimingSpec {
  double commandLatencyUs = 125;  // one bulk-only transport round trip
  double bandwidthMBps = 35;      // effective bulk throughput, MB = 10^6 bytes
  double readPageUs = 50;
  double programPageUs = 600;
  double eraseBlockUs = 2000;
  double sleepFraction = 0;       // the simulator sleeps this fraction of each duration
};

struct DriveSpec {
  // [Drive]
  char letter = 'E';              // 0: a disk without a volume
  uint32_t driveType = 2;         // system drive type: 2 removable, 3 fixed, 5 CD
  uint32_t busType = 7;           // system bus type: 7 USB, 3 ATA, 11 SATA, ...
  bool present = true;
  uint32_t diskNumber = 1;

  // [Controller]
  uint16_t controller = 0x425;    // 0x423, 0x425, 0x421, 0x422, 0x428, 0x429, 0x436, or 0
  std::string inquiryTag;         // raw INQUIRY bytes 36..55; empty: built from the model
  std::string tagRevision = "A0"; // tag characters 8 and 9
  char revisionLetter = 'B';      // tag character 10
  std::string chipVersion = "0100";
  std::string vendor = "Generic";
  std::string product = "USB Flash Disk";
  std::string productRevision = "1.00";
  bool hasFirmware = false;
  std::string firmwareVersion;    // empty without firmware
  bool dualChannel = false;

  // [Flash]
  std::array<uint8_t, 5> flashId{0x98, 0xD7, 0x95, 0x32, 0x7A};
  uint32_t ces = 1;
  uint32_t blocksPerCE = 1024;
  uint32_t pagesPerBlock = 64;
  uint32_t sectorsPerPage = 8;
  uint32_t planes = 1;
  bool mlc = true;
  bool dualMode = false;
  uint8_t eccByte = 1;            // controller memory 0x0059 (ECC code index in its low 2 bits)
  std::vector<uint8_t> flashConfig;  // 34 bytes answered by the config read; empty: derived
  // Missing block ranges [first, last] of every CE. Unless given, taken
  // from the flash ID (45 C5 95 A5 EA and 45 C5 95 E5 EA).
  std::vector<std::pair<uint32_t, uint32_t>> gaps;
  bool gapsGiven = false;

  FaultSpec faults;
  TimingSpec timing;

  // [Behaviour] Report flash failures as a delivered CHECK CONDITION
  // instead of a failed call.
  bool failuresAsCheckCondition = false;

  uint32_t SectorsPerBlock() const { return pagesPerBlock * sectorsPerPage; }
  uint32_t PageBytes() const { return sectorsPerPage * 512; }
  uint64_t CapacityBytes() const {
    return uint64_t(ces) * blocksPerCE * pagesPerBlock * sectorsPerPage * 512;
  }
};

// drive.ini: read and write. Load leaves the defaults for missing keys.
bool LoadDriveSpec(const std::string& iniPath, DriveSpec* desc, std::string* error);
bool SaveDriveSpec(const std::string& iniPath, const DriveSpec& desc);

// Derived answers.
std::array<uint8_t, 20> InquiryTag(const DriveSpec& desc);
std::array<uint8_t, 34> FlashConfig(const DriveSpec& desc);
std::vector<std::pair<uint32_t, uint32_t>> MissingBlocks(const DriveSpec& desc);
// Controller id by the family's tag rules (0 for a tag of no known member).
uint16_t ControllerFromTag(const std::array<uint8_t, 20>& tag);
bool TagNeedsBootCode(const std::array<uint8_t, 20>& tag);

// Checks a description for what the simulator cannot model.
bool ValidateDriveSpec(const DriveSpec& desc, std::string* error);

}  // namespace sim
