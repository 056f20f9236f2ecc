// Commands outside the sort library's vendor table: the device library's
// own commands and the mass-storage commands of a repaired drive. The
// controller hands every operation code it does not know to this hook,
// except while a KR423 with firmware still runs the revert's engine code
// (then they fail until the drive is re-plugged). The default refuses
// them all; the device library's simulator side implements it.
#pragma once
#include <string>

#include "sim/controller.h"

namespace sim {

struct DeviceLibraryContext {
  const DriveSpec& spec;
  StateHeader& header;
  NandArray& nand;
  const std::string& folder;  // the drive's folder, for state of its own
};

Outcome DeviceLibraryCommand(const Request& request, DeviceLibraryContext& context);

}  // namespace sim
