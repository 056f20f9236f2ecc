#include "sim/ini_file.h"

#include <strings.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sim {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

bool ParseInteger(std::string_view text, long long* value) {
  std::string s(Trim(text));
  if (s.empty()) return false;
  char* end = nullptr;
  int base = (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) ? 16 : 10;
  long long v = std::strtoll(s.c_str(), &end, base);
  if (!end || *end != '\0') return false;
  *value = v;
  return true;
}

bool IniFile::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  Parse(ss.str());
  return true;
}

void IniFile::Parse(std::string_view text) {
  sections_.clear();
  Section* current = nullptr;
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = Trim(text.substr(0, nl));
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      sections_.push_back({std::string(Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1))), {}});
      current = &sections_.back();
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string_view::npos || !current) continue;
    current->entries.emplace_back(std::string(Trim(line.substr(0, eq))),
                                  std::string(Trim(line.substr(eq + 1))));
  }
}

std::string IniFile::Text() const {
  std::string out;
  for (const Section& s : sections_) {
    if (!out.empty()) out += "\n";
    out += "[" + s.name + "]\n";
    for (const auto& [k, v] : s.entries) out += k + "=" + v + "\n";
  }
  return out;
}

bool IniFile::Save(const std::string& path) const {
  std::string tmp = path + ".new";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << Text();
    if (!out.good()) return false;
  }
  // Replace in one step so a reader never sees half a file.
  return std::rename(tmp.c_str(), path.c_str()) == 0;
}

const std::string* IniFile::Find(std::string_view section, std::string_view key) const {
  for (const Section& s : sections_) {
    if (!SameText(s.name, section)) continue;
    for (const auto& [k, v] : s.entries)
      if (SameText(k, key)) return &v;
  }
  return nullptr;
}

bool IniFile::Has(std::string_view section, std::string_view key) const {
  return Find(section, key) != nullptr;
}

std::string IniFile::Get(std::string_view section, std::string_view key,
                         std::string_view fallback) const {
  const std::string* v = Find(section, key);
  return v ? *v : std::string(fallback);
}

long long IniFile::GetInt(std::string_view section, std::string_view key, long long fallback) const {
  const std::string* v = Find(section, key);
  long long out = 0;
  return v && ParseInteger(*v, &out) ? out : fallback;
}

double IniFile::GetDouble(std::string_view section, std::string_view key, double fallback) const {
  const std::string* v = Find(section, key);
  if (!v || v->empty()) return fallback;
  char* end = nullptr;
  double d = std::strtod(v->c_str(), &end);
  return end && *end == '\0' ? d : fallback;
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  for (Section& s : sections_) {
    if (!SameText(s.name, section)) continue;
    for (auto& [k, v] : s.entries)
      if (SameText(k, key)) {
        v = std::string(value);
        return;
      }
    s.entries.emplace_back(std::string(key), std::string(value));
    return;
  }
  sections_.push_back({std::string(section), {{std::string(key), std::string(value)}}});
}

}  // namespace sim
