// The drive's persistent state, mapped into the process: the header, the
// per-block and per-page tables and the content store. Every process that
// opens the drive maps the same files, so a change is seen by all of them
// at once; commands take the file lock (DriveLock) around every change.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "sim/content_store.h"
#include "sim/drive_spec.h"
#include "sim/state_layout.h"

namespace sim {

class FlashState {
 public:
  // Opens the state in folder; with `create` replaces it by a fresh one
  // (every page erased). Fails when the files do not fit the geometry.
  static std::unique_ptr<FlashState> Open(const std::string& folder, const DriveSpec& desc,
                                          bool create, std::string* error);
  ~FlashState();
  FlashState(const FlashState&) = delete;
  FlashState& operator=(const FlashState&) = delete;

  StateHeader& Header() { return *header_; }
  PageEntry* BlockPages(uint32_t ce, uint32_t block) {
    return pages_ + (uint64_t(ce) * blocksPerCE_ + block) * pagesPerBlock_;
  }
  BlockEntry& Block(uint32_t ce, uint32_t block) { return blocks_[uint64_t(ce) * blocksPerCE_ + block]; }
  ContentStore& Contents() { return *contents_; }
  // Gives the disk space of an erased block's page entries back.
  void ReleaseBlockPages(uint32_t ce, uint32_t block);
  // Bytes the state files occupy on disk.
  uint64_t DiskBytes() const;
  int LockFd() const { return stateFd_; }

 private:
  FlashState() = default;
  std::string folder_;
  uint32_t blocksPerCE_ = 0, pagesPerBlock_ = 0;
  int stateFd_ = -1, blocksFd_ = -1, pagesFd_ = -1, contentFd_ = -1;
  StateHeader* header_ = nullptr;
  BlockEntry* blocks_ = nullptr;
  PageEntry* pages_ = nullptr;
  size_t blocksBytes_ = 0, pagesBytes_ = 0;
  std::unique_ptr<ContentStore> contents_;
};

// The drive's lock: exclusive between processes (flock on state.bin) and
// between threads of one process that share a FlashState.
class DriveLock {
 public:
  explicit DriveLock(int fd);
  ~DriveLock();
  DriveLock(const DriveLock&) = delete;
  DriveLock& operator=(const DriveLock&) = delete;

 private:
  int fd_;
};

}  // namespace sim
