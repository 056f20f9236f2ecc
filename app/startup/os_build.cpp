#include "app/startup/os_build.h"

#include <cstring>

unsigned g_osBuildNumber = 0;

unsigned GetOsBuildNumber(const VersionReader& readVersion) {
  qv::OsVersionInfoEx info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = qv::kOsVersionInfoExSize;
  if (!readVersion(&info)) {
    // Systems before the extended record know only the plain one.
    info.dwOSVersionInfoSize = qv::kOsVersionInfoSize;
    if (!readVersion(&info)) return 0;
  }
  unsigned build = info.dwBuildNumber;
  if (info.dwPlatformId == qv::kPlatformWindows && info.dwMajorVersion == 4) {
    if (info.dwMinorVersion == 10)
      build = info.szCSDVersion[1] == 'A' ? kBuildWindows98SecondEdition : kBuildWindows98;
    else if (info.dwMinorVersion == 90)
      build = kBuildWindowsMe;
  }
  return build & 0xFFFF;
}

unsigned GetOsBuildNumber() {
  return GetOsBuildNumber([](qv::OsVersionInfoEx* info) { return qv::GetVersionEx(info); });
}
