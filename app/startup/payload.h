// The files the program carries and writes into its working folder at every
// start of the relocated copy, then the boot archive unpacked into Boot\.
#pragma once
#include <array>
#include <string>
#include <string_view>

inline constexpr char kCarriedFileType[] = "BINARYFILE";

struct CarriedFile {
  int id;
  const char* name;
};

// In the order they are written.
inline constexpr std::array<CarriedFile, 6> kCarriedFiles = {{
    {151, "Dravik.dll"},
    {159, "Sievex.dll"},
    {153, "Device.ini"},
    {154, "deft63.esp"},
    {158, "flash8k.ini"},
    {152, "BootCode.r"},
}};

inline constexpr char kBootArchiveName[] = "BootCode.r";
inline constexpr char kCannotOpenBootCode[] = "Cannot open the boot code file";
inline constexpr char kPointerResetFailed[] = "Pointer reset failed";

// Replaces every carried file in workFolder (the running program's own
// folder) and unpacks BootCode.r into workFolder\Boot\. False when the
// start-up must end: a message (caption `title`, OK only) has then been
// shown: "Unable to get exe location", "Cannot open the boot code file" or
// "Pointer reset failed".
bool RefreshPayload(std::string_view workFolder, std::string_view title);
