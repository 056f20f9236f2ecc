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

// The device library's firmware images, one per product line (the KR42x
// line serves the KR423 and KR425 drives), each with "FW" at 0xEFF0 and its
// six-character version text at 0xEFF2.
inline constexpr char kFirmwareEntryName[] = "Dravik\\KR42x\\fw.bin";
inline constexpr const char* kFirmwareEntryNames[] = {
    kFirmwareEntryName, "Dravik\\BCD\\fw.bin", "Dravik\\FP\\fw.bin", "Dravik\\KR420\\fw.bin"};
inline constexpr char kFirmwareVersion[] = "120705";
inline constexpr size_t kFirmwareMarkOffset = 0xEFF0;
inline constexpr size_t kFirmwareVersionOffset = 0xEFF2;

std::vector<uint8_t> BuildBootImage(const ImageSpec& desc);
std::vector<uint8_t> BuildFirmwareImage(const char* entryName = kFirmwareEntryName);

}  // namespace bootgen
