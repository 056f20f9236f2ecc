// The four-tap generator of pattern type 2:
// x[n] = x[n-157] ^ x[n-314] ^ x[n-471] ^ x[n-9689] over a circular table.
#pragma once
#include <cstdint>

#include "sortlib/engine/revert_session.h"

namespace sievex {

void SeedRandom(RevertSession* s, uint32_t seed);
// 1..255.
uint8_t NextRandomByte(RevertSession* s);

}  // namespace sievex
