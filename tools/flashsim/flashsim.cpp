// flashsim: the simulated machine's tool. Creates drives from a few
// options, shows what the simulator recorded, and plugs and unplugs them.
#include <strings.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "sim/ini_file.h"
#include "sim/sim_api.h"

namespace {

constexpr const char kHelp[] = R"(usage:
  flashsim create MACHINE LETTER [options]   create (or replace) a drive
  flashsim show MACHINE LETTER               what the simulator recorded
  flashsim unplug MACHINE LETTER             pull the drive
  flashsim plug MACHINE LETTER               plug it in again (the controller restarts)
  flashsim --help

MACHINE is a folder (the value of QUORVIN_SIM); each drive is the subfolder
LETTER holding drive.ini and its state. LETTER "none" with --disk N makes a
disk without a volume (folder diskN).

create options (defaults in brackets):
  --model M            KR423, KR425, KR421, KR422, KR428, KR429, KR436 or none [KR425]
  --tag TEXT           raw INQUIRY tag (bytes 36..55) instead of the model's
  --tag-revision XY    tag characters 8 and 9 [A0]
  --revision L         tag character 10, the controller revision letter [B]
  --chip-version TEXT  rest of the tag [0100]
  --vendor TEXT, --product TEXT, --product-revision TEXT   INQUIRY texts
  --firmware VERSION   the controller carries firmware of this version
  --dual-channel       the dual-channel attribute
  --flash-id "B0 B1 B2 B3 B4"   [98 D7 95 32 7A]
  --ces N              CEs, 1 to 4 [1]
  --blocks N           blocks per CE [1024]
  --pages N            pages per block [64]
  --sectors N          512-byte sectors per page [8]
  --planes N           planes [1]
  --slc                not MLC (MLC is the default)
  --dual-mode          dual-mode bit of the flash configuration
  --ecc N              controller memory byte 0x0059 [1]
  --type T             removable, fixed or cdrom [removable]
  --bus B              usb, ata, sata, scsi, nvme [usb]
  --disk N             disk number [the lowest one no other drive of the machine has]
  --absent             created unplugged
  --seed S             seed of the fault expansion and bit errors [1]
  --factory-bad N      N factory bad blocks (marked in their first or last page)
  --erase-fail N       N blocks whose erase fails
  --program-fail N     N blocks whose program fails from a random page on
  --weak N             N weak blocks; --weak-bits B wrong bits per sector [4]
  --stuck-bits N       N stuck-at-zero bits
  --bit-error-rate R   chance of a flipped bit per 512-byte sector read [0]
  --dead-after K       the flash dies after K commands
  --unplug-after K     the drive is pulled after K commands
  --sleep-fraction F   sleep this fraction of the modelled time [0]
  --check-condition    report flash failures as CHECK CONDITION

drive.ini keys (every key optional; what create writes is the full list):
  [Drive]      Letter (A..Z or none), Type (removable|fixed|cdrom|number),
               Bus (usb|ata|sata|scsi|atapi|nvme|number), Present (1: plugged
               when created; afterwards flashsim plug/unplug decide),
               DiskNumber
  [Controller] Model, InquiryTag (text) or InquiryTagHex (up to 20 hex bytes),
               TagRevision, RevisionLetter, ChipVersion, Vendor, Product,
               ProductRevision, HasFirmware, FirmwareVersion, DualChannel
  [Flash]      FlashId (5 hex bytes), CEs, BlocksPerCE, PagesPerBlock,
               SectorsPerPage, Planes, MLC, DualMode, EccByte,
               FlashConfig (34 hex bytes; derived from the geometry unless
               given), Gaps (missing block ranges "first-last,...", or none;
               unless given, 4146-8191 and 13312- for the flash IDs
               45 C5 95 A5 EA and 45 C5 95 E5 EA)
  [Faults]     Seed, FactoryBad (ce:block or ce:block:last, comma-separated),
               EraseFail (ce:block), ProgramFail (ce:block@page),
               Weak (ce:block), WeakBits, StuckBits (ce:block:page:byte:bit),
               FactoryBadCount, EraseFailCount, ProgramFailCount, WeakCount,
               StuckBitCount (expanded from Seed into the lists above),
               RandomBitErrorRate, DeadAfter, UnplugAfter (commands)
  [Timing]     CommandLatencyUs [125], BandwidthMBps [35], ReadPageUs [50],
               ProgramPageUs [600], EraseBlockUs [2000], SleepFraction [0]
  [Behaviour]  FailuresAsCheckCondition [0]
Plug events are appended to MACHINE/events as "<plug|unplug> <folder> <n>".
)";

int Usage() {
  std::fputs(kHelp, stderr);
  return 2;
}

bool HexId(const std::string& text, std::array<uint8_t, 5>* id) {
  std::string digits;
  for (char c : text)
    if (c != ' ' && c != ',' && c != ':') digits += c;
  if (digits.size() != 10) return false;
  for (int i = 0; i < 5; ++i) {
    char* end = nullptr;
    std::string pair = digits.substr(size_t(i) * 2, 2);
    (*id)[size_t(i)] = uint8_t(std::strtoul(pair.c_str(), &end, 16));
    if (*end) return false;
  }
  return true;
}

bool ParseModel(const std::string& text, uint16_t* model) {
  static const std::pair<const char*, uint16_t> kModels[] = {
      {"KR423", 0x423}, {"KR425", 0x425}, {"KR421", 0x421}, {"KR422", 0x422},
      {"KR428", 0x428}, {"KR429", 0x429}, {"KR436", 0x436}, {"none", 0}};
  for (auto [name, id] : kModels)
    if (strcasecmp(name, text.c_str()) == 0) {
      *model = id;
      return true;
    }
  return false;
}

// Disk numbers tell volumes and disks apart, so each drive needs its own.
uint32_t FreeDiskNumber(const std::string& machine, const std::string& replaced) {
  std::set<uint32_t> taken;
  for (const std::string& folder : sim::ListDriveFolders(machine)) {
    sim::DriveSpec other;
    if (folder != replaced && sim::LoadDriveSpec(folder + "/drive.ini", &other, nullptr)) taken.insert(other.diskNumber);
  }
  uint32_t n = 1;
  while (taken.count(n)) ++n;
  return n;
}

int Create(const std::string& machine, const std::string& letter, int argc, char** argv) {
  sim::DriveSpec s;
  s.letter = letter == "none" ? 0 : char(std::toupper(static_cast<unsigned char>(letter[0])));
  bool diskGiven = false;
  for (int i = 0; i < argc; ++i) {
    std::string opt = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "flashsim: %s needs a value\n", opt.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    auto number = [&]() -> long long {
      std::string v = value();
      long long n = 0;
      if (!sim::ParseInteger(v, &n) || n < 0) {
        std::fprintf(stderr, "flashsim: %s: not a number: %s\n", opt.c_str(), v.c_str());
        std::exit(2);
      }
      return n;
    };
    if (opt == "--model") {
      if (!ParseModel(value(), &s.controller)) return Usage();
    } else if (opt == "--tag") s.inquiryTag = value();
    else if (opt == "--tag-revision") s.tagRevision = value();
    else if (opt == "--revision") s.revisionLetter = value()[0];
    else if (opt == "--chip-version") s.chipVersion = value();
    else if (opt == "--vendor") s.vendor = value();
    else if (opt == "--product") s.product = value();
    else if (opt == "--product-revision") s.productRevision = value();
    else if (opt == "--firmware") { s.hasFirmware = true; s.firmwareVersion = value(); }
    else if (opt == "--dual-channel") s.dualChannel = true;
    else if (opt == "--flash-id") { if (!HexId(value(), &s.flashId)) return Usage(); }
    else if (opt == "--ces") s.ces = uint32_t(number());
    else if (opt == "--blocks") s.blocksPerCE = uint32_t(number());
    else if (opt == "--pages") s.pagesPerBlock = uint32_t(number());
    else if (opt == "--sectors") s.sectorsPerPage = uint32_t(number());
    else if (opt == "--planes") s.planes = uint32_t(number());
    else if (opt == "--slc") s.mlc = false;
    else if (opt == "--dual-mode") s.dualMode = true;
    else if (opt == "--ecc") s.eccByte = uint8_t(number());
    else if (opt == "--type") {
      std::string t = value();
      s.driveType = t == "fixed" ? 3 : t == "cdrom" ? 5 : t == "removable" ? 2 : 0;
      if (!s.driveType) return Usage();
    } else if (opt == "--bus") {
      std::string b = value();
      s.busType = b == "usb" ? 7 : b == "ata" ? 3 : b == "sata" ? 11 : b == "scsi" ? 1 : b == "nvme" ? 17 : 0;
      if (!s.busType) return Usage();
    } else if (opt == "--disk") {
      s.diskNumber = uint32_t(number());
      diskGiven = true;
    }
    else if (opt == "--absent") s.present = false;
    else if (opt == "--seed") s.faults.seed = uint32_t(number());
    else if (opt == "--factory-bad") s.faults.factoryBadCount = uint32_t(number());
    else if (opt == "--erase-fail") s.faults.eraseFailCount = uint32_t(number());
    else if (opt == "--program-fail") s.faults.programFailCount = uint32_t(number());
    else if (opt == "--weak") s.faults.weakCount = uint32_t(number());
    else if (opt == "--weak-bits") s.faults.weakBits = uint32_t(number());
    else if (opt == "--stuck-bits") s.faults.stuckBitCount = uint32_t(number());
    else if (opt == "--bit-error-rate") s.faults.randomBitErrorRate = std::atof(value().c_str());
    else if (opt == "--dead-after") s.faults.deadAfter = uint64_t(number());
    else if (opt == "--unplug-after") s.faults.unplugAfter = uint64_t(number());
    else if (opt == "--sleep-fraction") s.timing.sleepFraction = std::atof(value().c_str());
    else if (opt == "--check-condition") s.failuresAsCheckCondition = true;
    else {
      std::fprintf(stderr, "flashsim: unknown option %s\n", opt.c_str());
      return Usage();
    }
  }
  if (!diskGiven) s.diskNumber = FreeDiskNumber(machine, sim::DriveFolder(machine, s));
  std::string error;
  if (!sim::CreateDrive(machine, s, &error)) {
    std::fprintf(stderr, "flashsim: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", sim::DriveFolder(machine, s).c_str());
  return 0;
}

std::string Join(const std::vector<uint32_t>& v) {
  std::string out;
  for (uint32_t x : v) out += (out.empty() ? "" : " ") + std::to_string(x);
  return out.empty() ? "-" : out;
}

int Show(const std::string& folder) {
  sim::DriveReport r;
  sim::DriveSpec desc;
  std::string error;
  if (!sim::LoadDriveSpec(folder + "/drive.ini", &desc, &error) || !sim::Inspect(folder, &r, &error)) {
    std::fprintf(stderr, "flashsim: %s\n", error.c_str());
    return 1;
  }
  static const char* kStates[] = {"ROM", "discovery code", "engine code"};
  static const char* kFwInfo[] = {"none", "accepted", "disagrees with the flash"};
  std::printf("drive: %s\n", folder.c_str());
  std::printf("model: 0x%03x  flash ID: %02X %02X %02X %02X %02X  geometry: %u CE x %u blocks x %u pages x %u sectors, %u plane(s)\n",
              desc.controller, desc.flashId[0], desc.flashId[1], desc.flashId[2], desc.flashId[3], desc.flashId[4],
              desc.ces, desc.blocksPerCE, desc.pagesPerBlock, desc.sectorsPerPage, desc.planes);
  std::printf("plugged: %s  plugs: %llu  dead: %s  replug pending: %s\n", r.plugged ? "yes" : "no",
              (unsigned long long)r.plugCount, r.dead ? "yes" : "no", r.replugPending ? "yes" : "no");
  std::printf("controller: %s  two-plane: %s  FWInfo: %s%s  timing 0x%02X voltage 0x%02X\n",
              kStates[int(r.state) % 3], r.twoPlane ? "on" : "off", kFwInfo[r.fwInfo % 3],
              r.altPages ? " (alternate pages)" : "", r.timingCode, r.voltageCode);
  std::printf("commands: %llu  refused: %llu  flash failures: %llu  random bit flips: %llu\n",
              (unsigned long long)r.commands, (unsigned long long)r.refused, (unsigned long long)r.flashFailures,
              (unsigned long long)r.randomBitFlips);
  if (!r.lastRefusal.empty()) std::printf("last refusal: %s\n", r.lastRefusal.c_str());
  std::printf("modelled time: %.3f s\n", r.modelledSeconds);
  std::printf("firmware written by the repair: %s  user area: %llu sectors (%.1f MB)\n",
              r.writtenFirmware.empty() ? "-" : r.writtenFirmware.c_str(), (unsigned long long)r.userSectors,
              double(r.userSectors) * 512 / 1e6);
  std::printf("wear: %llu erases, at most %u on one block\n", (unsigned long long)r.totalErases, r.maxErases);
  std::printf("state: %.1f MB on disk, %llu programmed pages, %llu distinct contents\n", double(r.stateBytes) / 1e6,
              (unsigned long long)r.programmedPages, (unsigned long long)r.storedContents);
  std::printf("faults (seed %u):\n", r.faults.seed);
  std::string list;
  for (const auto& b : r.faults.factoryBad)
    list += " " + std::to_string(b.ce) + ":" + std::to_string(b.block) + (b.lastPage ? "(last)" : "");
  std::printf("  factory bad:%s\n", list.empty() ? " -" : list.c_str());
  list.clear();
  for (const auto& b : r.faults.eraseFail) list += " " + std::to_string(b.ce) + ":" + std::to_string(b.block);
  std::printf("  erase fails:%s\n", list.empty() ? " -" : list.c_str());
  list.clear();
  for (const auto& b : r.faults.programFail)
    list += " " + std::to_string(b.ce) + ":" + std::to_string(b.block) + "@" + std::to_string(b.fromPage);
  std::printf("  program fails:%s\n", list.empty() ? " -" : list.c_str());
  list.clear();
  for (const auto& b : r.faults.weak) list += " " + std::to_string(b.ce) + ":" + std::to_string(b.block);
  std::printf("  weak (%u bits):%s\n", r.faults.weakBits, list.empty() ? " -" : list.c_str());
  list.clear();
  for (const auto& b : r.faults.stuckBits)
    list += " " + std::to_string(b.ce) + ":" + std::to_string(b.block) + ":" + std::to_string(b.page) + ":" +
            std::to_string(b.byteOffset) + ":" + std::to_string(b.bit);
  std::printf("  stuck bits:%s\n", list.empty() ? " -" : list.c_str());
  std::printf("  random bit error rate: %g  dead after: %llu  unplug after: %llu\n", r.faults.randomBitErrorRate,
              (unsigned long long)r.faults.deadAfter, (unsigned long long)r.faults.unplugAfter);
  for (size_t ce = 0; ce < r.badMarks.size(); ++ce)
    std::printf("bad marks CE %zu (%zu): %s\n", ce, r.badMarks[ce].size(), Join(r.badMarks[ce]).c_str());
  if (r.tables.empty()) std::printf("\"bad_\" tables: none\n");
  for (const auto& t : r.tables)
    std::printf("\"bad_\" table CE %u block %u%s (%zu entries): %s\n", t.ce, t.block,
                t.closingPage ? " with closing page" : "", t.entries.size(), Join(t.entries).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc < 4) return Usage();
  std::string command = argv[1], machine = argv[2], letter = argv[3];
  if (letter.empty()) return Usage();
  if (command == "create") return Create(machine, letter, argc - 4, argv + 4);
  std::string folder = letter.size() == 1 ? sim::DriveFolder(machine, letter[0]) : machine + "/" + letter;
  if (command == "show") return Show(folder);
  if (command == "unplug" || command == "plug") {
    std::string error;
    if (!sim::SetPlugged(folder, command == "plug", &error)) {
      std::fprintf(stderr, "flashsim: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  return Usage();
}
