// The system's version record and its reader, in the system's own layout:
// the plain record (148 bytes) and the extended one (156 bytes), told apart
// by the size field the caller sets.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qv {

// Platform ids of the version record.
constexpr uint32_t kPlatformWin32s = 0;
constexpr uint32_t kPlatformWindows = 1;  // the 9x line
constexpr uint32_t kPlatformNt = 2;

#pragma pack(push, 1)
struct OsVersionInfoEx {
  uint32_t dwOSVersionInfoSize;
  uint32_t dwMajorVersion;
  uint32_t dwMinorVersion;
  uint32_t dwBuildNumber;
  uint32_t dwPlatformId;
  char szCSDVersion[128];
  // Extended record only.
  uint16_t wServicePackMajor;
  uint16_t wServicePackMinor;
  uint16_t wSuiteMask;
  uint8_t wProductType;
  uint8_t wReserved;
};
#pragma pack(pop)

constexpr uint32_t kOsVersionInfoSize = 148;
constexpr uint32_t kOsVersionInfoExSize = 156;
static_assert(offsetof(OsVersionInfoEx, szCSDVersion) == 20);
static_assert(offsetof(OsVersionInfoEx, wServicePackMajor) == kOsVersionInfoSize);
static_assert(sizeof(OsVersionInfoEx) == kOsVersionInfoExSize);

// Fills the record in the form its size field names. This system has no
// version service of that kind (its builds mean nothing to the product),
// so the read always fails and the record is left as it is.
bool GetVersionEx(OsVersionInfoEx* info);

}  // namespace qv
