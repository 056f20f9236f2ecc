#include "dravik/firmware_image.h"

#include <cctype>
#include <cstring>

#include "platform/files.h"
#include "platform/module.h"
#include "sim/repair_commands.h"

namespace dravik {

namespace {

constexpr const char* kLineFolders[] = {"KR42x", "BCD", "FP", "KR420"};

}  // namespace

std::string FirmwareImagePath(uint8_t line) {
  if (line >= std::size(kLineFolders)) return {};
  return qv::ExecutableDirectory() + "\\Boot\\Dravik\\" + kLineFolders[line] + "\\fw.bin";
}

bool LoadFirmwareImage(const std::string& path, std::vector<uint8_t>* image, std::string* why) {
  using namespace repaircmd;
  std::string bytes;
  if (path.empty() || !qv::ReadWholeFile(path, &bytes)) {
    *why = "cannot read the firmware image " + path;
    return false;
  }
  if (bytes.size() != kFirmwareImageBytes ||
      std::memcmp(bytes.data() + kFirmwareMarkOffset, kFirmwareMark, sizeof kFirmwareMark) != 0) {
    *why = path + " is not a firmware image";
    return false;
  }
  for (size_t i = 0; i < kFirmwareVersionBytes; ++i)
    if (!std::isprint(static_cast<unsigned char>(bytes[kFirmwareVersionOffset + i]))) {
      *why = path + " carries no version text";
      return false;
    }
  image->assign(bytes.begin(), bytes.end());
  return true;
}

}  // namespace dravik
