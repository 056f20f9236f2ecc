#include "app/console/sievex_import.h"

#include <cstring>

#include "platform/library.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "sortlib/interface/sievex_symbols.h"

SievexImport::SievexImport(std::string path) : path_(std::move(path)) {
  if (path_.empty()) path_ = qv::JoinPath(qv::ExecutableDirectory(), "Sievex.dll");
}

SievexImport::~SievexImport() {
  // The library stays loaded until the process ends: its objects live
  // until then and a worker may still be inside it.
}

bool SievexImport::Bind() {
  std::call_once(once_, [this] {
    module_ = qv::LoadLibrary(path_);
    if (!module_) {
      error_ = "Can not load " + path_ + ": " + qv::LastLibraryErrorText();
      return;
    }
    construct_ = reinterpret_cast<void (*)(void*, char*, int)>(
        qv::GetProcAddress(module_, sievex::kSymbolConstructor));
    startSort_ = reinterpret_cast<int (*)(void*, int, _KVConfig*, void (*)(void*))>(
        qv::GetProcAddress(module_, sievex::kSymbolStartSort));
    stopSort_ = reinterpret_cast<void (*)(void*)>(qv::GetProcAddress(module_, sievex::kSymbolStopSort));
    if (!construct_ || !startSort_ || !stopSort_) {
      error_ = path_ + " does not export DLLSort::" +
               std::string(!construct_ ? "DLLSort" : !startSort_ ? "StartSort" : "StopSort");
      return;
    }
    bound_ = true;
  });
  return bound_;
}

void SievexImport::Construct(void* object, char* drive, int verify) { construct_(object, drive, verify); }

int SievexImport::StartSort(void* object, int port, _KVConfig* config, void (*callback)(void*)) {
  return startSort_(object, port, config, callback);
}

void SievexImport::StopSort(void* object) { stopSort_(object); }

bool SievexImport::GetDeviceInfo(void* object, _USBDevceInfo* out, int* result) {
  auto fn = reinterpret_cast<int (*)(void*, _USBDevceInfo*)>(qv::GetProcAddress(module_, sievex::kSymbolGetDeviceInfo));
  if (!fn) return false;
  *result = fn(object, out);
  return true;
}

bool SievexImport::Destroy(void* object) {
  auto fn = reinterpret_cast<void (*)(void*)>(qv::GetProcAddress(module_, sievex::kSymbolDestructor));
  if (!fn) return false;
  fn(object);
  return true;
}

_KVConfig ProgramRevertConfig() {
  _KVConfig c;
  std::memset(&c, 0, sizeof c);
  c.m_dwReserved0C = 1;
  c.m_dwEraseFirst = 1;
  c.m_bErrorBits = 2;
  c.m_bVoltageIndex = 1;
  c.m_bTimingIndex = 2;
  c.m_bStageCount = 1;
  c.m_dwReservedC7 = 1;
  c.m_bCEGroup = 1;
  c.m_bPageCount = 6;
  c.m_bPatternType = 2;
  c.m_dwBadTable = 1;
  return c;
}
