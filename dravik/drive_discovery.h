// Finding the attached drives of the KR42x family through the platform's
// storage services: every drive letter whose drive is a removable or fixed
// disk on the USB bus and whose INQUIRY tag names a family member.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace dravik {

struct FoundDrive {
  char letter = 0;
  uint16_t controller = 0;  // by the tag rules
  std::string vendor, product, revision;  // INQUIRY text, trailing blanks removed
};

// In drive-letter order.
std::vector<FoundDrive> FindFamilyDrives();

}  // namespace dravik
