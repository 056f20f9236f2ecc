// The live progress of one drive's run: a redrawn bar on a terminal, plain
// lines (one per change of state or of ten percent) otherwise.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>

struct ProgressSample {
  uint32_t badBlocks = 0, percent = 0, scannedBlocks = 0, state = 0;
};

class ProgressLine {
 public:
  ProgressLine(char letter, bool terminal, uint64_t blockBytes, uint64_t startMs);
  void Update(const ProgressSample& sample, uint64_t nowMs);
  void Finish();
  ProgressSample Last() const;

  // Text of one line (without a newline), for tests and the redraw.
  static std::string Format(char letter, const ProgressSample& s, uint64_t elapsedMs,
                            double writeMBps);

 private:
  mutable std::mutex mutex_;
  char letter_;
  bool terminal_;
  uint64_t blockBytes_;
  uint64_t startMs_;
  ProgressSample last_{};
  bool any_ = false;
  uint32_t lastPrintedPercent_ = 0;
  // Write throughput over the write phases.
  uint64_t writeMs_ = 0, writeBlocks_ = 0, lastMs_ = 0;
  uint32_t lastBlock_ = 0;
};
