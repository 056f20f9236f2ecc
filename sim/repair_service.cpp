#include "sim/repair_service.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "sim/repair_commands.h"

namespace sim {

namespace {

using namespace repaircmd;

Outcome Refuse(std::string why) { return {Outcome::kRefused, 0, std::move(why)}; }
Outcome Done(uint32_t bytes) { return {Outcome::kDone, bytes, {}}; }
Outcome FlashFailed() { return {Outcome::kFlashFailed, 0, "flash operation failed"}; }

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}
void PutBe16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}

bool Zero(const Request& r, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i)
    if (r.cdb[i]) return false;
  return true;
}

std::string MapPath(const std::string& folder) { return folder + "/userarea.bin"; }

}  // namespace

RepairService::RepairService(const DriveSpec& desc, StateHeader& header, NandArray& nand, std::string folder,
                             uint16_t controller)
    : spec_(desc), h_(header), nand_(nand), folder_(std::move(folder)), controller_(controller),
      page_(desc.PageBytes()) {}

Outcome RepairService::Execute(const Request& r) {
  const uint8_t op = r.cdb[0];
  const bool service = op == kOpRepair;
  if (service && r.cdbLength != kCdbLength) return Refuse("repair service: wrong command length");
  if (service && r.cdb[1] == kSubIdentify) return Identify(r);
  if (h_.replugPending) return Refuse("the engine code of the revert still runs: re-plug the drive");
  if (service) {
    switch (r.cdb[1]) {
      case kSubReadPage: return ReadPage(r);
      case kSubWriteFirmware: return WriteFirmware(r);
      case kSubCommitMap: return CommitMap(r);
      default: return Refuse("repair service: unknown sub-command");
    }
  }
  switch (op) {
    case kOpReadCapacity10: return ReadCapacity(r);
    case kOpRead10: return Transfer(r, false);
    case kOpWrite10: return Transfer(r, true);
    default: return Refuse("unknown operation code");
  }
}

Outcome RepairService::Identify(const Request& r) {
  if (!Zero(r, 2, kCdbLength) || r.direction != Direction::kIn || r.dataLength != kIdentifyBytes || !r.data)
    return Refuse("identify: wrong bytes");
  uint8_t a[kIdentifyBytes] = {};
  std::memcpy(a + kIdMagic, kIdentifyMagic, sizeof kIdentifyMagic);
  a[kIdLayoutVersion] = kIdentifyLayoutVersion;
  a[kIdFlags] = uint8_t((HasFirmware() ? kFlagFirmware : 0) | (spec_.dualChannel ? kFlagDualChannel : 0) |
                        (h_.userArea ? kFlagUserArea : 0) | (h_.replugPending ? kFlagReplugPending : 0));
  PutBe16(a + kIdController, controller_);
  PutBe16(a + kIdChipVersion, uint32_t(std::strtoul(spec_.chipVersion.c_str(), nullptr, 16)));
  a[kIdCeCount] = uint8_t(spec_.ces);
  a[kIdPlaneCount] = uint8_t(spec_.planes);
  PutBe32(a + kIdBlocksPerCe, spec_.blocksPerCE);
  PutBe16(a + kIdPagesPerBlock, spec_.pagesPerBlock);
  PutBe16(a + kIdSectorsPerPage, spec_.sectorsPerPage);
  std::string version = h_.firmwareWritten ? std::string(h_.firmwareVersion, strnlen(h_.firmwareVersion, 16))
                        : spec_.hasFirmware ? spec_.firmwareVersion
                                            : std::string();
  std::memcpy(a + kIdFirmwareVersion, version.data(), std::min(version.size(), kIdFirmwareVersionBytes));
  PutBe32(a + kIdUserSectors, h_.userArea ? h_.userSectors : 0);
  uint8_t gaps = 0;
  for (auto [first, last] : MissingBlocks(spec_)) {
    if (first >= spec_.blocksPerCE || gaps == kMaxGaps) continue;
    PutBe32(a + kIdGaps + gaps * kGapBytes, first);
    PutBe32(a + kIdGaps + gaps * kGapBytes + 4, std::min(last, spec_.blocksPerCE - 1));
    ++gaps;
  }
  a[kIdGapCount] = gaps;
  std::memcpy(r.data, a, sizeof a);
  return Done(kIdentifyBytes);
}

Outcome RepairService::ReadPage(const Request& r) {
  const uint8_t* c = r.cdb;
  const uint32_t ce = c[kReadCe], block = Be32(c + kReadBlock), page = uint32_t(c[kReadPageNumber] << 8 | c[8]);
  const uint8_t what = c[kReadWhat];
  const uint32_t length = what == kReadDataAndSpare ? spec_.PageBytes() + kSpareBytes : kSpareBytes;
  if (!Zero(r, 10, kCdbLength) || what > kReadDataAndSpare || r.direction != Direction::kIn ||
      r.dataLength != length || !r.data)
    return Refuse("read page: wrong bytes or length");
  if (ce >= spec_.ces || !nand_.BlockExists(block) || page >= spec_.pagesPerBlock)
    return Refuse("read page: no such page");
  if (h_.dead) return FlashFailed();
  auto* out = static_cast<uint8_t*>(r.data);
  if (what == kReadDataAndSpare) {
    nand_.ReadPage(ce, block, page, out);
    out += spec_.PageBytes();
  }
  nand_.ReadSpare(ce, block, page, out);
  return Done(length);
}

Outcome RepairService::WriteFirmware(const Request& r) {
  if (!Zero(r, 6, kCdbLength) || Be32(r.cdb + kFirmwareLength) != kFirmwareImageBytes ||
      r.direction != Direction::kOut || r.dataLength != kFirmwareImageBytes || !r.data)
    return Refuse("write firmware: wrong bytes or length");
  const auto* image = static_cast<const uint8_t*>(r.data);
  if (std::memcmp(image + kFirmwareMarkOffset, kFirmwareMark, sizeof kFirmwareMark) != 0)
    return Refuse("write firmware: no firmware mark");
  for (size_t i = 0; i < kFirmwareVersionBytes; ++i) {
    uint8_t ch = image[kFirmwareVersionOffset + i];
    if (ch < 0x20 || ch > 0x7E) return Refuse("write firmware: the version is not printable");
  }
  if (h_.dead) return FlashFailed();
  std::memset(h_.firmwareVersion, 0, sizeof h_.firmwareVersion);
  std::memcpy(h_.firmwareVersion, image + kFirmwareVersionOffset, kFirmwareVersionBytes);
  h_.firmwareWritten = 1;
  return Done(kFirmwareImageBytes);
}

Outcome RepairService::CommitMap(const Request& r) {
  const uint32_t bits = spec_.ces * spec_.blocksPerCE;
  const uint32_t length = ((bits + 7) / 8 + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
  if (!Zero(r, 6, kCdbLength) || r.direction != Direction::kOut || r.dataLength != length || !r.data)
    return Refuse("commit map: wrong bytes or length");
  if (!HasFirmware()) return Refuse("commit map: the controller carries no firmware");
  if (h_.dead) return FlashFailed();
  const auto* map = static_cast<const uint8_t*>(r.data);
  uint64_t good = 0;
  for (uint32_t ce = 0; ce < spec_.ces; ++ce)
    for (uint32_t b = 0; b < spec_.blocksPerCE; ++b) {
      uint32_t bit = ce * spec_.blocksPerCE + b;
      good += nand_.BlockExists(b) && !(map[bit / 8] >> (bit % 8) & 1);
    }
  if (good != Be32(r.cdb + kCommitGoodBlocks)) return Refuse("commit map: the good block count differs");
  if (good * spec_.SectorsPerBlock() > 0xFFFFFFFFull) return Refuse("commit map: the user area is too large");
  {
    std::ofstream out(MapPath(folder_), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(map), length);
    if (!out.good()) return FlashFailed();
  }
  h_.userArea = good ? 1 : 0;
  h_.userSectors = uint32_t(good * spec_.SectorsPerBlock());
  ++h_.userAreaGeneration;
  return Done(length);
}

const std::vector<std::pair<uint32_t, uint32_t>>& RepairService::UserBlocks() {
  if (loaded_ && loadedGeneration_ == h_.userAreaGeneration) return userBlocks_;
  userBlocks_.clear();
  std::ifstream in(MapPath(folder_), std::ios::binary);
  std::vector<uint8_t> map((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (uint32_t ce = 0; ce < spec_.ces; ++ce)
    for (uint32_t b = 0; b < spec_.blocksPerCE; ++b) {
      uint32_t bit = ce * spec_.blocksPerCE + b;
      bool excluded = bit / 8 >= map.size() || (map[bit / 8] >> (bit % 8) & 1);
      if (nand_.BlockExists(b) && !excluded) userBlocks_.emplace_back(ce, b);
    }
  loaded_ = true;
  loadedGeneration_ = h_.userAreaGeneration;
  return userBlocks_;
}

Outcome RepairService::ReadCapacity(const Request& r) {
  if (r.cdbLength != kBlockCdbLength || !Zero(r, 1, kBlockCdbLength) || r.direction != Direction::kIn ||
      r.dataLength != kReadCapacityBytes || !r.data)
    return Refuse("READ CAPACITY: wrong bytes");
  if (!h_.userArea) return Refuse("READ CAPACITY: no user area was committed");
  auto* out = static_cast<uint8_t*>(r.data);
  PutBe32(out, h_.userSectors - 1);
  PutBe32(out + 4, kSectorBytes);
  return Done(kReadCapacityBytes);
}

// The user area behaves as a disk: the controller's translation layer
// hides the NAND rules, so a write replaces the sectors it carries.
Outcome RepairService::Transfer(const Request& r, bool write) {
  const uint8_t* c = r.cdb;
  const uint32_t lba = Be32(c + 2), count = uint32_t(c[7] << 8 | c[8]);
  if (r.cdbLength != kBlockCdbLength || c[1] || c[6] || c[9] || count == 0 ||
      r.direction != (write ? Direction::kOut : Direction::kIn) || r.dataLength != count * kSectorBytes || !r.data)
    return Refuse(write ? "WRITE(10): wrong bytes or length" : "READ(10): wrong bytes or length");
  if (!h_.userArea) return Refuse("no user area was committed");
  if (uint64_t(lba) + count > h_.userSectors) return Refuse("beyond the user area");
  if (h_.dead) return FlashFailed();
  const auto& blocks = UserBlocks();
  const uint32_t spb = spec_.SectorsPerBlock(), spp = spec_.sectorsPerPage;
  if ((uint64_t(lba) + count - 1) / spb >= blocks.size()) return Refuse("the user area's map is missing");
  auto* data = static_cast<uint8_t*>(r.data);
  bool passed = true;
  uint32_t done = 0;
  while (done < count) {
    const uint32_t logical = lba + done;
    const auto [ce, block] = blocks[logical / spb];
    const uint32_t page = (logical % spb) / spp, first = logical % spp;
    const uint32_t n = std::min(spp - first, count - done);
    if (write) {
      passed &= nand_.Overwrite(ce, block, page, first, n, data + size_t(done) * kSectorBytes);
    } else {
      nand_.ReadPage(ce, block, page, page_.data());
      std::memcpy(data + size_t(done) * kSectorBytes, page_.data() + size_t(first) * kSectorBytes,
                  size_t(n) * kSectorBytes);
    }
    done += n;
  }
  return passed ? Done(r.dataLength) : FlashFailed();
}

}  // namespace sim
