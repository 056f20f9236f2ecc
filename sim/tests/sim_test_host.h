// The host side of the simulator's tests: a temporary machine, the vendor
// commands built by hand from the command table, and boot images carrying
// the shared slice header. Commands go through the platform's storage
// services (qv::Device::PassThrough), as the library sends them.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/storage.h"
#include "sim/boot_image_format.h"
#include "sim/sim_api.h"

namespace simtest {

using Bytes = std::vector<uint8_t>;

inline std::string MakeMachine() {
  char pattern[] = "/tmp/simtest-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir ? dir : "";
}

// A small KR423 drive: 2 CEs x 64 blocks x 8 pages x 2 sectors.
inline sim::DriveSpec SmallSpec(uint16_t controller = 0x423) {
  sim::DriveSpec s;
  s.controller = controller;
  s.revisionLetter = 'C';
  s.tagRevision = "A0";
  s.flashId = {0x98, 0xD7, 0x95, 0x32, 0x7A};
  s.ces = 2;
  s.blocksPerCE = 64;
  s.pagesPerBlock = 8;
  s.sectorsPerPage = 2;
  s.planes = 2;
  return s;
}

// The 4 KiB slice of a boot image with the given role and cases.
inline Bytes Slice(qvboot::Role role, std::vector<qvboot::Case> cases, size_t size = qvboot::kSliceSize) {
  Bytes slice(qvboot::kSliceSize, 0xFF);
  qvboot::Header h{};
  std::memcpy(h.magic, qvboot::kMagic, sizeof h.magic);
  h.role = role;
  h.caseCount = uint8_t(cases.size());
  std::snprintf(h.name, sizeof h.name, "%s", role == qvboot::kRoleEngine ? "engine" : "discovery");
  for (size_t i = 0; i < cases.size(); ++i) h.cases[i] = cases[i];
  std::memcpy(slice.data(), &h, sizeof h);
  // A short image: the host pads the missing part with 0xFF.
  std::fill(slice.begin() + std::max(size, sizeof h), slice.end(), 0xFF);
  return slice;
}

inline qvboot::Case ForController(uint16_t controller) {
  qvboot::Case c{};
  c.controller = controller;
  c.controllerMatch = qvboot::kControllerEquals;
  c.deviceCodeMatch = qvboot::kDeviceCodeAny;
  c.revision = qvboot::kRevisionAny;
  return c;
}

class Host {
 public:
  explicit Host(const std::string& machine, const std::string& path = "\\\\.\\E:")
      : storage_(qv::CreateSimStorage(machine)) {
    Reopen(path);
  }
  void Reopen(const std::string& path = "\\\\.\\E:") {
    int error = 0;
    device_ = storage_->Open(path, qv::kOpenRead | qv::kOpenWrite, &error);
  }
  qv::StorageBackend& Storage() { return *storage_; }
  qv::Device* Device() { return device_.get(); }

  qv::ScsiResult Send(Bytes cdb, qv::ScsiDirection dir, void* data, uint32_t length) {
    qv::ScsiCommand c;
    c.cdb = cdb.data();
    c.cdbLength = uint8_t(cdb.size());
    c.direction = dir;
    c.data = data;
    c.dataLength = length;
    c.timeoutSeconds = 200;
    c.senseLength = 24;
    return device_->PassThrough(c);
  }
  static bool Ok(const qv::ScsiResult& r) { return r.delivered && r.scsiStatus == 0; }

  static Bytes Block13(uint8_t op, uint32_t sector, uint8_t ce) {
    Bytes cdb(13, 0);
    cdb[0] = op;
    cdb[2] = uint8_t(sector >> 24);
    cdb[3] = uint8_t(sector >> 16);
    cdb[4] = uint8_t(sector >> 8);
    cdb[5] = uint8_t(sector);
    cdb[12] = ce;
    return cdb;
  }

  bool Inquiry(Bytes* out) {
    out->assign(180, 0);
    return Ok(Send({0x12, 0, 0, 0, 0xB4, 0}, qv::ScsiDirection::kIn, out->data(), 180));
  }
  bool FlashId(Bytes* out) {
    out->assign(5, 0);
    return Ok(Send({0xFD, 0x10, 0, 0, 0, 0, 0, 0, 0, 0}, qv::ScsiDirection::kIn, out->data(), 5));
  }
  bool ReadConfig(Bytes* out) {
    out->assign(34, 0);
    Bytes cdb(12, 0);
    cdb[0] = 0xF2;
    return Ok(Send(cdb, qv::ScsiDirection::kIn, out->data(), 34));
  }
  bool EccByte(uint8_t* out) {
    Bytes buf(512, 0);
    bool ok = Ok(Send({0xFD, 0x00, 0x00, 0x00, 0x59, 0, 0, 0x02, 0, 0}, qv::ScsiDirection::kIn, buf.data(), 512));
    *out = buf[0];
    return ok;
  }
  // Discovery load: prepare, eight discovery-form writes, start.
  bool BootDiscovery(const Bytes& slice) {
    Send({0xFD, 0x14, 0, 0, 0, 0, 0, 0, 0, 0}, qv::ScsiDirection::kIn, nullptr, 0);
    for (unsigned k = 0; k < 8; ++k) {
      uint16_t a = uint16_t(0xF000 + 512 * k);
      Bytes chunk(slice.begin() + 512 * k, slice.begin() + 512 * (k + 1));
      Send({0xFD, 0x00, 0x01, uint8_t(a >> 8), uint8_t(a), 0xFF, 0x03, 0x02, 0, 0}, qv::ScsiDirection::kOut,
           chunk.data(), 512);
    }
    return Ok(Send({0xFD, 0x11, 0, 0, 0, 0, 0, 0, 0, 0}, qv::ScsiDirection::kIn, nullptr, 0));
  }
  // Engine load: prepare download, eight engine-form writes. True when the
  // prepare and every write succeeded.
  bool BootEngine(const Bytes& slice) {
    bool ok = Send({0xFD, 0x13, 0x01, 0, 0, 0, 0, 0, 0, 0}, qv::ScsiDirection::kOut, nullptr, 0).delivered;
    for (unsigned k = 0; k < 8; ++k) {
      uint16_t a = uint16_t(0xF000 + 512 * k);
      Bytes chunk(slice.begin() + 512 * k, slice.begin() + 512 * (k + 1));
      ok &= Ok(Send({0xFD, 0x00, 0x01, uint8_t(a >> 8), uint8_t(a), 0x00, 0x03, 0x02, 0, 0, 0, 0},
                    qv::ScsiDirection::kOut, chunk.data(), 512));
    }
    return ok;
  }
  bool Status(uint8_t selector, uint8_t flag, Bytes* out) {
    out->assign(8, 0);
    return Send({0xF1, 0x10, selector, 0xFF, flag, 0, 0, 0, 0, 0}, qv::ScsiDirection::kIn, out->data(), 8).delivered;
  }
  // Status byte 1 after the previous flash operation, or -1 when the call fails.
  int LastOpPassed() {
    Bytes s;
    return Status(1, 0, &s) ? s[1] : -1;
  }
  bool Erase(uint32_t sector, uint8_t ce, Bytes* out = nullptr) {
    Bytes buf(16, 0);
    bool ok = Send(Block13(0xF5, sector, ce), qv::ScsiDirection::kIn, buf.data(), 16).delivered;
    if (out) *out = buf;
    return ok;
  }
  bool EraseChecked(uint32_t sector, uint8_t ce, uint8_t* out = nullptr) {
    uint8_t b = 0;
    bool ok = Send(Block13(0xFE, sector, ce), qv::ScsiDirection::kIn, &b, 1).delivered;
    if (out) *out = b;
    return ok;
  }
  bool Write(uint32_t sector, uint8_t ce, const Bytes& data, Bytes spare = {0xFF, 0xFF, 0xFF, 0xFF}) {
    Bytes cdb = Block13(0xF6, sector, ce);
    uint32_t n = uint32_t(data.size() / 512);
    cdb[1] = spare[0];
    cdb[8] = uint8_t(n);
    cdb[9] = spare[1];
    cdb[10] = spare[2];
    cdb[11] = spare[3];
    Bytes copy = data;
    return Send(cdb, qv::ScsiDirection::kOut, copy.data(), uint32_t(copy.size())).delivered;
  }
  bool Read(uint32_t sector, uint8_t ce, uint32_t length, Bytes* out) {
    Bytes cdb = Block13(0xF8, sector, ce);
    cdb[8] = uint8_t(length >= 512 ? length / 512 : 1);
    out->assign(length, 0);
    return Send(cdb, qv::ScsiDirection::kIn, out->data(), length).delivered;
  }
  bool Spare(uint32_t sector, uint8_t ce, Bytes* out) {
    out->assign(16, 0);
    return Send(Block13(0xF9, sector, ce), qv::ScsiDirection::kIn, out->data(), 16).delivered;
  }
  // {byte 0, byte 1} of CmdVerifyBlock, or {-1, -1} when the call fails.
  std::pair<int, int> Verify(uint32_t sector, uint8_t ce) {
    Bytes cdb = Block13(0xF8, sector, ce);
    cdb[7] = 1;
    cdb[8] = 1;
    uint8_t out[2] = {0, 0};
    if (!Send(cdb, qv::ScsiDirection::kIn, out, 2).delivered) return {-1, -1};
    return {out[0], out[1]};
  }
  bool SetMode(uint8_t t, uint8_t v, uint8_t p) {
    uint8_t b = 0;
    return Send({0xFC, 0, t, v, p, 0, 0, 0, 0, 0}, qv::ScsiDirection::kIn, &b, 1).delivered;
  }
  bool WriteFWInfo(Bytes block) {
    Bytes cdb(13, 0);
    cdb[0] = 0xF0;
    return Send(cdb, qv::ScsiDirection::kOut, block.data(), 512).delivered;
  }

 private:
  std::unique_ptr<qv::StorageBackend> storage_;
  std::unique_ptr<qv::Device> device_;
};

// FWInfo for a geometry (only the fields the controller checks and a few more).
inline Bytes FWInfo(const sim::DriveSpec& s) {
  Bytes f(512, 0);
  f[0] = uint8_t(s.blocksPerCE >> 8);
  f[1] = uint8_t(s.blocksPerCE);
  f[2] = uint8_t(s.sectorsPerPage >> 8);
  f[3] = uint8_t(s.sectorsPerPage);
  f[4] = uint8_t(s.pagesPerBlock >> 8);
  f[5] = uint8_t(s.pagesPerBlock);
  f[7] = uint8_t(s.planes);
  f[8] = 1;
  f[9] = uint8_t(s.ces);
  std::memcpy(f.data() + 0x10, s.flashId.data(), 5);
  return f;
}

// A machine with one plugged drive and a host that has it open.
class PluggedDrive : public ::testing::Test {
 protected:
  void Make(sim::DriveSpec desc) {
    spec_ = desc;
    machine_ = MakeMachine();
    std::string error;
    ASSERT_TRUE(sim::CreateDrive(machine_, spec_, &error)) << error;
    host_ = std::make_unique<Host>(machine_);
    ASSERT_NE(host_->Device(), nullptr);
  }
  void TearDown() override {
    host_.reset();
    if (!machine_.empty()) std::filesystem::remove_all(machine_);
  }
  sim::DriveReport Report() {
    sim::DriveReport r;
    std::string error;
    EXPECT_TRUE(sim::Inspect(sim::DriveFolder(machine_, spec_), &r, &error)) << error;
    return r;
  }

  sim::DriveSpec spec_;
  std::string machine_;
  std::unique_ptr<Host> host_;
};

// The same drive with its engine code running (and, for a KR425, its FWInfo
// accepted), ready for block commands.
class RunningDrive : public PluggedDrive {
 protected:
  void Make(sim::DriveSpec desc) {
    PluggedDrive::Make(desc);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(host_->BootDiscovery(Slice(qvboot::kRoleDiscovery, {ForController(desc.controller)})));
    ASSERT_TRUE(host_->BootEngine(Slice(qvboot::kRoleEngine, {ForController(desc.controller)})));
    if (desc.controller == 0x425) {
      ASSERT_TRUE(host_->WriteFWInfo(FWInfo(spec_)));
    }
  }
  uint32_t Spb() const { return spec_.SectorsPerBlock(); }
  uint32_t Spp() const { return spec_.sectorsPerPage; }
  Bytes Pattern(uint32_t sectors, uint8_t seed) const {
    Bytes b(size_t(sectors) * 512);
    for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(seed + i * 7 + (i >> 9));
    return b;
  }
};

}  // namespace simtest
