// Reading the bad-block marks and the "bad_" tables that a revert leaves in
// the spare bytes and pages of the flash. Marks are judged as the sort
// library judges them in its blank check: bytes 4 and 5 of the spare are
// the mark bytes, and one counts as set when either of its nibbles is 0.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dravik {

bool IsMarkByteSet(uint8_t value);

// The first page's spare decides, or sends the judgement on to the last page.
enum class FirstPageVerdict { kMarked, kNotMarked, kAskLastPage };
FirstPageVerdict JudgeFirstPage(const uint8_t* spare);
bool JudgeLastPage(const uint8_t* spare);

// A page of a table block carries mark bytes 0x00, 0x02 ...
bool IsTableSpare(const uint8_t* spare);
// ... and data that begins "bad_", followed by big-endian 16-bit block
// numbers up to the first 0xFFFF or the end of the page. False when the
// data does not begin "bad_".
bool ParseTablePage(const uint8_t* data, size_t size, std::vector<uint32_t>* entries);

}  // namespace dravik
