#include "app/console/device_info.h"

#include <cstring>

#include "platform/files.h"
#include "platform/ini.h"

uint8_t SelectDeviceOfValue(std::string_view value) {
  struct Prefix {
    const char* text;
    uint8_t index;
  };
  // Checked in this order; the first that matches decides.
  static constexpr Prefix kPrefixes[] = {{"KR420", 3}, {"KR423", 0}, {"BCD", 1}, {"FP", 2}};
  for (const Prefix& prefix : kPrefixes)
    if (value.starts_with(prefix.text)) return prefix.index;
  return 0;
}

uint8_t ReadSelectDevice(std::string_view iniPath) {
  char value[kSelectDeviceValueSize] = {};
  qv::GetProfileString("Device", "SelectDevice", "", value, sizeof value, iniPath);
  return SelectDeviceOfValue(value);
}

std::string ReadFirmwareImageVersion(std::string_view path) {
  std::unique_ptr<qv::File> file = qv::File::Open(path, qv::FileAccess::kRead, qv::FileShare::kReadWrite,
                                                  qv::FileOpen::kExisting);
  if (!file) return {};
  unsigned char head[16] = {};
  if (file->Seek(kFirmwareVersionOffset)) {
    long got = file->Read(head, sizeof head);
    if (got < 0) std::memset(head, 0, sizeof head);
  }
  std::string version;
  for (int i = 2; i < 8 && head[i] != 0; ++i) version.push_back(static_cast<char>(head[i]));
  return version;
}

DeviceInfoDisplay FormatDeviceInfo(std::string_view description, std::string_view version) {
  DeviceInfoDisplay info;
  info.noFirmware = version.starts_with("FFFFFF");
  info.text = std::string(description) + "\n\nFW Ver:" +
              (info.noFirmware ? std::string("NO FIRMWARE") : std::string(version));
  return info;
}

std::string FormatNewFirmwareVersion(std::string_view version) { return "New FW Ver:" + std::string(version); }
