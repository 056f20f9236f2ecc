// Erases, fills with one pattern and verifies a whole simulated drive of
// 2 CEs x 8192 blocks x 256 pages x 8 KiB (32 GiB) through the platform's
// pass-through, the way the revert engine does, and prints its figures as
// "name: value" lines. Options: --blocks N (per CE), --machine DIR, --keep.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/storage.h"
#include "sim/boot_image_format.h"
#include "sim/sim_api.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

struct Transport {
  qv::Device* device;
  bool Send(Bytes cdb, qv::ScsiDirection dir, void* data, uint32_t length) {
    qv::ScsiCommand c;
    c.cdb = cdb.data();
    c.cdbLength = uint8_t(cdb.size());
    c.direction = dir;
    c.data = data;
    c.dataLength = length;
    c.timeoutSeconds = 200;
    qv::ScsiResult r = device->PassThrough(c);
    return r.delivered && r.scsiStatus == 0;
  }
  static Bytes Block(uint8_t op, uint32_t sector, uint8_t ce) {
    return {op, 0, uint8_t(sector >> 24), uint8_t(sector >> 16), uint8_t(sector >> 8), uint8_t(sector), 0, 0, 0, 0, 0, 0, ce};
  }
  bool Status() {
    uint8_t out[8];
    return Send({0xF1, 0x10, 1, 0xFF, 0, 0, 0, 0, 0, 0}, qv::ScsiDirection::kIn, out, 8) && out[1];
  }
  bool Boot(qvboot::Role role, uint16_t controller) {
    Bytes slice(qvboot::kSliceSize, 0xFF);
    qvboot::Header h{};
    std::memcpy(h.magic, qvboot::kMagic, sizeof h.magic);
    h.role = role;
    h.caseCount = 1;
    h.cases[0].controller = controller;
    h.cases[0].revision = qvboot::kRevisionAny;
    std::memcpy(slice.data(), &h, sizeof h);
    bool engine = role == qvboot::kRoleEngine;
    if (engine) Send({0xFD, 0x13, 0x01, 0, 0, 0, 0, 0, 0, 0}, qv::ScsiDirection::kOut, nullptr, 0);
    else Send({0xFD, 0x14, 0, 0, 0, 0, 0, 0, 0, 0}, qv::ScsiDirection::kIn, nullptr, 0);
    bool ok = true;
    for (unsigned k = 0; k < 8; ++k) {
      uint8_t mh = uint8_t(0xF0 + 2 * k);
      Bytes cdb = engine ? Bytes{0xFD, 0, 1, mh, 0, 0, 3, 2, 0, 0, 0, 0} : Bytes{0xFD, 0, 1, mh, 0, 0xFF, 3, 2, 0, 0};
      ok &= Send(cdb, qv::ScsiDirection::kOut, slice.data() + 512 * k, 512);
    }
    if (!engine) ok &= Send({0xFD, 0x11, 0, 0, 0, 0, 0, 0, 0, 0}, qv::ScsiDirection::kIn, nullptr, 0);
    return ok;
  }
};

long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t blocks = 8192;
  std::string machine;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--blocks") && i + 1 < argc) blocks = uint32_t(std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--machine") && i + 1 < argc) machine = argv[++i];
    else if (!std::strcmp(argv[i], "--keep")) keep = true;
    else {
      std::fprintf(stderr, "usage: sim_bench [--blocks N] [--machine DIR] [--keep]\n");
      return 2;
    }
  }
  if (machine.empty()) {
    char pattern[] = "/tmp/sim_bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    machine = pattern;
  }
  sim::DriveSpec desc;
  desc.controller = 0x425;
  desc.ces = 2;
  desc.blocksPerCE = blocks;
  desc.pagesPerBlock = 256;
  desc.sectorsPerPage = 16;
  desc.planes = 1;
  std::string error;
  if (!sim::CreateDrive(machine, desc, &error)) {
    std::fprintf(stderr, "sim_bench: %s\n", error.c_str());
    return 1;
  }
  const auto start = Clock::now();
  auto storage = qv::CreateSimStorage(machine);
  int openError = 0;
  auto device = storage->Open("\\\\.\\E:", qv::kOpenRead | qv::kOpenWrite, &openError);
  if (!device) return 1;
  Transport t{device.get()};
  Bytes fwinfo(512, 0);
  fwinfo[0] = uint8_t(blocks >> 8);
  fwinfo[1] = uint8_t(blocks);
  fwinfo[3] = 16;
  fwinfo[4] = 1;  // 256 pages
  fwinfo[9] = 2;
  bool ok = t.Boot(qvboot::kRoleDiscovery, 0x425) && t.Boot(qvboot::kRoleEngine, 0x425) &&
            t.Send({0xF0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, qv::ScsiDirection::kOut, fwinfo.data(), 512);
  if (!ok) {
    std::fprintf(stderr, "sim_bench: boot failed\n");
    return 1;
  }
  const uint32_t spb = desc.SectorsPerBlock();
  uint64_t failures = 0;

  auto phase = Clock::now();
  Bytes result(16);
  for (uint8_t ce = 0; ce < 2; ++ce)
    for (uint32_t b = 0; b < blocks; ++b) {
      failures += !t.Send(Transport::Block(0xF5, b * spb, uint8_t(1u << (2 * ce))), qv::ScsiDirection::kIn, result.data(), 16);
      failures += !t.Status();
    }
  const double eraseSeconds = Since(phase);

  // The engine's pattern type 0: 32-bit counter words over one block.
  Bytes pattern(size_t(spb) * 512);
  for (uint32_t i = 0; i < pattern.size() / 4; ++i) std::memcpy(&pattern[size_t(i) * 4], &i, 4);
  phase = Clock::now();
  constexpr uint32_t kTransfer = 128;  // sectors, 64 KiB
  for (uint8_t ce = 0; ce < 2; ++ce)
    for (uint32_t b = 0; b < blocks; ++b)
      for (uint32_t done = 0; done < spb; done += kTransfer) {
        Bytes cdb = Transport::Block(0xF6, b * spb + done, uint8_t(1u << (2 * ce)));
        cdb[1] = cdb[9] = cdb[10] = cdb[11] = 0xFF;
        cdb[8] = uint8_t(kTransfer);
        failures += !t.Send(cdb, qv::ScsiDirection::kOut, pattern.data() + size_t(done) * 512, kTransfer * 512);
      }
  const double fillSeconds = Since(phase);

  phase = Clock::now();
  for (uint8_t ce = 0; ce < 2; ++ce)
    for (uint32_t b = 0; b < blocks; ++b) {
      Bytes cdb = Transport::Block(0xF8, b * spb, uint8_t(1u << (2 * ce)));
      cdb[7] = 1;
      cdb[8] = 1;
      uint8_t v[2] = {0xFF, 0xFF};
      failures += !t.Send(cdb, qv::ScsiDirection::kIn, v, 2) || v[0] || v[1];
    }
  const double verifySeconds = Since(phase);
  const double wall = Since(start);
  device.reset();

  sim::DriveReport report;
  sim::Inspect(sim::DriveFolder(machine, desc), &report, &error);
  std::printf("capacity_gib: %.1f\n", double(desc.CapacityBytes()) / double(1ull << 30));
  std::printf("erase_seconds: %.2f\n", eraseSeconds);
  std::printf("fill_seconds: %.2f\n", fillSeconds);
  std::printf("verify_seconds: %.2f\n", verifySeconds);
  std::printf("wall_seconds: %.2f\n", wall);
  std::printf("modelled_device_seconds: %.1f\n", report.modelledSeconds);
  std::printf("commands: %llu\n", (unsigned long long)report.commands);
  std::printf("stored_contents: %llu\n", (unsigned long long)report.storedContents);
  std::printf("state_mb: %.1f\n", double(report.stateBytes) / 1e6);
  std::printf("peak_rss_mb: %.1f\n", double(PeakRssKb()) / 1024.0);
  std::printf("failures: %llu\n", (unsigned long long)failures);
  if (!keep) std::filesystem::remove_all(machine);
  return failures ? 1 : 0;
}
