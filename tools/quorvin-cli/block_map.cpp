#include "tools/quorvin-cli/block_map.h"

BlockCounts BlockMap::Count(uint32_t ce) const {
  BlockCounts c;
  for (BlockKind k : ces.at(ce)) {
    switch (k) {
      case BlockKind::kGood: ++c.good; break;
      case BlockKind::kFoundBad: ++c.foundBad; break;
      case BlockKind::kMarked: ++c.marked; break;
      case BlockKind::kTable: ++c.table; break;
      case BlockKind::kAbsent: ++c.absent; break;
    }
  }
  return c;
}

BlockMap BuildBlockMap(const dravik::DeviceIdentity& geometry, const std::vector<dravik::CeSurvey>& survey) {
  BlockMap map;
  map.blocksPerCE = geometry.blocksPerCE;
  map.ces.resize(survey.size());
  for (size_t ce = 0; ce < survey.size(); ++ce) {
    std::vector<BlockKind>& blocks = map.ces[ce];
    blocks.assign(geometry.blocksPerCE, BlockKind::kGood);
    for (uint32_t b = 0; b < geometry.blocksPerCE; ++b)
      if (!geometry.BlockExists(b)) blocks[b] = BlockKind::kAbsent;
    const dravik::CeSurvey& s = survey[ce];
    for (uint32_t b : s.listed)
      if (geometry.BlockExists(b)) blocks[b] = BlockKind::kFoundBad;
    for (uint32_t b : s.marked)
      if (geometry.BlockExists(b)) blocks[b] = BlockKind::kMarked;
    if (s.tableFound && geometry.BlockExists(s.tableBlock)) blocks[s.tableBlock] = BlockKind::kTable;
  }
  return map;
}
