#include "sim/flash_state.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

void* MapFile(int fd, size_t size) {
  if (size == 0) return nullptr;
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return p == MAP_FAILED ? nullptr : p;
}

// A re-created file is a new file: a process that still maps the old one
// keeps a valid (orphaned) mapping instead of faulting on a truncated one.
int OpenFile(const std::string& path, bool create) {
  if (create) ::unlink(path.c_str());
  int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
  return ::open(path.c_str(), flags, 0644);
}

uint64_t AllocatedBytes(int fd) {
  struct stat st{};
  return fd >= 0 && fstat(fd, &st) == 0 ? uint64_t(st.st_blocks) * 512 : 0;
}

}  // namespace

std::unique_ptr<FlashState> FlashState::Open(const std::string& folder, const DriveSpec& desc,
                                             bool create, std::string* error) {
  auto fail = [&](const std::string& why) -> std::unique_ptr<FlashState> {
    if (error) *error = folder + ": " + why + (errno ? std::string(" (") + std::strerror(errno) + ")" : "");
    return nullptr;
  };
  std::unique_ptr<FlashState> s(new FlashState);
  s->folder_ = folder;
  s->blocksPerCE_ = desc.blocksPerCE;
  s->pagesPerBlock_ = desc.pagesPerBlock;
  errno = 0;
  s->stateFd_ = OpenFile(folder + "/state.bin", create);
  if (s->stateFd_ < 0) return fail(create ? "cannot create state.bin" : "no state.bin");
  if (create) {
    s->blocksFd_ = OpenFile(folder + "/blocks.bin", true);
    s->pagesFd_ = OpenFile(folder + "/pages.bin", true);
    s->contentFd_ = OpenFile(folder + "/content.bin", true);
    if (s->blocksFd_ < 0 || s->pagesFd_ < 0 || s->contentFd_ < 0) return fail("cannot create the state files");
    if (ftruncate(s->stateFd_, sizeof(StateHeader)) != 0) return fail("cannot size state.bin");
  } else {
    s->blocksFd_ = OpenFile(folder + "/blocks.bin", false);
    s->pagesFd_ = OpenFile(folder + "/pages.bin", false);
    s->contentFd_ = OpenFile(folder + "/content.bin", false);
    if (s->blocksFd_ < 0 || s->pagesFd_ < 0 || s->contentFd_ < 0) return fail("state files missing");
  }
  uint64_t blockCount = uint64_t(desc.ces) * desc.blocksPerCE;
  s->blocksBytes_ = blockCount * sizeof(BlockEntry);
  s->pagesBytes_ = blockCount * desc.pagesPerBlock * sizeof(PageEntry);
  if (create && (ftruncate(s->blocksFd_, off_t(s->blocksBytes_)) != 0 ||
                 ftruncate(s->pagesFd_, off_t(s->pagesBytes_)) != 0))
    return fail("cannot size the tables");
  struct stat st{};
  if (fstat(s->stateFd_, &st) != 0 || size_t(st.st_size) < sizeof(StateHeader)) return fail("state.bin too short");
  if (fstat(s->pagesFd_, &st) != 0 || size_t(st.st_size) != s->pagesBytes_) return fail("pages.bin does not fit the geometry");
  if (fstat(s->blocksFd_, &st) != 0 || size_t(st.st_size) != s->blocksBytes_) return fail("blocks.bin does not fit the geometry");

  s->header_ = static_cast<StateHeader*>(MapFile(s->stateFd_, sizeof(StateHeader)));
  s->blocks_ = static_cast<BlockEntry*>(MapFile(s->blocksFd_, s->blocksBytes_));
  s->pages_ = static_cast<PageEntry*>(MapFile(s->pagesFd_, s->pagesBytes_));
  if (!s->header_ || !s->blocks_ || !s->pages_) return fail("cannot map the state");
  StateHeader& h = *s->header_;
  if (create) {
    std::memset(&h, 0, sizeof h);
    std::memcpy(h.magic, kStateMagic, sizeof h.magic);
    h.version = kStateVersion;
    h.headerSize = sizeof(StateHeader);
    h.ces = desc.ces;
    h.blocksPerCE = desc.blocksPerCE;
    h.pagesPerBlock = desc.pagesPerBlock;
    h.sectorsPerPage = desc.sectorsPerPage;
  } else if (std::memcmp(h.magic, kStateMagic, sizeof h.magic) != 0 || h.version != kStateVersion ||
             h.ces != desc.ces || h.blocksPerCE != desc.blocksPerCE || h.pagesPerBlock != desc.pagesPerBlock ||
             h.sectorsPerPage != desc.sectorsPerPage) {
    errno = 0;
    return fail("state does not match drive.ini (re-create the drive)");
  }
  s->contents_ = std::make_unique<ContentStore>(s->contentFd_, desc.PageBytes(), &h.contentCount);
  return s;
}

FlashState::~FlashState() {
  if (header_) munmap(header_, sizeof(StateHeader));
  if (blocks_) munmap(blocks_, blocksBytes_);
  if (pages_) munmap(pages_, pagesBytes_);
  for (int fd : {stateFd_, blocksFd_, pagesFd_, contentFd_})
    if (fd >= 0) ::close(fd);
}

void FlashState::ReleaseBlockPages(uint32_t ce, uint32_t block) {
  // Only whole file-system pages can be given back; smaller blocks stay
  // allocated as zeros, which reads the same.
  size_t bytes = size_t(pagesPerBlock_) * sizeof(PageEntry);
  off_t offset = off_t((uint64_t(ce) * blocksPerCE_ + block) * bytes);
  if (bytes % 4096 == 0 && offset % 4096 == 0 &&
      fallocate(pagesFd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset, off_t(bytes)) == 0)
    return;
  std::memset(BlockPages(ce, block), 0, bytes);
}

uint64_t FlashState::DiskBytes() const {
  return AllocatedBytes(stateFd_) + AllocatedBytes(blocksFd_) + AllocatedBytes(pagesFd_) +
         AllocatedBytes(contentFd_);
}

DriveLock::DriveLock(int fd) : fd_(fd) {
  while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
  }
}

DriveLock::~DriveLock() { flock(fd_, LOCK_UN); }

}  // namespace sim
