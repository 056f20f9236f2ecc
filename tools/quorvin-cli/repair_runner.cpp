#include "tools/quorvin-cli/repair_runner.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "app/console/device_info.h"
#include "app/console/device_library_binding.h"
#include "app/console/repair_context.h"
#include "app/console/string_table.h"
#include "platform/clock.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/storage.h"
#include "tools/quorvin-cli/revert_runner.h"

namespace {

constexpr uint16_t kKr423 = 0x423;

bool DrivePresent(char letter) {
  if (!(qv::GetLogicalDrives() & (1u << (letter - 'A')))) return false;
  return qv::OpenDevice(std::string("\\\\.\\") + letter + ":", qv::kOpenRead) != nullptr;
}

// Selects the device library's drive that stands behind `letter`.
bool SelectDrive(DeviceLibraryBinding& library, DravikDevice device, char letter) {
  if (!library.DeviceExist(device)) return false;
  int count = library.GetNumberOfDrive(device);
  for (int i = 0; i < (count > 0 ? count : 1); ++i) {
    library.SetCurrentDriveNumber(device, i);
    char found[32] = {};
    library.GetDriveLetter(device, 1, found);
    if (found[0] == letter || found[0] == letter + ('a' - 'A')) return true;
  }
  return false;
}

// Waits for the drive to be removed and attached again (in either order)
// and then for 5.1 s without a change, polling every 100 ms.
void WaitForReplug(char letter) {
  RepairContext watch;
  bool present = DrivePresent(letter);
  for (;;) {
    qv::SleepMs(100);
    bool now = DrivePresent(letter);
    if (now != present) NoteDeviceChange(watch, now ? kDeviceArrival : kDeviceRemoveComplete);
    present = now;
    if (ReplugWatchTick(watch)) return;
  }
}

}  // namespace

int RunRepair(SievexImport& sievex, const CliOptions& options) {
  char letter = options.drives[0];
  DeviceLibraryBinding library;
  DravikDevice device = library.CreateCUSBDevice();
  if (library.StateOf(DeviceLibraryBinding::kCreateCUSBDevice) != DeviceLibraryBinding::kBound) {
    std::fprintf(stderr, "quorvin-cli: Can't find Dravik.dll\n");
    return kExitMissingFiles;
  }
  if (!SelectDrive(library, device, letter)) {
    std::fprintf(stderr, "quorvin-cli: %s (%c:)\n", DialogString(13).c_str(), letter);
    return kExitNoDevice;
  }
  uint16_t chipId = 0, chipVersion = 0;
  library.GetChipID(device, &chipId, &chipVersion);
  char version[32] = {};
  library.GetFwVersion(device, version);
  bool noFirmware = std::strncmp(version, "FFFFFF", 6) == 0;
  char description[256] = {};
  library.GetDeviceString(device, description);
  std::printf("%c: %s, FW Ver:%s\n", letter, description, noFirmware ? "NO FIRMWARE" : version);

  std::vector<RevertOutcome> outcomes;
  int code = RunReverts(sievex, options, &outcomes);
  // A missing map does not stop the repair; it still fails the command.
  const bool onlyTheMapFailed = code == kExitFailed && outcomes.size() == 1 && outcomes[0].Succeeded() &&
                                outcomes[0].mapFailed;
  if (code != kExitOk && !onlyTheMapFailed) {
    std::printf("%s\n", DialogString(12).c_str());
    return code;
  }

  if (chipId == kKr423 && !noFirmware) {
    std::printf("%s\n", DialogString(18).c_str());
    std::fflush(stdout);
    WaitForReplug(letter);
    SelectDrive(library, device, letter);
  }

  uint8_t selectDevice = ReadSelectDevice(qv::JoinPath(qv::ExecutableDirectory(), "Device.ini"));
  uint8_t option = BuildRepairOption(selectDevice, false);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    library.RunRepairDevice(device, option);
    done.store(true);
  });
  bool terminal = isatty(STDOUT_FILENO);
  int lastShown = -1;
  for (;;) {
    qv::SleepMs(500);
    int progress = ShownRepairProgress(library.GetCurrentProgress(device));
    uint32_t state = library.GetCurrentState(device);
    if (progress != lastShown) {
      std::printf(terminal ? "\rrepair %3d%%" : "repair %3d%%\n", progress);
      std::fflush(stdout);
      lastShown = progress;
    }
    // The worker's end also ends the wait: unlike the dialog, a terminal
    // does not wait for a library that never reports its end.
    if (RepairHasEnded(state) || done.load()) break;
  }
  worker.join();
  if (terminal) std::printf("\n");
  uint32_t bad = 0, total = 0, divisor = 0;
  library.GetBADBlockInfomation(device, &bad, &total, &divisor);
  BadBlockShare share = ComputeBadBlockShare(bad, total, divisor);
  std::printf("%s\n", FormatBadBlockText(DialogString(5), share.percent).c_str());
  uint32_t error = library.GetErrorCode(device);
  if (error == kRepairFailedCode) {
    std::printf("%s\n", DialogString(12).c_str());
    return kExitFailed;
  }
  std::printf("%s\n", DialogString(11).c_str());
  return onlyTheMapFailed ? kExitFailed : kExitOk;
}
