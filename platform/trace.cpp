#include "platform/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace qv {

struct TraceCapture::State {
  mutable std::mutex mutex;
  std::vector<std::string> lines;
};

namespace {
std::mutex g_mutex;
std::shared_ptr<TraceCapture::State> g_capture;

bool PrintTrace() {
  static const bool print = [] {
    const char* v = std::getenv("QUORVIN_TRACE");
    return v && *v && *v != '0';
  }();
  return print;
}
}  // namespace

void Trace(std::string_view line) {
  std::shared_ptr<TraceCapture::State> capture;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    capture = g_capture;
  }
  if (capture) {
    std::lock_guard<std::mutex> lock(capture->mutex);
    capture->lines.emplace_back(line);
  }
  if (PrintTrace()) std::fprintf(stderr, "[trace] %.*s\n", static_cast<int>(line.size()), line.data());
}

void TraceF(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  Trace(buffer);
}

TraceCapture::TraceCapture() : state_(std::make_shared<State>()) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_capture = state_;
}

TraceCapture::~TraceCapture() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_capture == state_) g_capture.reset();
}

std::vector<std::string> TraceCapture::Lines() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->lines;
}

}  // namespace qv
