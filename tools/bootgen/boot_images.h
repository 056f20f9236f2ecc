// The product's boot images: which files exist, which cases of the
// controller each one serves, and their bytes. The images are 64 KiB; the
// 4 KiB slice at 0x5000 that the host downloads starts with the header that
// the simulated controller judges.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/boot_image_format.h"

namespace bootgen {

struct ImageSpec {
  const char* entryName;  // relative to Boot\, as the archive stores it
  qvboot::Role role;
  std::vector<qvboot::Case> cases;
};

// The discovery and engine images, in the order the archive holds them.
const std::vector<ImageSpec>& BootImages();

// The device library's firmware image and its version text.
inline constexpr char kFirmwareEntryName[] = "Dravik\\KR42x\\fw.bin";
inline constexpr char kFirmwareVersion[] = "120705";
inline constexpr size_t kFirmwareVersionOffset = 0xEFF2;

std::vector<uint8_t> BuildBootImage(const ImageSpec& spec);
std::vector<uint8_t> BuildFirmwareImage();

}  // namespace bootgen
