#include "dravik/block_marks.h"

#include <cstring>

namespace dravik {

namespace {

constexpr size_t kMarkByteA = 4;
constexpr size_t kMarkByteB = 5;
constexpr char kTableTag[4] = {'b', 'a', 'd', '_'};
constexpr uint8_t kTableMarkB = 0x02;

// Spare bytes 0..5 all erased: nothing was ever programmed there.
bool Erased(const uint8_t* spare) {
  for (size_t i = 0; i <= kMarkByteB; ++i)
    if (spare[i] != 0xFF) return false;
  return true;
}

bool MarkBytesErased(const uint8_t* spare) { return spare[kMarkByteA] == 0xFF && spare[kMarkByteB] == 0xFF; }
bool EitherMarkSet(const uint8_t* spare) { return IsMarkByteSet(spare[kMarkByteA]) || IsMarkByteSet(spare[kMarkByteB]); }

}  // namespace

bool IsMarkByteSet(uint8_t value) { return (value & 0xF0) == 0 || (value & 0x0F) == 0; }

FirstPageVerdict JudgeFirstPage(const uint8_t* spare) {
  if (Erased(spare)) return FirstPageVerdict::kAskLastPage;
  if (MarkBytesErased(spare)) return FirstPageVerdict::kNotMarked;
  if (EitherMarkSet(spare)) return FirstPageVerdict::kMarked;
  return FirstPageVerdict::kAskLastPage;
}

bool JudgeLastPage(const uint8_t* spare) {
  if (Erased(spare) || MarkBytesErased(spare)) return false;
  return EitherMarkSet(spare);
}

bool IsTableSpare(const uint8_t* spare) { return spare[kMarkByteA] == 0x00 && spare[kMarkByteB] == kTableMarkB; }

bool ParseTablePage(const uint8_t* data, size_t size, std::vector<uint32_t>* entries) {
  if (size < sizeof kTableTag || std::memcmp(data, kTableTag, sizeof kTableTag) != 0) return false;
  for (size_t i = sizeof kTableTag; i + 1 < size; i += 2) {
    const uint32_t block = uint32_t(data[i]) << 8 | data[i + 1];
    if (block == 0xFFFF) break;
    entries->push_back(block);
  }
  return true;
}

}  // namespace dravik
