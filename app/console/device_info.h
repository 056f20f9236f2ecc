// The drive's description as the repair dialog shows it: the device line
// chosen in Device.ini, the description and firmware text, and the version
// of the firmware image that a repair would write. No Qt here.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr char kDeviceIniName[] = "Device.ini";
inline constexpr size_t kSelectDeviceValueSize = 64;  // 63 characters and the terminator

// The device line for a "SelectDevice" value, by case-sensitive prefix:
// "KR420" 3, "KR423" 0, "BCD" 1, "FP" 2, anything else 0.
uint8_t SelectDeviceOfValue(std::string_view value);

// Reads section "Device", key "SelectDevice" of the file (default empty)
// and maps it; a missing file or key gives 0.
uint8_t ReadSelectDevice(std::string_view iniPath);

// The firmware image's version: the six bytes at 0xEFF2..0xEFF7 (offsets
// 2 to 7 of the 16 bytes read at 0xEFF0) as text, ending early at a zero
// byte; empty when the file cannot be opened.
inline constexpr int64_t kFirmwareVersionOffset = 0xEFF0;
std::string ReadFirmwareImageVersion(std::string_view path);

// Shown when the device library cannot describe the drive.
inline constexpr char kUnknownDeviceDescription[] = "USB flash drive (no description available)";

struct DeviceInfoDisplay {
  std::string text;
  bool noFirmware = false;
};

// "%s\n\nFW Ver:%s", or "%s\n\nFW Ver:NO FIRMWARE" (noFirmware set) when
// the version text begins with six 'F' characters.
DeviceInfoDisplay FormatDeviceInfo(std::string_view description, std::string_view version);

// "New FW Ver:%s".
std::string FormatNewFirmwareVersion(std::string_view version);
