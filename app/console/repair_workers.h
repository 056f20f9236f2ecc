// The repair run's two workers and how they end when the dialog closes.
//
// ThreadRevert constructs a DLLSort for the drive letter and runs StartSort
// with the program's configuration; GetTestStatus, its progress callback,
// turns each SortProgress into the status text. ThreadRepair waits for the
// manual-reset event "DeviceArrived" and runs the device library's repair.
//
// Close while a worker runs (RequestStop): a revert that has not reached
// StartSort yet never starts it (the worker checks a flag first); a revert
// inside StartSort is stopped through StopSort, from a helper thread so
// that the dialog thread stays responsive; a repair worker still waiting
// for "DeviceArrived" is released without calling the library; a device
// repair already running cannot be stopped and is waited for. Nothing here
// returns before its threads have ended, so the device library is never
// unloaded under a worker. No Qt here.
#pragma once
#include <atomic>
#include <thread>

#include "app/console/device_library_binding.h"
#include "app/console/repair_context.h"
#include "app/console/sievex_import.h"

// The revert's progress callback: on the revert's thread, stores the
// percent and the status text in TheRepairContext().
void GetTestStatus(void* progress);

// The process's import of Sievex.dll beside the program.
SievexImport& ProgramSievexImport();

class RepairWorkers {
 public:
  RepairWorkers(SievexImport& sievex, DeviceLibraryBinding& library);
  // RequestStop() and Join().
  ~RepairWorkers();
  RepairWorkers(const RepairWorkers&) = delete;
  RepairWorkers& operator=(const RepairWorkers&) = delete;

  // Starts ThreadRevert. The caller has set workerRunning; the worker
  // stores revertSucceeded and then clears workerRunning.
  void StartRevert();
  // Starts ThreadRepair for `device` with the option byte `option`.
  void StartRepair(DravikDevice device, uint8_t option);

  // Asks every worker to end as soon as it safely can (see above).
  void RequestStop();
  // True while any worker thread runs.
  bool Busy() const;
  // True while the device library's repair runs (a Close must wait).
  bool DeviceRepairRunning() const { return m_inDeviceRepair.load(); }
  // Waits for every worker thread.
  void Join();

 private:
  void ThreadRevert();
  void ThreadRepair(DravikDevice device, uint8_t option);
  void StopRevertLoop();

  SievexImport& m_sievex;
  DeviceLibraryBinding& m_library;
  std::atomic<bool> m_stopRequested{false};
  std::atomic<bool> m_revertActive{false};
  std::atomic<bool> m_repairActive{false};
  // Set (after the object exists) just before StartSort, cleared after.
  std::atomic<bool> m_inStartSort{false};
  std::atomic<bool> m_inDeviceRepair{false};
  std::atomic<void*> m_sortObject{nullptr};
  std::thread m_revertThread;
  std::thread m_repairThread;
  std::thread m_stopperThread;
};
