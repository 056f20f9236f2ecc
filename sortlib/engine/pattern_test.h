// The pattern pass: write a pattern into every block, read every block
// back and judge it, and at test level 2 repeat both inverted.
#pragma once
#include <cstdint>

#include "sortlib/engine/revert_session.h"

namespace sievex {

// 2 completed, 0 user break, 8 flash error, 9 not ready (or no pattern data).
int PatternTest(RevertSession* s, uint8_t patternType);

}  // namespace sievex
