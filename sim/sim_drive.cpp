#include "sim/sim_drive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "sim/fault_plan.h"

namespace sim {

namespace {

std::string ParentFolder(const std::string& folder) {
  size_t slash = folder.find_last_of('/');
  return slash == std::string::npos ? "." : folder.substr(0, slash);
}
std::string BaseName(const std::string& folder) {
  size_t slash = folder.find_last_of('/');
  return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

}  // namespace

void AppendDeviceEvent(const std::string& driveFolder, bool plugged, uint32_t generation) {
  std::string line = std::string(plugged ? "plug " : "unplug ") + BaseName(driveFolder) + " " +
                     std::to_string(generation) + "\n";
  int fd = ::open(DeviceEventsFile(ParentFolder(driveFolder)).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // One write with O_APPEND: lines of several processes never interleave.
  ssize_t n = ::write(fd, line.data(), line.size());
  (void)n;
  ::close(fd);
}

FolderLock::FolderLock(const std::string& folder)
    : fd_(::open((folder + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
  if (fd_ >= 0) lock_.emplace(fd_);
}

FolderLock::~FolderLock() {
  lock_.reset();
  if (fd_ >= 0) ::close(fd_);
}

bool EnsureDriveState(const std::string& folder, std::string* error) {
  // A description written by hand has no state yet: the first process to
  // open it creates a fresh one. The folder lock also keeps an opener from
  // seeing a state that CreateDrive is still writing.
  FolderLock lock(folder);
  struct stat st{};
  if (::stat((folder + "/state.bin").c_str(), &st) == 0) return true;
  auto fresh = SimDrive::Load(folder, true, error);
  if (!fresh) return false;
  fresh->Initialise();
  return true;
}

std::unique_ptr<SimDrive> SimDrive::Load(const std::string& folder, bool create, std::string* error) {
  std::unique_ptr<SimDrive> d(new SimDrive);
  d->folder_ = folder;
  if (!LoadDriveSpec(folder + "/drive.ini", &d->spec_, error)) return nullptr;
  d->faults_ = ExpandFaults(d->spec_);
  if (!create && !EnsureDriveState(folder, error)) return nullptr;
  d->state_ = FlashState::Open(folder, d->spec_, create, error);
  if (!d->state_) return nullptr;
  d->nand_ = std::make_unique<NandArray>(d->spec_, d->faults_, *d->state_);
  d->controller_ = std::make_unique<Controller>(d->spec_, *d->state_, *d->nand_, d->folder_);
  d->openedGeneration_ = d->state_->Header().plugGeneration;
  return d;
}

void SimDrive::Initialise() {
  std::lock_guard<std::mutex> guard(mutex_);
  DriveLock lock(state_->LockFd());
  for (const FactoryBadBlock& b : faults_.factoryBad)
    nand_->PlaceFactoryMark(b.ce, b.block, b.lastPage ? spec_.pagesPerBlock - 1 : 0);
  controller_->PowerOn();
  StateHeader& h = state_->Header();
  h.plugged = spec_.present ? 1 : 0;
  openedGeneration_ = h.plugGeneration;
}

bool SimDrive::Present() {
  std::lock_guard<std::mutex> guard(mutex_);
  const StateHeader& h = state_->Header();
  return h.plugged && h.plugGeneration == openedGeneration_;
}

void SimDrive::SetPlugged(bool plugged) {
  std::lock_guard<std::mutex> guard(mutex_);
  DriveLock lock(state_->LockFd());
  SetPluggedLocked(plugged);
}

void SimDrive::SetPluggedLocked(bool plugged) {
  StateHeader& h = state_->Header();
  if (bool(h.plugged) == plugged) return;
  h.plugged = plugged;
  ++h.plugGeneration;
  if (plugged) {
    ++h.plugCount;
    controller_->PowerOn();
  }
  AppendDeviceEvent(folder_, plugged, h.plugGeneration);
}

uint64_t SimDrive::ModelNs(const Request& r, const FlashWork& w) const {
  const TimingSpec& t = spec_.timing;
  double us = t.commandLatencyUs + double(r.dataLength) / t.bandwidthMBps +  // MB/s = bytes/us
              double(w.pagesRead) * t.readPageUs + double(w.pagesProgrammed) * t.programPageUs +
              double(w.blocksErased) * t.eraseBlockUs;
  return uint64_t(us * 1000.0);
}

Reply SimDrive::Execute(const Request& r) {
  Reply reply;
  uint64_t ns = 0;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    DriveLock lock(state_->LockFd());
    StateHeader& h = state_->Header();
    if (!h.plugged || h.plugGeneration != openedGeneration_) {
      reply.osError = kErrorNotConnected;
      return reply;
    }
    ++h.commands;
    if (faults_.unplugAfter && h.commands > faults_.unplugAfter && !h.unplugFired) {
      h.unplugFired = 1;
      SetPluggedLocked(false);
      reply.osError = kErrorNotConnected;
      return reply;
    }
    if (faults_.deadAfter && h.commands > faults_.deadAfter) h.dead = 1;
    state_->Contents().CatchUp();
    nand_->Work() = {};
    Outcome o = controller_->Execute(r);
    ns = ModelNs(r, nand_->Work());
    h.modelledNs += ns;
    switch (o.kind) {
      case Outcome::kDone:
        reply.delivered = true;
        reply.bytesMoved = o.bytesMoved;
        break;
      case Outcome::kRefused:
        ++h.refused;
        std::snprintf(h.lastRefusal, sizeof h.lastRefusal, "%s", o.why.c_str());
        reply.osError = kErrorInvalidFunction;
        break;
      case Outcome::kFlashFailed:
        ++h.flashFailures;
        if (spec_.failuresAsCheckCondition) {
          reply.delivered = true;
          reply.scsiStatus = 2;
        } else {
          reply.osError = kErrorIoDevice;
        }
        break;
    }
  }
  if (spec_.timing.sleepFraction > 0)
    std::this_thread::sleep_for(std::chrono::nanoseconds(uint64_t(double(ns) * spec_.timing.sleepFraction)));
  return reply;
}

}  // namespace sim
