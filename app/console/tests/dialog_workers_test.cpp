// The repair run's workers against stand-in libraries: what reaches the
// shared record, and what a Close does to each phase. No Qt: these run
// under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/console/repair_workers.h"
#include "app/console/tests/dialog_test_support.h"
#include "platform/trace.h"

namespace {

class RepairWorkersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context.Reset();
    context.driveLetter[0] = 'E';
    context.revertConfig = ProgramRevertConfig();
    context.statusNames = RevertStatusNames();
    dravik = FreshDravikScript();
    sievex = FreshSievexScript();
  }

  // What OnRepair does before it starts the revert.
  void StartRevert(RepairWorkers& workers) {
    context.deviceArrivedEvent = qv::CreateNamedEvent(kDeviceArrivedEventName, true, false);
    context.revertSucceeded = true;
    context.workerRunning = true;
    workers.StartRevert();
  }

  RepairContext& context = TheRepairContext();
  FakeDravikScript* dravik = nullptr;
  FakeSievexScript* sievex = nullptr;
  SievexImport import{FakeSievexPath()};
  DeviceLibraryBinding library{kFakeDravik};
};

TEST_F(RepairWorkersTest, RevertReportsEveryStatusAndItsResult) {
  sievex->steps[0] = {0, 10, 30, 7};
  sievex->steps[1] = {2, 60, 90, 3};
  sievex->steps[2] = {3, 100, 120, 2};
  sievex->stepCount = 3;
  qv::TraceCapture trace;
  {
    RepairWorkers workers(import, library);
    StartRevert(workers);
    ASSERT_TRUE(WaitUntil([&] { return !context.workerRunning; }));
    workers.Join();
  }
  EXPECT_TRUE(context.revertSucceeded);
  EXPECT_EQ(context.testPercent, 100);
  EXPECT_EQ(context.testStatusText.Load(), "Status : Finish\nScanned Blocks : 120\nBad Blocks : 3");
  EXPECT_STREQ(sievex->lastDrive, "E");
  EXPECT_EQ(sievex->lastPatternType, 2);  // the program's configuration reached the library
  const auto lines = trace.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "GetTestStatus 0"), 3);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "ThreadRevert 0"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "ThreadRevert 1"), lines.end());
}

TEST_F(RepairWorkersTest, FailedRevertAndUnknownStateCode) {
  sievex->steps[0] = {0, 40, 5, 12};  // a state past the names
  sievex->stepCount = 1;
  sievex->result = 0;
  qv::TraceCapture trace;
  RepairWorkers workers(import, library);
  StartRevert(workers);
  ASSERT_TRUE(WaitUntil([&] { return !context.workerRunning; }));
  workers.Join();
  EXPECT_FALSE(context.revertSucceeded);
  EXPECT_EQ(context.testStatusText.Load(), "Status : Unknown state (12)\nScanned Blocks : 5\nBad Blocks : 0");
  const auto lines = trace.Lines();
  EXPECT_EQ(std::find(lines.begin(), lines.end(), "ThreadRevert 1"), lines.end());
}

TEST_F(RepairWorkersTest, MissingLibraryOrExportFailsTheRevertWithAReason) {
  struct Case {
    std::string path;
    std::string mentions;
  };
  const Case cases[] = {{qv::JoinPath(qv::ExecutableDirectory(), "NoSuchSievex.dll"), "NoSuchSievex.dll"},
                        {FakeSievexPath(false), "StartSort"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    context.revertError.Store({});
    SievexImport broken(c.path);
    RepairWorkers workers(broken, library);
    StartRevert(workers);
    ASSERT_TRUE(WaitUntil([&] { return !context.workerRunning; }));
    workers.Join();
    EXPECT_FALSE(context.revertSucceeded);
    EXPECT_NE(context.revertError.Load().find(c.mentions), std::string::npos) << context.revertError.Load();
  }
}

TEST_F(RepairWorkersTest, CloseDuringDiscoveryNeverStartsTheRevert) {
  sievex->holdConstructor = true;
  RepairWorkers workers(import, library);
  StartRevert(workers);
  // The worker is inside the constructor (discovery) when the Close comes.
  ASSERT_TRUE(WaitUntil([&] { return workers.Busy(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  workers.RequestStop();
  sievex->holdConstructor = false;
  workers.Join();
  EXPECT_EQ(sievex->constructed, 1);
  EXPECT_EQ(sievex->startCalls, 0);
  EXPECT_FALSE(context.revertSucceeded);
  EXPECT_FALSE(workers.Busy());
}

TEST_F(RepairWorkersTest, CloseDuringTheRevertStopsItThroughStopSort) {
  sievex->holdStartSort = true;
  RepairWorkers workers(import, library);
  StartRevert(workers);
  ASSERT_TRUE(WaitUntil([&] { return sievex->insideStartSort == 1; }));
  workers.RequestStop();
  workers.Join();  // returns only because StopSort ended the run
  EXPECT_GE(sievex->stopCalls, 1);
  EXPECT_EQ(sievex->insideStartSort, 0);
  EXPECT_FALSE(context.revertSucceeded);
  EXPECT_FALSE(context.workerRunning);
}

TEST_F(RepairWorkersTest, RepairWorkerRunsOnTheEventWithTheOptionByte) {
  context.deviceArrivedEvent = qv::CreateNamedEvent(kDeviceArrivedEventName, true, false);
  RepairWorkers workers(import, library);
  DravikDevice device = library.CreateCUSBDevice();
  workers.StartRepair(device, 0xA0);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(dravik->repairCalls, 0);  // still waiting for "DeviceArrived"
  context.deviceArrivedEvent->Set();
  ASSERT_TRUE(WaitUntil([&] { return !workers.Busy(); }));
  workers.Join();
  EXPECT_EQ(dravik->repairCalls, 1);
  EXPECT_EQ(dravik->lastOption, 0xA0);
  EXPECT_FALSE(context.deviceArrivedEvent->IsSet());  // the worker reset it
}

TEST_F(RepairWorkersTest, CloseReleasesAWaitingRepairWithoutCallingTheLibrary) {
  context.deviceArrivedEvent = qv::CreateNamedEvent(kDeviceArrivedEventName, true, false);
  RepairWorkers workers(import, library);
  workers.StartRepair(library.CreateCUSBDevice(), 0xA0);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  workers.RequestStop();
  workers.Join();
  EXPECT_EQ(dravik->repairCalls, 0);
}

TEST_F(RepairWorkersTest, CloseWaitsForARunningDeviceRepair) {
  context.deviceArrivedEvent = qv::CreateNamedEvent(kDeviceArrivedEventName, true, true);
  dravik->holdRepair = true;
  RepairWorkers workers(import, library);
  workers.StartRepair(library.CreateCUSBDevice(), 0xA0);
  ASSERT_TRUE(WaitUntil([&] { return dravik->repairRunning == 1; }));
  workers.RequestStop();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(workers.Busy());
  EXPECT_TRUE(workers.DeviceRepairRunning());
  dravik->holdRepair = false;
  workers.Join();
  EXPECT_EQ(dravik->repairCalls, 1);
  EXPECT_EQ(dravik->repairRunning, 0);
}

}  // namespace
