#include "sortlib/engine/session_log.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/clock.h"

namespace sievex {

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (length > 0) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    text.assign(buffer.data(), static_cast<size_t>(length));
  }
  va_end(args);
  return text;
}

int LogLine(RevertSession* s, std::string_view text, uint32_t category) {
  if (!s->m_hLog) return 0;
  if ((s->m_dwLogMask & category) == 0) return 1;
  std::string bytes;
  bytes.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  s->m_hLog->SeekToEnd();
  s->m_hLog->Write(bytes.data(), bytes.size());
  return 1;
}

void LogTimeLine(RevertSession* s, const char* timeFormat) {
  if (!s->m_hLog || (s->m_dwLogMask & kLogTimes) == 0) return;
  const std::string when = qv::FormatLocalTime(timeFormat, 128);
  LogLine(s, FormatText("Port:%d %s\r\n", s->m_bPort, when.c_str()), kLogTimes);
}

}  // namespace sievex
