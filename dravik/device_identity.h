// What the controller's repair service tells of the drive: model, chip
// version, firmware, the flash geometry with its missing block ranges, and
// the user area a repair left.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace dravik {

struct DeviceIdentity {
  uint16_t controller = 0;
  uint16_t chipVersion = 0;
  bool firmware = false;
  bool dualChannel = false;
  bool userArea = false;
  bool replugPending = false;
  std::string firmwareVersion;
  uint32_t ces = 0, planes = 0, blocksPerCE = 0, pagesPerBlock = 0, sectorsPerPage = 0;
  uint32_t userSectors = 0;
  std::vector<std::pair<uint32_t, uint32_t>> gaps;  // [first, last] missing in every CE

  bool BlockExists(uint32_t block) const;
  uint32_t ExistingBlocksPerCE() const;
  uint32_t PageBytes() const { return sectorsPerPage * 512; }
  uint32_t SectorsPerBlock() const { return pagesPerBlock * sectorsPerPage; }
  // Sectors of every existing block of every CE.
  uint64_t RawSectors() const { return uint64_t(ces) * ExistingBlocksPerCE() * SectorsPerBlock(); }
};

// Reads the identify answer; false when it is not one or its geometry is
// unusable (no CE, more than 4, a zero count).
bool ParseIdentity(const uint8_t* answer, size_t size, DeviceIdentity* identity);

}  // namespace dravik
