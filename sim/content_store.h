// The page contents of a drive, each distinct content stored once in an
// append-only file. A revert writes the same pattern into every block, so
// a full drive costs only a handful of records. Every process keeps its own
// index (crc32 of the content → ids) and catches up with records appended
// by others whenever it takes the drive's lock.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace sim {

class ContentStore {
 public:
  ContentStore(int fd, uint32_t pageBytes, uint64_t* sharedCount);
  ~ContentStore() = default;

  // Reads the records other processes appended. Call under the lock.
  void CatchUp();
  // The id of this content (0 for an erased page), appending it if new.
  uint32_t Intern(const uint8_t* page);
  // Whether content `id` equals page: a cheaper test than hashing when the
  // caller has a likely candidate.
  bool Equals(uint32_t id, const uint8_t* page);
  // Copies content `id` into out (pageBytes).
  void Read(uint32_t id, uint8_t* out);
  uint64_t Count() const { return *count_; }
  uint32_t PageBytes() const { return pageBytes_; }

 private:
  const uint8_t* Cached(uint32_t id);
  void Remember(uint32_t id, uint32_t crc, const uint8_t* page);

  int fd_;
  uint32_t pageBytes_;
  uint64_t* count_;           // in the mapped header, shared by all processes
  uint64_t indexed_ = 0;
  uint32_t erasedCrc_ = 0;
  std::vector<uint8_t> erased_;
  std::unordered_multimap<uint32_t, uint32_t> byCrc_;
  std::unordered_map<uint32_t, std::vector<uint8_t>> cache_;
  uint64_t cachedBytes_ = 0;
  std::vector<uint8_t> scratch_;
};

}  // namespace sim
