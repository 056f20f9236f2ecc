// The optional test log ".\RevertLog%02d.txt".
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "sortlib/engine/revert_session.h"

namespace sievex {

// printf-style formatting into a string.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes text to the log when it is open and the category bit is set in
// m_dwLogMask, every "\n" written as "\r\n". Returns 1 when a log is open.
int LogLine(RevertSession* s, std::string_view text, uint32_t category);

// "Port:%d %s\r\n" with the port and the local time formatted by an
// strftime format (category 4).
void LogTimeLine(RevertSession* s, const char* timeFormat);

}  // namespace sievex
