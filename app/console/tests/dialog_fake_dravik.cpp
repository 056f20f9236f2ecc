// The stand-in device library (see dialog_fake_dravik.h). Built three ways:
// complete, FAKE_DRAVIK_MINIMAL (only the device handle and DeviceExist)
// and FAKE_DRAVIK_BARE (no entry point at all).
#include "app/console/tests/dialog_fake_dravik.h"

#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
alignas(FakeDravikScript) unsigned char g_storage[sizeof(FakeDravikScript)];
FakeDravikScript* g_script = new (g_storage) FakeDravikScript();
}  // namespace

EXPORT FakeDravikScript* FakeDravik_Script() { return g_script; }
EXPORT void FakeDravik_Reset() {
  g_script->~FakeDravikScript();
  g_script = new (g_storage) FakeDravikScript();
}

#ifndef FAKE_DRAVIK_BARE
namespace {
int g_handle = 0;
}  // namespace
EXPORT void* Dravik_CreateCUSBDevice() { return &g_handle; }
EXPORT int Dravik_DeviceExist(void*) { return g_script->deviceExists; }
#endif

#if !defined(FAKE_DRAVIK_BARE) && !defined(FAKE_DRAVIK_MINIMAL)
EXPORT int Dravik_GetNumberOfDrive(void*) { return 1; }
EXPORT int Dravik_SetCurrentDriveNumber(void*, int) { return 1; }
EXPORT int Dravik_GetChipID(void*, uint16_t* id, uint16_t* version) {
  *id = g_script->chipId;
  *version = g_script->chipVersion;
  return 1;
}
EXPORT int Dravik_GetDeviceString(void*, char* text) {
  ++g_script->descriptionCalls;
  std::strcpy(text, g_script->description);
  return 1;
}
EXPORT int Dravik_GetFwVersion(void*, char* text) {
  ++g_script->fwVersionCalls;
  std::strcpy(text, g_script->fwVersion);
  return 1;
}
EXPORT int Dravik_GetUpdateFWFile(void*, char* path, uint8_t) {
  std::strcpy(path, g_script->updateFile);
  return 1;
}
EXPORT int Dravik_GetDriveLetter(void*, int, char* letter) {
  std::strcpy(letter, g_script->driveLetter);
  return 1;
}
EXPORT int Dravik_GetDeviceAttrib(void*, uint32_t* a, uint16_t* b, uint8_t* mode, uint8_t* d, uint8_t* e) {
  *a = 0;
  *b = 0;
  *mode = g_script->attribMode;
  *d = 0;
  *e = 0;
  return 1;
}
EXPORT int Dravik_RunRepairDevice(void*, uint8_t option) {
  g_script->lastOption = option;
  ++g_script->repairCalls;
  ++g_script->repairRunning;
  while (g_script->holdRepair) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (g_script->finishOnReturn) {
    g_script->progress = 100;
    g_script->state = 0xFF;
  }
  --g_script->repairRunning;
  return 1;
}
EXPORT int Dravik_GetCurrentProgress(void*) { return g_script->progress; }
EXPORT uint32_t Dravik_GetCurrentState(void*) { return g_script->state; }
EXPORT int Dravik_GetBADBlockInfomation(void*, uint32_t* bad, uint32_t* total, uint32_t* divisor) {
  *bad = g_script->bad;
  *total = g_script->total;
  *divisor = g_script->divisor;
  return 1;
}
EXPORT uint32_t Dravik_GetErrorCode(void*) { return g_script->errorCode; }
#endif
