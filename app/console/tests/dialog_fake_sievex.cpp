// The stand-in sort library (see dialog_fake_sievex.h). Built with
// FAKE_SIEVEX_NO_START_SORT it lacks StartSort, as a broken library would.
#include "app/console/tests/dialog_fake_sievex.h"

#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "sortlib/interface/sievex.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
alignas(FakeSievexScript) unsigned char g_storage[sizeof(FakeSievexScript)];
FakeSievexScript* g_script = new (g_storage) FakeSievexScript();

void Nap() { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }
}  // namespace

EXPORT FakeSievexScript* FakeSievex_Script() { return g_script; }
EXPORT void FakeSievex_Reset() {
  g_script->~FakeSievexScript();
  g_script = new (g_storage) FakeSievexScript();
}

DLLSort::DLLSort(char* drive, int verify)
    : m_pLocator(nullptr), m_Config{}, m_Unused{}, m_dwIdle(1), m_dwVerifyDevice(verify) {
  std::strncpy(g_script->lastDrive, drive ? drive : "", sizeof g_script->lastDrive - 1);
  while (g_script->holdConstructor) Nap();
  ++g_script->constructed;
}

#ifndef FAKE_SIEVEX_NO_START_SORT
int DLLSort::StartSort(int, _KVConfig* config, void (*callback)(void*)) {
  ++g_script->startCalls;
  ++g_script->insideStartSort;
  g_script->lastPatternType = config->m_bPatternType;
  for (int i = 0; i < g_script->stepCount; ++i) {
    const FakeSievexProgress& s = g_script->steps[i];
    uint32_t record[4] = {s.bad, s.percent, s.scanned, s.status};
    callback(record);
  }
  while (g_script->holdStartSort && !g_script->stopFlag) Nap();
  const bool stopped = g_script->stopFlag.exchange(false);
  --g_script->insideStartSort;
  return stopped ? 0 : g_script->result;
}
#endif

void DLLSort::StopSort() {
  ++g_script->stopCalls;
  if (g_script->insideStartSort == 0) return;
  g_script->stopFlag = true;
  while (g_script->insideStartSort != 0) Nap();
}
