// Walks every existing block of every CE once, reading the spare bytes of
// its first and, where the marks ask for it, its last page, to find each
// CE's "bad_" table and the blocks that carry a bad mark.
//
// The table block is the first block whose table page (the first page, or
// the last page when a CE has fewer than 1,024 blocks, where the revert
// writes only its closing page) has the table's mark bytes and data
// beginning "bad_"; its entries come from every such page of that block.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dravik/device_identity.h"
#include "dravik/user_area_plan.h"
#include "platform/storage.h"

namespace dravik {

// Called after each block with the blocks done and the blocks to do.
using SurveyProgress = std::function<void(uint64_t done, uint64_t total)>;

// Where the survey reads the flash from: the controller's repair service
// here, the sort engine's vendor commands in other tools.
class FlashPageSource {
 public:
  static constexpr uint32_t kSpareBytes = 16;
  virtual ~FlashPageSource() = default;
  // The spare bytes of one page.
  virtual bool ReadSpare(uint32_t ce, uint32_t block, uint32_t page, uint8_t* spare) = 0;
  // The data (identity.PageBytes()) and the spare bytes of one page.
  virtual bool ReadPage(uint32_t ce, uint32_t block, uint32_t page, std::vector<uint8_t>* data,
                        uint8_t* spare) = 0;
};

// False, with the reason, when a read fails.
bool SurveyFlash(FlashPageSource& source, const DeviceIdentity& identity, const SurveyProgress& progress,
                 std::vector<CeSurvey>* survey, std::string* why);
// The same over the controller's repair service.
bool SurveyFlash(qv::Device& drive, const DeviceIdentity& identity, const SurveyProgress& progress,
                 std::vector<CeSurvey>* survey, std::string* why);

}  // namespace dravik
