// The last pass: count the marks that hold, check that every other block
// is blank, write the bad-block table and compare what the flash records
// with what testing found.
#pragma once
#include "sortlib/engine/revert_session.h"

namespace sievex {

// 2 completed, 1 counts disagree (SkipCannotmarkBad 0) or a mark could not
// be written, 0 user break, 8 flash error, 9 not ready.
int CheckBlank(RevertSession* s);

}  // namespace sievex
