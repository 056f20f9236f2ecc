// A complete revert of a simulated KR425 drive with the program's
// configuration, timed: wall seconds against the simulator's modelled
// device seconds, commands and bytes through the pass-through, peak RSS,
// the final state and bad count against the faults the drive was given.
//
//   revert_bench [--gib 32|4|...] [--bad N] [--keep <machine folder>]
//
// --bad N gives N factory-bad, N program-failing and N weak blocks and N/2
// erase-failing ones, spread over the CEs (erase failures stay off each
// CE's first and last block, where the table and the presence test would
// meet them). Runs from the build's bin folder, beside Boot\.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "platform/message_box.h"
#include "app/console/sievex_import.h"
#include "platform/registry.h"
#include "platform/storage.h"
#include "sim/sim_api.h"
#include "sortlib/engine/revert_session.h"
#include "sortlib/interface/sievex.h"

namespace {

// Counts what goes through the pass-through of every handle.
struct Counters {
  uint64_t commands = 0;
  uint64_t bytes = 0;
};

class CountingDevice : public qv::Device {
 public:
  CountingDevice(std::unique_ptr<qv::Device> inner, Counters* counters)
      : inner_(std::move(inner)), counters_(counters) {}
  qv::ScsiResult PassThrough(const qv::ScsiCommand& command) override {
    qv::ScsiResult r = inner_->PassThrough(command);
    ++counters_->commands;
    if (r.delivered) counters_->bytes += command.dataLength;
    return r;
  }
  bool QueryBusType(uint32_t* busType) override { return inner_->QueryBusType(busType); }
  bool GetDeviceNumber(qv::DeviceNumber* number) override { return inner_->GetDeviceNumber(number); }

 private:
  std::unique_ptr<qv::Device> inner_;
  Counters* counters_;
};

class CountingStorage : public qv::StorageBackend {
 public:
  CountingStorage(std::unique_ptr<qv::StorageBackend> inner, Counters* counters)
      : inner_(std::move(inner)), counters_(counters) {}
  uint32_t LogicalDriveMask() override { return inner_->LogicalDriveMask(); }
  uint32_t DriveType(std::string_view root) override { return inner_->DriveType(root); }
  std::unique_ptr<qv::Device> Open(std::string_view path, unsigned access, int* error) override {
    auto device = inner_->Open(path, access, error);
    if (!device) return nullptr;
    return std::make_unique<CountingDevice>(std::move(device), counters_);
  }
  std::vector<std::string> DiskInterfaces() override { return inner_->DiskInterfaces(); }

 private:
  std::unique_ptr<qv::StorageBackend> inner_;
  Counters* counters_;
};

sievex::SortProgress g_last{};
void Record(void* record) { std::memcpy(&g_last, record, sizeof g_last); }

// The program's configuration.
_KVConfig ProgramConfig() { return ProgramRevertConfig(); }

// 2 CEs of 2 MiB blocks (256 pages of 8 KiB), as many blocks as the size needs.
sim::DriveSpec Drive(uint32_t gib, uint32_t bad) {
  sim::DriveSpec s;
  s.letter = 'E';
  s.controller = 0x425;
  s.revisionLetter = 'C';
  s.flashId = {0xEC, 0xDA, 0x10, 0x95, 0x44};
  s.ces = 2;
  s.pagesPerBlock = 256;
  s.sectorsPerPage = 16;
  s.blocksPerCE = gib * 256;  // 2 MiB blocks, 2 CEs
  // Distinct blocks, spread evenly, away from block 0 and the last block.
  const uint32_t total = 3 * bad + bad / 2;
  uint32_t k = 0;
  auto take = [&] {
    const uint32_t block = 1 + uint32_t(uint64_t(k + 1) * (s.blocksPerCE - 2) / (total + 1));
    sim::BlockRef b{k % 2, block};
    ++k;
    return b;
  };
  for (uint32_t i = 0; i < bad; ++i) {
    const auto b = take();
    s.faults.factoryBad.push_back({b.ce, b.block, i % 3 == 0});
  }
  for (uint32_t i = 0; i < bad; ++i) {
    const auto b = take();
    s.faults.programFail.push_back({b.ce, b.block, (i * 37) % s.pagesPerBlock});
  }
  for (uint32_t i = 0; i < bad; ++i) s.faults.weak.push_back(take());
  for (uint32_t i = 0; i < bad / 2; ++i) s.faults.eraseFail.push_back(take());
  return s;
}

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t gib = 32, bad = 12;
  std::string keep;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--gib")) gib = std::strtoul(argv[i + 1], nullptr, 10);
    if (!std::strcmp(argv[i], "--bad")) bad = std::strtoul(argv[i + 1], nullptr, 10);
    if (!std::strcmp(argv[i], "--keep")) keep = argv[i + 1];
  }
  namespace fs = std::filesystem;
  const fs::path root = keep.empty() ? fs::temp_directory_path() / ("revert_bench_" + std::to_string(getpid()))
                                     : fs::path(keep);
  const std::string machine = (root / "machine").string();
  fs::create_directories(root);
  setenv("XDG_CONFIG_HOME", root.c_str(), 1);  // registry defaults

  sim::DriveSpec desc = Drive(gib, bad);
  std::string error;
  if (!sim::CreateDrive(machine, desc, &error)) {
    std::fprintf(stderr, "revert_bench: %s\n", error.c_str());
    return 1;
  }
  sim::DriveReport created;
  sim::Inspect(sim::DriveFolder(machine, 'E'), &created);
  std::set<std::pair<uint32_t, uint32_t>> expected;
  for (const auto& b : created.faults.factoryBad) expected.insert({b.ce, b.block});
  for (const auto& b : created.faults.programFail) expected.insert({b.ce, b.block});
  for (const auto& b : created.faults.weak) expected.insert({b.ce, b.block});

  Counters counters;
  CountingStorage storage(qv::CreateSimStorage(machine), &counters);
  qv::SetStorageBackend(&storage);

  const auto start = std::chrono::steady_clock::now();
  int result = 0;
  {
    char drive[] = "E";
    DLLSort sort(drive, 0);
    _USBDevceInfo info{};
    sort.GetDeviceInfo(&info);
    _KVConfig config = ProgramConfig();
    result = sort.StartSort(0, &config, Record);
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  qv::SetStorageBackend(nullptr);

  sim::DriveReport report;
  sim::Inspect(sim::DriveFolder(machine, 'E'), &report);
  std::printf("drive_gib: %u\n", gib);
  std::printf("wall_seconds: %.2f\n", wall);
  std::printf("modelled_device_seconds: %.2f\n", report.modelledSeconds);
  std::printf("modelled_to_wall_ratio: %.2f\n", wall > 0 ? report.modelledSeconds / wall : 0.0);
  std::printf("commands_sent: %llu\n", static_cast<unsigned long long>(counters.commands));
  std::printf("bytes_moved: %llu\n", static_cast<unsigned long long>(counters.bytes));
  std::printf("peak_rss_mb: %.1f\n", PeakRssMb());
  std::printf("start_sort_result: %d\n", result);
  std::printf("final_state: %u\n", g_last.m_dwStatus);
  std::printf("bad_count: %u\n", g_last.m_dwBadBlocks);
  std::printf("expected_bad_count: %zu\n", expected.size());
  if (keep.empty()) {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  return (result == 1 && g_last.m_dwStatus == 2 && g_last.m_dwBadBlocks == expected.size()) ? 0 : 2;
}
