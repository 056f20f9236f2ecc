#include "dravik/drive_discovery.h"

#include "dravik/controller_tag.h"
#include "dravik/repair_transport.h"
#include "dravik/volume_path.h"
#include "platform/storage.h"

namespace dravik {

namespace {

std::string InquiryText(const uint8_t* answer, size_t offset, size_t width) {
  std::string text(reinterpret_cast<const char*>(answer + offset), width);
  const size_t end = text.find_last_not_of(std::string(" \0", 2));
  text.resize(end == std::string::npos ? 0 : end + 1);
  return text;
}

}  // namespace

std::vector<FoundDrive> FindFamilyDrives() {
  std::vector<FoundDrive> found;
  const uint32_t mask = qv::GetLogicalDrives();
  for (int n = 0; n < 26; ++n) {
    if (!(mask & (1u << n))) continue;
    const char letter = char('A' + n);
    const uint32_t type = qv::GetDriveType(std::string(1, letter) + ":\\");
    if (type != qv::kDriveRemovable && type != qv::kDriveFixed) continue;
    std::unique_ptr<qv::Device> drive = qv::OpenDevice(VolumePath(letter), qv::kOpenRead | qv::kOpenWrite);
    if (!drive) continue;
    uint32_t bus = qv::kBusUnknown;
    if (!drive->QueryBusType(&bus) || bus != qv::kBusUsb) continue;
    uint8_t inquiry[kInquiryBytes];
    if (!SendInquiry(*drive, inquiry)) continue;
    const uint16_t controller = ControllerFromTag(TagText(inquiry + kTagOffset));
    if (controller == 0) continue;
    found.push_back({letter, controller, InquiryText(inquiry, 8, 8), InquiryText(inquiry, 16, 16),
                     InquiryText(inquiry, 32, 4)});
  }
  return found;
}

}  // namespace dravik
