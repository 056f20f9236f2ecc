// Shared set-up of the engine tests: a drive record bound to a fake flash
// behind "\\.\E:", the program's configuration, a fixed clock, recorded
// message boxes, registry options for one test, a private current folder
// for the log, and the sequence of progress records the engine reported.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/message_box.h"
#include "sortlib/device/sort_device.h"
#include "sortlib/engine/revert_session.h"
#include "sortlib/interface/kv_config.h"
#include "tests/engine_fake_flash.h"

namespace enginetest {

// The configuration the program passes.
_KVConfig ProgramConfig();

// Every progress record the engine reported, in order.
std::vector<sievex::SortProgress>& Reports();
void RecordProgress(void* record);

// Writes the engine boot images beside the test executable when the build
// has not generated them.
void EnsureBootImages();

class EngineTest : public ::testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;

  // Binds the device record to a fresh fake flash of this geometry.
  FakeFlash& MakeFlash(FlashGeometry g, uint32_t controller = 0x425);
  // RunRevert on the device; returns its result.
  int Run();
  // StartSort's result for the final state (0 for 0, 1, 8, 9).
  int SortResult() const;
  std::string LogText() const;  // the log file of port 0
  std::vector<uint32_t> Percents() const;  // distinct percents in order

  std::unique_ptr<FakeFlash> flash_;
  std::unique_ptr<FakeStorage> storage_;
  SortDevice device_;
  _KVConfig config_{};
  std::unique_ptr<qv::MessageBoxRecorder> boxes_;
  std::string folder_;
  std::string previousFolder_;
};

}  // namespace enginetest
