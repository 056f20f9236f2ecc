#include "platform/named_event.h"

#include <chrono>
#include <map>

namespace qv {

namespace {
std::mutex g_registryMutex;
// Weak references: an event lives as long as someone holds it.
std::map<std::string, std::weak_ptr<NamedEvent>, std::less<>>& Registry() {
  static auto* registry = new std::map<std::string, std::weak_ptr<NamedEvent>, std::less<>>();
  return *registry;
}
}  // namespace

NamedEvent::NamedEvent(std::string name, bool manualReset, bool signalled)
    : m_name(std::move(name)), m_manualReset(manualReset), m_signalled(signalled) {}

void NamedEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = true;
  }
  if (m_manualReset) m_changed.notify_all();
  else m_changed.notify_one();
}

void NamedEvent::Reset() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_signalled = false;
}

bool NamedEvent::TakeLocked() {
  if (!m_signalled) return false;
  if (!m_manualReset) m_signalled = false;
  return true;
}

void NamedEvent::Wait() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return TakeLocked(); });
}

bool NamedEvent::WaitFor(unsigned milliseconds) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return TakeLocked(); });
}

bool NamedEvent::IsSet() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_signalled;
}

std::shared_ptr<NamedEvent> CreateNamedEvent(std::string_view name, bool manualReset, bool signalled) {
  if (name.empty()) return std::make_shared<NamedEvent>(std::string(), manualReset, signalled);
  std::lock_guard<std::mutex> lock(g_registryMutex);
  auto& registry = Registry();
  auto found = registry.find(name);
  if (found != registry.end()) {
    if (std::shared_ptr<NamedEvent> existing = found->second.lock()) return existing;
  }
  auto event = std::make_shared<NamedEvent>(std::string(name), manualReset, signalled);
  registry[std::string(name)] = event;
  return event;
}

}  // namespace qv
