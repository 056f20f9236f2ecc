// The flash interface codes that the configuration selects by index: the
// same two codes go into the KR425's parameter block and into the engine's
// mode command, so both take them from here.
#pragma once
#include <cstdint>

namespace sievex {

inline constexpr uint8_t kTimingCodes[5] = {0x00, 0x00, 0x44, 0x88, 0xCC};
inline constexpr uint8_t kVoltageCodes[3] = {0x77, 0x55, 0x33};

// An index beyond its table has no code of its own. It gives the code of
// index 0, the one an all-zero configuration selects, rather than whatever
// byte lies behind the table: a slow timing and the first voltage are what
// the controller also runs with when nobody configured it.
inline uint8_t TimingCode(uint8_t index) {
  return index < sizeof kTimingCodes ? kTimingCodes[index] : kTimingCodes[0];
}
inline uint8_t VoltageCode(uint8_t index) {
  return index < sizeof kVoltageCodes ? kVoltageCodes[index] : kVoltageCodes[0];
}

}  // namespace sievex
