// Writing the pattern into a block and judging what the block gives back.
#pragma once
#include <cstdint>

#include "sortlib/engine/revert_session.h"

namespace sievex {

// 1 when every write command succeeded (the remaining transfers are sent
// after a failure all the same).
int WriteBlock(RevertSession* s, uint32_t block, uint32_t planes);
// 1 when the block passes.
int VerifyBlock(RevertSession* s, uint32_t block);
// 1 when every 512-byte sector of m_pIoBuffer is within m_bErrorBits
// differing bits of m_pPatternBuffer.
int CompareBits(RevertSession* s, uint32_t sectors);

// Pages tested per block and their first sector in partial-block mode.
bool IsPartialBlockMode(const RevertSession* s);
uint32_t PartialSectors(const RevertSession* s);

}  // namespace sievex
