#include "app/startup/admission.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/files.h"

namespace {

// Bit of CAP_SYS_RAWIO in the capability masks.
constexpr unsigned kCapSysRawio = 17;

}  // namespace

bool IsStartAdmitted(unsigned osBuild, bool usesRealDrives,
                     const std::function<bool()>& isUserAdministrator) {
  bool buildNeedsIt =
      osBuild >= kFirstBuildNeedingAdministrator && osBuild <= kLastBuildNeedingAdministrator;
  if (!buildNeedsIt && !usesRealDrives) return true;
  return isUserAdministrator();
}

bool HasRawIoPrivilege(unsigned effectiveUid, std::string_view procStatus) {
  if (effectiveUid == 0) return true;
  constexpr std::string_view kKey = "\nCapEff:";
  size_t at = procStatus.find(kKey);
  if (at == std::string_view::npos) return false;
  size_t pos = at + kKey.size();
  while (pos < procStatus.size() && (procStatus[pos] == ' ' || procStatus[pos] == '\t')) ++pos;
  uint64_t mask = 0;
  size_t digits = 0;
  for (; pos < procStatus.size() && digits < 16; ++pos, ++digits) {
    char c = procStatus[pos];
    unsigned v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else break;
    mask = (mask << 4) | v;
  }
  return digits > 0 && ((mask >> kCapSysRawio) & 1) != 0;
}

bool IsUserAdministrator() {
  std::string status;
  if (!qv::ReadWholeFile("/proc/self/status", &status)) status.clear();
  return HasRawIoPrivilege(geteuid(), "\n" + status);
}

bool UsesRealDrives() {
  const char* sim = std::getenv("QUORVIN_SIM");
  return !(sim && *sim);
}
