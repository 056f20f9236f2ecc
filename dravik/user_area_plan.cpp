#include "dravik/user_area_plan.h"

#include "sim/repair_commands.h"

namespace dravik {

bool PlanUserArea(const DeviceIdentity& id, const std::vector<CeSurvey>& survey, RepairPlan* out,
                  std::string* why) {
  if (survey.size() != id.ces) {
    *why = "the survey does not cover every CE";
    return false;
  }
  RepairPlan plan;
  const uint64_t bits = uint64_t(id.ces) * id.blocksPerCE;
  const uint64_t bitsPerSector = 8 * repaircmd::kSectorBytes;
  plan.exclusionBitmap.assign(size_t((bits + bitsPerSector - 1) / bitsPerSector * repaircmd::kSectorBytes), 0);
  std::vector<bool> excluded(id.blocksPerCE);
  for (uint32_t ce = 0; ce < id.ces; ++ce) {
    const CeSurvey& s = survey[ce];
    if (!s.tableFound) {
      *why = "no bad-block table in CE " + std::to_string(ce);
      return false;
    }
    excluded.assign(id.blocksPerCE, false);
    uint32_t bad = 0;
    auto leaveOut = [&](uint32_t block) {
      if (!id.BlockExists(block) || block == s.tableBlock || excluded[block]) return;
      excluded[block] = true;
      ++bad;
    };
    for (uint32_t block : s.listed) leaveOut(block);
    for (uint32_t block : s.marked) leaveOut(block);
    plan.badBlocks += bad;
    if (id.BlockExists(s.tableBlock)) {
      excluded[s.tableBlock] = true;
      ++plan.reservedBlocks;
    }
    const uint32_t existing = id.ExistingBlocksPerCE();
    plan.totalBlocks += existing;
    for (uint32_t block = 0; block < id.blocksPerCE; ++block) {
      if (!excluded[block]) continue;
      const uint64_t bit = uint64_t(ce) * id.blocksPerCE + block;
      plan.exclusionBitmap[size_t(bit / 8)] |= uint8_t(1u << (bit % 8));
    }
  }
  plan.goodBlocks = plan.totalBlocks - plan.badBlocks - plan.reservedBlocks;
  plan.userSectors = uint64_t(plan.goodBlocks) * id.SectorsPerBlock();
  if (plan.goodBlocks == 0) {
    *why = "no good block is left";
    return false;
  }
  *out = std::move(plan);
  return true;
}

}  // namespace dravik
