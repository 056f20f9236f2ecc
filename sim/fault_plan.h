// Turns fault counts into concrete fault lists, reproducibly from the seed.
#pragma once
#include <cstdint>

#include "sim/drive_spec.h"

namespace sim {

// A small deterministic generator (splitmix64): the same seed gives the
// same faults and the same bit errors on every machine.
class SeededRandom {
 public:
  explicit SeededRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t n) { return n ? uint32_t(Next() % n) : 0; }
  double Unit() { return double(Next() >> 11) * (1.0 / 9007199254740992.0); }

 private:
  uint64_t state_;
};

// A stateless mix of several numbers, for positions that must not depend on
// the order in which pages are read.
uint64_t MixHash(uint64_t a, uint64_t b, uint64_t c = 0, uint64_t d = 0);

// The description's faults with every count expanded into list entries (counts
// then 0). Chosen blocks exist (not in a gap), are distinct from each other
// and from the listed ones.
FaultSpec ExpandFaults(const DriveSpec& desc);

}  // namespace sim
