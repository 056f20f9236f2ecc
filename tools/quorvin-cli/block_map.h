// What a revert left in the flash, block by block: good, found bad in
// testing (listed in the CE's "bad_" table but carrying no mark), marked
// bad, the table block itself, or not present on this flash.
#pragma once
#include <cstdint>
#include <vector>

#include "dravik/device_identity.h"
#include "dravik/user_area_plan.h"

enum class BlockKind : uint8_t { kGood, kFoundBad, kMarked, kTable, kAbsent };

struct BlockCounts {
  uint32_t good = 0, foundBad = 0, marked = 0, table = 0, absent = 0;
};

struct BlockMap {
  uint32_t blocksPerCE = 0;
  std::vector<std::vector<BlockKind>> ces;  // [ce][block]

  BlockCounts Count(uint32_t ce) const;
};

// Marks win over listings (a marked block is often listed too); listed
// numbers beyond the flash or inside a gap are ignored.
BlockMap BuildBlockMap(const dravik::DeviceIdentity& geometry, const std::vector<dravik::CeSurvey>& survey);
