#include "tests/discovery_sievex_binding.h"

#include <dlfcn.h>

#include <cstring>
#include <mutex>

#include "sortlib/interface/sievex_symbols.h"

namespace discovery_test {
namespace {

template <typename T>
bool Bind(void* library, const char* name, T* slot, std::string* error) {
  *slot = reinterpret_cast<T>(dlsym(library, name));
  if (*slot == nullptr) *error = std::string("missing export ") + name;
  return *slot != nullptr;
}

}  // namespace

const SievexBinding* SievexBinding::Get(std::string* error) {
  static std::once_flag once;
  static SievexBinding binding;
  static bool ok = false;
  static std::string reason;
  std::call_once(once, [] {
    void* library = dlopen(QV_SIEVEX_DLL, RTLD_NOW | RTLD_LOCAL);
    binding.library = library;
    if (library == nullptr) {
      reason = dlerror();
      return;
    }
    ok = Bind(library, sievex::kSymbolConstructor, &binding.construct, &reason) &&
         Bind(library, sievex::kSymbolDestructor, &binding.destroy, &reason) &&
         Bind(library, sievex::kSymbolStartSort, &binding.startSort, &reason) &&
         Bind(library, sievex::kSymbolStopSort, &binding.stopSort, &reason) &&
         Bind(library, sievex::kSymbolRefresh, &binding.refresh, &reason) &&
         Bind(library, sievex::kSymbolGetDiskName, &binding.getDiskName, &reason) &&
         Bind(library, sievex::kSymbolIsDeviceUse, &binding.isDeviceUse, &reason) &&
         Bind(library, sievex::kSymbolGetConfig, &binding.getConfig, &reason) &&
         Bind(library, sievex::kSymbolGetDeviceInfo, &binding.getDeviceInfo, &reason);
  });
  if (!ok && error) *error = reason;
  return ok ? &binding : nullptr;
}

BoundSort::BoundSort(const SievexBinding& binding, const char* drive, int verify) : b_(binding) {
  char name[8] = {};
  std::strncpy(name, drive, sizeof name - 1);
  b_.construct(storage_, name, verify);
}

BoundSort::~BoundSort() { b_.destroy(storage_); }

int BoundSort::StartSort(_KVConfig* config, void (*callback)(void*)) {
  return b_.startSort(storage_, 0, config, callback);
}

}  // namespace discovery_test
