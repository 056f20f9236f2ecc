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
// takes it. True when the user area was committed; false leaves the error
// code at kDravikErrorFailed and the reason in *why.
bool RunRepair(char letter, uint8_t option, RepairStatus& status, std::string* why);

}  // namespace dravik
