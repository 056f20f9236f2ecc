#include "sim/content_store.h"

#include <unistd.h>
#include <zlib.h>

#include <cstring>

namespace sim {

namespace {

// Contents kept in memory per process; beyond this they are read back from
// the file (the system's page cache keeps that cheap).
constexpr uint64_t kCacheBudget = 64ull << 20;

uint32_t Crc(const uint8_t* data, uint32_t size) {
  return uint32_t(crc32(0L, data, size));
}

bool ReadAt(int fd, uint8_t* out, size_t size, off_t offset) {
  while (size) {
    ssize_t n = pread(fd, out, size, offset);
    if (n <= 0) return false;
    out += n;
    size -= size_t(n);
    offset += n;
  }
  return true;
}

bool WriteAt(int fd, const uint8_t* data, size_t size, off_t offset) {
  while (size) {
    ssize_t n = pwrite(fd, data, size, offset);
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
    offset += n;
  }
  return true;
}

}  // namespace

ContentStore::ContentStore(int fd, uint32_t pageBytes, uint64_t* sharedCount)
    : fd_(fd), pageBytes_(pageBytes), count_(sharedCount), erased_(pageBytes, 0xFF), scratch_(pageBytes) {
  erasedCrc_ = Crc(erased_.data(), pageBytes_);
}

void ContentStore::CatchUp() {
  while (indexed_ < *count_) {
    uint32_t id = uint32_t(indexed_ + 1);
    if (!ReadAt(fd_, scratch_.data(), pageBytes_, off_t(indexed_) * pageBytes_)) break;
    Remember(id, Crc(scratch_.data(), pageBytes_), scratch_.data());
  }
}

void ContentStore::Remember(uint32_t id, uint32_t crc, const uint8_t* page) {
  byCrc_.emplace(crc, id);
  if (cachedBytes_ + pageBytes_ <= kCacheBudget) {
    cache_.emplace(id, std::vector<uint8_t>(page, page + pageBytes_));
    cachedBytes_ += pageBytes_;
  }
  if (id > indexed_) indexed_ = id;
}

const uint8_t* ContentStore::Cached(uint32_t id) {
  auto it = cache_.find(id);
  if (it != cache_.end()) return it->second.data();
  if (!ReadAt(fd_, scratch_.data(), pageBytes_, off_t(id - 1) * pageBytes_)) std::memset(scratch_.data(), 0, pageBytes_);
  return scratch_.data();
}

uint32_t ContentStore::Intern(const uint8_t* page) {
  CatchUp();
  uint32_t crc = Crc(page, pageBytes_);
  if (crc == erasedCrc_ && std::memcmp(page, erased_.data(), pageBytes_) == 0) return 0;
  auto [first, last] = byCrc_.equal_range(crc);
  for (auto it = first; it != last; ++it)
    if (std::memcmp(Cached(it->second), page, pageBytes_) == 0) return it->second;
  uint64_t index = *count_;
  WriteAt(fd_, page, pageBytes_, off_t(index) * pageBytes_);
  *count_ = index + 1;
  uint32_t id = uint32_t(index + 1);
  Remember(id, crc, page);
  return id;
}

bool ContentStore::Equals(uint32_t id, const uint8_t* page) {
  if (id == 0 || id > *count_) return false;
  return std::memcmp(Cached(id), page, pageBytes_) == 0;
}

void ContentStore::Read(uint32_t id, uint8_t* out) {
  if (id == 0) {
    std::memset(out, 0xFF, pageBytes_);
    return;
  }
  std::memcpy(out, Cached(id), pageBytes_);
}

}  // namespace sim
