// A stand-in sort library for the dialog's tests: the DLLSort constructor,
// StartSort and StopSort under their exported names, scripted through
// FakeSievex_Script(). StartSort reports the scripted progress records and
// returns the scripted result; it can be held (until StopSort or release)
// to test what a Close does to a running revert.
#pragma once
#include <atomic>
#include <cstdint>

struct FakeSievexProgress {
  uint32_t bad, percent, scanned, status;
};

struct FakeSievexScript {
  static constexpr int kMaxSteps = 16;
  FakeSievexProgress steps[kMaxSteps] = {};
  int stepCount = 0;
  int result = 1;
  // The constructor waits while holdConstructor is set.
  std::atomic<bool> holdConstructor{false};
  // StartSort waits after its steps while holdStartSort is set, unless
  // StopSort is called (it then returns 0).
  std::atomic<bool> holdStartSort{false};

  std::atomic<int> constructed{0};
  std::atomic<int> startCalls{0};
  std::atomic<int> stopCalls{0};
  std::atomic<int> insideStartSort{0};
  std::atomic<bool> stopFlag{false};
  char lastDrive[4] = {};
  uint8_t lastPatternType = 0;
};

extern "C" FakeSievexScript* FakeSievex_Script();
extern "C" void FakeSievex_Reset();
