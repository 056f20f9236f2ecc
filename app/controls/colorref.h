#pragma once

// Colours as the dialog's controls store them: 0x00BBGGRR, red in the low
// byte. They stay in this form everywhere and become QColor only where a
// control draws (colorref_qcolor.h).

#include <cstdint>

using COLORREF = std::uint32_t;

// "Use the default colour" marker of the progress bar's colour fields.
inline constexpr COLORREF kClrDefault = 0xFF000000u;

constexpr COLORREF MakeColorRef(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return static_cast<COLORREF>(red) | (static_cast<COLORREF>(green) << 8) |
         (static_cast<COLORREF>(blue) << 16);
}

constexpr std::uint8_t RedOf(COLORREF color) { return static_cast<std::uint8_t>(color & 0xFFu); }
constexpr std::uint8_t GreenOf(COLORREF color) { return static_cast<std::uint8_t>((color >> 8) & 0xFFu); }
constexpr std::uint8_t BlueOf(COLORREF color) { return static_cast<std::uint8_t>((color >> 16) & 0xFFu); }

static_assert(MakeColorRef(0xFF, 0, 0) == 0x000000FFu, "red lives in the low byte");
static_assert(MakeColorRef(0, 0, 0xFF) == 0x00FF0000u, "blue lives in the third byte");
