// Windows-style paths as the product spells them ("\\.\E:", ".\RevertLog01.txt",
// "\boot\425\fw2.BIN", archive entries with backslashes) translated to the
// host's file system, with optional case-insensitive resolution of the
// components that exist.
#pragma once
#include <string>
#include <string_view>

namespace qv {

// Backslashes become slashes; a leading ".\" or "\" keeps its meaning
// (relative to the current folder, or absolute). Device paths ("\\.\X:")
// are not file paths and are returned unchanged.
std::string TranslatePath(std::string_view path);

// True for "\\.\X:"-style device paths.
bool IsDevicePath(std::string_view path);

// Resolves every component that exists on disk without regard to case
// (the first exact match wins, then the first case-insensitive match in
// directory order sorted by name); components that do not exist are kept
// as given so that the result can be created.
std::string ResolveCaseInsensitive(const std::string& hostPath);

// TranslatePath followed by ResolveCaseInsensitive: what every file service
// of the platform does with the paths it is given.
std::string HostPath(std::string_view path);

// The folder part of a path (up to, not including, the last '/' or '\'),
// or an empty text when there is none.
std::string DirectoryOf(std::string_view path);

// Joins a folder and a name with the host separator.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace qv
