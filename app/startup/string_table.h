// The program's user texts: one table per language with the same ids,
// English (United States), Traditional Chinese and Simplified Chinese.
// The language follows the user's locale, as the system would choose it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr uint16_t kLangEnglishUs = 1033;
inline constexpr uint16_t kLangTraditionalChinese = 1028;
inline constexpr uint16_t kLangSimplifiedChinese = 2052;

// String ids.
inline constexpr int kIdsAdministratorRequired = 4;

// The capacity, terminator included, of the buffer a text is loaded into;
// longer texts are cut to one less (never inside a UTF-8 character).
inline constexpr size_t kStringBufferSize = 260;

// The table's language for a locale name such as "zh_TW.UTF-8": Taiwan and
// Hong Kong read Traditional Chinese, every other Chinese locale Simplified
// Chinese, all others English.
uint16_t LanguageOfLocale(std::string_view locale);

// The user's language: the first of LC_ALL, LC_MESSAGES and LANG that is
// set and not empty decides.
uint16_t UserLanguage();

// Text `id` in `language`; a language without that text gives the English
// one, an unknown id an empty text.
std::string LoadString(int id, uint16_t language);
