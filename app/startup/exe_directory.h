// The folder of the running program, where its carried files are written.
#pragma once
#include <optional>
#include <string>
#include <string_view>

// The longest module path the program accepts: its path buffer holds 128
// characters with the terminator. A longer path is refused rather than cut,
// because a cut path would name some other folder.
inline constexpr size_t kMaxModulePathLength = 127;

inline constexpr char kExeLocationUnknown[] = "Unable to get exe location";

// The module path up to, not including, its last separator; nothing (with
// the reason in *error) when the path holds no separator or is too long.
std::optional<std::string> GetExeDirectory(std::string* error = nullptr);

// The same rule applied to a given module path.
std::optional<std::string> ExeDirectoryOf(std::string_view modulePath, std::string* error = nullptr);
