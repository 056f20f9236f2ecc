#include "app/console/repair_workers.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/trace.h"
#include "sortlib/interface/sievex_symbols.h"

namespace {

// How often the stopper repeats StopSort while the revert has not ended: a
// run that began just after a StopSort cleared its stop flag again.
constexpr unsigned kStopRetryMs = 20;

// The DLLSort objects live until the program ends, as the library expects
// of the objects a program constructs (one per run here).
struct alignas(8) SortObjectStorage {
  unsigned char bytes[sievex::kDLLSortSize];
};

void* NewLifetimeSortObject() {
  static std::mutex mutex;
  static auto* objects = new std::vector<std::unique_ptr<SortObjectStorage>>();
  std::lock_guard<std::mutex> lock(mutex);
  objects->push_back(std::make_unique<SortObjectStorage>());
  std::memset(objects->back()->bytes, 0, sizeof objects->back()->bytes);
  return objects->back()->bytes;
}

}  // namespace

void GetTestStatus(void* progress) {
  qv::Trace("GetTestStatus 0");
  SortProgress record;
  std::memcpy(&record, progress, sizeof record);
  RepairContext& context = TheRepairContext();
  context.testPercent = static_cast<int32_t>(record.m_dwPercent);
  context.testStatusText.Store(FormatTestStatus(context.statusNames, record));
}

SievexImport& ProgramSievexImport() {
  static SievexImport import;
  return import;
}

RepairWorkers::RepairWorkers(SievexImport& sievex, DeviceLibraryBinding& library)
    : m_sievex(sievex), m_library(library) {}

RepairWorkers::~RepairWorkers() {
  RequestStop();
  Join();
}

void RepairWorkers::StartRevert() {
  if (m_revertThread.joinable()) m_revertThread.join();
  m_revertActive = true;
  m_revertThread = std::thread([this] { ThreadRevert(); });
}

void RepairWorkers::StartRepair(DravikDevice device, uint8_t option) {
  if (m_repairThread.joinable()) m_repairThread.join();
  m_repairActive = true;
  m_repairThread = std::thread([this, device, option] { ThreadRepair(device, option); });
}

void RepairWorkers::ThreadRevert() {
  RepairContext& context = TheRepairContext();
  auto finish = [&](bool succeeded) {
    context.revertSucceeded = succeeded;
    context.workerRunning = false;
    m_revertActive = false;
  };
  char drive[2] = {context.driveLetter[0], '\0'};
  if (m_stopRequested) return finish(false);
  if (!m_sievex.Bind()) {
    context.revertError.Store(m_sievex.Error());
    return finish(false);
  }
  void* object = NewLifetimeSortObject();
  m_sievex.Construct(object, drive, 0);
  m_sortObject = object;
  // Announce StartSort before the last look at the stop flag: a Close that
  // comes later sees m_inStartSort and stops the run through StopSort.
  m_inStartSort = true;
  if (m_stopRequested) {
    m_inStartSort = false;
    return finish(false);
  }
  qv::Trace("ThreadRevert 0");
  int result = m_sievex.StartSort(object, 0, &context.revertConfig, GetTestStatus);
  m_inStartSort = false;
  if (result != 0) qv::Trace("ThreadRevert 1");
  finish(result != 0);
}

void RepairWorkers::ThreadRepair(DravikDevice device, uint8_t option) {
  std::shared_ptr<qv::NamedEvent> arrived = TheRepairContext().deviceArrivedEvent;
  if (arrived) arrived->Wait();
  if (!m_stopRequested) {
    if (arrived) arrived->Reset();
    m_inDeviceRepair = true;
    // Checked again: a Close between the wait and here must not start it.
    if (!m_stopRequested) m_library.RunRepairDevice(device, option);
    m_inDeviceRepair = false;
  }
  m_repairActive = false;
}

void RepairWorkers::StopRevertLoop() {
  while (m_revertActive) {
    if (m_inStartSort) m_sievex.StopSort(m_sortObject.load());
    qv::SleepMs(kStopRetryMs);
  }
}

void RepairWorkers::RequestStop() {
  if (m_stopRequested.exchange(true)) return;
  if (m_revertActive && !m_stopperThread.joinable())
    m_stopperThread = std::thread([this] { StopRevertLoop(); });
  if (std::shared_ptr<qv::NamedEvent> arrived = TheRepairContext().deviceArrivedEvent) arrived->Set();
}

bool RepairWorkers::Busy() const { return m_revertActive || m_repairActive; }

void RepairWorkers::Join() {
  if (m_revertThread.joinable()) m_revertThread.join();
  if (m_stopperThread.joinable()) m_stopperThread.join();
  if (m_repairThread.joinable()) m_repairThread.join();
}
