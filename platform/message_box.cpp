#include "platform/message_box.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>

namespace qv {

namespace {
std::mutex g_mutex;
MessageBoxHandler g_handler;
}  // namespace

int ConsoleMessageBox(const MessageBoxCall& call) {
  std::fprintf(stderr, "%s: %s\n", call.caption.c_str(), call.text.c_str());
  if ((call.flags & kMbButtonMask) == kMbOkCancel) {
    const char* yes = std::getenv("QUORVIN_ASSUME_YES");
    return yes && *yes && *yes != '0' ? kIdOk : kIdCancel;
  }
  return kIdOk;
}

int MessageBox(std::string_view text, std::string_view caption, unsigned flags) {
  MessageBoxCall call{std::string(text), std::string(caption), flags};
  MessageBoxHandler handler;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    handler = g_handler;
  }
  return handler ? handler(call) : ConsoleMessageBox(call);
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_handler = std::move(handler);
}

struct MessageBoxRecorder::State {
  mutable std::mutex mutex;
  std::vector<MessageBoxCall> calls;
  std::deque<int> answers;
};

MessageBoxRecorder::MessageBoxRecorder() : state_(std::make_shared<State>()) {
  std::shared_ptr<State> state = state_;
  SetMessageBoxHandler([state](const MessageBoxCall& call) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->calls.push_back(call);
    if (state->answers.empty()) return kIdOk;
    int answer = state->answers.front();
    state->answers.pop_front();
    return answer;
  });
}

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxHandler(nullptr); }

void MessageBoxRecorder::Answer(int result) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->answers.push_back(result);
}

std::vector<MessageBoxCall> MessageBoxRecorder::Calls() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->calls;
}

std::vector<std::string> MessageBoxRecorder::Texts() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  std::vector<std::string> texts;
  for (const auto& call : state_->calls) texts.push_back(call.text);
  return texts;
}

void MessageBoxRecorder::Clear() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->calls.clear();
  state_->answers.clear();
}

}  // namespace qv
