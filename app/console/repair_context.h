// The program's one process-wide record shared by the repair dialog, its
// timers and its two workers, and what the timers compute from it. No Qt
// here, so that the threaded paths can be checked under ThreadSanitizer.
//
// Threads: chipId .. statusNames are written while the dialog initialises,
// before any worker exists. workerRunning, revertSucceeded and testPercent
// are atomics; testStatusText is replaced whole under a lock, so the dialog
// never reads a text that the revert's thread is writing. The re-plug
// fields belong to the dialog thread alone.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/named_event.h"
#include "sortlib/interface/kv_config.h"

class CReplugDlg;

// The record the revert's progress callback receives by address, valid only
// during the call; the sort library's layout, field for field.
struct SortProgress {
  uint32_t m_dwBadBlocks;
  uint32_t m_dwPercent;
  uint32_t m_dwScannedBlocks;
  uint32_t m_dwStatus;
};
static_assert(sizeof(SortProgress) == 16);
static_assert(offsetof(SortProgress, m_dwBadBlocks) == 0);
static_assert(offsetof(SortProgress, m_dwPercent) == 4);
static_assert(offsetof(SortProgress, m_dwScannedBlocks) == 8);
static_assert(offsetof(SortProgress, m_dwStatus) == 12);

// Dravik_GetDeviceAttrib's five values, in the order it fills them.
struct DeviceAttrib {
  uint32_t dwValue = 0;
  uint16_t wValue = 0;
  uint8_t bMode = 0;  // bit 0x20: the drive runs in dual-channel mode
  uint8_t bValue1 = 0;
  uint8_t bValue2 = 0;
};
inline constexpr uint8_t kDualChannelBit = 0x20;

// A text written by one thread and read by another, always whole.
class SharedText {
 public:
  void Store(std::string text);
  std::string Load() const;

 private:
  mutable std::mutex m_mutex;
  std::string m_text;
};

inline constexpr size_t kStatusNameCount = 12;
using StatusNames = std::array<const char*, kStatusNameCount>;

// The name of every state code of a revert run, 0 "UserBreak" to
// 11 "Can not erase".
const StatusNames& RevertStatusNames();

// A state code's name; a code past the table reads "Unknown state (N)".
std::string StatusName(const StatusNames& names, uint32_t code);

// "Status : %s\nScanned Blocks : %d\nBad Blocks : %d".
std::string FormatTestStatus(const StatusNames& names, const SortProgress& progress);

inline constexpr char kDeviceArrivedEventName[] = "DeviceArrived";

struct RepairContext {
  // Set while the dialog initialises.
  uint16_t chipId = 0;
  uint16_t chipVersion = 0;
  uint8_t selectDevice = 0;
  uint8_t bflag = 0;
  bool noFirmware = false;
  char driveLetter[32] = {};  // the first character is the drive letter
  DeviceAttrib deviceAttrib;
  _KVConfig revertConfig{};
  StatusNames statusNames{};

  // The revert's results, passed to the dialog thread.
  std::atomic<int32_t> testPercent{0};
  SharedText testStatusText;
  std::atomic<bool> workerRunning{false};
  std::atomic<bool> revertSucceeded{false};
  // Why the revert could not run at all (the sort library or one of its
  // exports missing); empty when it ran.
  SharedText revertError;

  std::shared_ptr<qv::NamedEvent> deviceArrivedEvent;

  // The re-plug watch (dialog thread only).
  bool removalSeen = false;
  bool arrivalSeen = false;
  bool removalStage = false;
  bool arrivalStage = false;
  int32_t quietTicks = 0;
  bool replugDone = false;
  CReplugDlg* replugPrompt = nullptr;

  // Back to the state at the dialog's start: everything zero.
  void Reset();
};

// The process's record.
RepairContext& TheRepairContext();

// ---- What the dialog computes ------------------------------------------

// The option byte for the device library's repair: bit 7 update firmware
// (always), bit 6 the Complete radio button, bit 5 always, bits 0-4 the
// device line of Device.ini.
uint8_t BuildRepairOption(uint8_t selectDevice, bool completeChecked);

// A device notification's kind (the system's event codes).
inline constexpr uint32_t kDeviceArrival = 0x8000;
inline constexpr uint32_t kDeviceRemoveComplete = 0x8004;
void NoteDeviceChange(RepairContext& context, uint32_t event);

// One tick of the re-plug watch: true when this tick releases the second
// phase (replugDone is then set; the caller hides the prompt, waits and
// signals the event).
inline constexpr int32_t kQuietTicksNeeded = 50;  // released on the tick after
bool ReplugWatchTick(RepairContext& context);

// The bar's value for the device library's progress: 100 or more is
// lowered by one, so that only the end shows 100.
int ShownRepairProgress(int progress);

// Whether the device library's state says that its repair has ended.
bool RepairHasEnded(uint32_t state);

inline constexpr uint32_t kRepairFailedCode = 0xFFFF0000u;
inline constexpr uint32_t kBadBlockCapWithoutTotal = 1536;

// The last repair's bad blocks as the pie chart and control 1006 show them.
struct BadBlockShare {
  uint32_t bad = 0;     // after the cap
  uint32_t total = 0;   // 1536 when the library gave no usable total
  int sweepDegrees = 0;
  double percent = 0;
};
BadBlockShare ComputeBadBlockShare(uint32_t bad, uint32_t total, uint32_t divisor);

// "%s : %.2f %%" with the "Bad Blocks" caption.
std::string FormatBadBlockText(const std::string& caption, double percent);
