// The header that every generated boot image carries at the start of the
// 4 KiB slice (file offset 0x5000) that the host downloads into controller
// RAM 0xF000..0xFFFF. A simulated controller accepts a download only when
// the slice carries this header and one of its cases serves the controller;
// the image generator writes it. Both sides include this one file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qvboot {

inline constexpr size_t kSliceOffset = 0x5000;
inline constexpr size_t kSliceSize = 0x1000;
inline constexpr size_t kImageSize = 0x10000;
inline constexpr char kMagic[8] = {'Q', 'V', 'B', 'O', 'O', 'T', '1', '\0'};

enum Role : uint8_t { kRoleDiscovery = 1, kRoleEngine = 2 };

// How a case names the controller.
enum ControllerMatch : uint8_t {
  kControllerEquals = 0,    // the controller id equals `controller`
  kControllerOther = 1,     // any controller id except `controller`
};

// How a case names the flash device code (flash ID byte 1).
enum DeviceCodeMatch : uint8_t {
  kDeviceCodeAny = 0,
  kDeviceCodeInD = 1,       // one of 0x33 0x35 0x36 0x66 0x71 0x73 0x75 0x76 0x78 0x79
  kDeviceCodeNotInD = 2,
};

// Revision byte (tag character 10 minus 'A').
inline constexpr uint8_t kRevisionAny = 0xFE;
inline constexpr uint8_t kRevisionOther = 0xFF;  // neither 1 nor 2

#pragma pack(push, 1)
struct Case {
  uint16_t controller;        // little-endian, e.g. 0x425
  uint8_t controllerMatch;    // ControllerMatch
  char tagRevision[2];        // tag characters 8 and 9 ("A0"), or 0,0 for any
  uint8_t deviceCodeMatch;    // DeviceCodeMatch
  uint8_t revision;           // 1, 2, kRevisionAny or kRevisionOther
  uint8_t reserved;
};
struct Header {
  char magic[8];
  uint8_t role;               // Role
  uint8_t caseCount;          // cases that follow, at most kMaxCases
  uint8_t reserved[6];
  char name[32];              // the image's own relative path, for tools
  Case cases[8];
};
#pragma pack(pop)
inline constexpr size_t kMaxCases = 8;
static_assert(sizeof(Case) == 8);
static_assert(sizeof(Header) == 16 + 32 + 64);

// What a controller knows of itself when it judges an image.
struct Target {
  uint16_t controller;        // 0x423, 0x425, 0x436, ...
  char tagRevision[2];        // tag characters 8 and 9
  uint8_t deviceCode;         // flash ID byte 1
  uint8_t revision;           // tag character 10 minus 'A'
};

inline bool InSetD(uint8_t code) {
  switch (code) {
    case 0x33: case 0x35: case 0x36: case 0x66: case 0x71:
    case 0x73: case 0x75: case 0x76: case 0x78: case 0x79:
      return true;
    default:
      return false;
  }
}

inline bool CaseServes(const Case& c, const Target& t) {
  bool controllerOk = c.controllerMatch == kControllerEquals ? t.controller == c.controller
                                                             : t.controller != c.controller;
  if (!controllerOk) return false;
  if ((c.tagRevision[0] || c.tagRevision[1]) &&
      (c.tagRevision[0] != t.tagRevision[0] || c.tagRevision[1] != t.tagRevision[1]))
    return false;
  if (c.deviceCodeMatch == kDeviceCodeInD && !InSetD(t.deviceCode)) return false;
  if (c.deviceCodeMatch == kDeviceCodeNotInD && InSetD(t.deviceCode)) return false;
  if (c.revision == kRevisionOther) return t.revision != 1 && t.revision != 2;
  if (c.revision != kRevisionAny) return t.revision == c.revision;
  return true;
}

// True when a downloaded slice carries a header of the given role that
// serves the target.
inline bool SliceServes(const uint8_t* slice, size_t size, Role role, const Target& t) {
  if (size < sizeof(Header)) return false;
  Header h;
  std::memcpy(&h, slice, sizeof h);
  if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0 || h.role != role) return false;
  if (h.caseCount > kMaxCases) return false;
  for (unsigned i = 0; i < h.caseCount; ++i)
    if (CaseServes(h.cases[i], t)) return true;
  return false;
}

}  // namespace qvboot
