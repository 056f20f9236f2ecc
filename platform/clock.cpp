#include "platform/clock.h"

#include <atomic>
#include <cstdint>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

namespace qv {

namespace {
// INT64_MIN: not fixed.
std::atomic<int64_t> g_fixed{[] {
  const char* v = std::getenv("QUORVIN_FIXED_TIME");
  return v && *v ? std::strtoll(v, nullptr, 10) : INT64_MIN;
}()};
}  // namespace

int64_t CalendarSeconds() {
  int64_t fixed = g_fixed.load(std::memory_order_relaxed);
  if (fixed != INT64_MIN) return fixed;
  return static_cast<int64_t>(std::time(nullptr));
}

std::string FormatLocalTime(std::string_view format, size_t maxChars) {
  std::time_t now = static_cast<std::time_t>(CalendarSeconds());
  std::tm local{};
  localtime_r(&now, &local);
  std::vector<char> buffer(maxChars + 1);
  std::string fmt(format);
  size_t n = std::strftime(buffer.data(), buffer.size(), fmt.c_str(), &local);
  return std::string(buffer.data(), n);
}

void SleepMs(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint64_t MonotonicMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void SetFixedTime(std::optional<int64_t> seconds) {
  g_fixed.store(seconds ? *seconds : INT64_MIN, std::memory_order_relaxed);
}

}  // namespace qv
