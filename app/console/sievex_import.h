// The program's import of the sort library: Sievex.dll, loaded from the
// program's folder and bound at the first call, the way a delay-loaded
// import works. The caller allocates the 260-byte DLLSort object itself and
// the library constructs it in place.
#pragma once
#include <mutex>
#include <string>

#include "sortlib/interface/kv_config.h"

class SievexImport {
 public:
  // `path` empty: "Sievex.dll" in the executable's folder.
  explicit SievexImport(std::string path = {});
  ~SievexImport();
  SievexImport(const SievexImport&) = delete;
  SievexImport& operator=(const SievexImport&) = delete;

  // Loads the library and binds the constructor, StartSort and StopSort
  // (once; later calls answer the first outcome). False with Error() set
  // when the file or one of the three exports is missing.
  bool Bind();
  const std::string& Error() const { return error_; }

  // Valid only after Bind() succeeded.
  void Construct(void* object, char* drive, int verify);
  int StartSort(void* object, int port, _KVConfig* config, void (*callback)(void*));
  void StopSort(void* object);
  // Bound on first use; false when the library does not export them.
  bool GetDeviceInfo(void* object, _USBDevceInfo* out, int* result);
  bool Destroy(void* object);

 private:
  std::once_flag once_;
  bool bound_ = false;
  std::string path_;
  std::string error_;
  void* module_ = nullptr;
  void (*construct_)(void*, char*, int) = nullptr;
  int (*startSort_)(void*, int, _KVConfig*, void (*)(void*)) = nullptr;
  void (*stopSort_)(void*) = nullptr;
};

// The configuration the program uses for every revert.
_KVConfig ProgramRevertConfig();
