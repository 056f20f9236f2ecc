#include "sim/repair_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "sim/repair_commands.h"

namespace sim {

namespace {

// user_area.map: a 32-byte header (magic, then six little-endian uint32:
// CEs, blocks per CE, pages per block, sectors per page, block count, 0)
// and one little-endian uint32 per mapped block, CE << 24 | block.
constexpr char kMapMagic[8] = {'Q', 'V', 'U', 'A', 'M', 'A', 'P', '1'};
constexpr size_t kMapHeaderBytes = 32;
constexpr uint32_t kMaxBlockInEntry = 0xFFFFFF;

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint32_t GetLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* out, struct stat* st) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fstat(fd, st) == 0 && st->st_size >= 0;
  if (ok) {
    out->resize(size_t(st->st_size));
    size_t done = 0;
    while (ok && done < out->size()) {
      ssize_t n = ::read(fd, out->data() + done, out->size() - done);
      if (n <= 0) ok = false;
      else done += size_t(n);
    }
  }
  ::close(fd);
  return ok;
}

// Writes beside the target and renames over it.
bool ReplaceFile(const std::string& path, const uint8_t* data, size_t size) {
  const std::string temporary = path + ".new." + std::to_string(::getpid());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (ok && done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) ok = false;
    else done += size_t(n);
  }
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

std::shared_ptr<const UserAreaMap> ParseMap(const std::vector<uint8_t>& bytes, const DriveSpec& spec) {
  if (bytes.size() < kMapHeaderBytes || std::memcmp(bytes.data(), kMapMagic, sizeof kMapMagic) != 0)
    return nullptr;
  auto map = std::make_shared<UserAreaMap>();
  map->ces = GetLe32(&bytes[8]);
  map->blocksPerCE = GetLe32(&bytes[12]);
  map->pagesPerBlock = GetLe32(&bytes[16]);
  map->sectorsPerPage = GetLe32(&bytes[20]);
  const uint32_t count = GetLe32(&bytes[24]);
  if (map->ces != spec.ces || map->blocksPerCE != spec.blocksPerCE ||
      map->pagesPerBlock != spec.pagesPerBlock || map->sectorsPerPage != spec.sectorsPerPage)
    return nullptr;
  if (bytes.size() != kMapHeaderBytes + size_t(count) * 4) return nullptr;
  // Every block at most once: two logical blocks on one physical block
  // would overwrite each other.
  std::vector<bool> seen(size_t(spec.ces) * spec.blocksPerCE, false);
  map->blocks.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t v = GetLe32(&bytes[kMapHeaderBytes + size_t(i) * 4]);
    const MappedBlock b{v >> 24, v & kMaxBlockInEntry};
    if (b.ce >= spec.ces || b.block >= spec.blocksPerCE) return nullptr;
    const size_t index = size_t(b.ce) * spec.blocksPerCE + b.block;
    if (seen[index]) return nullptr;
    seen[index] = true;
    map->blocks.push_back(b);
  }
  return map;
}

struct CachedMap {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t mtimeNs = 0;
  std::shared_ptr<const UserAreaMap> map;
};

std::mutex g_cacheMutex;
std::unordered_map<std::string, CachedMap>& Cache() {
  static std::unordered_map<std::string, CachedMap> cache;
  return cache;
}

int64_t MtimeNs(const struct stat& st) { return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec; }

}  // namespace

std::optional<std::string> StoredFirmwareVersion(const std::string& folder) {
  std::vector<uint8_t> image;
  struct stat st{};
  if (!ReadFile(folder + "/" + kFirmwareFileName, &image, &st)) return std::nullopt;
  if (image.size() != repaircmd::kFirmwareImageBytes) return std::nullopt;
  const char* text = reinterpret_cast<const char*>(&image[repaircmd::kFirmwareVersionOffset]);
  return std::string(text, strnlen(text, repaircmd::kFirmwareVersionBytes));
}

bool StoreFirmware(const std::string& folder, const std::vector<uint8_t>& image) {
  return ReplaceFile(folder + "/" + kFirmwareFileName, image.data(), image.size());
}

std::shared_ptr<const UserAreaMap> LoadUserAreaMap(const std::string& folder, const DriveSpec& spec) {
  const std::string path = folder + "/" + kUserAreaFileName;
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return nullptr;
  {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    auto it = Cache().find(path);
    if (it != Cache().end() && it->second.device == st.st_dev && it->second.inode == st.st_ino &&
        it->second.size == st.st_size && it->second.mtimeNs == MtimeNs(st)) {
      const UserAreaMap* m = it->second.map.get();
      if (m && m->ces == spec.ces && m->blocksPerCE == spec.blocksPerCE &&
          m->pagesPerBlock == spec.pagesPerBlock && m->sectorsPerPage == spec.sectorsPerPage)
        return it->second.map;
    }
  }
  std::vector<uint8_t> bytes;
  if (!ReadFile(path, &bytes, &st)) return nullptr;
  std::shared_ptr<const UserAreaMap> map = ParseMap(bytes, spec);
  std::lock_guard<std::mutex> lock(g_cacheMutex);
  Cache()[path] = CachedMap{st.st_dev, st.st_ino, st.st_size, MtimeNs(st), map};
  return map;
}

bool StoreUserAreaMap(const std::string& folder, const UserAreaMap& map) {
  std::vector<uint8_t> bytes(kMapHeaderBytes + map.blocks.size() * 4, 0);
  std::memcpy(bytes.data(), kMapMagic, sizeof kMapMagic);
  PutLe32(&bytes[8], map.ces);
  PutLe32(&bytes[12], map.blocksPerCE);
  PutLe32(&bytes[16], map.pagesPerBlock);
  PutLe32(&bytes[20], map.sectorsPerPage);
  PutLe32(&bytes[24], uint32_t(map.blocks.size()));
  for (size_t i = 0; i < map.blocks.size(); ++i) {
    if (map.blocks[i].ce > 0xFF || map.blocks[i].block > kMaxBlockInEntry) return false;
    PutLe32(&bytes[kMapHeaderBytes + i * 4], map.blocks[i].ce << 24 | map.blocks[i].block);
  }
  return ReplaceFile(folder + "/" + kUserAreaFileName, bytes.data(), bytes.size());
}

}  // namespace sim
