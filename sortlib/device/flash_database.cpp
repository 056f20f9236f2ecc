#include "sortlib/device/flash_database.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/ini.h"
#include "platform/module.h"
#include "sortlib/device/identification.h"
#include "sortlib/device/sort_device.h"

namespace sievex {
namespace {

// Section names the reader is given room for; sections beyond are not seen.
constexpr size_t kSectionNamesSize = 4096;
// Text values are read into buffers of this size (63 characters).
constexpr size_t kTextValueSize = 64;

std::vector<std::string> SectionNames(const std::string& path) {
  std::vector<char> buffer(kSectionNamesSize, '\0');
  size_t length = qv::GetProfileSectionNames(buffer.data(), buffer.size(), path);
  std::vector<std::string> names;
  for (size_t pos = 0; pos < length && buffer[pos] != '\0';) {
    std::string name(buffer.data() + pos);
    pos += name.size() + 1;
    names.push_back(std::move(name));
  }
  return names;
}

std::string ReadText(const std::string& section, const char* key, const std::string& path) {
  char value[kTextValueSize] = {};
  qv::GetProfileString(section, key, "", value, sizeof value, path);
  return value;
}

bool SectionMatches(const std::string& section, const std::string& idText,
                    const std::string& path) {
  std::string fid = ReadText(section, "FID", path);
  std::transform(fid.begin(), fid.end(), fid.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return fid == idText;
}

}  // namespace

std::string FlashDatabasePath() { return qv::ExecutableDirectory() + "\\flash8k.ini"; }

std::string FlashIdText(const SortDevice* device) {
  const uint8_t* id = device->m_FlashId;
  char text[64];
  std::snprintf(text, sizeof text, "0x%2x,0x%2x,0x%2x,0x%2x,0x%2x", id[0], id[1], id[2], id[3],
                id[4]);
  return text;
}

uint8_t FlashSizeCode(const std::string& text) {
  static constexpr const char* kSizes[] = {"128M", "256M", "512M", "1G",   "2G",   "4G",  "8G",
                                           "16G",  "32G",  "64G",  "128G", "256G", "512G"};
  for (size_t i = 0; i < std::size(kSizes); ++i)
    if (text == kSizes[i]) return static_cast<uint8_t>(i + 1);
  return 0;
}

int LookupFlashIni(SortDevice* device) {
  const std::string path = FlashDatabasePath();
  const std::string idText = FlashIdText(device);
  for (const std::string& section : SectionNames(path)) {
    if (!SectionMatches(section, idText, path)) continue;
    // Is8KPage, UseSPF and CE are part of a section but change nothing
    // here: the controller's CE count always wins.
    uint32_t blocksPerChip = qv::GetProfileInt(section, "BlocksPerChip", 0, path);
    uint32_t sectorsPerPage = qv::GetProfileInt(section, "SectorsPerPage", 0, path);
    uint32_t sectorsPerBlock = qv::GetProfileInt(section, "SectorsPerBlock", 0, path);
    uint16_t startGap = static_cast<uint16_t>(qv::GetProfileInt(section, "StartGapBlock", 0, path));
    uint16_t gapSize = static_cast<uint16_t>(qv::GetProfileInt(section, "GapBlockSize", 0, path));
    uint32_t is16Bit = qv::GetProfileInt(section, "Is16Bit", 0, path);
    uint8_t sizeCode = FlashSizeCode(ReadText(section, "FlashSize", path));
    // An incomplete section cannot describe the geometry; a later section
    // of the same flash ID may.
    if (blocksPerChip == 0 || sectorsPerPage == 0 || sectorsPerBlock == 0) continue;
    device->m_dwBlocksPerCE = blocksPerChip;
    device->m_dwSectorsPerPage = sectorsPerPage;
    device->m_dwSectorsPerBlock = sectorsPerBlock;
    device->m_wStartGapBlock = startGap;
    device->m_wGapBlockSize = gapSize;
    device->m_dw16Bit = is16Bit;
    device->m_bFlashSize = sizeCode;
    return 1;
  }
  return 0;
}

uint8_t LookupRedundantSize(const SortDevice* device) {
  const std::string path = FlashDatabasePath();
  const std::string idText = FlashIdText(device);
  // The first section of the flash ID answers, whether or not it is
  // complete enough to give the geometry.
  for (const std::string& section : SectionNames(path)) {
    if (!SectionMatches(section, idText, path)) continue;
    return static_cast<uint8_t>(qv::GetProfileInt(section, "RedudantSize", 0, path));
  }
  return 0;
}

}  // namespace sievex
