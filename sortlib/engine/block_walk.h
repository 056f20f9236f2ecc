// Rules that every pass shares when it walks the blocks: CE selection,
// the block numbers some flashes lack, the stop flag, status reads and
// the two-plane mode brackets.
#pragma once
#include <cstdint>

#include "sortlib/engine/revert_session.h"

namespace sievex {

// CE group of the erase pass and the write phases: returns the group size n
// (1, 2 or 4, never more than the CE count) and sets m_bCEMask to its
// initial value (0x01, 0x05 or 0x55). After each group the mask moves left
// by 2n bits.
uint32_t SelectCEGroup(RevertSession* s);

// Block numbers that two flash types do not have (4146..8191, 13312 up).
bool IsSkippedBlock(const RevertSession* s, uint32_t block);
bool IsSkippedFlashBlock(const uint8_t flashId[5], uint32_t block);

// The stop flag, read afresh every time.
bool StopRequested(const RevertSession* s);

// CmdReadStatus (1, 0): true when the controller answered.
bool ReadStatus(RevertSession* s);
// The same with the previous flash operation reported as passed (byte 1).
bool ReadStatusPassed(RevertSession* s);

// CmdSetMode 0, 0, 1 before and 0, 0, 0 after a two-plane phase (sent only
// with two planes).
void BeginTwoPlane(RevertSession* s);
void EndTwoPlane(RevertSession* s);

// First sector of a block, and of one of its pages.
uint32_t BlockSector(const RevertSession* s, uint32_t block);
uint32_t PageSector(const RevertSession* s, uint32_t block, uint32_t page);

// CmdEraseBlock at the block's first sector, result into m_pIoBuffer.
int EraseBlock(RevertSession* s, uint32_t block);

// Index of a block of a CE in m_pBlockState.
uint8_t& BlockState(RevertSession* s, uint32_t ce, uint32_t block);

// The flash ID the erase pass leaves alone (the pattern pass erases it
// before every write).
bool IsEraseBeforeWriteFlash(const RevertSession* s);

}  // namespace sievex
