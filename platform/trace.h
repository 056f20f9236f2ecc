// Debugger trace lines ("OnInitDialog 0", "REVERT FINISHED"). Silent by
// default; QUORVIN_TRACE=1 prints each line to standard error; tests
// capture them.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

void Trace(std::string_view line);
void TraceF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Captures every trace line while it lives.
class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  std::vector<std::string> Lines() const;

 struct State;  // shared with the trace sink

 private:
  std::shared_ptr<State> state_;
};

}  // namespace qv
