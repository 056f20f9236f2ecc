// Discovery and drive binding over a fake machine: which drives are bound,
// which keep their name, the 30-interface limit, re-plugging.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sortlib/device/device_locator.h"
#include "sortlib/tests/fake_machine.h"
#include "sortlib/tests/placed_sort.h"

namespace {

using sievex::DeviceLocator;
using sievex_test::FakeDrive;
using sievex_test::FakeMachine;
using sievex_test::PlacedSort;
using sievex_test::Tag;

class SievexDiscovery : public ::testing::Test {
 protected:
  // A drive whose controller needs no boot code: the probe reads only the
  // flash ID, so discovery turns on the storage facts alone.
  FakeDrive& AddPlainController(char letter, uint32_t diskNumber) {
    FakeDrive& drive = machine_.AddDrive(letter);
    drive.tag = Tag("KR1 USB2.0");
    drive.diskNumber = diskNumber;
    return drive;
  }
  static std::string Name(const DeviceLocator& locator) { return locator.m_pDevice->m_szDrive; }

  FakeMachine machine_;
};

TEST_F(SievexDiscovery, UsbDiskWithKnownControllerIsBound) {
  AddPlainController('E', 7);
  machine_.AddDisk("disk-a", 3);
  machine_.AddDisk("disk-b", 7);
  DeviceLocator locator("E:");
  EXPECT_EQ(locator.m_pDevice->m_dwFound, 1u);
  EXPECT_EQ(locator.m_pDevice->m_dwProbed, 1u);
  EXPECT_EQ(locator.m_pDevice->m_dwController, 0x422u);
  EXPECT_EQ(Name(locator), "E:");
  EXPECT_EQ(locator.m_hDevInfo.size(), 2u);
  EXPECT_EQ(machine_.OpenHandles(), 0);
}

TEST_F(SievexDiscovery, BindingOutcomes) {
  struct Case {
    const char* name;
    void (*setUp)(FakeDrive*);
    uint32_t found;
    bool nameKept;
  };
  const Case cases[] = {
      {"CD drive", [](FakeDrive* d) { d->driveType = qv::kDriveCdrom; }, 0, false},
      {"ATA disk", [](FakeDrive* d) { d->busType = qv::kBusAta; }, 0, false},
      {"bus query fails: discovery goes on", [](FakeDrive* d) { d->busQueryWorks = false; }, 1,
       true},
      {"unknown controller tag", [](FakeDrive* d) { d->tag = Tag("Generic Flash Disk"); }, 0,
       false},
      {"INQUIRY refused", [](FakeDrive* d) { d->inquiryWorks = false; }, 0, false},
      {"volume cannot be opened", [](FakeDrive* d) { d->opens = false; }, 0, false},
      {"identified, disk number of no present disk", [](FakeDrive* d) { d->diskNumber = 99; }, 0,
       true},
  };
  machine_.AddDisk("disk-a", 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.setUp(&AddPlainController('E', 1));
    DeviceLocator locator("E:");
    EXPECT_EQ(locator.m_pDevice->m_dwFound, c.found);
    EXPECT_EQ(Name(locator), c.nameKept ? "E:" : "");
    EXPECT_EQ(machine_.OpenHandles(), 0);
  }
}

TEST_F(SievexDiscovery, LetterThatIsNotMappedIsClearedAndOpensNothing) {
  DeviceLocator locator("Q:");
  EXPECT_EQ(locator.m_pDevice->m_dwFound, 0u);
  EXPECT_EQ(Name(locator), "");
}

TEST_F(SievexDiscovery, OnlyTheFirst30DiskInterfacesAreCompared) {
  for (unsigned position : {29u, 30u}) {
    SCOPED_TRACE(position);
    FakeMachine machine;
    FakeDrive& drive = machine.AddDrive('F');
    drive.tag = Tag("KR1");
    drive.diskNumber = 500;
    for (unsigned n = 0; n < position; ++n) machine.AddDisk("other" + std::to_string(n), n);
    machine.AddDisk("ours", 500);
    DeviceLocator locator("F:");
    EXPECT_EQ(locator.m_pDevice->m_dwFound, position < 30 ? 1u : 0u);
    EXPECT_EQ(Name(locator), "F:");  // probed: the name stays either way
  }
}

TEST_F(SievexDiscovery, UnpluggedAfterBindingThenRefreshed) {
  AddPlainController('E', 1);
  machine_.AddDisk("disk-a", 1);
  PlacedSort sort("E", 1);
  ASSERT_EQ(sort->IsDeviceUse(), 1);
  _USBDevceInfo info{};
  ASSERT_EQ(sort->GetDeviceInfo(&info), 1);

  machine_.RemoveDrive('E');
  sort->Refresh();
  EXPECT_EQ(sort->IsDeviceUse(), 0);
  info.m_dwFound = 1;
  EXPECT_EQ(sort->GetDeviceInfo(&info), 0);
  EXPECT_EQ(+info.m_dwFound, 0u);

  // The name survived (the controller had answered once): the same drive
  // back under its letter is usable again after a rescan.
  AddPlainController('E', 1);
  EXPECT_EQ(sort->IsDeviceUse(), 1);
  EXPECT_EQ(sort->GetDeviceInfo(&info), 0);  // not bound until Refresh
  sort->Refresh();
  EXPECT_EQ(sort->GetDeviceInfo(&info), 1);
}

TEST_F(SievexDiscovery, LowerCaseLetterIsUpperCasedByQueriesAndRescans) {
  AddPlainController('E', 1);
  machine_.AddDisk("disk-a", 1);
  DeviceLocator locator("e:");
  ASSERT_EQ(locator.m_pDevice->m_dwFound, 1u);
  EXPECT_EQ(Name(locator), "e:");
  locator.Rescan();
  EXPECT_EQ(Name(locator), "E:");

  PlacedSort sort("e", 1);
  char name[8] = {};
  ASSERT_EQ(sort->GetDiskName(name), 1);
  EXPECT_STREQ(name, "E:");
}

}  // namespace
