#include "app/startup/string_table.h"

#include <cstdlib>

namespace {

struct StringEntry {
  int id;
  uint16_t language;
  const char* text;
};

// UTF-8, the system's text encoding.
constexpr StringEntry kStrings[] = {
    {kIdsAdministratorRequired, kLangEnglishUs,
     "This program can only be executed with administrative privilege!"},
    {kIdsAdministratorRequired, kLangTraditionalChinese,
     "必須有系統管理員權限才能執行此程式"},
    {kIdsAdministratorRequired, kLangSimplifiedChinese,
     "必须有系统管理员权限才能执行此程式"},
};

const char* Find(int id, uint16_t language) {
  for (const StringEntry& entry : kStrings)
    if (entry.id == id && entry.language == language) return entry.text;
  return nullptr;
}

// Cuts a text to the buffer, stepping back over a partial UTF-8 character.
std::string FitBuffer(std::string text) {
  if (text.size() < kStringBufferSize) return text;
  size_t cut = kStringBufferSize - 1;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  return text;
}

}  // namespace

uint16_t LanguageOfLocale(std::string_view locale) {
  // language[_territory][.codeset][@modifier]
  std::string_view name = locale.substr(0, locale.find_first_of(".@"));
  std::string_view language = name.substr(0, name.find('_'));
  if (language != "zh") return kLangEnglishUs;
  std::string_view territory =
      name.size() > language.size() ? name.substr(language.size() + 1) : std::string_view();
  if (territory == "TW" || territory == "HK") return kLangTraditionalChinese;
  return kLangSimplifiedChinese;
}

uint16_t UserLanguage() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(var);
    if (value && *value) return LanguageOfLocale(value);
  }
  return kLangEnglishUs;
}

std::string LoadString(int id, uint16_t language) {
  const char* text = Find(id, language);
  if (!text) text = Find(id, kLangEnglishUs);
  return text ? FitBuffer(text) : std::string();
}
