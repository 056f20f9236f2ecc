// Named events, in-process: creating an event under a name that already
// exists gives the existing event, as the system does. A manual-reset event
// stays signalled until it is reset; an auto-reset event releases one
// waiter and resets itself.
#pragma once
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace qv {

class NamedEvent {
 public:
  NamedEvent(std::string name, bool manualReset, bool signalled);
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;

  void Set();
  void Reset();
  // Waits without time limit.
  void Wait();
  // False when the time ran out before the event was signalled.
  bool WaitFor(unsigned milliseconds);
  bool IsSet() const;
  const std::string& Name() const { return m_name; }

 private:
  bool TakeLocked();

  const std::string m_name;
  const bool m_manualReset;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_signalled;
};

// The event of that name, created with the given reset mode and initial
// state when no live event has the name; an existing event keeps its own
// mode and state. An empty name always creates a new, unnamed event.
std::shared_ptr<NamedEvent> CreateNamedEvent(std::string_view name, bool manualReset, bool signalled);

}  // namespace qv
