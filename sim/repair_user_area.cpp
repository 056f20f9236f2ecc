#include "sim/repair_user_area.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "sim/repair_commands.h"

namespace sim {

namespace {

using namespace repaircmd;

Outcome Refuse(std::string why) { return {Outcome::kRefused, 0, std::move(why)}; }
Outcome Done(uint32_t bytes) { return {Outcome::kDone, bytes, {}}; }
Outcome FlashFailed() { return {Outcome::kFlashFailed, 0, "user area: flash operation failed"}; }

uint32_t Be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// User data leaves the mark bytes erased, so a later revert sees a block
// that holds data as good.
constexpr uint8_t kDataSpare[4] = {0xFF, 0xFF, 0xFF, 0xFF};

bool PageErased(NandArray& nand, const MappedBlock& b, uint32_t page) {
  uint8_t spare[kSpareBytes];
  nand.ReadSpare(b.ce, b.block, page, spare);
  return std::all_of(spare, spare + 7, [](uint8_t v) { return v == 0xFF; });
}

// The sectors [first, first + count) of one mapped block.
struct Span {
  MappedBlock block;
  uint32_t first = 0, count = 0;
};

class UserArea {
 public:
  UserArea(const RepairTarget& t, const UserAreaMap& map)
      : t_(t), map_(map), spp_(t.spec.sectorsPerPage), ppb_(t.spec.pagesPerBlock),
        spb_(t.spec.SectorsPerBlock()), pageBytes_(t.spec.PageBytes()) {}

  // Calls f for each block span of sectors [lba, lba + count).
  template <typename F>
  bool ForEachSpan(uint32_t lba, uint32_t count, F&& f) {
    uint32_t done = 0;
    while (done < count) {
      const uint64_t sector = uint64_t(lba) + done;
      Span s{map_.blocks[size_t(sector / spb_)], uint32_t(sector % spb_), 0};
      s.count = std::min(spb_ - s.first, count - done);
      if (!f(s, size_t(done) * kSectorBytes)) return false;
      done += s.count;
    }
    return true;
  }

  void Read(const Span& s, uint8_t* out) {
    std::vector<uint8_t> page(pageBytes_);
    for (uint32_t sector = s.first; sector < s.first + s.count;) {
      const uint32_t p = sector / spp_, inPage = sector % spp_;
      const uint32_t n = std::min(spp_ - inPage, s.first + s.count - sector);
      t_.nand.ReadPage(s.block.ce, s.block.block, p, page.data());
      std::memcpy(out, page.data() + size_t(inPage) * kSectorBytes, size_t(n) * kSectorBytes);
      out += size_t(n) * kSectorBytes;
      sector += n;
    }
  }

  // NAND only clears bits: pages still erased take the data directly; a
  // span that touches a written page rewrites its whole block.
  bool Write(const Span& s, const uint8_t* data) {
    const uint32_t firstPage = s.first / spp_, lastPage = (s.first + s.count - 1) / spp_;
    bool direct = true;
    for (uint32_t p = firstPage; p <= lastPage && direct; ++p) direct = PageErased(t_.nand, s.block, p);
    if (direct) {
      for (uint32_t sector = s.first; sector < s.first + s.count;) {
        const uint32_t p = sector / spp_, inPage = sector % spp_;
        const uint32_t n = std::min(spp_ - inPage, s.first + s.count - sector);
        if (!Program(s.block, p, inPage, n, data)) return false;
        data += size_t(n) * kSectorBytes;
        sector += n;
      }
      return true;
    }
    std::vector<uint8_t> content(size_t(ppb_) * pageBytes_, 0xFF);
    std::vector<bool> holdsData(ppb_, false);
    for (uint32_t p = 0; p < ppb_; ++p) {
      if (PageErased(t_.nand, s.block, p)) continue;
      t_.nand.ReadPage(s.block.ce, s.block.block, p, content.data() + size_t(p) * pageBytes_);
      holdsData[p] = true;
    }
    std::memcpy(content.data() + size_t(s.first) * kSectorBytes, data, size_t(s.count) * kSectorBytes);
    for (uint32_t p = firstPage; p <= lastPage; ++p) holdsData[p] = true;
    if (!t_.nand.Erase(s.block.ce, s.block.block)) return false;
    for (uint32_t p = 0; p < ppb_; ++p)
      if (holdsData[p] && !Program(s.block, p, 0, spp_, content.data() + size_t(p) * pageBytes_)) return false;
    return true;
  }

 private:
  bool Program(const MappedBlock& b, uint32_t page, uint32_t first, uint32_t count, const uint8_t* data) {
    return t_.nand.Program(b.ce, b.block, page, first, count, data, kDataSpare, b.block * ppb_ + page);
  }

  const RepairTarget& t_;
  const UserAreaMap& map_;
  const uint32_t spp_, ppb_, spb_, pageBytes_;
};

Outcome ReadCapacity(const UserAreaMap& map, const Request& r) {
  if (r.cdbLength != kBlockCdbLength || r.direction != Direction::kIn || !r.data ||
      r.dataLength != kReadCapacityBytes)
    return Refuse("READ CAPACITY: wrong bytes or length");
  auto* out = static_cast<uint8_t*>(r.data);
  PutBe32(out, uint32_t(map.Sectors() - 1));
  PutBe32(out + 4, kSectorBytes);
  return Done(kReadCapacityBytes);
}

Outcome ReadOrWrite(const RepairTarget& t, const UserAreaMap& map, const Request& r, bool write) {
  const char* name = write ? "WRITE(10)" : "READ(10)";
  if (r.cdbLength != kBlockCdbLength) return Refuse(std::string(name) + ": wrong command length");
  const uint32_t lba = Be32(r.cdb + 2);
  const uint32_t count = uint32_t(r.cdb[7]) << 8 | r.cdb[8];
  const Direction wanted = write ? Direction::kOut : Direction::kIn;
  if (count == 0) {
    if (r.dataLength != 0) return Refuse(std::string(name) + ": data for no sectors");
    return Done(0);
  }
  if (r.direction != wanted || !r.data || r.dataLength != count * kSectorBytes)
    return Refuse(std::string(name) + ": the data length does not fit the sector count");
  if (uint64_t(lba) + count > map.Sectors()) return Refuse(std::string(name) + ": beyond the user area");
  UserArea area(t, map);
  auto* bytes = static_cast<uint8_t*>(r.data);
  const bool ok = area.ForEachSpan(lba, count, [&](const Span& s, size_t offset) {
    if (!write) {
      area.Read(s, bytes + offset);
      return true;
    }
    return area.Write(s, bytes + offset);
  });
  if (!ok) return FlashFailed();
  return Done(r.dataLength);
}

}  // namespace

Outcome UserAreaCommand(const RepairTarget& t, const UserAreaMap& map, const Request& r) {
  switch (r.cdb[0]) {
    case kOpReadCapacity10: return ReadCapacity(map, r);
    case kOpRead10: return ReadOrWrite(t, map, r, false);
    case kOpWrite10: return ReadOrWrite(t, map, r, true);
    default: return Refuse("user area: unknown operation code");
  }
}

}  // namespace sim
