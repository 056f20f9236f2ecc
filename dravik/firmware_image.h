// The firmware images this library writes, one per product line, in the
// Boot tree that the program unpacks into its own folder:
// Boot\Dravik\<line>\fw.bin with line KR42x (index 0, the KR423 line that
// serves KR423 and KR425 controllers), BCD (1), FP (2) or KR420 (3).
// An image is 64 KiB; its bytes 0xEFF0..0xEFF1 hold "FW" and
// 0xEFF2..0xEFF7 its version text.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace dravik {

// The image's path for a line index, or empty for an index of no line.
std::string FirmwareImagePath(uint8_t line);

// Reads and checks an image; false, with the reason, when it cannot be
// read or is not a firmware image.
bool LoadFirmwareImage(const std::string& path, std::vector<uint8_t>* image, std::string* why);

}  // namespace dravik
