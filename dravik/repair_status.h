// What a running repair shows to the threads that poll it: each value is
// written by the repair's worker and read by the dialog thread, so each is
// an atomic. The counts are stored before the state turns to finished, so
// a poller that sees the finished state also sees the counts of that run.
#pragma once
#include <atomic>
#include <cstdint>

namespace dravik {

struct RepairStatus {
  std::atomic<int> progress{0};          // 0..100
  std::atomic<uint32_t> state{0};        // kDravikState...
  std::atomic<uint32_t> errorCode{0};    // 0 or kDravikErrorFailed
  std::atomic<uint32_t> badBlocks{0};
  std::atomic<uint32_t> totalBlocks{0};
  std::atomic<uint32_t> divisor{0};
  std::atomic<bool> running{false};      // one repair at a time per handle
};

}  // namespace dravik
