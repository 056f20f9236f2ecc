// flash8k.ini, the flash database beside the executable: one section per
// flash chip type, found by its flash ID text.
#pragma once
#include <cstdint>
#include <string>

struct SortDevice;

namespace sievex {

// The file's path: the executable's folder followed by "\flash8k.ini".
std::string FlashDatabasePath();

// The flash ID as the database writes it: "0x%2x,0x%2x,0x%2x,0x%2x,0x%2x"
// (lower-case, blank-padded to two characters, so 0x0a is "0x a").
std::string FlashIdText(const SortDevice* device);

// Position 1..13 of a capacity text in "128M" ... "512G", else 0.
uint8_t FlashSizeCode(const std::string& text);

}  // namespace sievex
