// Sievex.dll bound the way the program binds it: loaded by path, each
// member of DLLSort fetched by its exported name, the object constructed in
// 260 bytes of the caller's.
#pragma once
#include <string>

#include "sortlib/interface/kv_config.h"

namespace discovery_test {

struct SievexBinding {
  void* library = nullptr;  // the dlopen handle
  void (*construct)(void* self, char* drive, int verify) = nullptr;
  void (*destroy)(void* self) = nullptr;
  int (*startSort)(void* self, int port, _KVConfig* config, void (*callback)(void*)) = nullptr;
  void (*stopSort)(void* self) = nullptr;
  void (*refresh)(void* self) = nullptr;
  int (*getDiskName)(void* self, char* out) = nullptr;
  int (*isDeviceUse)(void* self) = nullptr;
  int (*getConfig)(void* self, _KVConfig* out) = nullptr;
  int (*getDeviceInfo)(void* self, _USBDevceInfo* out) = nullptr;

  // Loads the library once per process (it stays loaded, as in the
  // program); false with a reason when a name is missing.
  static const SievexBinding* Get(std::string* error);
};

// One DLLSort object in caller-allocated storage.
class BoundSort {
 public:
  BoundSort(const SievexBinding& binding, const char* drive, int verify);
  ~BoundSort();
  BoundSort(const BoundSort&) = delete;
  BoundSort& operator=(const BoundSort&) = delete;

  int StartSort(_KVConfig* config, void (*callback)(void*));
  void StopSort() { b_.stopSort(storage_); }
  void Refresh() { b_.refresh(storage_); }
  int GetDiskName(char* out) { return b_.getDiskName(storage_, out); }
  int IsDeviceUse() { return b_.isDeviceUse(storage_); }
  int GetDeviceInfo(_USBDevceInfo* out) { return b_.getDeviceInfo(storage_, out); }

 private:
  const SievexBinding& b_;
  alignas(8) unsigned char storage_[260];
};

}  // namespace discovery_test
