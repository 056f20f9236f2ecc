// A small INI document for the drive description: sections in order, keys
// without regard to case, values trimmed. Read whole, edited, written whole.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

class IniFile {
 public:
  bool Load(const std::string& path);
  bool Save(const std::string& path) const;
  void Parse(std::string_view text);
  std::string Text() const;

  bool Has(std::string_view section, std::string_view key) const;
  std::string Get(std::string_view section, std::string_view key,
                  std::string_view fallback = {}) const;
  // Decimal, or hexadecimal with 0x.
  long long GetInt(std::string_view section, std::string_view key, long long fallback) const;
  double GetDouble(std::string_view section, std::string_view key, double fallback) const;
  void Set(std::string_view section, std::string_view key, std::string_view value);

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
  };
  const std::string* Find(std::string_view section, std::string_view key) const;
  std::vector<Section> sections_;
};

// Parses an integer written in decimal or with 0x; false when it is not one.
bool ParseInteger(std::string_view text, long long* value);

}  // namespace sim
