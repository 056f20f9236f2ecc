// Modal message boxes. The host chooses how they appear: on standard error
// (command-line tools, the default), as Qt dialogs (the program), or as
// recorded calls that a test answers.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Button sets and icons, in the system's values.
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbOkCancel = 0x1;
constexpr unsigned kMbIconWarning = 0x30;
constexpr unsigned kMbButtonMask = 0xF;
// Results.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

struct MessageBoxCall {
  std::string text;
  std::string caption;
  unsigned flags = 0;
};

using MessageBoxHandler = std::function<int(const MessageBoxCall&)>;

// Shows a box and returns the button pressed.
int MessageBox(std::string_view text, std::string_view caption, unsigned flags);

// Installs the backend; an empty handler restores the console backend.
void SetMessageBoxHandler(MessageBoxHandler handler);

// The console backend: prints "caption: text" to standard error and
// answers OK (Cancel for OK/Cancel boxes unless QUORVIN_ASSUME_YES is set).
int ConsoleMessageBox(const MessageBoxCall& call);

// A test backend that records every call and answers from a queue
// (OK when the queue is empty). Install with Install(); the destructor
// restores the console backend.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  void Answer(int result);
  std::vector<MessageBoxCall> Calls() const;
  std::vector<std::string> Texts() const;
  void Clear();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace qv
