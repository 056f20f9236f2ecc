// Time services: calendar seconds, local time formatted with strftime
// conventions, sleeping. Tests may fix the clock so that a run that seeds
// itself from the time is reproducible (QUORVIN_FIXED_TIME=<seconds> does
// the same for a whole process).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

int64_t CalendarSeconds();
// Formats the current local time with an strftime format, at most
// maxChars characters (the product uses 128).
std::string FormatLocalTime(std::string_view format, size_t maxChars = 128);
void SleepMs(unsigned milliseconds);
// Monotonic milliseconds, for measuring.
uint64_t MonotonicMs();

// Fixes (or, with nullopt, releases) the calendar time of this process.
void SetFixedTime(std::optional<int64_t> seconds);

}  // namespace qv
