#include "sim/repair_engine.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "sim/repair_commands.h"
#include "sim/repair_store.h"
#include "sim/repair_user_area.h"

namespace sim {

namespace {

using namespace repaircmd;

Outcome Refuse(std::string why) { return {Outcome::kRefused, 0, std::move(why)}; }
Outcome Done(uint32_t bytes) { return {Outcome::kDone, bytes, {}}; }

uint32_t Be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint16_t Be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}
void PutBe16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}

bool ZeroFrom(const Request& r, size_t first) {
  for (size_t i = first; i < r.cdbLength; ++i)
    if (r.cdb[i] != 0) return false;
  return true;
}
bool DataIn(const Request& r, uint32_t length) {
  return r.direction == Direction::kIn && r.dataLength == length && r.data;
}
bool DataOut(const Request& r, uint32_t length) {
  return r.direction == Direction::kOut && r.dataLength == length && r.data;
}

// The chip version the drive's description gives as hex digits ("0100").
uint16_t ChipVersion(const DriveSpec& spec) {
  uint32_t value = 0;
  for (char c : spec.chipVersion.substr(0, 4)) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return 0;
    value = value << 4 | uint32_t(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10);
  }
  return uint16_t(value);
}

// The version of the firmware the controller runs: a written image wins
// over the firmware the drive came with.
bool FirmwareVersion(const RepairTarget& t, std::string* version) {
  if (auto stored = StoredFirmwareVersion(t.folder)) {
    *version = *stored;
    return true;
  }
  if (!t.spec.hasFirmware) return false;
  *version = t.spec.firmwareVersion;
  return true;
}

Outcome Identify(const RepairTarget& t, const Request& r) {
  if (!ZeroFrom(r, 2) || !DataIn(r, kIdentifyBytes)) return Refuse("repair identify: wrong bytes");
  // The gaps that fall into the flash, clipped to it.
  std::vector<std::pair<uint32_t, uint32_t>> gaps;
  for (auto [first, last] : MissingBlocks(t.spec)) {
    if (first >= t.spec.blocksPerCE || first > last) continue;
    gaps.emplace_back(first, std::min(last, t.spec.blocksPerCE - 1));
  }
  if (gaps.size() > kMaxGaps) return Refuse("repair identify: more gaps than the answer holds");

  uint8_t out[kIdentifyBytes] = {};
  std::memcpy(out + kIdMagic, kIdentifyMagic, sizeof kIdentifyMagic);
  out[kIdLayoutVersion] = kIdentifyLayoutVersion;
  std::string version;
  const bool firmware = FirmwareVersion(t, &version);
  auto map = LoadUserAreaMap(t.folder, t.spec);
  uint8_t flags = 0;
  if (firmware) flags |= kFlagFirmware;
  if (t.spec.dualChannel) flags |= kFlagDualChannel;
  if (map && firmware) flags |= kFlagUserArea;
  if (t.header.replugPending) flags |= kFlagReplugPending;
  out[kIdFlags] = flags;
  PutBe16(out + kIdController, t.controllerId);
  PutBe16(out + kIdChipVersion, ChipVersion(t.spec));
  out[kIdCeCount] = uint8_t(t.spec.ces);
  out[kIdPlaneCount] = uint8_t(t.spec.planes);
  PutBe32(out + kIdBlocksPerCe, t.spec.blocksPerCE);
  PutBe16(out + kIdPagesPerBlock, uint16_t(t.spec.pagesPerBlock));
  PutBe16(out + kIdSectorsPerPage, uint16_t(t.spec.sectorsPerPage));
  if (firmware)
    std::memcpy(out + kIdFirmwareVersion, version.data(), std::min(version.size(), kIdFirmwareVersionBytes));
  const uint64_t sectors = map && firmware ? map->Sectors() : 0;
  PutBe32(out + kIdUserSectors, uint32_t(std::min<uint64_t>(sectors, 0xFFFFFFFFu)));
  out[kIdGapCount] = uint8_t(gaps.size());
  for (size_t i = 0; i < gaps.size(); ++i) {
    PutBe32(out + kIdGaps + i * kGapBytes, gaps[i].first);
    PutBe32(out + kIdGaps + i * kGapBytes + 4, gaps[i].second);
  }
  std::memcpy(r.data, out, sizeof out);
  return Done(kIdentifyBytes);
}

Outcome ReadPage(const RepairTarget& t, const Request& r) {
  const uint8_t* c = r.cdb;
  const uint32_t ce = c[kReadCe], block = Be32(c + kReadBlock), page = Be16(c + kReadPageNumber);
  const uint8_t what = c[kReadWhat];
  if (!ZeroFrom(r, kReadWhat + 1) || (what != kReadSpare && what != kReadDataAndSpare))
    return Refuse("repair read page: wrong bytes");
  const uint32_t pageBytes = t.spec.PageBytes();
  if (!DataIn(r, what == kReadSpare ? kSpareBytes : pageBytes + kSpareBytes))
    return Refuse("repair read page: wrong length");
  if (ce >= t.spec.ces || !t.nand.BlockExists(block) || page >= t.spec.pagesPerBlock)
    return Refuse("repair read page: no such page");
  auto* out = static_cast<uint8_t*>(r.data);
  if (what == kReadDataAndSpare) {
    t.nand.ReadPage(ce, block, page, out);
    out += pageBytes;
  }
  t.nand.ReadSpare(ce, block, page, out);
  return Done(r.dataLength);
}

Outcome WriteFirmware(const RepairTarget& t, const Request& r) {
  if (!ZeroFrom(r, kFirmwareLength + 4) || Be32(r.cdb + kFirmwareLength) != kFirmwareImageBytes ||
      !DataOut(r, kFirmwareImageBytes))
    return Refuse("repair firmware write: wrong bytes or length");
  if (t.controllerId != 0x423 && t.controllerId != 0x425)
    return Refuse("repair firmware write: the image serves KR423 and KR425 controllers only");
  const auto* image = static_cast<const uint8_t*>(r.data);
  if (std::memcmp(image + kFirmwareMarkOffset, kFirmwareMark, sizeof kFirmwareMark) != 0)
    return Refuse("repair firmware write: not a firmware image");
  for (size_t i = 0; i < kFirmwareVersionBytes; ++i)
    if (!std::isprint(image[kFirmwareVersionOffset + i])) return Refuse("repair firmware write: no version text");
  if (!StoreFirmware(t.folder, std::vector<uint8_t>(image, image + kFirmwareImageBytes)))
    return Refuse("repair firmware write: the firmware cannot be stored");
  return Done(kFirmwareImageBytes);
}

Outcome CommitMap(const RepairTarget& t, const Request& r) {
  const uint64_t bits = uint64_t(t.spec.ces) * t.spec.blocksPerCE;
  const uint64_t length = (bits + 8 * kSectorBytes - 1) / (8 * kSectorBytes) * kSectorBytes;
  if (!ZeroFrom(r, kCommitGoodBlocks + 4) || !DataOut(r, uint32_t(length)))
    return Refuse("repair map commit: wrong bytes or length");
  std::string version;
  if (!FirmwareVersion(t, &version)) return Refuse("repair map commit: the controller carries no firmware");
  const auto* excluded = static_cast<const uint8_t*>(r.data);
  UserAreaMap map;
  map.ces = t.spec.ces;
  map.blocksPerCE = t.spec.blocksPerCE;
  map.pagesPerBlock = t.spec.pagesPerBlock;
  map.sectorsPerPage = t.spec.sectorsPerPage;
  for (uint32_t ce = 0; ce < t.spec.ces; ++ce)
    for (uint32_t block = 0; block < t.spec.blocksPerCE; ++block) {
      const uint64_t bit = uint64_t(ce) * t.spec.blocksPerCE + block;
      if (!t.nand.BlockExists(block) || (excluded[bit / 8] >> (bit % 8) & 1)) continue;
      map.blocks.push_back({ce, block});
    }
  if (map.blocks.size() != Be32(r.cdb + kCommitGoodBlocks))
    return Refuse("repair map commit: the good block count disagrees with the map");
  if (map.blocks.empty()) return Refuse("repair map commit: no good block");
  if (map.Sectors() > 0xFFFFFFFFull) return Refuse("repair map commit: the user area exceeds 32-bit addresses");
  if (!StoreUserAreaMap(t.folder, map)) return Refuse("repair map commit: the map cannot be stored");
  return Done(uint32_t(length));
}

Outcome RepairService(const RepairTarget& t, const Request& r) {
  if (r.cdbLength != kCdbLength) return Refuse("repair: wrong command length");
  const uint8_t sub = r.cdb[1];
  if (sub == kSubIdentify) return Identify(t, r);
  // The engine code that a revert left in a KR423 with firmware keeps the
  // ROM's service away until the drive restarts.
  if (t.header.replugPending) return Refuse("repair: the drive must be unplugged and plugged again first");
  switch (sub) {
    case kSubReadPage: return ReadPage(t, r);
    case kSubWriteFirmware: return WriteFirmware(t, r);
    case kSubCommitMap: return CommitMap(t, r);
    default: return Refuse("repair: unknown sub-command");
  }
}

bool IsUserAreaCommand(uint8_t opcode) {
  return opcode == kOpReadCapacity10 || opcode == kOpRead10 || opcode == kOpWrite10;
}

}  // namespace

bool HandleRepairCommand(const RepairTarget& t, const Request& r, Outcome* outcome) {
  if (!r.cdb || r.cdbLength == 0 || t.spec.controller == kPlainDisk) return false;
  if (r.cdb[0] == kOpRepair) {
    *outcome = RepairService(t, r);
    return true;
  }
  if (!IsUserAreaCommand(r.cdb[0])) return false;
  std::string version;
  auto map = LoadUserAreaMap(t.folder, t.spec);
  if (!map || !FirmwareVersion(t, &version)) return false;
  *outcome = UserAreaCommand(t, *map, r);
  return true;
}

bool InspectUserArea(const std::string& driveFolder, const DriveSpec& spec, UserAreaReport* report) {
  UserAreaReport r;
  if (auto stored = StoredFirmwareVersion(driveFolder)) {
    r.firmwareWritten = true;
    r.firmwareVersion = *stored;
  }
  if (auto map = LoadUserAreaMap(driveFolder, spec)) {
    r.mapped = true;
    r.blocks = uint32_t(map->blocks.size());
    r.sectors = map->Sectors();
  }
  *report = r;
  return true;
}

}  // namespace sim
