#include "platform/linux_disks.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "platform/files.h"
#include "platform/ini.h"
#include "platform/module.h"
#include "platform/storage.h"

namespace fs = std::filesystem;

namespace qv {

namespace {

std::string ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
  return line;
}

bool IgnoredDisk(const std::string& name) {
  for (const char* prefix : {"loop", "ram", "zram", "md", "dm-", "nbd"})
    if (name.rfind(prefix, 0) == 0) return true;
  return false;
}

// A USB interface component of a sysfs path: "1-2:1.0", "2-1.4:1.0".
bool IsUsbInterface(const std::string& part) {
  return !part.empty() && isdigit(static_cast<unsigned char>(part[0])) &&
         part.find('-') != std::string::npos && part.find(':') != std::string::npos;
}

uint32_t BusTypeOfPath(const std::string& name, const std::string& devicePath) {
  for (const auto& part : fs::path(devicePath)) {
    std::string p = part.string();
    if (p.rfind("usb", 0) == 0 && p.size() > 3 && isdigit(static_cast<unsigned char>(p[3])))
      return kBusUsb;
  }
  if (name.rfind("nvme", 0) == 0) return kBusNvme;
  if (devicePath.find("/ata") != std::string::npos) return kBusSata;
  if (name.rfind("mmcblk", 0) == 0) return 12;  // SD card
  if (devicePath.find("/target") != std::string::npos) return kBusScsi;
  return kBusUnknown;
}

std::string IdentityOf(const std::string& devicePath, const std::string& sysfsRoot) {
  std::string usb;
  for (const auto& part : fs::path(devicePath))
    if (IsUsbInterface(part.string())) usb = part.string();
  if (!usb.empty()) return "usb:" + usb;
  std::string rel = devicePath;
  std::string root = fs::weakly_canonical(sysfsRoot).string();
  if (rel.rfind(root, 0) == 0) rel = rel.substr(root.size());
  return "sys:" + rel;
}

uint32_t DiskNumberOf(const std::string& dev) {
  unsigned major = 0, minor = 0;
  if (std::sscanf(dev.c_str(), "%u:%u", &major, &minor) != 2) return 0;
  return major * 65536u + minor;
}

}  // namespace

std::string DriveLettersFilePath() { return UserConfigFolder() + "/drive-letters.ini"; }

uint32_t BusTypeOfDeviceNumber(const std::string& sysfsRoot, unsigned major, unsigned minor) {
  std::error_code ec;
  fs::path link = fs::path(sysfsRoot) / "dev/block" / (std::to_string(major) + ":" + std::to_string(minor));
  fs::path dir = fs::canonical(link, ec);
  if (ec) return kBusUnknown;
  if (fs::exists(dir / "partition")) dir = dir.parent_path();
  return BusTypeOfPath(dir.filename().string(), dir.string());
}

std::vector<LinuxDisk> ScanLinuxDisks(const std::string& sysfsRoot, const std::string& devRoot,
                                      const std::string& lettersFile) {
  std::vector<LinuxDisk> disks;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(sysfsRoot) / "block", ec)) {
    std::string name = entry.path().filename().string();
    if (IgnoredDisk(name)) continue;
    fs::path real = fs::canonical(entry.path(), ec);
    if (ec) continue;
    LinuxDisk d;
    d.name = name;
    d.devicePath = (fs::path(devRoot) / name).string();
    d.diskNumber = DiskNumberOf(ReadLine(real / "dev"));
    d.busType = BusTypeOfPath(name, real.string());
    d.identity = IdentityOf(real.string(), sysfsRoot);
    d.sizeBytes = std::strtoull(ReadLine(real / "size").c_str(), nullptr, 10) * 512ull;
    if (name.rfind("sr", 0) == 0)
      d.driveType = kDriveCdrom;
    else if (ReadLine(real / "removable") == "1")
      d.driveType = kDriveRemovable;
    else
      d.driveType = kDriveFixed;
    disks.push_back(d);
  }
  std::sort(disks.begin(), disks.end(),
            [](const LinuxDisk& a, const LinuxDisk& b) { return a.diskNumber < b.diskNumber; });

  // Letters: pinned or recorded ones first, then the lowest free letter.
  std::map<std::string, char> byIdentity;
  std::set<char> taken;
  std::vector<std::pair<char, std::string>> recorded;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    std::string id = ProfileString("Letters", std::string(1, letter), "", lettersFile);
    if (id.empty()) continue;
    recorded.emplace_back(letter, id);
    taken.insert(letter);
    byIdentity.emplace(id, letter);
  }
  bool changed = false;
  for (LinuxDisk& d : disks) {
    auto it = byIdentity.find(d.identity);
    if (it != byIdentity.end()) {
      d.letter = it->second;
      continue;
    }
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
      if (taken.count(letter)) continue;
      d.letter = letter;
      taken.insert(letter);
      recorded.emplace_back(letter, d.identity);
      byIdentity.emplace(d.identity, letter);
      changed = true;
      break;
    }
  }
  if (changed && !lettersFile.empty()) {
    std::sort(recorded.begin(), recorded.end());
    std::string text =
        "; Drive letters of the disks, by identity. Edit to pin a letter.\n[Letters]\n";
    for (auto& [letter, id] : recorded) text += std::string(1, letter) + "=" + id + "\n";
    fs::create_directories(fs::path(lettersFile).parent_path(), ec);
    WriteNewFile(lettersFile, text);  // best effort: letters hold for this scan anyway
  }
  disks.erase(std::remove_if(disks.begin(), disks.end(), [](const LinuxDisk& d) { return !d.letter; }),
              disks.end());
  return disks;
}

}  // namespace qv
