#include "platform/library.h"

#include <dlfcn.h>

#include "platform/files.h"
#include "platform/module.h"
#include "platform/paths.h"

namespace qv {

namespace {

thread_local uint32_t t_lastError = 0;
thread_local std::string t_lastErrorText;

void SetError(uint32_t code, std::string text) {
  t_lastError = code;
  t_lastErrorText = std::move(text);
}

bool HasFolder(std::string_view name) {
  return name.find_first_of("/\\") != std::string_view::npos;
}

// Applies the default extension rule to the last component of the name.
std::string WithDefaultExtension(std::string_view name) {
  std::string result(name);
  size_t lastSeparator = result.find_last_of("/\\");
  size_t start = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
  if (!result.empty() && result.back() == '.') {
    result.pop_back();
  } else if (result.find('.', start) == std::string::npos) {
    result += ".dll";
  }
  return result;
}

bool IsRegularFile(const std::string& path) {
  return PathExists(path) && !IsDirectory(path);
}

}  // namespace

std::string FindLibraryFile(std::string_view name) {
  if (name.empty()) return {};
  std::string file = WithDefaultExtension(name);
  if (HasFolder(file)) {
    std::string host = HostPath(file);
    return IsRegularFile(host) ? host : std::string();
  }
  for (const std::string& folder : {ExecutableDirectory(), GetCurrentDirectory()}) {
    if (folder.empty()) continue;
    std::string host = HostPath(JoinPath(folder, file));
    if (IsRegularFile(host)) return host;
  }
  return {};
}

ModuleHandle LoadLibrary(std::string_view name) {
  std::string file = FindLibraryFile(name);
  if (file.empty()) {
    SetError(kErrorModNotFound, "The specified module could not be found: " + std::string(name));
    return nullptr;
  }
  // dlopen with a path never searches LD_LIBRARY_PATH: the file found above
  // is the one that is loaded.
  if (file.find('/') == std::string::npos) file = "./" + file;
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    SetError(kErrorBadExeFormat, why ? why : "not a loadable library");
    return nullptr;
  }
  return handle;
}

void* GetProcAddress(ModuleHandle module, const char* symbol) {
  if (!module || !symbol) {
    SetError(kErrorProcNotFound, "no module or no symbol name");
    return nullptr;
  }
  dlerror();
  void* address = dlsym(module, symbol);
  if (!address) {
    const char* why = dlerror();
    SetError(kErrorProcNotFound, why ? why : std::string("symbol not found: ") + symbol);
  }
  return address;
}

bool FreeLibrary(ModuleHandle module) {
  if (!module) return false;
  if (dlclose(module) != 0) {
    const char* why = dlerror();
    SetError(kErrorModNotFound, why ? why : "dlclose failed");
    return false;
  }
  return true;
}

uint32_t LastLibraryError() { return t_lastError; }

std::string LastLibraryErrorText() { return t_lastErrorText; }

}  // namespace qv
