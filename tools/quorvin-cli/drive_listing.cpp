#include "tools/quorvin-cli/drive_listing.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "platform/storage.h"

namespace {

const char* DriveTypeText(uint32_t type) {
  switch (type) {
    case qv::kDriveRemovable: return "removable";
    case qv::kDriveFixed: return "fixed";
    case qv::kDriveCdrom: return "cd";
    case qv::kDriveRemote: return "remote";
    case qv::kDriveRamdisk: return "ramdisk";
    default: return "unknown";
  }
}

std::string BusText(uint32_t bus) {
  switch (bus) {
    case qv::kBusUsb: return "usb";
    case qv::kBusScsi: return "scsi";
    case qv::kBusAta: return "ata";
    case qv::kBusSata: return "sata";
    case qv::kBusNvme: return "nvme";
    case 12: return "sd";
    default: return "other";
  }
}

std::string SizeText(uint64_t bytes) {
  if (!bytes) return "-";
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  double v = static_cast<double>(bytes);
  int u = 0;
  while (v >= 1024 && u < 4) v /= 1024, ++u;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f %s", v, units[u]);
  return buf;
}

std::string Trimmed(const uint8_t* p, size_t n) {
  std::string s;
  for (size_t i = 0; i < n && p[i]; ++i) s.push_back(p[i] >= 0x20 && p[i] < 0x7F ? static_cast<char>(p[i]) : '.');
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string VolumePath(char letter) { return std::string("\\\\.\\") + letter + ":"; }

bool BusOf(char letter, uint32_t* bus) {
  auto dev = qv::OpenDevice(VolumePath(letter), qv::kOpenRead);
  return dev && dev->QueryBusType(bus);
}

std::string FlashIdText(const uint8_t id[5]) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02X %02X %02X %02X %02X", id[0], id[1], id[2], id[3], id[4]);
  return buf;
}

// Runs discovery for the letter and reads what the library found.
bool Discover(SievexImport& sievex, char letter, _USBDevceInfo* info) {
  alignas(16) unsigned char object[260];
  char name[2] = {letter, 0};
  sievex.Construct(object, name, 1);
  int result = 0;
  std::memset(info, 0, sizeof *info);
  bool have = sievex.GetDeviceInfo(object, info, &result) && result == 1;
  sievex.Destroy(object);
  return have;
}

}  // namespace

bool HasRawScsiPrivilege() {
  const char* sim = std::getenv("QUORVIN_SIM");
  if (sim && *sim) return true;
  if (geteuid() == 0) return true;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("CapEff:", 0) == 0) {
      unsigned long long caps = std::strtoull(line.c_str() + 7, nullptr, 16);
      return (caps >> 17) & 1;  // CAP_SYS_RAWIO
    }
  }
  return false;
}

bool ReadInquiryText(char letter, InquiryText* out) {
  auto dev = qv::OpenDevice(VolumePath(letter), qv::kOpenRead | qv::kOpenWrite);
  if (!dev) return false;
  uint8_t cdb[6] = {0x12, 0, 0, 0, 0xB4, 0};
  uint8_t data[180] = {};
  qv::ScsiCommand cmd;
  cmd.cdb = cdb;
  cmd.cdbLength = 6;
  cmd.direction = qv::ScsiDirection::kIn;
  cmd.data = data;
  cmd.dataLength = sizeof data;
  cmd.timeoutSeconds = 20;
  cmd.senseLength = 24;
  qv::ScsiResult r = dev->PassThrough(cmd);
  if (!r.delivered || r.scsiStatus != 0) return false;
  out->vendor = Trimmed(data + 8, 8);
  out->product = Trimmed(data + 16, 16);
  out->tag = Trimmed(data + 36, 20);
  return true;
}

int ListDrives(SievexImport& sievex) {
  uint32_t mask = qv::GetLogicalDrives();
  std::printf("%-6s %-14s %-10s %-6s %-10s %s\n", "DRIVE", "DEVICE", "TYPE", "BUS", "SIZE",
              "CONTROLLER / FLASH");
  bool privileged = HasRawScsiPrivilege();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    char letter = static_cast<char>('A' + i);
    std::string root = std::string(1, letter) + ":\\";
    uint32_t type = qv::GetDriveType(root);
    uint32_t bus = 0;
    bool haveBus = BusOf(letter, &bus);
    std::string what = "-";
    if (haveBus && bus == qv::kBusUsb && type != qv::kDriveCdrom) {
      InquiryText inq;
      if (!privileged) {
        what = "(needs root or CAP_SYS_RAWIO to identify)";
      } else if (ReadInquiryText(letter, &inq)) {
        what = inq.vendor + " " + inq.product + " [" + inq.tag + "]";
        _USBDevceInfo info;
        if (Discover(sievex, letter, &info))
          what += " flash " + FlashIdText(info.m_FlashId) + ", " + std::to_string(info.m_dwCENo) +
                  " CE x " + std::to_string(info.m_dwBlocksPerCE) + " blocks";
        else
          what += " (not a supported controller)";
      } else {
        what = "(does not answer INQUIRY)";
      }
    }
    std::printf("%c:     %-14s %-10s %-6s %-10s %s\n", letter, qv::Storage().Describe(letter).c_str(),
                DriveTypeText(type), haveBus ? BusText(bus).c_str() : "-",
                SizeText(qv::Storage().SizeBytes(letter)).c_str(), what.c_str());
  }
  return kExitOk;
}

int ShowDriveInfo(SievexImport& sievex, char letter, bool json) {
  if (!(qv::GetLogicalDrives() & (1u << (letter - 'A')))) {
    std::fprintf(stderr, "quorvin-cli: no drive %c:\n", letter);
    return kExitNoDevice;
  }
  if (!HasRawScsiPrivilege()) {
    std::fprintf(stderr, "quorvin-cli: %c: needs root or CAP_SYS_RAWIO to send raw SCSI commands\n", letter);
    return kExitPrivilege;
  }
  _USBDevceInfo info;
  if (!Discover(sievex, letter, &info)) {
    std::fprintf(stderr, "quorvin-cli: %c: is not a supported USB drive\n", letter);
    return kExitNoDevice;
  }
  InquiryText inq;
  ReadInquiryText(letter, &inq);
  if (json) {
    std::printf(
        "{\"drive\": \"%c:\", \"vendor\": \"%s\", \"product\": \"%s\", \"tag\": \"%s\", "
        "\"flashId\": \"%s\", \"ces\": %u, \"planes\": %u, \"pagesPerBlock\": %u, "
        "\"sectorsPerPage\": %u, \"sectorsPerBlock\": %u, \"blocksPerCE\": %u, \"mlc\": %u, "
        "\"dualMode\": %u, \"configHigh\": %u, \"flashSizeCode\": %u}\n",
        letter, inq.vendor.c_str(), inq.product.c_str(), inq.tag.c_str(),
        FlashIdText(info.m_FlashId).c_str(), info.m_dwCENo, info.m_bPlaneCount,
        info.m_dwPagesPerBlock, info.m_dwSectorsPerPage, info.m_dwSectorsPerBlock,
        info.m_dwBlocksPerCE, info.m_dwMLC, info.m_dwDualMode, info.m_bConfigHigh,
        info.m_bFlashSize);
    return kExitOk;
  }
  std::printf("Drive              %c:\n", letter);
  std::printf("Vendor / product   %s / %s\n", inq.vendor.c_str(), inq.product.c_str());
  std::printf("Controller tag     %s\n", inq.tag.c_str());
  std::printf("Flash ID           %s\n", FlashIdText(info.m_FlashId).c_str());
  std::printf("CEs                %u\n", info.m_dwCENo);
  std::printf("Planes             %u\n", info.m_bPlaneCount);
  std::printf("Pages per block    %u\n", info.m_dwPagesPerBlock);
  std::printf("Sectors per page   %u\n", info.m_dwSectorsPerPage);
  std::printf("Sectors per block  %u\n", info.m_dwSectorsPerBlock);
  std::printf("Blocks per CE      %u\n", info.m_dwBlocksPerCE);
  std::printf("MLC                %u\n", info.m_dwMLC);
  std::printf("Dual mode          %u\n", info.m_dwDualMode);
  std::printf("Flash size code    %u\n", info.m_bFlashSize);
  return kExitOk;
}
