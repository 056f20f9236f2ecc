// From what the survey of the flash found to the user area the controller
// is to serve: every block that a table lists or that carries a bad mark
// stays out, and so does each CE's table block (reserved, not bad); the
// remaining existing blocks are the good blocks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "dravik/device_identity.h"

namespace dravik {

// One CE as the survey found it.
struct CeSurvey {
  bool tableFound = false;
  uint32_t tableBlock = 0;
  std::vector<uint32_t> listed;  // block numbers as the table holds them
  std::vector<uint32_t> marked;  // blocks with a bad mark, the table block excluded
};

struct RepairPlan {
  uint32_t totalBlocks = 0;     // existing blocks of every CE
  uint32_t badBlocks = 0;       // listed or marked (each block once)
  uint32_t reservedBlocks = 0;  // the table blocks
  uint32_t goodBlocks = 0;
  uint64_t userSectors = 0;
  std::vector<uint8_t> exclusionBitmap;  // as the map commit takes it
};

// False, with the reason, when a CE holds no table or no good block is left.
// Table entries beyond the flash or inside a gap are ignored.
bool PlanUserArea(const DeviceIdentity& identity, const std::vector<CeSurvey>& survey, RepairPlan* plan,
                  std::string* why);

}  // namespace dravik
