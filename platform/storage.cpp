#include "platform/storage.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace qv {

namespace {

std::mutex g_mutex;
StorageBackend* g_override = nullptr;
std::unique_ptr<StorageBackend> g_default;

// A machine without drives: what a backend that cannot start answers.
class EmptyStorage final : public StorageBackend {
 public:
  uint32_t LogicalDriveMask() override { return 0; }
  uint32_t DriveType(std::string_view) override { return kDriveNoRootDir; }
  std::unique_ptr<Device> Open(std::string_view, unsigned, int* error) override {
    if (error) *error = ENOENT;
    return nullptr;
  }
  std::vector<std::string> DiskInterfaces() override { return {}; }
};

}  // namespace

// The backends live in their own files; these empty stand-ins keep every
// host linkable when one of them is left out.
__attribute__((weak)) std::unique_ptr<StorageBackend> CreateSimStorage(const std::string&) {
  return std::make_unique<EmptyStorage>();
}
__attribute__((weak)) std::unique_ptr<StorageBackend> CreateLinuxStorage(const std::string&,
                                                                        const std::string&) {
  return std::make_unique<EmptyStorage>();
}

StorageBackend& Storage() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_override) return *g_override;
  if (!g_default) {
    const char* sim = std::getenv("QUORVIN_SIM");
    if (sim && *sim) {
      g_default = CreateSimStorage(sim);
    } else {
      const char* sys = std::getenv("QUORVIN_SYSFS_ROOT");
      g_default = CreateLinuxStorage(sys && *sys ? sys : "/sys", "/dev");
    }
    if (!g_default) g_default = std::make_unique<EmptyStorage>();
  }
  return *g_default;
}

void SetStorageBackend(StorageBackend* backend) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_override = backend;
}

uint32_t GetLogicalDrives() { return Storage().LogicalDriveMask(); }
uint32_t GetDriveType(std::string_view root) { return Storage().DriveType(root); }
std::unique_ptr<Device> OpenDevice(std::string_view path, unsigned access, int* error) {
  return Storage().Open(path, access, error);
}

}  // namespace qv
