// A stand-in device library that exports only some of the entry points, so
// that the binding meets both found and missing ones.
#include <cstdint>
#include <cstring>

namespace {
struct StubDevice {
  int progress = 0;
} g_device;
}  // namespace

extern "C" {

__attribute__((visibility("default"))) void* Dravik_CreateCUSBDevice() { return &g_device; }

__attribute__((visibility("default"))) int Dravik_DeviceExist(void* device) {
  return device == &g_device ? 1 : 0;
}

__attribute__((visibility("default"))) int Dravik_GetChipID(void* device, uint16_t* chipId,
                                                           uint16_t* chipVersion) {
  if (device != &g_device) return 0;
  *chipId = 0x425;
  *chipVersion = 0x11;
  return 1;
}

__attribute__((visibility("default"))) int Dravik_GetFwVersion(void* device, char* text) {
  if (device != &g_device) return 0;
  std::strcpy(text, "120705");
  return 1;
}

__attribute__((visibility("default"))) int Dravik_GetCurrentProgress(void* device) {
  return device == &g_device ? ++g_device.progress : 0;
}

}  // extern "C"
