// Initialisation-file reader with the semantics of the system's profile
// functions: sections in file order, keys without regard to case, decimal
// integers with defaults, values trimmed of surrounding blanks, ';' comment
// lines. The file is read afresh on every call.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Section names in file order, each followed by a zero byte and the list by
// one more, into at most `size` bytes (names that do not fit are dropped
// whole). Returns the number of bytes written without the final zero.
size_t GetProfileSectionNames(char* buffer, size_t size, std::string_view path);

// The value of key in section, or the default; copied into buffer with at
// most size - 1 characters and a terminator. Returns the characters copied.
size_t GetProfileString(std::string_view section, std::string_view key,
                        std::string_view defaultValue, char* buffer, size_t size,
                        std::string_view path);

// Decimal integer value (leading digits, optional sign); the default when
// the key is missing, 0 when it holds no digits.
int32_t GetProfileInt(std::string_view section, std::string_view key,
                      int32_t defaultValue, std::string_view path);

// Convenience forms for code that is not bound to the buffer interface.
std::vector<std::string> ProfileSections(std::string_view path);
std::string ProfileString(std::string_view section, std::string_view key,
                          std::string_view defaultValue, std::string_view path);

}  // namespace qv
