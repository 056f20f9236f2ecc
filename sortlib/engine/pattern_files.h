// The Eval Pattern files 1..8 beside the executable: one stream of pattern
// data that continues from file to file and restarts at file 1 for each
// write and read phase.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sortlib/engine/revert_session.h"

namespace sievex {

// Reads up to count bytes of the current file (opening it when none is
// open); a short read closes it and moves on to the next number. Returns
// the bytes read, 0 when the file cannot be opened.
size_t ReadPatternFile(RevertSession* s, uint8_t* destination, size_t count);

// Reads until count bytes are complete. Ends early, with
// m_dwPatternStreamEnded set, on the stop flag (state 0) or when the files
// give no data for a whole round of them (message, state 9).
bool FillFromPatternFiles(RevertSession* s, uint8_t* destination, size_t count);

// Consumes the pattern data of sectors [first, end) of a block (type 3 only).
void SkipPatternData(RevertSession* s, uint32_t firstSector, uint32_t endSector);

// Closes an open file and restarts the stream at file 1.
void RestartPatternFiles(RevertSession* s);

}  // namespace sievex
