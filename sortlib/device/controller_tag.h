// The controller tag: INQUIRY bytes 36..55 read as text, and the controller
// it names.
#pragma once
#include <cstdint>
#include <string_view>

struct SortDevice;

namespace sievex {

// Controller ids of the family.
inline constexpr uint32_t kController421 = 0x421;
inline constexpr uint32_t kController422 = 0x422;
inline constexpr uint32_t kController423 = 0x423;
inline constexpr uint32_t kController425 = 0x425;
inline constexpr uint32_t kController428 = 0x428;
inline constexpr uint32_t kController429 = 0x429;
inline constexpr uint32_t kController436 = 0x436;

// The tag's characters up to its first zero byte, at most 20.
std::string_view TagText(const SortDevice* device);

// Character `index` of the tag text, or 0 when the text is shorter.
char TagChar(const SortDevice* device, size_t index);

}  // namespace sievex
