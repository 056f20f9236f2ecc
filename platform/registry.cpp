#include "platform/registry.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/ini.h"
#include "platform/module.h"

namespace qv {

namespace {
std::mutex g_mutex;
std::map<std::string, uint32_t, std::less<>> g_overrides;
}  // namespace

std::string RegistryFilePath() { return UserConfigFolder() + "/registry.ini"; }

std::optional<uint32_t> RegistryReadDword(std::string_view name) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_overrides.find(name);
    if (it != g_overrides.end()) return it->second;
  }
  std::string path = RegistryFilePath();
  const std::string missing = "\x01missing";
  std::string text = ProfileString(kProductKey, name, missing, path);
  if (text == missing) return std::nullopt;
  // Values are written in decimal, or in hexadecimal with 0x.
  char* end = nullptr;
  unsigned long value = std::strtoul(text.c_str(), &end, 0);
  if (end == text.c_str()) return std::nullopt;
  return static_cast<uint32_t>(value);
}

uint32_t RegistryReadDword(std::string_view name, uint32_t defaultValue) {
  return RegistryReadDword(name).value_or(defaultValue);
}

void RegistrySetOverride(std::string_view name, uint32_t value) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_overrides[std::string(name)] = value;
}

void RegistryClearOverrides() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_overrides.clear();
}

}  // namespace qv
