#include "sim/sim_api.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "sim/fault_plan.h"
#include "sim/sim_drive.h"

namespace sim {

namespace {

bool MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return false;
  return MakeFolder(path.substr(0, slash)) && (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST);
}

bool MarkByteSet(uint8_t b) { return (b & 0x0F) == 0 || (b & 0xF0) == 0; }

bool StartsWithBad(const std::vector<uint8_t>& page) {
  return page.size() >= 4 && std::memcmp(page.data(), "bad_", 4) == 0;
}

}  // namespace

std::string DriveFolder(const std::string& machine, const DriveSpec& desc) {
  return machine + "/" + (desc.letter ? std::string(1, desc.letter) : "disk" + std::to_string(desc.diskNumber));
}

std::string DriveFolder(const std::string& machine, char letter) {
  return machine + "/" + std::string(1, char(std::toupper(static_cast<unsigned char>(letter))));
}

std::string DeviceEventsFile(const std::string& machine) { return machine + "/events"; }

bool CreateDrive(const std::string& machine, const DriveSpec& given, std::string* error) {
  DriveSpec desc = given;
  if (!ValidateDriveSpec(desc, error)) return false;
  desc.faults = ExpandFaults(desc);
  std::string folder = DriveFolder(machine, desc);
  if (!MakeFolder(folder)) {
    if (error) *error = folder + ": cannot create the folder";
    return false;
  }
  {
    // Openers wait until the description and its fresh state are complete.
    FolderLock lock(folder);
    if (!SaveDriveSpec(folder + "/drive.ini", desc)) {
      if (error) *error = folder + "/drive.ini: cannot be written";
      return false;
    }
    auto drive = SimDrive::Load(folder, true, error);
    if (!drive) return false;
    drive->Initialise();
  }
  AppendDeviceEvent(folder, desc.present, 0);
  return true;
}

std::vector<std::string> ListDriveFolders(const std::string& machine) {
  std::vector<std::pair<uint32_t, std::string>> found;
  if (DIR* dir = opendir(machine.c_str())) {
    while (dirent* e = readdir(dir)) {
      if (e->d_name[0] == '.') continue;
      std::string folder = machine + "/" + e->d_name;
      DriveSpec desc;
      struct stat st{};
      if (stat((folder + "/drive.ini").c_str(), &st) != 0) continue;
      if (!LoadDriveSpec(folder + "/drive.ini", &desc, nullptr)) continue;
      found.emplace_back(desc.diskNumber, folder);
    }
    closedir(dir);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> out;
  for (auto& f : found) out.push_back(f.second);
  return out;
}

bool IsPlugged(const std::string& driveFolder) {
  int fd = ::open((driveFolder + "/state.bin").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && EnsureDriveState(driveFolder, nullptr))
    fd = ::open((driveFolder + "/state.bin").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  StateFields h{};
  bool ok = pread(fd, &h, sizeof h, 0) == ssize_t(sizeof h) && std::memcmp(h.magic, kStateMagic, 8) == 0;
  ::close(fd);
  return ok && h.plugged;
}

bool SetPlugged(const std::string& driveFolder, bool plugged, std::string* error) {
  auto drive = SimDrive::Load(driveFolder, false, error);
  if (!drive) return false;
  drive->SetPlugged(plugged);
  return true;
}

std::unique_ptr<Drive> Drive::Open(const std::string& folder, std::string* error) {
  return SimDrive::Load(folder, false, error);
}

bool Inspect(const std::string& driveFolder, DriveReport* report, std::string* error) {
  auto drive = SimDrive::Load(driveFolder, false, error);
  if (!drive) return false;
  const DriveSpec& desc = drive->Description();
  DriveReport r;
  r.faults = drive->Faults();
  drive->WithState([&](FlashState& state, NandArray& nand) {
    const StateHeader& h = state.Header();
    r.plugged = h.plugged;
    r.dead = h.dead;
    r.replugPending = h.replugPending;
    r.state = ControllerState(h.bootState);
    r.twoPlane = h.twoPlane;
    r.fwInfo = int(h.fwInfo);
    r.altPages = h.altPages;
    r.timingCode = uint8_t(h.timingCode);
    r.voltageCode = uint8_t(h.voltageCode);
    r.commands = h.commands;
    r.refused = h.refused;
    r.flashFailures = h.flashFailures;
    r.plugCount = h.plugCount;
    r.randomBitFlips = h.randomFlips;
    r.modelledSeconds = double(h.modelledNs) / 1e9;
    r.lastRefusal = std::string(h.lastRefusal, strnlen(h.lastRefusal, sizeof h.lastRefusal));
    r.storedContents = h.contentCount;
    if (h.firmwareWritten) r.writtenFirmware.assign(h.firmwareVersion, strnlen(h.firmwareVersion, sizeof h.firmwareVersion));
    r.userSectors = h.userArea ? h.userSectors : 0;
    r.badMarks.assign(desc.ces, {});
    std::vector<uint8_t> page(desc.PageBytes());
    const uint32_t last = desc.pagesPerBlock - 1;
    for (uint32_t ce = 0; ce < desc.ces; ++ce) {
      for (uint32_t block = 0; block < desc.blocksPerCE; ++block) {
        const BlockEntry& be = state.Block(ce, block);
        r.totalErases += be.eraseCount;
        r.maxErases = std::max(r.maxErases, be.eraseCount);
        if (!nand.BlockExists(block)) continue;
        const PageEntry* pages = state.BlockPages(ce, block);
        for (uint32_t p = 0; p < desc.pagesPerBlock; ++p) r.programmedPages += pages[p].data != 0;
        auto spareByte = [&](uint32_t p, int i) { return uint8_t(~pages[p].spareInverted[i]); };
        auto tablePage = [&](uint32_t p) {
          if (spareByte(p, 4) != 0x00 || spareByte(p, 5) != 0x02) return false;
          state.Contents().Read(pages[p].data, page.data());
          return StartsWithBad(page);
        };
        if (tablePage(0) || tablePage(last)) {
          BadBlockTable t;
          t.ce = ce;
          t.block = block;
          t.closingPage = tablePage(last);
          for (uint32_t p = 0; p + 1 < desc.pagesPerBlock; ++p) {
            if (!tablePage(p)) break;
            for (size_t i = 4; i + 1 < page.size(); i += 2) {
              uint16_t v = uint16_t(page[i] << 8 | page[i + 1]);
              if (v == 0xFFFF) break;
              t.entries.push_back(v);
            }
          }
          r.tables.push_back(std::move(t));
          continue;
        }
        if (MarkByteSet(spareByte(0, 4)) || MarkByteSet(spareByte(0, 5)) || MarkByteSet(spareByte(last, 4)) ||
            MarkByteSet(spareByte(last, 5)))
          r.badMarks[ce].push_back(block);
      }
    }
    r.stateBytes = state.DiskBytes();
  });
  struct stat st{};
  if (stat((driveFolder + "/drive.ini").c_str(), &st) == 0) r.stateBytes += uint64_t(st.st_blocks) * 512;
  *report = std::move(r);
  return true;
}

bool ReadPage(const std::string& driveFolder, uint32_t ce, uint32_t block, uint32_t page,
              std::vector<uint8_t>* data, std::vector<uint8_t>* spare, std::string* error) {
  auto drive = SimDrive::Load(driveFolder, false, error);
  if (!drive) return false;
  const DriveSpec& desc = drive->Description();
  if (ce >= desc.ces || block >= desc.blocksPerCE || page >= desc.pagesPerBlock) {
    if (error) *error = "no such page";
    return false;
  }
  drive->WithState([&](FlashState&, NandArray& nand) {
    if (data) {
      data->resize(desc.PageBytes());
      nand.ReadPage(ce, block, page, data->data());
    }
    if (spare) {
      spare->resize(16);
      nand.ReadSpare(ce, block, page, spare->data());
    }
  });
  return true;
}

}  // namespace sim
