// Finding a top-level window by its exact title and bringing it forward, in
// the role of the system's window search. Linux desktops offer no search
// across processes, so the search covers the windows that this process's
// GUI has registered here, plus whatever an installed search hook finds
// (a desktop backend, or a test). Without a hook a window of another process
// is never found: FindWindowByTitle answers kNoWindow for it.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qv {

using WindowHandle = uintptr_t;
constexpr WindowHandle kNoWindow = 0;

// What can be done to a found window; empty functions do nothing (and an
// empty isMinimised answers false).
struct WindowActions {
  std::function<void()> bringToForeground;
  std::function<bool()> isMinimised;
  std::function<void()> restore;
};

// The GUI registers each top-level window with its current title, keeps the
// title up to date, and unregisters the window when it is destroyed.
WindowHandle RegisterTopLevelWindow(std::string_view title, WindowActions actions);
void SetTopLevelWindowTitle(WindowHandle window, std::string_view title);
void UnregisterTopLevelWindow(WindowHandle window);

// A search beyond this process's windows: returns the window's actions when
// it finds one with exactly that title. Empty restores "none".
using WindowSearchHook = std::function<bool(std::string_view title, WindowActions* found)>;
void SetWindowSearchHook(WindowSearchHook hook);

// A top-level window whose title is exactly `title` (case-sensitive):
// this process's windows first (the earliest registered wins), then the
// hook's. kNoWindow when there is none.
WindowHandle FindWindowByTitle(std::string_view title);

// The usual calls on a found window; false for kNoWindow or a window that
// has gone.
bool SetForegroundWindow(WindowHandle window);
bool IsIconic(WindowHandle window);
bool RestoreWindow(WindowHandle window);

}  // namespace qv
