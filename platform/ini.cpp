#include "platform/ini.h"

#include <strings.h>

#include <cstring>
#include <optional>

#include "platform/files.h"

namespace qv {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

struct Visitor {
  virtual ~Visitor() = default;
  virtual bool Section(std::string_view) { return true; }  // false stops
  virtual bool Key(std::string_view, std::string_view, std::string_view) { return true; }
};

void Parse(std::string_view path, Visitor& visitor) {
  std::string text;
  if (!ReadWholeFile(path, &text)) return;
  std::string_view rest(text);
  std::string_view section;
  bool inSection = false;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = Trim(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      if (close == std::string_view::npos) continue;
      section = Trim(line.substr(1, close - 1));
      inSection = true;
      if (!visitor.Section(section)) return;
      continue;
    }
    size_t eq = line.find('=');
    if (!inSection || eq == std::string_view::npos) continue;
    if (!visitor.Key(section, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)))) return;
  }
}

std::optional<std::string> Lookup(std::string_view section, std::string_view key,
                                  std::string_view path) {
  struct Finder : Visitor {
    std::string_view section, key;
    std::optional<std::string> value;
    bool Key(std::string_view s, std::string_view k, std::string_view v) override {
      if (EqualNoCase(s, section) && EqualNoCase(k, key)) {
        value = std::string(v);
        return false;
      }
      return true;
    }
  } finder;
  finder.section = section;
  finder.key = key;
  Parse(path, finder);
  return finder.value;
}

}  // namespace

std::vector<std::string> ProfileSections(std::string_view path) {
  struct Lister : Visitor {
    std::vector<std::string> names;
    bool Section(std::string_view s) override {
      names.emplace_back(s);
      return true;
    }
  } lister;
  Parse(path, lister);
  return lister.names;
}

size_t GetProfileSectionNames(char* buffer, size_t size, std::string_view path) {
  if (!buffer || size < 2) {
    if (buffer && size) buffer[0] = 0;
    return 0;
  }
  size_t used = 0;
  for (const std::string& name : ProfileSections(path)) {
    // Keep room for the name's terminator and the list's final zero.
    if (used + name.size() + 2 > size) break;
    std::memcpy(buffer + used, name.c_str(), name.size() + 1);
    used += name.size() + 1;
  }
  buffer[used] = 0;
  return used;
}

std::string ProfileString(std::string_view section, std::string_view key,
                          std::string_view defaultValue, std::string_view path) {
  auto value = Lookup(section, key, path);
  return value ? *value : std::string(defaultValue);
}

size_t GetProfileString(std::string_view section, std::string_view key,
                        std::string_view defaultValue, char* buffer, size_t size,
                        std::string_view path) {
  if (!buffer || size == 0) return 0;
  std::string value = ProfileString(section, key, defaultValue, path);
  size_t n = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(buffer, value.data(), n);
  buffer[n] = 0;
  return n;
}

int32_t GetProfileInt(std::string_view section, std::string_view key, int32_t defaultValue,
                      std::string_view path) {
  auto value = Lookup(section, key, path);
  if (!value) return defaultValue;
  std::string_view s(*value);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  uint32_t result = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    result = result * 10 + static_cast<uint32_t>(c - '0');
  }
  return static_cast<int32_t>(negative ? 0u - result : result);
}

}  // namespace qv
