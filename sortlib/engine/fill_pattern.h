// Fills the pattern buffer once per pattern pass by the pattern type.
#pragma once
#include "sortlib/engine/revert_session.h"

namespace sievex {

// 0 counter words, 1 runtime rand bytes 0..99, 2 four-tap bytes 1..255,
// 3 nothing (read from the pattern files per transfer), 4 the fixed word
// (V << 16) + V; any other type leaves the buffer as it is.
void FillPattern(RevertSession* s);

}  // namespace sievex
