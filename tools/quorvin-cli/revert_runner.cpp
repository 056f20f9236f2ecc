#include "tools/quorvin-cli/revert_runner.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/storage.h"
#include "tools/quorvin-cli/drive_listing.h"
#include "tools/quorvin-cli/drive_map.h"
#include "tools/quorvin-cli/progress_line.h"
#include "tools/quorvin-cli/state_names.h"

namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) { g_interrupted.store(true); }

// The progress callback has no context argument: each worker thread tells
// it which drive's line to update.
thread_local ProgressLine* t_line = nullptr;
thread_local RevertOutcome* t_outcome = nullptr;

struct SortProgressRecord {  // the 16-byte record the library passes
  uint32_t badBlocks, percent, scannedBlocks, status;
};

void OnProgress(void* record) {
  SortProgressRecord r;
  std::memcpy(&r, record, sizeof r);
  if (t_outcome) {
    t_outcome->ran = true;
    t_outcome->state = r.status;
    t_outcome->badBlocks = r.badBlocks;
    t_outcome->percent = r.percent;
    t_outcome->scannedBlocks = r.scannedBlocks;
  }
  if (t_line) t_line->Update({r.badBlocks, r.percent, r.scannedBlocks, r.status}, qv::MonotonicMs());
}

struct DriveRun {
  char letter;
  int port;
  alignas(16) unsigned char object[260];
  std::unique_ptr<ProgressLine> line;
  RevertOutcome outcome;
  std::atomic<bool> started{false};  // StartSort may now be stopped
  std::atomic<bool> done{false};
  std::string mapPath, mapError;
};

}  // namespace

bool RevertOutcome::Succeeded() const { return ran && result == 1 && state == kStateFinish; }

bool ConfirmDataLoss(const CliOptions& options) {
  if (options.yes) return true;
  if (!isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "quorvin-cli: All Data will be deleted; standard input is not a terminal, "
                         "give --yes to go on\n");
    return false;
  }
  std::fprintf(stderr, "All Data will be deleted. Continue ? [y/N] ");
  std::string answer;
  std::getline(std::cin, answer);
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

int RunReverts(SievexImport& sievex, const CliOptions& options, std::vector<RevertOutcome>* outcomes) {
  if (options.writeLog) qv::RegistrySetOverride("WriteLog", *options.writeLog);
  if (options.testStartBlock) qv::RegistrySetOverride("TestStartBlock", *options.testStartBlock);
  if (options.testBlockCount) qv::RegistrySetOverride("TestBlockCount", *options.testBlockCount);
  if (options.skipCannotMarkBad) qv::RegistrySetOverride("SkipCannotmarkBad", *options.skipCannotMarkBad);

  uint32_t mask = qv::GetLogicalDrives();
  for (char letter : options.drives) {
    if (!(mask & (1u << (letter - 'A')))) {
      std::fprintf(stderr, "quorvin-cli: no drive %c:\n", letter);
      return kExitNoDevice;
    }
  }
  if (!HasRawScsiPrivilege()) {
    std::fprintf(stderr, "quorvin-cli: sending raw SCSI commands to a drive needs root or the "
                         "CAP_SYS_RAWIO capability (and write access to the device)\n");
    return kExitPrivilege;
  }

  for (char letter : options.drives) {
    std::string why;
    if (!options.mapPath.empty() && !CanWriteMap(MapPathFor(options.mapPath, letter, options.drives.size()), &why)) {
      std::fprintf(stderr, "quorvin-cli: --map: %s\n", why.c_str());
      return kExitUsage;
    }
  }

  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  bool terminal = options.drives.size() == 1 && isatty(STDOUT_FILENO);
  std::vector<std::unique_ptr<DriveRun>> runs;
  uint64_t start = qv::MonotonicMs();
  for (size_t i = 0; i < options.drives.size(); ++i) {
    auto run = std::make_unique<DriveRun>();
    run->letter = options.drives[i];
    run->port = static_cast<int>(i);
    run->outcome.letter = run->letter;
    run->line = std::make_unique<ProgressLine>(run->letter, terminal, 0, start);
    runs.push_back(std::move(run));
  }

  std::vector<std::thread> workers;
  for (auto& runPtr : runs) {
    DriveRun* run = runPtr.get();
    workers.emplace_back([&sievex, &options, run] {
      char name[2] = {run->letter, 0};
      // verify 1: a drive that discovery did not bind is not tested.
      sievex.Construct(run->object, name, 1);
      _KVConfig config = options.config;
      t_line = run->line.get();
      t_outcome = &run->outcome;
      run->started.store(true);
      if (!g_interrupted.load()) run->outcome.result = sievex.StartSort(run->object, run->port, &config, OnProgress);
      run->done.store(true);
    });
  }

  // Ctrl-C: stop every run that has started; StopSort returns once it ended.
  std::thread stopper([&] {
    bool stopped = false;
    for (;;) {
      bool all = true;
      for (auto& run : runs) all = all && run->done.load();
      if (all) return;
      if (g_interrupted.load() && !stopped) {
        stopped = true;
        std::vector<std::thread> stops;
        for (auto& runPtr : runs) {
          DriveRun* run = runPtr.get();
          stops.emplace_back([&sievex, run] {
            while (!run->started.load()) qv::SleepMs(20);
            sievex.StopSort(run->object);
          });
        }
        for (auto& t : stops) t.join();
      }
      qv::SleepMs(50);
    }
  });
  for (auto& t : workers) t.join();
  stopper.join();
  for (auto& run : runs) run->line->Finish();

  // The maps are read while each controller still runs the revert's code.
  for (auto& run : runs) {
    if (options.mapPath.empty() || !run->outcome.ran) continue;
    run->mapPath = MapPathFor(options.mapPath, run->letter, runs.size());
    if (g_interrupted.load()) {
      run->mapError = "interrupted";
      continue;
    }
    const RevertOutcome& o = run->outcome;
    const std::string summary = "revert ended in " + StateName(o.state) + " with " +
                                std::to_string(o.badBlocks) + " bad blocks";
    if (!WriteDriveMap(sievex, run->object, run->letter, summary, run->mapPath, terminal, &run->mapError) &&
        run->mapError.empty())
      run->mapError = "failed";
  }
  for (auto& run : runs) run->outcome.mapFailed = !run->mapError.empty();

  bool allOk = true, anyUnbound = false;
  std::printf("\n%-6s %-15s %-7s %-9s %s\n", "DRIVE", "STATE", "RESULT", "BAD", "LOG");
  uint32_t logMask = qv::RegistryReadDword("WriteLog", 0);
  for (auto& run : runs) {
    RevertOutcome& o = run->outcome;
    std::string log = "-";
    if (logMask) {
      char name[32];
      std::snprintf(name, sizeof name, "RevertLog%02d.txt", run->port + 1);
      log = qv::JoinPath(qv::GetCurrentDirectory(), name);
    }
    if (!o.ran && o.result == 1) {
      std::printf("%c:     %-15s %-7s %-9s %s\n", o.letter, "not bound", "-", "-", "-");
      std::fprintf(stderr, "quorvin-cli: %c: is not a supported USB drive (discovery did not bind it)\n",
                   o.letter);
      anyUnbound = true;
      allOk = false;
      continue;
    }
    std::printf("%c:     %-15s %-7d %-9u %s\n", o.letter, o.ran ? StateName(o.state).c_str() : "-",
                o.result, o.badBlocks, log.c_str());
    allOk = allOk && o.Succeeded();
    outcomes->push_back(o);
  }
  for (auto& run : runs) {
    if (run->mapPath.empty()) continue;
    if (run->mapError.empty()) {
      std::printf("Map of %c: %s (green good, amber found bad in testing, red marked bad, blue bad-block "
                  "table, grey not present; one row per 128 blocks, CE 0 on top)\n",
                  run->letter, run->mapPath.c_str());
    } else {
      std::fprintf(stderr, "quorvin-cli: no map of %c: %s\n", run->letter, run->mapError.c_str());
      allOk = false;
    }
  }
  for (auto& run : runs) sievex.Destroy(run->object);
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  if (g_interrupted.load()) return kExitInterrupted;
  if (allOk) return kExitOk;
  return anyUnbound && runs.size() == 1 ? kExitNoDevice : kExitFailed;
}
