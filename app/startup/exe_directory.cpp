#include "app/startup/exe_directory.h"

#include "platform/module.h"

std::optional<std::string> ExeDirectoryOf(std::string_view modulePath, std::string* error) {
  if (modulePath.size() > kMaxModulePathLength) {
    if (error) {
      *error = std::string(kExeLocationUnknown) + ": the program's path has " +
               std::to_string(modulePath.size()) + " characters, at most " +
               std::to_string(kMaxModulePathLength) + " are supported";
    }
    return std::nullopt;
  }
  size_t last = modulePath.find_last_of("\\/");
  if (last == std::string_view::npos) {
    if (error) *error = kExeLocationUnknown;
    return std::nullopt;
  }
  return std::string(modulePath.substr(0, last));
}

std::optional<std::string> GetExeDirectory(std::string* error) {
  return ExeDirectoryOf(qv::ExecutablePath(), error);
}
