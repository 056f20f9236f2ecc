#include "tools/quorvin-cli/progress_line.h"

#include <cstdio>

#include "tools/quorvin-cli/state_names.h"

namespace {

std::string Clock(uint64_t ms) {
  uint64_t s = ms / 1000;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02llu:%02llu:%02llu", static_cast<unsigned long long>(s / 3600),
                static_cast<unsigned long long>(s / 60 % 60), static_cast<unsigned long long>(s % 60));
  return buf;
}

}  // namespace

ProgressLine::ProgressLine(char letter, bool terminal, uint64_t blockBytes, uint64_t startMs)
    : letter_(letter), terminal_(terminal), blockBytes_(blockBytes), startMs_(startMs), lastMs_(startMs) {}

std::string ProgressLine::Format(char letter, const ProgressSample& s, uint64_t elapsedMs,
                                 double writeMBps) {
  uint32_t pct = s.percent > 100 ? 100 : s.percent;
  std::string bar(20, '.');
  for (uint32_t i = 0; i < pct / 5; ++i) bar[i] = '#';
  std::string eta = "--:--:--";
  if (pct > 0 && pct < 100) eta = Clock(elapsedMs * (100 - pct) / pct);
  char buf[256];
  std::snprintf(buf, sizeof buf, "%c: [%s] %3u%%  %-15s scanned %-6u bad %-5u  %s elapsed, %s left",
                letter, bar.c_str(), pct, StateName(s.state).c_str(), s.scannedBlocks, s.badBlocks,
                Clock(elapsedMs).c_str(), eta.c_str());
  std::string line = buf;
  if (writeMBps > 0) {
    std::snprintf(buf, sizeof buf, ", write %.1f MB/s", writeMBps);
    line += buf;
  }
  return line;
}

void ProgressLine::Update(const ProgressSample& s, uint64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (s.state == kStateWriting && last_.state == kStateWriting && s.scannedBlocks > lastBlock_) {
    writeBlocks_ += s.scannedBlocks - lastBlock_;
    writeMs_ += nowMs - lastMs_;
  }
  bool stateChanged = !any_ || s.state != last_.state;
  lastBlock_ = s.scannedBlocks;
  lastMs_ = nowMs;
  last_ = s;
  any_ = true;
  double mbps = writeMs_ ? static_cast<double>(writeBlocks_ * blockBytes_) / 1e6 / (writeMs_ / 1000.0) : 0;
  std::string line = Format(letter_, s, nowMs - startMs_, mbps);
  if (terminal_) {
    std::printf("\r%s\033[K", line.c_str());
    std::fflush(stdout);
  } else if (stateChanged || s.percent >= lastPrintedPercent_ + 10 || s.percent == 100) {
    if (s.percent != lastPrintedPercent_ || stateChanged) std::printf("%s\n", line.c_str());
    lastPrintedPercent_ = s.percent;
    std::fflush(stdout);
  }
}

void ProgressLine::Finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (terminal_ && any_) std::printf("\n");
  std::fflush(stdout);
}

ProgressSample ProgressLine::Last() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_;
}
