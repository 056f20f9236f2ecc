// The runtime library's pseudo-random function as the product's pattern
// data depends on it: state = state * 214013 + 2531011 (mod 2^32), result
// (state >> 16) & 0x7FFF, one state per thread starting at 1. The C
// library's rand() differs and must not be used for pattern data.
#pragma once

namespace qv {

int CrtRand();
void CrtSrand(unsigned seed);

}  // namespace qv
