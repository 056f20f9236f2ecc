// The erase pass: erases every tested block of every CE.
#pragma once
#include "sortlib/engine/revert_session.h"

namespace sievex {

// 2 completed, 0 user break, 8 flash error, 9 not ready, 11 erase refused.
int EraseAllBlock(RevertSession* s);

}  // namespace sievex
