// The exported class: drive names, configuration, device information, the
// result of a run, the re-entry guard and the stop handshake. The engine
// is replaced by a scripted one defined here.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/clock.h"
#include "sortlib/device/sort_device.h"
#include "sortlib/engine/run_revert.h"
#include "sortlib/tests/fake_machine.h"
#include "sortlib/tests/placed_sort.h"
#include "sortlib/tests/test_files.h"

namespace {

using Engine = std::function<int(SortDevice*, uint8_t, void (*)(void*))>;
Engine g_engine;
std::atomic<int> g_engineCalls{0};

}  // namespace

namespace sievex {
int RunRevert(SortDevice* device, uint8_t port, void (*callback)(void*)) {
  ++g_engineCalls;
  return g_engine ? g_engine(device, port, callback) : 0;
}
}  // namespace sievex

namespace {

using sievex_test::FakeDrive;
using sievex_test::FakeMachine;
using sievex_test::PlacedSort;
using sievex_test::Tag;

void NoProgress(void*) {}

class SievexDllSort : public ::testing::Test {
 protected:
  void SetUp() override {
    g_engine = nullptr;
    g_engineCalls = 0;
    FakeDrive& drive = machine_.AddDrive('E');
    drive.tag = Tag("KR1");
    machine_.AddDisk("disk-a", 1);
  }
  void TearDown() override { g_engine = nullptr; }

  _KVConfig ProgramConfig() {
    _KVConfig c{};
    c.m_dwReserved0C = 1;
    c.m_dwEraseFirst = 1;
    c.m_bErrorBits = 2;
    c.m_bVoltageIndex = 1;
    c.m_bTimingIndex = 2;
    c.m_bStageCount = 9;
    c.m_bPageCount = 6;
    c.m_bPatternType = 2;
    c.m_dwBadTable = 1;
    c.m_dwAltPages = 0x11223344;
    return c;
  }

  FakeMachine machine_;
};

TEST_F(SievexDllSort, EmptyNameCannotStartUntilADriveIsNamed) {
  PlacedSort sort("", 1);
  _KVConfig config = ProgramConfig();
  EXPECT_EQ(sort->StartSort(0, &config, NoProgress), 0);
  char empty[1] = {'\0'};
  EXPECT_EQ(sort->SetDeviceName(empty), 0);  // a name without a letter is refused
  EXPECT_EQ(sort->StartSort(0, &config, NoProgress), 0);

  char name[] = "E";
  EXPECT_EQ(sort->SetDeviceName(name), 1);
  // Named but not discovered: nothing to test, which is not a failure.
  EXPECT_EQ(sort->StartSort(0, &config, NoProgress), 1);
  EXPECT_EQ(g_engineCalls, 0);

  sort->Refresh();
  g_engine = [](SortDevice* d, uint8_t, void (*)(void*)) {
    d->m_bState = 2;
    return 1;
  };
  EXPECT_EQ(sort->StartSort(0, &config, NoProgress), 1);
  EXPECT_EQ(g_engineCalls, 1);
}

TEST_F(SievexDllSort, StoredConfigurationIsTheCallersWithStageCountOne) {
  PlacedSort sort("E", 1);
  _KVConfig config = ProgramConfig();
  g_engine = [](SortDevice* d, uint8_t port, void (*)(void*)) {
    EXPECT_EQ(d->m_pConfig->m_bStageCount, 1);
    EXPECT_EQ(port, 0x34);
    EXPECT_EQ(d->m_bPort, 0x34);
    d->m_bState = 2;
    return 1;
  };
  ASSERT_EQ(sort->StartSort(0x1234, &config, NoProgress), 1);
  _KVConfig stored;
  ASSERT_EQ(sort->GetConfig(&stored), 1);
  _KVConfig expected = config;
  expected.m_bStageCount = 1;
  EXPECT_EQ(std::memcmp(&stored, &expected, sizeof stored), 0);
  EXPECT_EQ(config.m_bStageCount, 9);  // the caller's record is not touched
}

TEST_F(SievexDllSort, ResultFollowsTheFinalState) {
  PlacedSort sort("E", 1);
  _KVConfig config = ProgramConfig();
  for (int state = 0; state <= 255; ++state) {
    g_engine = [state](SortDevice* d, uint8_t, void (*)(void*)) {
      d->m_bState = static_cast<uint8_t>(state);
      return 1;
    };
    bool failing = state == 0 || state == 1 || state == 8 || state == 9;
    ASSERT_EQ(sort->StartSort(0, &config, NoProgress), failing ? 0 : 1) << "state " << state;
  }
  // An engine that refuses the controller fails the run whatever the state.
  g_engine = [](SortDevice* d, uint8_t, void (*)(void*)) {
    d->m_bState = 2;
    return 0;
  };
  EXPECT_EQ(sort->StartSort(0, &config, NoProgress), 0);
}

TEST_F(SievexDllSort, MissingCallbackOrRecordsAreRefusedOrReplaced) {
  PlacedSort sort("E", 1);
  g_engine = [](SortDevice* d, uint8_t, void (*callback)(void*)) {
    EXPECT_NE(callback, nullptr);  // the engine always has one to call
    d->m_bState = 2;
    return 1;
  };
  _KVConfig config = ProgramConfig();
  EXPECT_EQ(sort->StartSort(0, &config, nullptr), 1);
  EXPECT_EQ(sort->StartSort(0, nullptr, NoProgress), 0);
  EXPECT_EQ(g_engineCalls, 1);
  EXPECT_EQ(sort->GetConfig(nullptr), 0);
  EXPECT_EQ(sort->GetDeviceInfo(nullptr), 0);
  EXPECT_EQ(sort->GetDiskName(nullptr), 0);
  EXPECT_EQ(sort->StartSort(0, &config, NoProgress), 1);  // the guard was released
}

TEST_F(SievexDllSort, DeviceNotFoundReturnsOneWithoutRunning) {
  // Identified, but its disk number matches no present disk.
  FakeDrive& h = machine_.AddDrive('H');
  h.tag = Tag("KR1");
  h.diskNumber = 42;
  PlacedSort sort("H", 1);
  _KVConfig config = ProgramConfig();
  EXPECT_EQ(sort->StartSort(0, &config, NoProgress), 1);
  EXPECT_EQ(g_engineCalls, 0);
}

TEST_F(SievexDllSort, VerifyZeroTakesAnExistingDriveAsFound) {
  FakeDrive& h = machine_.AddDrive('H');
  h.tag = Tag("KR1");
  h.diskNumber = 42;  // no present disk has it
  _USBDevceInfo info{};
  {
    PlacedSort strict("H", 1);
    EXPECT_EQ(strict->GetDeviceInfo(&info), 0);
    EXPECT_EQ(+info.m_dwFound, 0u);
  }
  PlacedSort lenient("H", 0);
  ASSERT_EQ(lenient->GetDeviceInfo(&info), 1);
  EXPECT_EQ(+info.m_dwFound, 1u);
  EXPECT_STREQ(info.m_szDrive, "H");
  g_engine = [](SortDevice* d, uint8_t, void (*)(void*)) {
    d->m_bState = 2;
    return 1;
  };
  _KVConfig config = ProgramConfig();
  EXPECT_EQ(lenient->StartSort(0, &config, NoProgress), 1);
  EXPECT_EQ(g_engineCalls, 1);
}

TEST_F(SievexDllSort, DeviceInfoCopiesTheIdentification) {
  sievex_test::InstallCarriedFlashDatabase();
  sievex_test::WriteBootImage("Boot/425/fw2.bin", 1);
  FakeDrive& drive = machine_.AddDrive('E');
  drive.tag = Tag("KrffK425A0B");
  drive.flashId = {0x98, 0xD7, 0x95, 0x32, 0x7A};
  drive.config[0] = 0x31;
  drive.config[1] = 0x10;
  drive.config[2] = 128;
  drive.config[6] = 2;
  drive.config[21] = 2;
  PlacedSort sort("e", 1);
  sievex_test::RemoveBootFolder();
  _USBDevceInfo info;
  std::memset(&info, 0xEE, sizeof info);
  ASSERT_EQ(sort->GetDeviceInfo(&info), 1);
  EXPECT_EQ(+info.m_dwFound, 1u);
  EXPECT_EQ(info.m_szDrive[0], 'E');
  EXPECT_EQ(info.m_szDrive[1], '\0');
  EXPECT_EQ(+info.m_dwCENo, 2u);
  const uint8_t id[5] = {0x98, 0xD7, 0x95, 0x32, 0x7A};
  EXPECT_EQ(std::memcmp(info.m_FlashId, id, 5), 0);
  EXPECT_EQ(+info.m_dwMLC, 1u);
  EXPECT_EQ(+info.m_dwDualMode, 0u);
  EXPECT_EQ(info.m_bPlaneCount, 2);
  EXPECT_EQ(+info.m_dwPagesPerBlock, 128u);
  EXPECT_EQ(+info.m_dwSectorsPerPage, 16u);
  EXPECT_EQ(+info.m_dwSectorsPerBlock, 2048u);
  EXPECT_EQ(+info.m_dwBlocksPerCE, 4096u);
  EXPECT_EQ(info.m_bConfigHigh, 3);
  EXPECT_EQ(info.m_bFlashSize, 10);
}

TEST_F(SievexDllSort, MissingDriveClearsOnlyTheFoundField) {
  PlacedSort sort("Z", 0);
  _USBDevceInfo info;
  std::memset(&info, 0xEE, sizeof info);
  EXPECT_EQ(sort->GetDeviceInfo(&info), 0);
  EXPECT_EQ(+info.m_dwFound, 0u);
  EXPECT_EQ(info.m_szDrive[0], '\xEE');
  char name[4] = "xx";
  EXPECT_EQ(sort->GetDiskName(name), 0);
  EXPECT_EQ(sort->IsDeviceUse(), 0);
}

// The threaded cases: an engine that runs until it is told to stop and
// then still takes a while to end.
class SievexDllSortRun : public SievexDllSort {
 protected:
  void SetUp() override {
    SievexDllSort::SetUp();
    g_engine = [this](SortDevice* d, uint8_t, void (*)(void*)) {
      stopSeenAtStart_ = d->m_bStop.load();
      running_ = true;
      while (d->m_bStop == 0) qv::SleepMs(1);
      qv::SleepMs(250);
      d->m_bState = 0;  // "UserBreak"
      finished_ = true;
      return 1;
    };
  }
  void WaitUntilRunning() {
    while (!running_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  std::atomic<bool> running_{false};
  std::atomic<bool> finished_{false};
  std::atomic<int> stopSeenAtStart_{-1};
};

TEST_F(SievexDllSortRun, SecondStartDuringARunReturnsAtOnce) {
  PlacedSort sort("E", 1);
  _KVConfig config = ProgramConfig();
  std::atomic<int> first{-1};
  std::thread runner([&] { first = sort->StartSort(0, &config, NoProgress); });
  WaitUntilRunning();
  auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(sort->StartSort(0, &config, NoProgress), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
  EXPECT_FALSE(finished_);
  EXPECT_EQ(g_engineCalls, 1);
  sort->StopSort();
  runner.join();
  EXPECT_EQ(first, 0);
}

TEST_F(SievexDllSortRun, StopReturnsOnlyAfterTheRunHasEnded) {
  PlacedSort sort("E", 1);
  _KVConfig config = ProgramConfig();
  std::atomic<int> result{-1};
  std::thread runner([&] { result = sort->StartSort(0, &config, NoProgress); });
  WaitUntilRunning();
  sort->StopSort();
  EXPECT_TRUE(finished_);
  runner.join();
  EXPECT_EQ(result, 0);  // ended in "UserBreak"
}

TEST_F(SievexDllSortRun, StopWithNothingRunningReturnsAtOnceAndTheNextRunStartsClean) {
  PlacedSort sort("E", 1);
  auto before = std::chrono::steady_clock::now();
  sort->StopSort();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));

  _KVConfig config = ProgramConfig();
  std::thread runner([&] { sort->StartSort(0, &config, NoProgress); });
  WaitUntilRunning();
  EXPECT_EQ(stopSeenAtStart_, 0);
  EXPECT_FALSE(finished_);
  sort->StopSort();
  runner.join();
}

}  // namespace
