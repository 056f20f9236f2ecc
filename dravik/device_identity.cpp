#include "dravik/device_identity.h"

#include <cstring>

#include "dravik/wire_order.h"
#include "sim/repair_commands.h"

namespace dravik {

using namespace repaircmd;

bool DeviceIdentity::BlockExists(uint32_t block) const {
  if (block >= blocksPerCE) return false;
  for (auto [first, last] : gaps)
    if (block >= first && block <= last) return false;
  return true;
}

uint32_t DeviceIdentity::ExistingBlocksPerCE() const {
  uint32_t n = 0;
  for (uint32_t b = 0; b < blocksPerCE; ++b) n += BlockExists(b) ? 1 : 0;
  return n;
}

bool ParseIdentity(const uint8_t* a, size_t size, DeviceIdentity* out) {
  if (size < kIdentifyBytes || std::memcmp(a + kIdMagic, kIdentifyMagic, sizeof kIdentifyMagic) != 0 ||
      a[kIdLayoutVersion] != kIdentifyLayoutVersion || a[kIdGapCount] > kMaxGaps)
    return false;
  DeviceIdentity id;
  const uint8_t flags = a[kIdFlags];
  id.firmware = flags & kFlagFirmware;
  id.dualChannel = flags & kFlagDualChannel;
  id.userArea = flags & kFlagUserArea;
  id.replugPending = flags & kFlagReplugPending;
  id.controller = GetBe16(a + kIdController);
  id.chipVersion = GetBe16(a + kIdChipVersion);
  id.ces = a[kIdCeCount];
  id.planes = a[kIdPlaneCount];
  id.blocksPerCE = GetBe32(a + kIdBlocksPerCe);
  id.pagesPerBlock = GetBe16(a + kIdPagesPerBlock);
  id.sectorsPerPage = GetBe16(a + kIdSectorsPerPage);
  const char* version = reinterpret_cast<const char*>(a + kIdFirmwareVersion);
  id.firmwareVersion.assign(version, strnlen(version, kIdFirmwareVersionBytes));
  id.userSectors = GetBe32(a + kIdUserSectors);
  for (size_t i = 0; i < a[kIdGapCount]; ++i)
    id.gaps.emplace_back(GetBe32(a + kIdGaps + i * kGapBytes), GetBe32(a + kIdGaps + i * kGapBytes + 4));
  if (id.ces < 1 || id.ces > 4 || id.blocksPerCE == 0 || id.pagesPerBlock == 0 || id.sectorsPerPage == 0)
    return false;
  *out = std::move(id);
  return true;
}

}  // namespace dravik
