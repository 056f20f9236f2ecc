#include "platform/window_search.h"

#include <map>
#include <mutex>
#include <string>

namespace qv {

namespace {

struct Window {
  std::string title;
  WindowActions actions;
};

struct Registry {
  std::mutex mutex;
  std::map<WindowHandle, Window> windows;  // ordered by registration
  WindowHandle next = 1;
  WindowSearchHook hook;
  // Windows found through the hook keep their handle until the next search
  // through the hook replaces them.
  WindowHandle hookHandle = kNoWindow;
  WindowActions hookActions;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// The actions of a window, copied out so that they run without the lock
// (a window's action may well register or retitle windows).
bool ActionsOf(WindowHandle window, WindowActions* out) {
  if (window == kNoWindow) return false;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (window == r.hookHandle) {
    *out = r.hookActions;
    return true;
  }
  auto it = r.windows.find(window);
  if (it == r.windows.end()) return false;
  *out = it->second.actions;
  return true;
}

}  // namespace

WindowHandle RegisterTopLevelWindow(std::string_view title, WindowActions actions) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  WindowHandle handle = r.next++;
  r.windows[handle] = Window{std::string(title), std::move(actions)};
  return handle;
}

void SetTopLevelWindowTitle(WindowHandle window, std::string_view title) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.windows.find(window);
  if (it != r.windows.end()) it->second.title = std::string(title);
}

void UnregisterTopLevelWindow(WindowHandle window) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.windows.erase(window);
}

void SetWindowSearchHook(WindowSearchHook hook) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.hook = std::move(hook);
}

WindowHandle FindWindowByTitle(std::string_view title) {
  Registry& r = TheRegistry();
  WindowSearchHook hook;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    for (const auto& [handle, window] : r.windows)
      if (window.title == title) return handle;
    hook = r.hook;
  }
  if (!hook) return kNoWindow;
  WindowActions found;
  if (!hook(title, &found)) return kNoWindow;
  std::lock_guard<std::mutex> lock(r.mutex);
  r.hookHandle = r.next++;
  r.hookActions = std::move(found);
  return r.hookHandle;
}

bool SetForegroundWindow(WindowHandle window) {
  WindowActions actions;
  if (!ActionsOf(window, &actions)) return false;
  if (actions.bringToForeground) actions.bringToForeground();
  return true;
}

bool IsIconic(WindowHandle window) {
  WindowActions actions;
  if (!ActionsOf(window, &actions)) return false;
  return actions.isMinimised && actions.isMinimised();
}

bool RestoreWindow(WindowHandle window) {
  WindowActions actions;
  if (!ActionsOf(window, &actions)) return false;
  if (actions.restore) actions.restore();
  return true;
}

}  // namespace qv
