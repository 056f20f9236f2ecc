#include "app/console/repair_context.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

void SharedText::Store(std::string text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_text.swap(text);
}

std::string SharedText::Load() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_text;
}

const StatusNames& RevertStatusNames() {
  static const StatusNames names = {
      "UserBreak",    "Can't Mark Bad", "Finish",        "Writing data",
      "Read & Verify", "Mark Bad Block", "Blank Checking", "Erase first",
      "Flash Error",  "Unknown Error",  "Ready",          "Can not erase",
  };
  return names;
}

std::string StatusName(const StatusNames& names, uint32_t code) {
  if (code < names.size() && names[code]) return names[code];
  char text[32];
  std::snprintf(text, sizeof text, "Unknown state (%u)", code);
  return text;
}

std::string FormatTestStatus(const StatusNames& names, const SortProgress& progress) {
  const std::string name = StatusName(names, progress.m_dwStatus);
  char text[160];
  std::snprintf(text, sizeof text, "Status : %s\nScanned Blocks : %d\nBad Blocks : %d", name.c_str(),
                static_cast<int>(progress.m_dwScannedBlocks), static_cast<int>(progress.m_dwBadBlocks));
  return text;
}

void RepairContext::Reset() {
  chipId = 0;
  chipVersion = 0;
  selectDevice = 0;
  bflag = 0;
  noFirmware = false;
  std::memset(driveLetter, 0, sizeof driveLetter);
  deviceAttrib = DeviceAttrib{};
  std::memset(&revertConfig, 0, sizeof revertConfig);
  statusNames = StatusNames{};
  testPercent = 0;
  testStatusText.Store({});
  workerRunning = false;
  revertSucceeded = false;
  revertError.Store({});
  deviceArrivedEvent.reset();
  removalSeen = arrivalSeen = removalStage = arrivalStage = false;
  quietTicks = 0;
  replugDone = false;
  replugPrompt = nullptr;
}

RepairContext& TheRepairContext() {
  static RepairContext context;
  return context;
}

uint8_t BuildRepairOption(uint8_t selectDevice, bool completeChecked) {
  return static_cast<uint8_t>(0x80 | (completeChecked ? 0x40 : 0) | 0x20 | (selectDevice & 0x1F));
}

void NoteDeviceChange(RepairContext& context, uint32_t event) {
  if (event == kDeviceArrival) context.arrivalSeen = true;
  else if (event == kDeviceRemoveComplete) context.removalSeen = true;
}

bool ReplugWatchTick(RepairContext& c) {
  if (c.removalStage && c.arrivalStage) {
    if (c.removalSeen || c.arrivalSeen) {
      c.removalSeen = c.arrivalSeen = false;
      c.quietTicks = 0;
      return false;
    }
    ++c.quietTicks;
    if (c.quietTicks > kQuietTicksNeeded && !c.replugDone) {
      c.replugDone = true;
      return true;
    }
    return false;
  }
  if (c.removalSeen || c.arrivalSeen) {
    if (c.removalSeen) c.removalStage = true;
    else c.arrivalStage = true;
    c.removalSeen = c.arrivalSeen = false;
    c.quietTicks = 0;
  }
  return false;
}

int ShownRepairProgress(int progress) { return progress >= 100 ? progress - 1 : progress; }

bool RepairHasEnded(uint32_t state) { return (state & 0xFF) == 0xFF; }

BadBlockShare ComputeBadBlockShare(uint32_t bad, uint32_t total, uint32_t divisor) {
  BadBlockShare share;
  const uint32_t divisorLow = divisor & 0xFFFF;
  if (total != 0 && divisorLow != 0) {
    share.bad = std::min(bad, total / divisorLow);
    share.total = total;
  } else {
    share.bad = std::min(bad, kBadBlockCapWithoutTotal);
    share.total = kBadBlockCapWithoutTotal;
  }
  // 64-bit products: a large count times 360 must not wrap.
  share.sweepDegrees = static_cast<int>(uint64_t{share.bad} * 360 / share.total);
  share.percent = 100.0 * share.bad / share.total;
  return share;
}

std::string FormatBadBlockText(const std::string& caption, double percent) {
  char text[128];
  std::snprintf(text, sizeof text, "%s : %.2f %%", caption.c_str(), percent);
  return text;
}
