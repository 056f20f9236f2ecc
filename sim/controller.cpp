#include "sim/controller.h"

#include <algorithm>
#include <cstring>

#include "sim/repair_service.h"

namespace sim {

namespace {

Outcome Refuse(std::string why) { return {Outcome::kRefused, 0, std::move(why)}; }
Outcome Done(uint32_t bytes) { return {Outcome::kDone, bytes, {}}; }

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint16_t BigEndian16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

// True when every command byte listed is zero (bytes not named by the
// command's table row must be zero).
bool ZeroBytes(const Request& r, std::initializer_list<int> positions) {
  for (int i : positions)
    if (r.cdb[i] != 0) return false;
  return true;
}

bool DataIn(const Request& r, uint32_t length) {
  return r.direction == Direction::kIn && r.dataLength == length && (length == 0 || r.data);
}
bool DataOut(const Request& r, uint32_t length) {
  return r.direction == Direction::kOut && r.dataLength == length && r.data;
}
// Commands without data: the table gives a direction, the simulator also
// takes none.
bool NoData(const Request& r, Direction given) {
  return r.dataLength == 0 && (r.direction == given || r.direction == Direction::kNone);
}

void Pad(uint8_t* out, const std::string& text, size_t width) {
  std::memset(out, ' ', width);
  std::memcpy(out, text.data(), std::min(width, text.size()));
}

}  // namespace

Controller::Controller(const DriveSpec& desc, FlashState& state, NandArray& nand, const std::string& folder)
    : spec_(desc), h_(state.Header()), nand_(nand), page_(desc.PageBytes()) {
  tag_ = InquiryTag(desc);
  id_ = desc.controller == kPlainDisk ? 0 : ControllerFromTag(tag_);
  needsBoot_ = desc.controller != kPlainDisk && TagNeedsBootCode(tag_);
  repair_ = std::make_unique<RepairService>(desc, h_, nand, folder, id_);
}

Controller::~Controller() = default;

void Controller::PowerOn() {
  h_.bootState = needsBoot_ ? kBootRom : kBootDiscovery;
  h_.download = kDownloadNone;
  h_.chunkMask = 0;
  h_.fwInfo = kFwInfoNone;
  h_.altPages = 0;
  h_.twoPlane = 0;
  h_.timingCode = h_.voltageCode = 0;
  h_.lastOpPassed = 1;
  h_.lastFailCeMask = 0;
  h_.replugPending = 0;
}

qvboot::Target Controller::Target() const {
  qvboot::Target t{};
  t.controller = id_;
  t.tagRevision[0] = char(tag_[8]);
  t.tagRevision[1] = char(tag_[9]);
  t.deviceCode = spec_.flashId[1];
  t.revision = uint8_t(tag_[10] - 'A');
  return t;
}

Outcome Controller::Execute(const Request& r) {
  if (!r.cdb || r.cdbLength == 0) return Refuse("empty command");
  if (r.cdb[0] == 0x12) return Inquiry(r);
  if (spec_.controller == kPlainDisk) return Refuse("no vendor commands on a plain disk");

  switch (r.cdb[0]) {
    case 0xFD: return FdCommand(r);
    case 0xF2: return ReadFlashConfig(r);
    case 0xF1: return ReadStatus(r);
    case 0xF5: return Erase(r, false);
    case 0xFE: return Erase(r, true);
    case 0xF9: return ReadSpare(r);
    case 0xF6: return WriteSectors(r);
    case 0xF8: return ReadOrVerify(r);
    case 0xFC: return SetMode(r);
    case 0xF0: return WriteFWInfo(r);
    default: return repair_->Execute(r);
  }
}

Outcome Controller::Inquiry(const Request& r) {
  if (r.cdbLength != 6 || !ZeroBytes(r, {1, 2, 3, 5})) return Refuse("INQUIRY: wrong command bytes");
  uint32_t length = r.cdb[4];
  if (length == 0 || length > 180 || !DataIn(r, length)) return Refuse("INQUIRY: wrong length");
  uint8_t answer[180] = {};
  answer[0] = 0x00;  // direct-access device
  answer[1] = spec_.driveType == 2 ? 0x80 : 0x00;
  answer[2] = 0x02;
  answer[3] = 0x02;
  answer[4] = 180 - 5;
  Pad(answer + 8, spec_.vendor, 8);
  Pad(answer + 16, spec_.product, 16);
  Pad(answer + 32, spec_.productRevision, 4);
  std::memcpy(answer + 36, tag_.data(), tag_.size());
  std::memcpy(r.data, answer, length);
  return Done(length);
}

Outcome Controller::FdCommand(const Request& r) {
  const uint8_t* c = r.cdb;
  if (r.cdbLength == 12 && c[1] == 0x00 && c[2] == 0x01) return RamWrite(r, true);
  if (r.cdbLength != 10) return Refuse("FD: wrong command length");
  switch (c[1]) {
    case 0x10:  // CmdReadFlashId
      if (!ZeroBytes(r, {2, 3, 4, 5, 6, 7, 8, 9}) || !DataIn(r, 5)) return Refuse("read flash ID: wrong bytes");
      if (h_.dead) return Flash(false, 0, 0);
      std::memcpy(r.data, spec_.flashId.data(), 5);
      return Done(5);
    case 0x11:  // CmdStartBootCode
      if (!ZeroBytes(r, {2, 3, 4, 5, 6, 7, 8, 9}) || !NoData(r, Direction::kIn)) return Refuse("start boot code: wrong bytes");
      if (h_.download != kDownloadDiscovery || h_.chunkMask != 0xFF)
        return Refuse("start boot code: no complete discovery download");
      // The discovery code restarts the controller.
      if (!RunDownloadedCode(qvboot::kRoleDiscovery, kBootDiscovery))
        return Refuse("start boot code: the image does not serve this controller");
      return Done(0);
    case 0x13:  // CmdPrepareDownload
      if (c[2] != 0x01 || !ZeroBytes(r, {3, 4, 5, 6, 7, 8, 9}) || !NoData(r, Direction::kOut))
        return Refuse("prepare download: wrong bytes");
      // The engine code stops while a new one is loaded.
      if (h_.bootState == kBootEngine) h_.bootState = kBootDiscovery;
      h_.fwInfo = kFwInfoNone;
      h_.download = kDownloadEngine;
      h_.chunkMask = 0;
      return Done(0);
    case 0x14:  // CmdPrepareBootLoad
      if (!ZeroBytes(r, {2, 3, 4, 5, 6, 7, 8, 9}) || !NoData(r, Direction::kIn)) return Refuse("prepare boot load: wrong bytes");
      h_.download = kDownloadDiscovery;
      h_.chunkMask = 0;
      return Done(0);
    case 0x00:
      if (c[2] == 0x01) return RamWrite(r, false);
      if (c[2] == 0x00) return RamRead(r);
      return Refuse("RAM access: wrong direction byte");
    default:
      return Refuse("FD: unknown sub-command");
  }
}

bool Controller::RunDownloadedCode(qvboot::Role role, uint32_t bootState) {
  h_.download = kDownloadNone;
  h_.chunkMask = 0;
  if (!qvboot::SliceServes(h_.ram, sizeof h_.ram, role, Target())) return false;
  h_.bootState = bootState;
  h_.fwInfo = kFwInfoNone;
  h_.altPages = 0;
  h_.twoPlane = 0;
  return true;
}

Outcome Controller::RamWrite(const Request& r, bool engineForm) {
  const uint8_t* c = r.cdb;
  // FD 00 01 MH ML FF 03 02 00 00 (discovery) / FD 00 01 MH ML 00 03 02 00 00 00 00 (engine)
  bool bytesOk = c[5] == (engineForm ? 0x00 : 0xFF) && c[6] == 0x03 && c[7] == 0x02 && c[8] == 0 && c[9] == 0 &&
                 (!engineForm || (c[10] == 0 && c[11] == 0));
  if (!bytesOk || !DataOut(r, 512)) return Refuse("RAM write: wrong bytes");
  uint16_t address = uint16_t(c[3] << 8 | c[4]);
  if (address < 0xF000 || address % 512) return Refuse("RAM write: address outside 0xF000..0xFFFF");
  if (h_.download != (engineForm ? kDownloadEngine : kDownloadDiscovery))
    return Refuse(engineForm ? "engine RAM write without CmdPrepareDownload" : "discovery RAM write without CmdPrepareBootLoad");
  unsigned chunk = (address - 0xF000) / 512;
  std::memcpy(h_.ram + chunk * 512, r.data, 512);
  h_.chunkMask |= 1u << chunk;
  if (engineForm && h_.chunkMask == 0xFF) {
    if (!RunDownloadedCode(qvboot::kRoleEngine, kBootEngine))
      return Refuse("engine download: the image does not serve this controller");
    h_.lastOpPassed = 1;
    // A KR423 that carries firmware keeps running this code until it is
    // unplugged and plugged again.
    if (id_ == 0x423 && spec_.hasFirmware) h_.replugPending = 1;
  }
  return Done(512);
}

Outcome Controller::RamRead(const Request& r) {
  const uint8_t* c = r.cdb;
  // FD 00 00 MH ML 00 00 02 00 00
  if (c[5] != 0 || c[6] != 0 || c[7] != 0x02 || c[8] != 0 || c[9] != 0 || !DataIn(r, 512))
    return Refuse("RAM read: wrong bytes");
  uint16_t address = uint16_t(c[3] << 8 | c[4]);
  auto* out = static_cast<uint8_t*>(r.data);
  for (unsigned i = 0; i < 512; ++i) {
    uint32_t a = uint32_t(address) + i;
    out[i] = a == 0x0059 ? spec_.eccByte : (a >= 0xF000 && a <= 0xFFFF) ? h_.ram[a - 0xF000] : 0;
  }
  return Done(512);
}

Outcome Controller::ReadFlashConfig(const Request& r) {
  if (r.cdbLength != 12 || !ZeroBytes(r, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}) || !DataIn(r, 34))
    return Refuse("read flash config: wrong bytes");
  if (h_.bootState == kBootRom) return Refuse("read flash config: the controller runs its ROM (no discovery code)");
  auto config = FlashConfig(spec_);
  std::memcpy(r.data, config.data(), config.size());
  return Done(34);
}

Outcome Controller::ReadStatus(const Request& r) {
  const uint8_t* c = r.cdb;
  // F1 10 S FF F
  if (r.cdbLength != 10 || c[1] != 0x10 || c[3] != 0xFF || !ZeroBytes(r, {5, 6, 7, 8, 9}) || !DataIn(r, 8))
    return Refuse("read status: wrong bytes");
  uint8_t selector = c[2], flag = c[4];
  bool known = (selector == 1 && flag <= 1) || (selector == 4 && flag == 1) || (selector == 0x10 && flag == 1);
  if (!known) return Refuse("read status: unknown selector");
  if (h_.dead) return Flash(false, 0, 0);
  uint8_t out[8] = {};
  if (selector == 1) {
    out[0] = uint8_t(h_.bootState);
    out[1] = h_.lastOpPassed ? 1 : 0;
    out[2] = uint8_t(h_.lastFailCeMask);
    out[3] = uint8_t(h_.twoPlane);
    if (flag == 1) {  // read and clear
      h_.lastOpPassed = 1;
      h_.lastFailCeMask = 0;
    }
  } else if (selector == 4) {
    out[0] = uint8_t(spec_.ces);
    out[1] = uint8_t(spec_.planes);
    out[2] = uint8_t(spec_.blocksPerCE >> 8);
    out[3] = uint8_t(spec_.blocksPerCE);
    out[4] = spec_.pagesPerBlock >= 256 ? 0xFF : uint8_t(spec_.pagesPerBlock);
    out[5] = uint8_t(spec_.sectorsPerPage);
    out[6] = uint8_t(h_.fwInfo);
    out[7] = uint8_t(h_.altPages);
  } else {
    std::memcpy(out, spec_.flashId.data(), 5);
    out[5] = spec_.eccByte;
    out[6] = uint8_t(id_ >> 8);
    out[7] = uint8_t(id_);
  }
  std::memcpy(r.data, out, 8);
  return Done(8);
}

Controller::Address Controller::Decode(const uint8_t* cdb) const {
  uint32_t a = BigEndian32(cdb + 2);
  uint32_t spb = spec_.SectorsPerBlock();
  uint32_t rem = a % spb;
  return {a / spb, rem / spec_.sectorsPerPage, rem % spec_.sectorsPerPage};
}

bool Controller::BlockGate(const Request& r, std::vector<uint32_t>* ces, Outcome* refusal) {
  if (h_.bootState != kBootEngine) {
    *refusal = Refuse("block command before the engine code runs");
    return false;
  }
  if (id_ == 0x425 && h_.fwInfo != kFwInfoAccepted) {
    *refusal = Refuse(h_.fwInfo == kFwInfoNone ? "block command before FWInfo" : "FWInfo disagrees with the flash");
    return false;
  }
  uint8_t mask = r.cdb[12];
  if (mask & 0xAA) {
    *refusal = Refuse("CE select byte with odd bits");
    return false;
  }
  ces->clear();
  for (uint32_t k = 0; k < 4; ++k)
    if ((mask >> (2 * k)) & 1 && k < spec_.ces) ces->push_back(k);
  if (ces->empty()) {
    *refusal = Refuse("CE select byte selects no existing CE");
    return false;
  }
  if (h_.dead) {
    *refusal = Flash(false, mask, 0);
    return false;
  }
  return true;
}

Outcome Controller::Flash(bool passed, uint32_t failMask, uint32_t bytes) {
  h_.lastOpPassed = passed ? 1 : 0;
  h_.lastFailCeMask = passed ? 0 : failMask;
  if (passed) return Done(bytes);
  return {Outcome::kFlashFailed, 0, "flash operation failed"};
}

Outcome Controller::Erase(const Request& r, bool checked) {
  // F5/FE 00 A3 A2 A1 A0 00 00 00 00 00 00 CE
  if (r.cdbLength != 13 || !ZeroBytes(r, {1, 6, 7, 8, 9, 10, 11}) || !DataIn(r, checked ? 1 : 16))
    return Refuse("erase: wrong bytes");
  std::vector<uint32_t> ces;
  Outcome refusal;
  if (!BlockGate(r, &ces, &refusal)) return refusal;
  Address a = Decode(r.cdb);
  if (a.page || a.sector) return Refuse("erase: address is not a block's first sector");
  if (!nand_.BlockExists(a.block)) return Refuse("erase: no such block");
  // In two-plane mode an even block takes its partner with it.
  uint32_t count = h_.twoPlane && a.block % 2 == 0 && nand_.BlockExists(a.block + 1) ? 2 : 1;
  bool passed = true;
  uint32_t failMask = 0;
  for (uint32_t ce : ces)
    for (uint32_t i = 0; i < count; ++i)
      if (!nand_.Erase(ce, a.block + i)) {
        passed = false;
        failMask |= 1u << (2 * ce);
      }
  Outcome o = Flash(passed, failMask, checked ? 1 : 16);
  if (o.kind != Outcome::kDone) return o;
  auto* out = static_cast<uint8_t*>(r.data);
  if (checked) {
    out[0] = 0x01;
  } else {
    std::memset(out, 0, 16);
    out[0] = 0x01;
    out[4] = r.cdb[12];
    out[5] = uint8_t(count);
    std::memset(out + 8, 0xFF, 8);
  }
  return o;
}

Outcome Controller::ReadSpare(const Request& r) {
  // F9 00 A3 A2 A1 A0 00 00 00 00 00 00 CE
  if (r.cdbLength != 13 || !ZeroBytes(r, {1, 6, 7, 8, 9, 10, 11}) || !DataIn(r, 16))
    return Refuse("read spare: wrong bytes");
  std::vector<uint32_t> ces;
  Outcome refusal;
  if (!BlockGate(r, &ces, &refusal)) return refusal;
  Address a = Decode(r.cdb);
  if (a.sector) return Refuse("read spare: address is not a page's first sector");
  if (!nand_.BlockExists(a.block)) return Refuse("read spare: no such block");
  // Several CEs selected: the lowest one answers.
  nand_.ReadSpare(ces.front(), a.block, a.page, static_cast<uint8_t*>(r.data));
  return Flash(true, 0, 16);
}

Outcome Controller::WriteSectors(const Request& r) {
  const uint8_t* c = r.cdb;
  // F6 S0 A3 A2 A1 A0 00 00 N S1 S2 S3 CE
  if (r.cdbLength != 13 || !ZeroBytes(r, {6, 7}) || r.direction != Direction::kOut || !r.data ||
      r.dataLength == 0 || r.dataLength % 512 || ((r.dataLength / 512) & 0xFF) != c[8])
    return Refuse("write sectors: wrong bytes or length");
  std::vector<uint32_t> ces;
  Outcome refusal;
  if (!BlockGate(r, &ces, &refusal)) return refusal;
  const uint32_t total = r.dataLength / 512, spb = spec_.SectorsPerBlock(), spp = spec_.sectorsPerPage;
  const uint32_t start = BigEndian32(c + 2);
  if (uint64_t(start) + total > uint64_t(spec_.blocksPerCE) * spb) return Refuse("write sectors: beyond the flash");
  for (uint32_t b = start / spb; b <= (start + total - 1) / spb; ++b)
    if (!nand_.BlockExists(b)) return Refuse("write sectors: no such block");
  const uint8_t spare[4] = {c[1], c[9], c[10], c[11]};
  const auto* data = static_cast<const uint8_t*>(r.data);
  bool passed = true;
  uint32_t failMask = 0;
  for (uint32_t ce : ces) {
    uint32_t done = 0;
    while (done < total) {
      uint32_t sector = start + done;
      uint32_t block = sector / spb, page = (sector % spb) / spp, first = sector % spp;
      uint32_t count = std::min(spp - first, total - done);
      if (!nand_.Program(ce, block, page, first, count, data + size_t(done) * 512, spare,
                         block * spec_.pagesPerBlock + page)) {
        passed = false;
        failMask |= 1u << (2 * ce);
      }
      done += count;
    }
  }
  return Flash(passed, failMask, r.dataLength);
}

Outcome Controller::ReadOrVerify(const Request& r) {
  const uint8_t* c = r.cdb;
  if (r.cdbLength != 13 || !ZeroBytes(r, {1, 6, 9, 10, 11})) return Refuse("read: wrong bytes");
  if (c[7] == 0x01) {
    // CmdVerifyBlock: F8 00 A3 A2 A1 A0 00 01 01 00 00 00 CE
    if (c[8] != 0x01 || !DataIn(r, 2)) return Refuse("verify: wrong bytes");
    std::vector<uint32_t> ces;
    Outcome refusal;
    if (!BlockGate(r, &ces, &refusal)) return refusal;
    Address a = Decode(c);
    if (a.page || a.sector) return Refuse("verify: address is not a block's first sector");
    if (!nand_.BlockExists(a.block)) return Refuse("verify: no such block");
    VerifyResult worst;
    for (uint32_t ce : ces) {
      VerifyResult v = nand_.Verify(ce, a.block);
      worst.maxBits = std::max(worst.maxBits, v.maxBits);
      worst.sectors = std::max(worst.sectors, v.sectors);
    }
    auto* out = static_cast<uint8_t*>(r.data);
    out[0] = worst.maxBits;
    out[1] = worst.sectors;
    return Flash(true, 0, 2);
  }
  if (c[7] != 0) return Refuse("read: wrong bytes");
  // CmdReadSectors: F8 00 A3 A2 A1 A0 00 00 N 00 00 00 CE, L bytes
  const uint32_t length = r.dataLength;
  if (r.direction != Direction::kIn || !r.data || length == 0) return Refuse("read sectors: wrong length");
  const uint32_t sectors = length >= 512 ? length / 512 : 1;
  if ((length >= 512 && length % 512) || (sectors & 0xFF) != c[8]) return Refuse("read sectors: N does not fit the length");
  std::vector<uint32_t> ces;
  Outcome refusal;
  if (!BlockGate(r, &ces, &refusal)) return refusal;
  const uint32_t spb = spec_.SectorsPerBlock(), spp = spec_.sectorsPerPage;
  const uint32_t start = BigEndian32(c + 2);
  if (uint64_t(start) + sectors > uint64_t(spec_.blocksPerCE) * spb) return Refuse("read sectors: beyond the flash");
  for (uint32_t b = start / spb; b <= (start + sectors - 1) / spb; ++b)
    if (!nand_.BlockExists(b)) return Refuse("read sectors: no such block");
  auto* out = static_cast<uint8_t*>(r.data);
  uint32_t done = 0;
  int64_t cachedPage = -1;
  while (done < sectors) {
    uint32_t sector = start + done;
    uint32_t block = sector / spb, page = (sector % spb) / spp, first = sector % spp;
    int64_t key = int64_t(block) * spec_.pagesPerBlock + page;
    if (key != cachedPage) {
      nand_.ReadPage(ces.front(), block, page, page_.data());
      cachedPage = key;
    }
    size_t offset = size_t(done) * 512;
    size_t bytes = std::min<size_t>(512, length - offset);
    std::memcpy(out + offset, page_.data() + size_t(first) * 512, bytes);
    ++done;
  }
  return Flash(true, 0, length);
}

Outcome Controller::SetMode(const Request& r) {
  const uint8_t* c = r.cdb;
  // FC 00 T V P
  if (r.cdbLength != 10 || !ZeroBytes(r, {1, 5, 6, 7, 8, 9}) || !DataIn(r, 1)) return Refuse("set mode: wrong bytes");
  uint8_t timing = c[2], voltage = c[3], twoPlane = c[4];
  bool timingOk = timing == 0x00 || timing == 0x44 || timing == 0x88 || timing == 0xCC;
  bool voltageOk = voltage == 0x00 || voltage == 0x77 || voltage == 0x55 || voltage == 0x33;
  if (!timingOk || !voltageOk || twoPlane > 1) return Refuse("set mode: unknown code");
  if (h_.bootState != kBootEngine) return Refuse("set mode before the engine code runs");
  if (twoPlane && spec_.planes < 2) return Refuse("set mode: two-plane mode on a one-plane flash");
  h_.twoPlane = twoPlane;
  // The 00 00 form only switches the plane mode.
  if (timing || voltage) {
    h_.timingCode = timing;
    h_.voltageCode = voltage;
  }
  static_cast<uint8_t*>(r.data)[0] = twoPlane;
  return Done(1);
}

Outcome Controller::WriteFWInfo(const Request& r) {
  if (r.cdbLength != 13 || !ZeroBytes(r, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}) || !DataOut(r, 512))
    return Refuse("write FWInfo: wrong bytes");
  if (id_ != 0x425) return Refuse("write FWInfo: only a KR425 takes FWInfo");
  if (h_.bootState != kBootEngine) return Refuse("write FWInfo before the engine code runs");
  const auto* f = static_cast<const uint8_t*>(r.data);
  std::memcpy(h_.fwInfoBlock, f, 512);
  bool agrees = BigEndian16(f + 0x00) == spec_.blocksPerCE && BigEndian16(f + 0x02) == spec_.sectorsPerPage &&
                BigEndian16(f + 0x04) == spec_.pagesPerBlock && f[0x09] == spec_.ces;
  h_.fwInfo = agrees ? kFwInfoAccepted : kFwInfoDisagrees;
  // Alternate-page addressing is recorded but does not change addressing.
  h_.altPages = f[0x19] == 2 ? 1 : 0;
  return Done(512);
}

}  // namespace sim
