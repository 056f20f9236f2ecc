// The few registry values the product reads, all REG_DWORD under
// HKEY_CURRENT_USER\software\rirudedu. On this system they live in the
// user's settings file
//   $XDG_CONFIG_HOME/quorvin/registry.ini  (default ~/.config/quorvin/...)
// as lines "Name=value" under the section [software\rirudedu]. The file is
// read afresh at every query; a missing file, section or value gives the
// caller's default. A process may override values for itself (a tool that
// sets options for one run) without touching the file.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

inline constexpr std::string_view kProductKey = "software\\rirudedu";

// Reads a DWORD value of the product key; nullopt when it is not set.
std::optional<uint32_t> RegistryReadDword(std::string_view name);
uint32_t RegistryReadDword(std::string_view name, uint32_t defaultValue);

// Process-level overrides, seen by every later read in this process.
void RegistrySetOverride(std::string_view name, uint32_t value);
void RegistryClearOverrides();

// Where the settings file lives for the current user.
std::string RegistryFilePath();

}  // namespace qv
