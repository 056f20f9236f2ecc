#include "sim/fault_plan.h"

#include <set>
#include <utility>

namespace sim {

uint64_t MixHash(uint64_t a, uint64_t b, uint64_t c, uint64_t d) {
  SeededRandom r(a * 0x9E3779B97F4A7C15ull ^ b);
  r.Next();
  SeededRandom r2(r.Next() ^ c * 0xC2B2AE3D27D4EB4Full);
  r2.Next();
  SeededRandom r3(r2.Next() ^ d * 0x165667B19E3779F9ull);
  return r3.Next();
}

FaultSpec ExpandFaults(const DriveSpec& desc) {
  FaultSpec f = desc.faults;
  const auto gaps = MissingBlocks(desc);
  std::set<std::pair<uint32_t, uint32_t>> used;
  for (const auto& b : f.factoryBad) used.insert({b.ce, b.block});
  for (const auto& b : f.eraseFail) used.insert({b.ce, b.block});
  for (const auto& b : f.programFail) used.insert({b.ce, b.block});
  for (const auto& b : f.weak) used.insert({b.ce, b.block});
  for (const auto& b : f.stuckBits) used.insert({b.ce, b.block});

  uint64_t usable = 0;
  for (uint32_t b = 0; b < desc.blocksPerCE; ++b) {
    bool inGap = false;
    for (auto [a, z] : gaps) inGap |= b >= a && b <= z;
    usable += !inGap;
  }
  usable *= desc.ces;

  SeededRandom rng(f.seed);
  auto pick = [&](BlockRef* out) -> bool {
    if (used.size() >= usable) return false;
    for (;;) {
      uint32_t ce = rng.Below(desc.ces), block = rng.Below(desc.blocksPerCE);
      bool inGap = false;
      for (auto [a, z] : gaps) inGap |= block >= a && block <= z;
      if (inGap || !used.insert({ce, block}).second) continue;
      *out = {ce, block};
      return true;
    }
  };
  BlockRef b;
  for (uint32_t i = 0; i < f.factoryBadCount && pick(&b); ++i)
    f.factoryBad.push_back({b.ce, b.block, rng.Below(2) == 1});
  for (uint32_t i = 0; i < f.eraseFailCount && pick(&b); ++i) f.eraseFail.push_back(b);
  for (uint32_t i = 0; i < f.programFailCount && pick(&b); ++i)
    f.programFail.push_back({b.ce, b.block, rng.Below(desc.pagesPerBlock)});
  for (uint32_t i = 0; i < f.weakCount && pick(&b); ++i) f.weak.push_back(b);
  for (uint32_t i = 0; i < f.stuckBitCount && pick(&b); ++i)
    f.stuckBits.push_back({b.ce, b.block, rng.Below(desc.pagesPerBlock), rng.Below(desc.PageBytes()),
                           uint8_t(rng.Below(8))});
  f.factoryBadCount = f.eraseFailCount = f.programFailCount = f.weakCount = f.stuckBitCount = 0;
  return f;
}

}  // namespace sim
