// Helpers shared by the dialog's tests: the stand-in libraries' scripts and
// waiting for a condition that another thread makes true.
#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "app/console/tests/dialog_fake_dravik.h"
#include "app/console/tests/dialog_fake_sievex.h"
#include "platform/library.h"
#include "platform/module.h"
#include "platform/paths.h"

inline constexpr char kFakeDravik[] = "DialogFakeDravik";
inline constexpr char kFakeDravikMinimal[] = "DialogFakeDravikMinimal";
inline constexpr char kFakeDravikBare[] = "DialogFakeDravikBare";

inline std::string FakeSievexPath(bool withStartSort = true) {
  return qv::JoinPath(qv::ExecutableDirectory(), withStartSort ? "DialogFakeSievex.dll" : "DialogFakeSievexNoStart.dll");
}

template <typename Fn>
Fn* FakeExport(const std::string& library, const char* name) {
  // Kept loaded for the whole test process, so the script outlives every
  // binding that loads and frees the same file.
  qv::ModuleHandle module = qv::LoadLibrary(library);
  return module ? reinterpret_cast<Fn*>(qv::GetProcAddress(module, name)) : nullptr;
}

// The script of a stand-in device library, reset to its defaults.
inline FakeDravikScript* FreshDravikScript(const std::string& library = kFakeDravik) {
  FakeExport<void()>(library, "FakeDravik_Reset")();
  return FakeExport<FakeDravikScript*()>(library, "FakeDravik_Script")();
}

inline FakeSievexScript* FreshSievexScript(bool withStartSort = true) {
  FakeExport<void()>(FakeSievexPath(withStartSort), "FakeSievex_Reset")();
  return FakeExport<FakeSievexScript*()>(FakeSievexPath(withStartSort), "FakeSievex_Script")();
}

inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
