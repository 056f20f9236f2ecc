// The KR42x controller: decodes every command of the vendor table, keeps
// the boot states (ROM, discovery code, engine code), the plane mode, the
// FWInfo block and the status of the last flash operation, and drives the
// flash through NandArray. It runs under the drive's lock; the plug state,
// the counters and the timing are the caller's (SimDrive).
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/boot_image_format.h"
#include "sim/drive_spec.h"
#include "sim/flash_state.h"
#include "sim/nand_array.h"
#include "sim/sim_api.h"

namespace sim {

struct Outcome {
  enum Kind { kDone, kRefused, kFlashFailed } kind = kDone;
  uint32_t bytesMoved = 0;
  std::string why;  // for a refusal
};

class RepairService;

class Controller {
 public:
  Controller(const DriveSpec& desc, FlashState& state, NandArray& nand, const std::string& folder);
  ~Controller();
  Outcome Execute(const Request& request);
  // Power-on state, after every plug.
  void PowerOn();
  uint16_t Id() const { return id_; }

 private:
  struct Address {
    uint32_t block, page, sector;
  };
  Outcome Inquiry(const Request& r);
  Outcome FdCommand(const Request& r);
  Outcome ReadFlashConfig(const Request& r);
  Outcome ReadStatus(const Request& r);
  Outcome Erase(const Request& r, bool checked);
  Outcome ReadSpare(const Request& r);
  Outcome WriteSectors(const Request& r);
  Outcome ReadOrVerify(const Request& r);
  Outcome SetMode(const Request& r);
  Outcome WriteFWInfo(const Request& r);
  Outcome RamWrite(const Request& r, bool engineForm);
  // Ends the download in RAM and, when the image there serves this
  // controller in `role`, runs it: the controller restarts in `bootState`.
  bool RunDownloadedCode(qvboot::Role role, uint32_t bootState);
  Outcome RamRead(const Request& r);

  // Gates shared by the block commands: the engine runs, a KR425 has an
  // agreeing FWInfo, the flash lives; fills the selected CEs.
  bool BlockGate(const Request& r, std::vector<uint32_t>* ces, Outcome* refusal);
  Address Decode(const uint8_t* cdb) const;
  Outcome Flash(bool passed, uint32_t failMask, uint32_t bytes);
  qvboot::Target Target() const;

  const DriveSpec& spec_;
  StateHeader& h_;
  NandArray& nand_;
  std::array<uint8_t, 20> tag_{};
  uint16_t id_ = 0;
  bool needsBoot_ = false;
  std::vector<uint8_t> page_;
  std::unique_ptr<RepairService> repair_;
};

}  // namespace sim
