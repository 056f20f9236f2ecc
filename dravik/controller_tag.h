// The controller tag, INQUIRY bytes 36..55, and the family member it names.
// The rules are the sort library's, so both libraries name a drive alike.
#pragma once
#include <cstdint>
#include <string_view>

namespace dravik {

inline constexpr size_t kInquiryBytes = 180;
inline constexpr size_t kTagOffset = 36;
inline constexpr size_t kTagBytes = 20;

// The tag's characters up to its first zero byte, at most 20.
std::string_view TagText(const uint8_t* tag);

// 0x428 "Qxs", 0x421 "KR0", 0x422 "KR1", 0x429 "KR2" (first that holds);
// with "Krff": 0x423 for "K423"/"0423" (0x436 when character 10 is 'F'),
// 0x425 for "K425"/"0425", else 0; any other tag with "KR": 0x421; else 0
// (not of the family).
uint16_t ControllerFromTag(std::string_view text);

}  // namespace dravik
