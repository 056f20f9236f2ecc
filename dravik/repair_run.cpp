#include "dravik/repair_run.h"

#include <memory>
#include <vector>

#include "dravik/controller_tag.h"
#include "dravik/dravik_api.h"
#include "dravik/firmware_image.h"
#include "dravik/flash_survey.h"
#include "dravik/repair_transport.h"
#include "dravik/user_area_plan.h"
#include "dravik/volume_path.h"
#include "platform/storage.h"

namespace dravik {

namespace {

// Progress: the firmware write takes the first 5 %, the survey up to 95 %,
// the commit the rest.
constexpr int kAfterFirmware = 5;
constexpr int kAfterSurvey = 95;
// The bad share is shown against every examined block.
constexpr uint32_t kDivisor = 1;

bool Prepare(char letter, std::unique_ptr<qv::Device>* drive, DeviceIdentity* id, std::string* why) {
  *drive = qv::OpenDevice(VolumePath(letter), qv::kOpenRead | qv::kOpenWrite);
  if (!*drive) {
    *why = "the drive is gone";
    return false;
  }
  uint8_t inquiry[kInquiryBytes];
  if (!SendInquiry(**drive, inquiry) || ControllerFromTag(TagText(inquiry + kTagOffset)) == 0) {
    *why = "the drive no longer answers as a KR42x drive";
    return false;
  }
  if (!ReadIdentity(**drive, id)) {
    *why = "the controller does not identify itself";
    return false;
  }
  return true;
}

}  // namespace

bool RunRepair(char letter, uint8_t option, RepairStatus& status, std::string* why) {
  std::unique_ptr<qv::Device> drive;
  DeviceIdentity id;
  if (!Prepare(letter, &drive, &id, why)) return false;

  if (option & kDravikOptionUpdateFirmware) {
    status.state = kDravikStateFirmware;
    std::vector<uint8_t> image;
    if (!LoadFirmwareImage(FirmwareImagePath(option & kDravikOptionLineMask), &image, why)) return false;
    if (!WriteFirmware(*drive, image)) {
      *why = id.replugPending ? "the controller refused the firmware: the drive must be re-plugged first"
                              : "the controller refused the firmware";
      return false;
    }
  }
  status.progress = kAfterFirmware;

  status.state = kDravikStateSurvey;
  std::vector<CeSurvey> survey;
  auto progress = [&status](uint64_t done, uint64_t total) {
    status.progress = kAfterFirmware + int(uint64_t(kAfterSurvey - kAfterFirmware) * done / total);
  };
  if (!SurveyFlash(*drive, id, progress, &survey, why)) return false;
  RepairPlan plan;
  if (!PlanUserArea(id, survey, &plan, why)) return false;

  status.state = kDravikStateCommit;
  if (!CommitUserArea(*drive, plan.exclusionBitmap, plan.goodBlocks)) {
    *why = "the controller refused the user area";
    return false;
  }
  status.badBlocks = plan.badBlocks;
  status.totalBlocks = plan.totalBlocks;
  status.divisor = kDivisor;
  return true;
}

}  // namespace dravik
