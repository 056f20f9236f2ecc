#include "tests/engine_fake_flash.h"

#include <algorithm>
#include <cstring>

namespace enginetest {

namespace {

uint32_t Be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool IsMarkByteSet(uint8_t b) { return (b & 0xF0) == 0 || (b & 0x0F) == 0; }

qv::ScsiResult Delivered(uint32_t moved = 0) {
  qv::ScsiResult r;
  r.delivered = true;
  r.bytesMoved = moved;
  return r;
}

qv::ScsiResult NotDelivered() {
  qv::ScsiResult r;
  r.delivered = false;
  r.osError = 1117;
  return r;
}

class FakeVolume : public qv::Device {
 public:
  explicit FakeVolume(FakeFlash* flash) : flash_(flash) {}
  qv::ScsiResult PassThrough(const qv::ScsiCommand& command) override { return flash_->Execute(command); }
  bool QueryBusType(uint32_t* busType) override {
    *busType = qv::kBusUsb;
    return true;
  }
  bool GetDeviceNumber(qv::DeviceNumber* number) override {
    *number = {};
    return true;
  }

 private:
  FakeFlash* flash_;
};

}  // namespace

FakeFlash::FakeFlash(FlashGeometry g) : g_(g) {
  pages_.resize(size_t(g.ces) * g.blocksPerCE * g.pagesPerBlock);
  for (Page& p : pages_) std::memset(p.spare, 0xFF, sizeof p.spare);
}

FakeFlash::Page& FakeFlash::At(uint32_t ce, uint32_t block, uint32_t page) {
  return pages_[(size_t(ce) * g_.blocksPerCE + block) * g_.pagesPerBlock + page];
}
const FakeFlash::Page& FakeFlash::At(uint32_t ce, uint32_t block, uint32_t page) const {
  return pages_[(size_t(ce) * g_.blocksPerCE + block) * g_.pagesPerBlock + page];
}

std::vector<uint32_t> FakeFlash::SelectedCEs(uint8_t mask) const {
  std::vector<uint32_t> ces;
  for (uint32_t ce = 0; ce < g_.ces && ce < 4; ++ce) {
    if (mask & (1u << (2 * ce))) ces.push_back(ce);
  }
  return ces;
}

void FakeFlash::FactoryMark(uint32_t ce, uint32_t block) {
  Page& p = At(ce, block, 0);
  p.programmed = true;
  p.data.assign(g_.sectorsPerPage * 512, 0);
  p.spare[4] = 0;
  p.spare[5] = 0;
}

void FakeFlash::EraseBlock(uint32_t ce, uint32_t block) {
  for (uint32_t page = 0; page < g_.pagesPerBlock; ++page) {
    Page& p = At(ce, block, page);
    p.programmed = false;
    p.data.clear();
    std::memset(p.spare, 0xFF, sizeof p.spare);
  }
}

void FakeFlash::SetSpare(uint32_t ce, uint32_t block, uint32_t page, const std::vector<uint8_t>& bytes) {
  Page& p = At(ce, block, page);
  std::memcpy(p.spare, bytes.data(), std::min<size_t>(bytes.size(), 16));
}

bool FakeFlash::Programmed(uint32_t ce, uint32_t block, uint32_t page) const {
  return At(ce, block, page).programmed;
}

std::vector<uint8_t> FakeFlash::PageData(uint32_t ce, uint32_t block, uint32_t page) const {
  const Page& p = At(ce, block, page);
  if (!p.programmed) return std::vector<uint8_t>(g_.sectorsPerPage * 512, 0xFF);
  return p.data;
}

std::vector<uint8_t> FakeFlash::PageSpare(uint32_t ce, uint32_t block, uint32_t page) const {
  const Page& p = At(ce, block, page);
  return std::vector<uint8_t>(p.spare, p.spare + 16);
}

std::vector<std::pair<uint32_t, uint32_t>> FakeFlash::TableBlocks() const {
  std::vector<std::pair<uint32_t, uint32_t>> out;
  for (uint32_t ce = 0; ce < g_.ces; ++ce) {
    for (uint32_t b = 0; b < g_.blocksPerCE; ++b) {
      const Page& last = At(ce, b, g_.pagesPerBlock - 1);
      if (last.programmed && last.spare[5] == 0x02 && std::memcmp(last.data.data(), "bad_", 4) == 0) {
        out.emplace_back(ce, b);
      }
    }
  }
  return out;
}

std::vector<std::pair<uint32_t, uint32_t>> FakeFlash::MarkedBlocks() const {
  std::vector<std::pair<uint32_t, uint32_t>> out;
  const auto tables = TableBlocks();
  for (uint32_t ce = 0; ce < g_.ces; ++ce) {
    for (uint32_t b = 0; b < g_.blocksPerCE; ++b) {
      if (std::find(tables.begin(), tables.end(), std::make_pair(ce, b)) != tables.end()) continue;
      for (uint32_t page : {0u, g_.pagesPerBlock - 1}) {
        const Page& p = At(ce, b, page);
        if (IsMarkByteSet(p.spare[4]) || IsMarkByteSet(p.spare[5])) {
          out.emplace_back(ce, b);
          break;
        }
      }
    }
  }
  return out;
}

qv::ScsiResult FakeFlash::Execute(const qv::ScsiCommand& c) {
  SentCommand s;
  s.opcode = c.cdb[0];
  s.sub = c.cdbLength > 1 ? c.cdb[1] : 0;
  s.sector = c.cdbLength >= 6 ? Be32(c.cdb + 2) : 0;
  s.ce = c.cdbLength >= 13 ? c.cdb[12] : 0;
  s.length = c.dataLength;
  s.cdb.assign(c.cdb, c.cdb + c.cdbLength);
  sent_.push_back(s);
  ++commands_;
  if (deadAfter != 0 && commands_ > deadAfter) return NotDelivered();
  const bool blockCommand = s.opcode == 0xF5 || s.opcode == 0xFE || s.opcode == 0xF6 ||
                            s.opcode == 0xF8 || s.opcode == 0xF9 ||
                            (s.opcode == 0xF1 && c.cdb[4] == 0);
  if (dieAtFirstBlockCommand && blockCommand) deadAfter = commands_ - 1;
  if (deadAfter != 0 && commands_ > deadAfter) return NotDelivered();

  auto* data = static_cast<uint8_t*>(c.data);
  const uint32_t spb = g_.SectorsPerBlock();
  const uint32_t block = s.sector / spb;
  const uint32_t page = (s.sector % spb) / g_.sectorsPerPage;
  const bool inRange = block < g_.blocksPerCE;
  switch (s.opcode) {
    case 0xF1: {  // status
      std::memset(data, 0, c.dataLength);
      if (c.dataLength > 1) data[1] = lastOpPassed_ ? 1 : 0;
      return Delivered(c.dataLength);
    }
    case 0xF5:    // erase, result ignored by its callers
    case 0xFE: {  // checked erase
      if (c.dataLength > 0) std::memset(data, 0, std::min<uint32_t>(c.dataLength, 16));
      if (!inRange) return NotDelivered();
      bool ok = true;
      for (uint32_t ce : SelectedCEs(s.ce)) {
        if (eraseFails.count({ce, block})) {
          ok = false;
          continue;
        }
        EraseBlock(ce, block);
      }
      lastOpPassed_ = ok;
      return ok ? Delivered(c.dataLength) : NotDelivered();
    }
    case 0xF9: {  // spare
      if (!inRange) return NotDelivered();
      const auto ces = SelectedCEs(s.ce);
      if (ces.empty()) return NotDelivered();
      std::memcpy(data, At(ces[0], block, page).spare, 16);
      return Delivered(16);
    }
    case 0xF6: {  // write sectors
      const uint32_t count = c.dataLength / 512;
      if (recordWrites) writes.emplace_back(data, data + c.dataLength);
      const uint8_t spareBytes[4] = {c.cdb[1], c.cdb[9], c.cdb[10], c.cdb[11]};
      bool ok = inRange;
      for (uint32_t ce : SelectedCEs(s.ce)) {
        for (uint32_t done = 0; done < count && ok; done += g_.sectorsPerPage) {
          const uint32_t sector = s.sector + done;
          const uint32_t b = sector / spb;
          const uint32_t pg = (sector % spb) / g_.sectorsPerPage;
          if (b >= g_.blocksPerCE) {
            ok = false;
            break;
          }
          Page& p = At(ce, b, pg);
          auto fail = programFailsFrom.find({ce, b});
          if (p.programmed || (fail != programFailsFrom.end() && pg >= fail->second)) {
            ok = false;
            break;
          }
          const bool zeroMark = spareBytes[1] == 0 && spareBytes[2] == 0;
          if (zeroMark && marksDoNotHold.count({ce, b})) continue;
          p.programmed = true;
          p.data.assign(data + size_t(done) * 512, data + size_t(done) * 512 + g_.sectorsPerPage * 512);
          const uint32_t pageNo = b * g_.pagesPerBlock + pg;
          p.spare[0] = uint8_t(pageNo);
          p.spare[1] = uint8_t(pageNo >> 8);
          p.spare[2] = uint8_t(pageNo >> 16);
          std::memcpy(p.spare + 3, spareBytes, 4);
        }
      }
      lastOpPassed_ = ok;
      return ok ? Delivered(c.dataLength) : NotDelivered();
    }
    case 0xF8: {
      const auto ces = SelectedCEs(s.ce);
      if (!inRange || ces.empty()) return NotDelivered();
      if (c.cdb[7] == 1) {  // the controller's verify: bits it had to correct
        auto weak = weakBits.find({ces[0], block});
        data[0] = weak == weakBits.end() ? 0 : weak->second;
        if (stuckWhenErased.count({ces[0], block}) && !At(ces[0], block, 0).programmed) data[0] = 1;
        data[1] = 0;
        return Delivered(2);
      }
      for (uint32_t done = 0; done * 512 < c.dataLength; done += g_.sectorsPerPage) {
        const uint32_t sector = s.sector + done;
        const auto bytes = PageData(ces[0], sector / spb, (sector % spb) / g_.sectorsPerPage);
        std::memcpy(data + size_t(done) * 512, bytes.data(),
                    std::min<size_t>(bytes.size(), c.dataLength - size_t(done) * 512));
      }
      auto weak = weakBits.find({ces[0], block});
      if (weak != weakBits.end()) {
        for (uint8_t bit = 0; bit < weak->second; ++bit) data[bit] ^= 0x01;
      }
      return Delivered(c.dataLength);
    }
    case 0xFC:
      if (c.dataLength > 0) data[0] = 0;
      return Delivered(c.dataLength);
    case 0xFD:
    case 0xF0:
    default:
      return Delivered(c.dataLength);
  }
}

std::unique_ptr<qv::Device> FakeStorage::Open(std::string_view path, unsigned, int* error) {
  ++opens;
  if (failOpen || path != "\\\\.\\E:") {
    if (error) *error = 2;
    return nullptr;
  }
  return std::make_unique<FakeVolume>(flash_);
}

}  // namespace enginetest
