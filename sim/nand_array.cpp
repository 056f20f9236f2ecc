#include "sim/nand_array.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <set>

#include "sim/fault_plan.h"

namespace sim {

NandArray::NandArray(const DriveSpec& desc, const FaultSpec& faults, FlashState& state)
    : spec_(desc), faults_(faults), state_(state), gaps_(MissingBlocks(desc)),
      pageA_(desc.PageBytes()), pageB_(desc.PageBytes()), lastContent_(desc.pagesPerBlock, 0) {
  for (const auto& b : faults.factoryBad) flags_[BlockIndex(b.ce, b.block)] |= kFactoryBad;
  for (const auto& b : faults.eraseFail) flags_[BlockIndex(b.ce, b.block)] |= kEraseFails;
  for (const auto& b : faults.programFail) {
    flags_[BlockIndex(b.ce, b.block)] |= kProgramFails;
    auto [it, fresh] = programFrom_.emplace(BlockIndex(b.ce, b.block), b.fromPage);
    if (!fresh) it->second = std::min(it->second, b.fromPage);
  }
  for (const auto& b : faults.weak) flags_[BlockIndex(b.ce, b.block)] |= kWeak;
  for (const auto& b : faults.stuckBits) {
    flags_[BlockIndex(b.ce, b.block)] |= kStuck;
    stuck_[BlockIndex(b.ce, b.block) * desc.pagesPerBlock + b.page].push_back(b);
  }
}

bool NandArray::BlockExists(uint32_t block) const {
  if (block >= spec_.blocksPerCE) return false;
  for (auto [a, z] : gaps_)
    if (block >= a && block <= z) return false;
  return true;
}

uint8_t NandArray::Flags(uint32_t ce, uint32_t block) const {
  if (flags_.empty()) return 0;
  auto it = flags_.find(BlockIndex(ce, block));
  return it == flags_.end() ? 0 : it->second;
}

bool NandArray::ProgramFails(uint32_t ce, uint32_t block, uint32_t page) const {
  uint8_t f = Flags(ce, block);
  if (f & kFactoryBad) return true;
  if (f & kProgramFails) return page >= programFrom_.at(BlockIndex(ce, block));
  return false;
}

bool NandArray::Erase(uint32_t ce, uint32_t block) {
  ++work_.blocksErased;
  PageEntry* pages = state_.BlockPages(ce, block);
  BlockEntry& b = state_.Block(ce, block);
  ++b.eraseCount;
  if (Flags(ce, block) & kEraseFails) {
    for (uint32_t p = 0; p < spec_.pagesPerBlock; ++p) pages[p].reference = 0;
    return false;
  }
  bool any = false;
  for (uint32_t p = 0; p < spec_.pagesPerBlock && !any; ++p)
    any = pages[p].data || pages[p].reference || pages[p].flags ||
          std::any_of(pages[p].spareInverted, pages[p].spareInverted + 7, [](uint8_t v) { return v != 0; });
  if (any) state_.ReleaseBlockPages(ce, block);
  return true;
}

bool NandArray::Program(uint32_t ce, uint32_t block, uint32_t page, uint32_t first, uint32_t count,
                        const uint8_t* data, const uint8_t spare[4], uint32_t pageNumber) {
  ++work_.pagesProgrammed;
  PageEntry& e = state_.BlockPages(ce, block)[page];
  ContentStore& store = state_.Contents();
  const uint32_t pageBytes = spec_.PageBytes();
  const bool whole = first == 0 && count == spec_.sectorsPerPage;
  const size_t offset = size_t(first) * 512, bytes = size_t(count) * 512;

  // The reference: the asked sectors replace those of the old reference.
  uint32_t asked;
  if (whole) {
    asked = store.Equals(lastContent_[page], data) ? lastContent_[page] : store.Intern(data);
    lastContent_[page] = asked;
  } else {
    store.Read(e.reference, pageA_.data());
    std::memcpy(pageA_.data() + offset, data, bytes);
    asked = store.Intern(pageA_.data());
  }
  e.reference = asked;
  if (ProgramFails(ce, block, page)) return false;

  // The flash: old AND new, sectors not sent stay as they are.
  if (e.data == 0 && whole) {
    e.data = asked;
  } else if (e.data == 0) {
    std::memset(pageB_.data(), 0xFF, pageBytes);
    std::memcpy(pageB_.data() + offset, data, bytes);
    e.data = store.Intern(pageB_.data());
  } else {
    store.Read(e.data, pageB_.data());
    for (size_t i = 0; i < bytes; ++i) pageB_[offset + i] &= data[i];
    e.data = store.Intern(pageB_.data());
  }
  const uint8_t newSpare[7] = {uint8_t(pageNumber), uint8_t(pageNumber >> 8), uint8_t(pageNumber >> 16),
                               spare[0], spare[1], spare[2], spare[3]};
  for (int i = 0; i < 7; ++i) e.spareInverted[i] |= uint8_t(~newSpare[i]);
  e.flags |= kPageProgrammed;
  return true;
}

bool NandArray::Overwrite(uint32_t ce, uint32_t block, uint32_t page, uint32_t first, uint32_t count,
                          const uint8_t* data) {
  ++work_.pagesProgrammed;
  if (ProgramFails(ce, block, page)) return false;
  PageEntry& e = state_.BlockPages(ce, block)[page];
  ContentStore& store = state_.Contents();
  store.Read(e.data, pageA_.data());
  std::memcpy(pageA_.data() + size_t(first) * 512, data, size_t(count) * 512);
  e.data = e.reference = store.Intern(pageA_.data());
  e.flags |= kPageProgrammed;
  return true;
}

void NandArray::PlaceFactoryMark(uint32_t ce, uint32_t block, uint32_t page) {
  PageEntry& e = state_.BlockPages(ce, block)[page];
  std::vector<uint8_t> zeros(spec_.PageBytes(), 0);
  e.data = state_.Contents().Intern(zeros.data());
  std::memset(e.spareInverted, 0xFF, sizeof e.spareInverted);
  e.flags |= kPageProgrammed;
}

void NandArray::ApplyReadErrors(uint32_t ce, uint32_t block, uint32_t page, const PageEntry& e, uint8_t* data) {
  const uint8_t f = Flags(ce, block);
  const uint64_t pageIndex = BlockIndex(ce, block) * spec_.pagesPerBlock + page;
  if ((f & kWeak) && (e.flags & kPageProgrammed)) {
    // The same wrong bits on every read until the next erase.
    const uint32_t wear = state_.Block(ce, block).eraseCount;
    for (uint32_t s = 0; s < spec_.sectorsPerPage; ++s) {
      std::set<uint32_t> bits;
      for (uint64_t k = 0; bits.size() < faults_.weakBits; ++k)
        bits.insert(uint32_t(MixHash(faults_.seed, pageIndex, s, (uint64_t(wear) << 32) | k) % 4096));
      for (uint32_t bit : bits) data[s * 512 + bit / 8] ^= uint8_t(1u << (bit % 8));
    }
  }
  if (f & kStuck) {
    auto it = stuck_.find(pageIndex);
    if (it != stuck_.end())
      for (const StuckBit& b : it->second) data[b.byteOffset] &= uint8_t(~(1u << b.bit));
  }
  if (faults_.randomBitErrorRate > 0) {
    StateHeader& h = state_.Header();
    for (uint32_t s = 0; s < spec_.sectorsPerPage; ++s) {
      uint64_t r = MixHash(faults_.seed, 0x5EC7, h.sectorReads++);
      if (double(r >> 11) * (1.0 / 9007199254740992.0) < faults_.randomBitErrorRate) {
        uint32_t bit = uint32_t(MixHash(r, 1) % 4096);
        data[s * 512 + bit / 8] ^= uint8_t(1u << (bit % 8));
        ++h.randomFlips;
      }
    }
  }
}

void NandArray::ReadPage(uint32_t ce, uint32_t block, uint32_t page, uint8_t* out) {
  ++work_.pagesRead;
  const PageEntry& e = state_.BlockPages(ce, block)[page];
  state_.Contents().Read(e.data, out);
  ApplyReadErrors(ce, block, page, e, out);
}

void NandArray::ReadSpare(uint32_t ce, uint32_t block, uint32_t page, uint8_t out[16]) {
  ++work_.pagesRead;
  const PageEntry& e = state_.BlockPages(ce, block)[page];
  std::memset(out, 0xFF, 16);
  for (int i = 0; i < 7; ++i) out[i] = uint8_t(~e.spareInverted[i]);
}

VerifyResult NandArray::Verify(uint32_t ce, uint32_t block) {
  VerifyResult result;
  const PageEntry* pages = state_.BlockPages(ce, block);
  const bool clean = (Flags(ce, block) & (kWeak | kStuck)) == 0 && faults_.randomBitErrorRate <= 0;
  unsigned sectors = 0, maxBits = 0;
  for (uint32_t p = 0; p < spec_.pagesPerBlock; ++p) {
    ++work_.pagesRead;
    const PageEntry& e = pages[p];
    if (clean && e.data == e.reference) continue;
    state_.Contents().Read(e.data, pageA_.data());
    ApplyReadErrors(ce, block, p, e, pageA_.data());
    state_.Contents().Read(e.reference, pageB_.data());
    for (uint32_t s = 0; s < spec_.sectorsPerPage; ++s) {
      const uint8_t* a = pageA_.data() + s * 512;
      const uint8_t* b = pageB_.data() + s * 512;
      unsigned bits = 0;
      for (unsigned i = 0; i < 512; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        bits += unsigned(std::popcount(x ^ y));
      }
      if (bits) ++sectors;
      maxBits = std::max(maxBits, bits);
    }
  }
  result.maxBits = uint8_t(std::min(maxBits, 0xFEu));
  result.sectors = uint8_t(std::min(sectors, 0xFFu));
  return result;
}

}  // namespace sim
