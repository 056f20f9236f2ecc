// The re-marking pass: erase everything, then mark again every block the
// pattern pass found bad.
#pragma once
#include "sortlib/engine/revert_session.h"

namespace sievex {

// 2 completed, 0 user break, 8 flash error.
int MarkAllBadBlock(RevertSession* s);

}  // namespace sievex
