// The drive behind a handle: the lock, the plug state, the fault triggers
// (dead after K, unplug after K), the counters and the timing model around
// the controller.
#pragma once
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "sim/controller.h"
#include "sim/flash_state.h"
#include "sim/nand_array.h"
#include "sim/sim_api.h"

namespace sim {

class SimDrive final : public Drive {
 public:
  static std::unique_ptr<SimDrive> Load(const std::string& folder, bool create, std::string* error);

  const DriveSpec& Description() const override { return spec_; }
  const std::string& Folder() const override { return folder_; }
  bool Present() override;
  Reply Execute(const Request& request) override;

  // Plug state changes (flashsim, SetPlugged, the unplug fault).
  void SetPlugged(bool plugged);
  // A fresh flash: factory marks placed, controller powered on.
  void Initialise();
  // Under the lock, for inspection.
  template <typename F>
  void WithState(F&& f) {
    std::lock_guard<std::mutex> guard(mutex_);
    DriveLock lock(state_->LockFd());
    state_->Contents().CatchUp();
    f(*state_, *nand_);
  }
  const FaultSpec& Faults() const { return faults_; }

 private:
  SimDrive() = default;
  void SetPluggedLocked(bool plugged);
  uint64_t ModelNs(const Request& r, const FlashWork& work) const;

  std::string folder_;
  DriveSpec spec_;
  FaultSpec faults_;
  std::unique_ptr<FlashState> state_;
  std::unique_ptr<NandArray> nand_;
  std::unique_ptr<Controller> controller_;
  uint32_t openedGeneration_ = 0;
  std::mutex mutex_;
};

// Serialises the creation of a drive's state with its openers (a lock
// file in the drive's folder).
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
  std::optional<DriveLock> lock_;
};

// Creates the state of a drive whose folder holds only drive.ini.
bool EnsureDriveState(const std::string& folder, std::string* error);

// Appends one line to the machine's events file.
void AppendDeviceEvent(const std::string& driveFolder, bool plugged, uint32_t generation);

}  // namespace sim
