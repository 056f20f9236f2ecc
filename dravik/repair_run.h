// One repair of one drive: optionally write the firmware image of the
// chosen line, survey the flash for the revert's bad-block tables and
// marks, and commit the user area of the good blocks. Progress, state and
// counts go to the status as it runs.
#pragma once
#include <cstdint>
#include <string>

#include "dravik/repair_status.h"

namespace dravik {

// `letter` names the drive ("\\.\E:"); `option` as Dravik_RunRepairDevice
// takes it. True when the user area was committed (the counts are then in
// the status); false with the reason in *why. The caller sets the state
// and the error code once it returns.
bool RunRepair(char letter, uint8_t option, RepairStatus& status, std::string* why);

}  // namespace dravik
