// The part of a boot image file that is downloaded: 4 KiB from offset
// 0x5000, written to controller memory 0xF000..0xFFFF in eight 512-byte
// commands. Shared by the discovery load and the engine's download.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sievex {

inline constexpr size_t kBootSliceOffset = 0x5000;
inline constexpr size_t kBootSliceSize = 4096;
inline constexpr uint16_t kBootRamAddress = 0xF000;

// Opens the image for reading (others may read and write it) and reads up
// to kBootSliceSize bytes from kBootSliceOffset into `slice`, which the
// caller has filled with 0xFF: what a short file lacks stays 0xFF. False
// when the file cannot be opened; `error` gets the system's error then.
bool ReadBootSlice(std::string_view path, uint8_t* slice, int* error = nullptr);

}  // namespace sievex
