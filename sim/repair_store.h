// What the controller's repair service keeps across plugs, in two files of
// the drive folder beside the flash state: the firmware image written into
// the controller ("firmware.bin") and the user-area map committed by the
// last repair ("user_area.map"). Both are replaced whole (written to a
// temporary name, then renamed), so a reader never sees half a file.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/drive_spec.h"

namespace sim {

inline constexpr char kFirmwareFileName[] = "firmware.bin";
inline constexpr char kUserAreaFileName[] = "user_area.map";

// One block of the user area, in logical order.
struct MappedBlock {
  uint32_t ce = 0;
  uint32_t block = 0;
  bool operator==(const MappedBlock&) const = default;
};

struct UserAreaMap {
  uint32_t ces = 0, blocksPerCE = 0, pagesPerBlock = 0, sectorsPerPage = 0;
  std::vector<MappedBlock> blocks;
  uint64_t Sectors() const { return uint64_t(blocks.size()) * pagesPerBlock * sectorsPerPage; }
};

// The version text of the firmware image kept in the folder, or nothing
// when none was written.
std::optional<std::string> StoredFirmwareVersion(const std::string& folder);
bool StoreFirmware(const std::string& folder, const std::vector<uint8_t>& image);

// The map of the folder when there is one that fits the drive's geometry
// (a map of other geometry is ignored). Loads are cached per file version,
// so the block commands do not re-read the file each time.
std::shared_ptr<const UserAreaMap> LoadUserAreaMap(const std::string& folder, const DriveSpec& spec);
bool StoreUserAreaMap(const std::string& folder, const UserAreaMap& map);

}  // namespace sim
