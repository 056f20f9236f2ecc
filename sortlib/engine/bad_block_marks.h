// Bad-block marks in the spare bytes of a block's first and last page.
#pragma once
#include <cstdint>

#include "sortlib/engine/revert_session.h"

namespace sievex {

// A mark byte counts as set when its high or its low nibble is 0.
bool IsMarkByteSet(uint8_t value);

// 1 when the block counts as marked (m_dwBadCount then grew by 1). With
// written = 1 (read phases) the page number the controller recorded on the
// write is checked too.
int IsBlockMarkedBad(RevertSession* s, uint32_t block, int written);

// Erases the block and writes zeroed first and last pages with zero spare
// bytes. Returns 0 only when neither page write was accepted (the mark
// cannot have reached the flash), else 1.
int MarkBlockBad(RevertSession* s, uint32_t block);

}  // namespace sievex
