// The drive's side of the repair: the controller's repair service
// (identify, raw page reads, firmware write, user-area map commit; command
// bytes in sim/repair_commands.h) and, once a map is committed, the user
// area as a mass-storage disk (READ CAPACITY(10), READ(10), WRITE(10)).
//
// The controller's dispatcher offers every command here first; what this
// does not claim goes on to the vendor command table as before.
#pragma once
#include <cstdint>
#include <string>

#include "sim/controller.h"
#include "sim/drive_spec.h"
#include "sim/nand_array.h"
#include "sim/sim_api.h"
#include "sim/state_layout.h"

namespace sim {

// The drive a command runs on, as its caller holds it under the drive lock.
struct RepairTarget {
  const DriveSpec& spec;
  StateHeader& header;
  NandArray& nand;
  uint16_t controllerId;
  const std::string& folder;  // where the repair keeps its files
};

// True when the command belongs to the repair service or to a committed
// user area; *outcome then holds its answer. False leaves the command to
// the vendor command table (plain disks, other operation codes, block
// commands while no user area exists).
bool HandleRepairCommand(const RepairTarget& target, const Request& request, Outcome* outcome);

// What the repair left in a drive folder, for tools and tests.
struct UserAreaReport {
  bool firmwareWritten = false;
  std::string firmwareVersion;  // of the written image
  bool mapped = false;
  uint32_t blocks = 0;          // blocks of the user area
  uint64_t sectors = 0;         // its capacity in 512-byte sectors
};
bool InspectUserArea(const std::string& driveFolder, const DriveSpec& spec, UserAreaReport* report);

}  // namespace sim
