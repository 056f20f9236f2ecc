// Texts of the run's state codes, as the program shows them.
#pragma once
#include <cstdint>
#include <string>

// "Finish" for 2 and so on, as the dialog names them.
std::string StateName(uint32_t state);

inline constexpr uint32_t kStateUserBreak = 0;
inline constexpr uint32_t kStateFinish = 2;
inline constexpr uint32_t kStateWriting = 3;
