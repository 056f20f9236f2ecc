#include "tools/quorvin-cli/drive_map.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/storage.h"
#include "tools/quorvin-cli/flash_readback.h"
#include "tools/quorvin-cli/map_picture.h"

namespace {

std::string FolderOf(const std::string& path) {
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? std::string(".") : folder.string();
}

std::string FlashText(const _USBDevceInfo& info) {
  char text[64];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X %02X", info.m_FlashId[0], info.m_FlashId[1],
                info.m_FlashId[2], info.m_FlashId[3], info.m_FlashId[4]);
  return text;
}

}  // namespace

std::string MapPathFor(const std::string& path, char letter, size_t driveCount) {
  if (driveCount <= 1) return path;
  const size_t dot = path.rfind('.');
  return path.substr(0, dot) + "-" + letter + path.substr(dot);
}

bool CanWriteMap(const std::string& path, std::string* why) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    *why = path + " is a folder";
    return false;
  }
  const std::string folder = FolderOf(path);
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *why = "no folder " + folder + " for the map";
    return false;
  }
  if (access(folder.c_str(), W_OK) != 0) {
    *why = "cannot write into " + folder + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool WriteDriveMap(SievexImport& sievex, void* object, char letter, const std::string& summary,
                   const std::string& path, bool terminal, std::string* why) {
  _USBDevceInfo info{};
  int result = 0;
  if (!sievex.GetDeviceInfo(object, &info, &result) || result != 1) {
    *why = "the sort library reports no device";
    return false;
  }
  int error = 0;
  std::unique_ptr<qv::Device> volume =
      qv::OpenDevice(std::string("\\\\.\\") + letter + ":", qv::kOpenRead | qv::kOpenWrite, &error);
  if (!volume) {
    *why = std::string("cannot open the drive: ") + std::strerror(error);
    return false;
  }
  auto progress = [&](uint64_t done, uint64_t total) {
    if (!terminal) return;
    std::printf("\r%c: reading the blocks back %3u%%", letter, unsigned(total ? done * 100 / total : 100));
    std::fflush(stdout);
  };
  BlockMap map;
  const bool read = ReadBlockMap(*volume, info, progress, &map, why);
  if (terminal) std::printf("\n");
  if (!read) return false;
  const std::string title = std::string(1, letter) + ": flash " + FlashText(info) + ", " +
                            std::to_string(info.m_dwCENo) + " CE x " + std::to_string(info.m_dwBlocksPerCE) +
                            " blocks; " + summary;
  return WriteMapFile(path, map, title, why);
}
