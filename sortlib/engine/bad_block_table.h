// The "bad_" table written into the first good block of each CE.
#pragma once
#include "sortlib/engine/revert_session.h"

namespace sievex {

// For each CE: pages 0..C-1 (C = blocks per CE / 1024) list the found-bad
// blocks of their 1024-block range as big-endian 16-bit numbers after
// "bad_"; the last page of the block holds "bad_" alone. Every listed block
// that carries no mark of its own adds 1 to m_dwBadCount.
void WriteBadBlockTable(RevertSession* s);

}  // namespace sievex
