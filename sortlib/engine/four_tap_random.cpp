#include "sortlib/engine/four_tap_random.h"

namespace sievex {

void SeedRandom(RevertSession* s, uint32_t seed) {
  FourTapRandom& r = s->m_Random;
  r.table[0] = seed;
  for (uint32_t i = 1; i < kRandomTableWords; ++i) r.table[i] = r.table[i - 1] * 69069u + 1u;
  for (uint32_t i = 0; i + 1 < kRandomTableWords; ++i) r.successor[i] = i + 1;
  r.successor[kRandomTableWords - 1] = 0;
  r.i0 = 9688;
  r.i1 = 9531;
  r.i2 = 9374;
  r.i3 = 9217;
}

uint8_t NextRandomByte(RevertSession* s) {
  FourTapRandom& r = s->m_Random;
  r.i0 = r.successor[r.i0];
  r.i1 = r.successor[r.i1];
  r.i2 = r.successor[r.i2];
  r.i3 = r.successor[r.i3];
  r.table[r.i0] = r.table[r.i0] ^ r.table[r.i1] ^ r.table[r.i2] ^ r.table[r.i3];
  return static_cast<uint8_t>(r.table[r.i0] % 255u + 1u);
}

}  // namespace sievex
