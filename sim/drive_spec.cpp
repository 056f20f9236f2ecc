#include "sim/drive_spec.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "sim/ini_file.h"

namespace sim {

namespace {

struct NamedValue {
  const char* name;
  uint32_t value;
};
constexpr NamedValue kDriveTypes[] = {{"removable", 2}, {"fixed", 3}, {"remote", 4}, {"cdrom", 5}, {"ramdisk", 6}};
constexpr NamedValue kBusTypes[] = {{"scsi", 1}, {"atapi", 2}, {"ata", 3}, {"usb", 7}, {"sata", 11}, {"nvme", 17}};
constexpr NamedValue kModels[] = {{"KR423", 0x423}, {"KR425", 0x425}, {"KR421", 0x421}, {"KR422", 0x422},
                                  {"KR428", 0x428}, {"KR429", 0x429}, {"KR436", 0x436}, {"none", 0}};

template <size_t N>
bool FromName(const NamedValue (&table)[N], const std::string& text, uint32_t* out) {
  for (const NamedValue& nv : table)
    if (strcasecmp(nv.name, text.c_str()) == 0) {
      *out = nv.value;
      return true;
    }
  long long v = 0;
  if (ParseInteger(text, &v) && v >= 0) {
    *out = uint32_t(v);
    return true;
  }
  return false;
}

template <size_t N>
std::string ToName(const NamedValue (&table)[N], uint32_t value, bool hex) {
  for (const NamedValue& nv : table)
    if (nv.value == value) return nv.name;
  char buf[16];
  std::snprintf(buf, sizeof buf, hex ? "0x%x" : "%u", value);
  return buf;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  std::string item;
  std::stringstream ss(text);
  while (std::getline(ss, item, ',')) {
    size_t a = item.find_first_not_of(" \t"), b = item.find_last_not_of(" \t");
    if (a != std::string::npos) out.push_back(item.substr(a, b - a + 1));
  }
  return out;
}

// "a:b:c" or "a:b@c" into numbers.
bool SplitNumbers(const std::string& item, std::vector<long long>* numbers, std::string* word) {
  numbers->clear();
  std::string cur;
  auto flush = [&]() -> bool {
    long long v = 0;
    if (cur.empty()) return true;
    if (!ParseInteger(cur, &v)) {
      if (word && word->empty()) {
        *word = cur;
        cur.clear();
        return true;
      }
      return false;
    }
    numbers->push_back(v);
    cur.clear();
    return true;
  };
  for (char c : item) {
    if (c == ':' || c == '@') {
      if (!flush()) return false;
    } else {
      cur += c;
    }
  }
  return flush();
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* out) {
  out->clear();
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == ',' || c == ':' || c == '\t') continue;
    digits += c;
  }
  if (digits.size() % 2) return false;
  for (size_t i = 0; i < digits.size(); i += 2) {
    char pair[3] = {digits[i], digits[i + 1], 0};
    char* end = nullptr;
    long v = std::strtol(pair, &end, 16);
    if (*end) return false;
    out->push_back(uint8_t(v));
  }
  return true;
}

std::string HexBytes(const uint8_t* data, size_t size) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", data[i]);
    out += buf;
  }
  return out;
}

std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

}  // namespace

bool LoadDriveSpec(const std::string& iniPath, DriveSpec* desc, std::string* error) {
  IniFile ini;
  auto fail = [&](const std::string& why) {
    if (error) *error = iniPath + ": " + why;
    return false;
  };
  if (!ini.Load(iniPath)) return fail("cannot be read");
  DriveSpec s;

  std::string letter = ini.Get("Drive", "Letter", "E");
  s.letter = letter.empty() || letter == "none" ? 0 : char(std::toupper(static_cast<unsigned char>(letter[0])));
  if (s.letter && (s.letter < 'A' || s.letter > 'Z')) return fail("Letter must be A..Z or none");
  if (!FromName(kDriveTypes, ini.Get("Drive", "Type", "removable"), &s.driveType)) return fail("bad Type");
  if (!FromName(kBusTypes, ini.Get("Drive", "Bus", "usb"), &s.busType)) return fail("bad Bus");
  s.present = ini.GetInt("Drive", "Present", 1) != 0;
  s.diskNumber = uint32_t(ini.GetInt("Drive", "DiskNumber", 1));

  uint32_t model = 0;
  if (!FromName(kModels, ini.Get("Controller", "Model", "KR425"), &model)) return fail("bad Model");
  s.controller = uint16_t(model);
  s.inquiryTag = ini.Get("Controller", "InquiryTag");
  if (ini.Has("Controller", "InquiryTagHex")) {
    std::vector<uint8_t> raw;
    if (!ParseHexBytes(ini.Get("Controller", "InquiryTagHex"), &raw) || raw.size() > 20)
      return fail("InquiryTagHex must hold at most 20 bytes");
    s.inquiryTag.assign(raw.begin(), raw.end());
  }
  s.tagRevision = ini.Get("Controller", "TagRevision", "A0");
  std::string rev = ini.Get("Controller", "RevisionLetter", "B");
  s.revisionLetter = rev.empty() ? 'B' : rev[0];
  s.chipVersion = ini.Get("Controller", "ChipVersion", s.chipVersion);
  s.vendor = ini.Get("Controller", "Vendor", s.vendor);
  s.product = ini.Get("Controller", "Product", s.product);
  s.productRevision = ini.Get("Controller", "ProductRevision", s.productRevision);
  s.hasFirmware = ini.GetInt("Controller", "HasFirmware", 0) != 0;
  s.firmwareVersion = ini.Get("Controller", "FirmwareVersion");
  s.dualChannel = ini.GetInt("Controller", "DualChannel", 0) != 0;

  if (ini.Has("Flash", "FlashId")) {
    std::vector<uint8_t> id;
    if (!ParseHexBytes(ini.Get("Flash", "FlashId"), &id) || id.size() != 5) return fail("FlashId must hold 5 bytes");
    std::memcpy(s.flashId.data(), id.data(), 5);
  }
  s.ces = uint32_t(ini.GetInt("Flash", "CEs", s.ces));
  s.blocksPerCE = uint32_t(ini.GetInt("Flash", "BlocksPerCE", s.blocksPerCE));
  s.pagesPerBlock = uint32_t(ini.GetInt("Flash", "PagesPerBlock", s.pagesPerBlock));
  s.sectorsPerPage = uint32_t(ini.GetInt("Flash", "SectorsPerPage", s.sectorsPerPage));
  s.planes = uint32_t(ini.GetInt("Flash", "Planes", s.planes));
  s.mlc = ini.GetInt("Flash", "MLC", s.mlc) != 0;
  s.dualMode = ini.GetInt("Flash", "DualMode", s.dualMode) != 0;
  s.eccByte = uint8_t(ini.GetInt("Flash", "EccByte", s.eccByte));
  if (ini.Has("Flash", "FlashConfig") && !ini.Get("Flash", "FlashConfig").empty()) {
    if (!ParseHexBytes(ini.Get("Flash", "FlashConfig"), &s.flashConfig) || s.flashConfig.size() != 34)
      return fail("FlashConfig must hold 34 bytes");
  }
  if (ini.Has("Flash", "Gaps")) {
    s.gapsGiven = true;
    std::string g = ini.Get("Flash", "Gaps");
    if (g != "none") {
      for (const std::string& item : SplitList(g)) {
        size_t dash = item.find('-');
        long long a = 0, b = 0;
        if (dash == std::string::npos || !ParseInteger(item.substr(0, dash), &a) ||
            !ParseInteger(item.substr(dash + 1), &b) || a < 0 || b < a)
          return fail("Gaps: ranges first-last, or none");
        s.gaps.emplace_back(uint32_t(a), uint32_t(b));
      }
    }
  }

  FaultSpec& f = s.faults;
  f.seed = uint32_t(ini.GetInt("Faults", "Seed", f.seed));
  std::vector<long long> n;
  for (const std::string& item : SplitList(ini.Get("Faults", "FactoryBad"))) {
    std::string word;
    if (!SplitNumbers(item, &n, &word) || n.size() != 2 || (!word.empty() && word != "last"))
      return fail("FactoryBad: items ce:block or ce:block:last");
    f.factoryBad.push_back({uint32_t(n[0]), uint32_t(n[1]), word == "last"});
  }
  for (const std::string& item : SplitList(ini.Get("Faults", "EraseFail"))) {
    if (!SplitNumbers(item, &n, nullptr) || n.size() != 2) return fail("EraseFail: items ce:block");
    f.eraseFail.push_back({uint32_t(n[0]), uint32_t(n[1])});
  }
  for (const std::string& item : SplitList(ini.Get("Faults", "ProgramFail"))) {
    if (!SplitNumbers(item, &n, nullptr) || n.size() != 3) return fail("ProgramFail: items ce:block@page");
    f.programFail.push_back({uint32_t(n[0]), uint32_t(n[1]), uint32_t(n[2])});
  }
  for (const std::string& item : SplitList(ini.Get("Faults", "Weak"))) {
    if (!SplitNumbers(item, &n, nullptr) || n.size() != 2) return fail("Weak: items ce:block");
    f.weak.push_back({uint32_t(n[0]), uint32_t(n[1])});
  }
  for (const std::string& item : SplitList(ini.Get("Faults", "StuckBits"))) {
    if (!SplitNumbers(item, &n, nullptr) || n.size() != 5 || n[4] < 0 || n[4] > 7)
      return fail("StuckBits: items ce:block:page:byte:bit");
    f.stuckBits.push_back({uint32_t(n[0]), uint32_t(n[1]), uint32_t(n[2]), uint32_t(n[3]), uint8_t(n[4])});
  }
  f.factoryBadCount = uint32_t(ini.GetInt("Faults", "FactoryBadCount", 0));
  f.eraseFailCount = uint32_t(ini.GetInt("Faults", "EraseFailCount", 0));
  f.programFailCount = uint32_t(ini.GetInt("Faults", "ProgramFailCount", 0));
  f.weakCount = uint32_t(ini.GetInt("Faults", "WeakCount", 0));
  f.weakBits = uint32_t(ini.GetInt("Faults", "WeakBits", f.weakBits));
  f.stuckBitCount = uint32_t(ini.GetInt("Faults", "StuckBitCount", 0));
  f.randomBitErrorRate = ini.GetDouble("Faults", "RandomBitErrorRate", 0);
  f.deadAfter = uint64_t(ini.GetInt("Faults", "DeadAfter", 0));
  f.unplugAfter = uint64_t(ini.GetInt("Faults", "UnplugAfter", 0));

  TimingSpec& t = s.timing;
  t.commandLatencyUs = ini.GetDouble("Timing", "CommandLatencyUs", t.commandLatencyUs);
  t.bandwidthMBps = ini.GetDouble("Timing", "BandwidthMBps", t.bandwidthMBps);
  t.readPageUs = ini.GetDouble("Timing", "ReadPageUs", t.readPageUs);
  t.programPageUs = ini.GetDouble("Timing", "ProgramPageUs", t.programPageUs);
  t.eraseBlockUs = ini.GetDouble("Timing", "EraseBlockUs", t.eraseBlockUs);
  t.sleepFraction = ini.GetDouble("Timing", "SleepFraction", t.sleepFraction);

  s.failuresAsCheckCondition = ini.GetInt("Behaviour", "FailuresAsCheckCondition", 0) != 0;

  if (!ValidateDriveSpec(s, error)) return false;
  *desc = std::move(s);
  return true;
}

bool SaveDriveSpec(const std::string& iniPath, const DriveSpec& s) {
  IniFile ini;
  ini.Set("Drive", "Letter", s.letter ? std::string(1, s.letter) : "none");
  ini.Set("Drive", "Type", ToName(kDriveTypes, s.driveType, false));
  ini.Set("Drive", "Bus", ToName(kBusTypes, s.busType, false));
  ini.Set("Drive", "Present", s.present ? "1" : "0");
  ini.Set("Drive", "DiskNumber", std::to_string(s.diskNumber));

  ini.Set("Controller", "Model", ToName(kModels, s.controller, true));
  if (!s.inquiryTag.empty())
    ini.Set("Controller", "InquiryTagHex",
            HexBytes(reinterpret_cast<const uint8_t*>(s.inquiryTag.data()), s.inquiryTag.size()));
  ini.Set("Controller", "TagRevision", s.tagRevision);
  ini.Set("Controller", "RevisionLetter", std::string(1, s.revisionLetter));
  ini.Set("Controller", "ChipVersion", s.chipVersion);
  ini.Set("Controller", "Vendor", s.vendor);
  ini.Set("Controller", "Product", s.product);
  ini.Set("Controller", "ProductRevision", s.productRevision);
  ini.Set("Controller", "HasFirmware", s.hasFirmware ? "1" : "0");
  ini.Set("Controller", "FirmwareVersion", s.firmwareVersion);
  ini.Set("Controller", "DualChannel", s.dualChannel ? "1" : "0");

  ini.Set("Flash", "FlashId", HexBytes(s.flashId.data(), 5));
  ini.Set("Flash", "CEs", std::to_string(s.ces));
  ini.Set("Flash", "BlocksPerCE", std::to_string(s.blocksPerCE));
  ini.Set("Flash", "PagesPerBlock", std::to_string(s.pagesPerBlock));
  ini.Set("Flash", "SectorsPerPage", std::to_string(s.sectorsPerPage));
  ini.Set("Flash", "Planes", std::to_string(s.planes));
  ini.Set("Flash", "MLC", s.mlc ? "1" : "0");
  ini.Set("Flash", "DualMode", s.dualMode ? "1" : "0");
  ini.Set("Flash", "EccByte", std::to_string(s.eccByte));
  if (!s.flashConfig.empty()) ini.Set("Flash", "FlashConfig", HexBytes(s.flashConfig.data(), s.flashConfig.size()));
  if (s.gapsGiven) {
    std::string g;
    for (auto [a, b] : s.gaps) g += (g.empty() ? "" : ",") + std::to_string(a) + "-" + std::to_string(b);
    ini.Set("Flash", "Gaps", g.empty() ? "none" : g);
  }

  const FaultSpec& f = s.faults;
  ini.Set("Faults", "Seed", std::to_string(f.seed));
  std::string list;
  for (const auto& b : f.factoryBad)
    list += (list.empty() ? "" : ",") + std::to_string(b.ce) + ":" + std::to_string(b.block) + (b.lastPage ? ":last" : "");
  ini.Set("Faults", "FactoryBad", list);
  list.clear();
  for (const auto& b : f.eraseFail) list += (list.empty() ? "" : ",") + std::to_string(b.ce) + ":" + std::to_string(b.block);
  ini.Set("Faults", "EraseFail", list);
  list.clear();
  for (const auto& b : f.programFail)
    list += (list.empty() ? "" : ",") + std::to_string(b.ce) + ":" + std::to_string(b.block) + "@" + std::to_string(b.fromPage);
  ini.Set("Faults", "ProgramFail", list);
  list.clear();
  for (const auto& b : f.weak) list += (list.empty() ? "" : ",") + std::to_string(b.ce) + ":" + std::to_string(b.block);
  ini.Set("Faults", "Weak", list);
  ini.Set("Faults", "WeakBits", std::to_string(f.weakBits));
  list.clear();
  for (const auto& b : f.stuckBits)
    list += (list.empty() ? "" : ",") + std::to_string(b.ce) + ":" + std::to_string(b.block) + ":" + std::to_string(b.page) +
            ":" + std::to_string(b.byteOffset) + ":" + std::to_string(b.bit);
  ini.Set("Faults", "StuckBits", list);
  if (f.factoryBadCount) ini.Set("Faults", "FactoryBadCount", std::to_string(f.factoryBadCount));
  if (f.eraseFailCount) ini.Set("Faults", "EraseFailCount", std::to_string(f.eraseFailCount));
  if (f.programFailCount) ini.Set("Faults", "ProgramFailCount", std::to_string(f.programFailCount));
  if (f.weakCount) ini.Set("Faults", "WeakCount", std::to_string(f.weakCount));
  if (f.stuckBitCount) ini.Set("Faults", "StuckBitCount", std::to_string(f.stuckBitCount));
  ini.Set("Faults", "RandomBitErrorRate", Num(f.randomBitErrorRate));
  ini.Set("Faults", "DeadAfter", std::to_string(f.deadAfter));
  ini.Set("Faults", "UnplugAfter", std::to_string(f.unplugAfter));

  const TimingSpec& t = s.timing;
  ini.Set("Timing", "CommandLatencyUs", Num(t.commandLatencyUs));
  ini.Set("Timing", "BandwidthMBps", Num(t.bandwidthMBps));
  ini.Set("Timing", "ReadPageUs", Num(t.readPageUs));
  ini.Set("Timing", "ProgramPageUs", Num(t.programPageUs));
  ini.Set("Timing", "EraseBlockUs", Num(t.eraseBlockUs));
  ini.Set("Timing", "SleepFraction", Num(t.sleepFraction));

  ini.Set("Behaviour", "FailuresAsCheckCondition", s.failuresAsCheckCondition ? "1" : "0");
  return ini.Save(iniPath);
}

std::array<uint8_t, 20> InquiryTag(const DriveSpec& s) {
  std::array<uint8_t, 20> tag{};
  std::string text;
  if (!s.inquiryTag.empty()) {
    text = s.inquiryTag;
  } else {
    std::string rev2 = (s.tagRevision + "00").substr(0, 2);
    switch (s.controller) {
      case 0x423: text = "KrffK423" + rev2 + std::string(1, s.revisionLetter) + s.chipVersion; break;
      case 0x436: text = "KrffK423" + rev2 + "F" + s.chipVersion; break;
      case 0x425: text = "KrffK425" + rev2 + std::string(1, s.revisionLetter) + s.chipVersion; break;
      case 0x421: text = "KR0-" + s.chipVersion; break;
      case 0x422: text = "KR1-" + s.chipVersion; break;
      case 0x429: text = "KR2-" + s.chipVersion; break;
      case 0x428: text = "Qxs-" + s.chipVersion; break;
      default: break;  // a plain disk carries no tag
    }
  }
  std::memcpy(tag.data(), text.data(), std::min<size_t>(text.size(), tag.size()));
  return tag;
}

std::array<uint8_t, 34> FlashConfig(const DriveSpec& s) {
  std::array<uint8_t, 34> c{};
  if (s.flashConfig.size() == c.size()) {
    std::memcpy(c.data(), s.flashConfig.data(), c.size());
    return c;
  }
  // Size code: position of the CE's capacity in 128M, 256M, ... 512G (bits).
  uint64_t bits = uint64_t(s.blocksPerCE) * s.SectorsPerBlock() * 512 * 8;
  uint8_t sizeCode = 0;
  for (unsigned i = 1; i <= 13; ++i)
    if (bits == (uint64_t(1) << (26 + i))) sizeCode = uint8_t(i);
  c[0] = sizeCode;
  c[1] = uint8_t((s.mlc ? 0x10 : 0) | (s.dualMode ? 0x20 : 0));
  c[2] = s.pagesPerBlock >= 256 ? 0xFF : uint8_t(s.pagesPerBlock);
  uint32_t units = 1;
  while (s.blocksPerCE / units > 0xFFFF) units *= 2;
  uint32_t perUnit = s.blocksPerCE / units;
  c[3] = uint8_t(perUnit >> 8);
  c[4] = uint8_t(perUnit);
  c[5] = uint8_t(units);
  c[6] = uint8_t(s.ces);
  c[7] = uint8_t(s.SectorsPerBlock() >> 8);
  c[8] = uint8_t(s.SectorsPerBlock());
  c[21] = uint8_t(s.planes);
  return c;
}

std::vector<std::pair<uint32_t, uint32_t>> MissingBlocks(const DriveSpec& s) {
  if (s.gapsGiven) return s.gaps;
  const auto& id = s.flashId;
  if (id[0] == 0x45 && id[1] == 0xC5 && id[2] == 0x95 && (id[3] == 0xA5 || id[3] == 0xE5) && id[4] == 0xEA)
    return {{4146, 8191}, {13312, 0xFFFFFFFFu}};
  return {};
}

uint16_t ControllerFromTag(const std::array<uint8_t, 20>& tag) {
  std::string text(reinterpret_cast<const char*>(tag.data()), strnlen(reinterpret_cast<const char*>(tag.data()), 20));
  auto has = [&](const char* s) { return text.find(s) != std::string::npos; };
  if (has("Qxs")) return 0x428;
  if (has("KR0")) return 0x421;
  if (has("KR1")) return 0x422;
  if (has("KR2")) return 0x429;
  if (has("Krff")) {
    if (has("K423") || has("0423")) return text.size() > 10 && text[10] == 'F' ? 0x436 : 0x423;
    if (has("K425") || has("0425")) return 0x425;
    return 0;
  }
  return 0;
}

bool TagNeedsBootCode(const std::array<uint8_t, 20>& tag) {
  std::string text(reinterpret_cast<const char*>(tag.data()), strnlen(reinterpret_cast<const char*>(tag.data()), 20));
  return text.find("Krff") != std::string::npos;
}

bool ValidateDriveSpec(const DriveSpec& s, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return false;
  };
  if (s.ces < 1 || s.ces > 4) return fail("CEs must be 1 to 4");
  if (s.blocksPerCE < 1 || s.blocksPerCE > (1u << 20)) return fail("BlocksPerCE must be 1 to 1048576");
  if (s.pagesPerBlock < 1 || s.pagesPerBlock > 1024) return fail("PagesPerBlock must be 1 to 1024");
  if (s.sectorsPerPage < 1 || s.sectorsPerPage > 128) return fail("SectorsPerPage must be 1 to 128");
  if (s.SectorsPerBlock() > 0xFFFF) return fail("sectors per block must fit 16 bits");
  if (uint64_t(s.blocksPerCE) * s.SectorsPerBlock() > 0xFFFFFFFFull) return fail("a CE must fit 32-bit sector addresses");
  if (s.planes < 1 || s.planes > 4) return fail("Planes must be 1 to 4");
  if (s.faults.weakBits > 4096) return fail("WeakBits must be at most 4096");
  if (s.faults.randomBitErrorRate < 0 || s.faults.randomBitErrorRate > 1) return fail("RandomBitErrorRate must be 0 to 1");
  if (s.timing.sleepFraction < 0 || s.timing.sleepFraction > 1) return fail("SleepFraction must be 0 to 1");
  if (s.timing.bandwidthMBps <= 0) return fail("BandwidthMBps must be positive");
  auto inFlash = [&](uint32_t ce, uint32_t block) { return ce < s.ces && block < s.blocksPerCE; };
  for (const auto& b : s.faults.factoryBad) if (!inFlash(b.ce, b.block)) return fail("FactoryBad names a block beyond the flash");
  for (const auto& b : s.faults.eraseFail) if (!inFlash(b.ce, b.block)) return fail("EraseFail names a block beyond the flash");
  for (const auto& b : s.faults.programFail) if (!inFlash(b.ce, b.block)) return fail("ProgramFail names a block beyond the flash");
  for (const auto& b : s.faults.weak) if (!inFlash(b.ce, b.block)) return fail("Weak names a block beyond the flash");
  for (const auto& b : s.faults.stuckBits)
    if (!inFlash(b.ce, b.block) || b.page >= s.pagesPerBlock || b.byteOffset >= s.PageBytes())
      return fail("StuckBits names a bit beyond the flash");
  return true;
}

}  // namespace sim
