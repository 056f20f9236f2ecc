// A stand-in device library for the dialog's tests: it exports the entry
// points of the device library (all of them, or, in its reduced builds,
// only some) and answers from a script that the test fills through
// FakeDravik_Script(). Counters record what the dialog called.
#pragma once
#include <atomic>
#include <cstdint>

struct FakeDravikScript {
  int deviceExists = 1;
  uint16_t chipId = 0x425;
  uint16_t chipVersion = 0;
  char description[64] = "Fake Flash Disk 1.00";
  char fwVersion[32] = "1.2.3";
  char updateFile[256] = "";
  char driveLetter[4] = "E";
  uint8_t attribMode = 0;
  std::atomic<int> progress{0};
  std::atomic<uint32_t> state{0};
  uint32_t bad = 0, total = 0, divisor = 0;
  uint32_t errorCode = 0;
  // RunRepairDevice: while holdRepair is set it waits; at its end it sets
  // progress 100 and state 0xFF when finishOnReturn is set.
  std::atomic<bool> holdRepair{false};
  bool finishOnReturn = true;

  std::atomic<int> descriptionCalls{0};
  std::atomic<int> fwVersionCalls{0};
  std::atomic<int> repairCalls{0};
  std::atomic<int> repairRunning{0};
  std::atomic<int> lastOption{-1};
};

// Exported by every build of the fake: the script, reset to its defaults.
extern "C" FakeDravikScript* FakeDravik_Script();
extern "C" void FakeDravik_Reset();
