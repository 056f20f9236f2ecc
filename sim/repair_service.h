// The controller's repair service (sim/repair_commands.h): identification,
// physical page reads, the firmware write and the user-area commit the
// device library rebuilds a drive with, and the standard block commands
// (READ CAPACITY, READ, WRITE) of the user area it committed. The
// controller hands it every operation code outside the vendor table.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/controller.h"

namespace sim {

class RepairService {
 public:
  RepairService(const DriveSpec& desc, StateHeader& header, NandArray& nand, std::string folder, uint16_t controller);
  Outcome Execute(const Request& request);

 private:
  Outcome Identify(const Request& r);
  Outcome ReadPage(const Request& r);
  Outcome WriteFirmware(const Request& r);
  Outcome CommitMap(const Request& r);
  Outcome ReadCapacity(const Request& r);
  Outcome Transfer(const Request& r, bool write);
  bool HasFirmware() const { return spec_.hasFirmware || h_.firmwareWritten; }
  // The user area's blocks in logical order, reloaded when another handle
  // committed a new map.
  const std::vector<std::pair<uint32_t, uint32_t>>& UserBlocks();

  const DriveSpec& spec_;
  StateHeader& h_;
  NandArray& nand_;
  std::string folder_;
  uint16_t controller_;
  std::vector<std::pair<uint32_t, uint32_t>> userBlocks_;
  uint32_t loadedGeneration_ = 0;
  bool loaded_ = false;
  std::vector<uint8_t> page_;
};

}  // namespace sim
