// The platform's storage services over a simulated machine.
#include <poll.h>
#include <sys/inotify.h>

#include "sim/tests/sim_test_host.h"

namespace simtest {
namespace {

class SimStorage : public ::testing::Test {
 protected:
  void SetUp() override { machine_ = MakeMachine(); }
  void TearDown() override { std::filesystem::remove_all(machine_); }
  void Add(sim::DriveSpec s) {
    std::string error;
    ASSERT_TRUE(sim::CreateDrive(machine_, s, &error)) << error;
  }
  std::string machine_;
};

TEST_F(SimStorage, LettersTypesBusesAndDiskNumbers) {
  sim::DriveSpec usb = SmallSpec();
  usb.letter = 'E';
  usb.diskNumber = 2;
  sim::DriveSpec internal = SmallSpec(sim::kPlainDisk);
  internal.letter = 'C';
  internal.driveType = qv::kDriveFixed;
  internal.busType = qv::kBusSata;
  internal.diskNumber = 0;
  sim::DriveSpec cd = SmallSpec(sim::kPlainDisk);
  cd.letter = 'D';
  cd.driveType = qv::kDriveCdrom;
  cd.diskNumber = 1;
  sim::DriveSpec absent = SmallSpec();
  absent.letter = 'F';
  absent.present = false;
  absent.diskNumber = 3;
  for (const auto& s : {usb, internal, cd, absent}) Add(s);

  auto storage = qv::CreateSimStorage(machine_);
  EXPECT_EQ(storage->LogicalDriveMask(), (1u << 2) | (1u << 3) | (1u << 4));
  EXPECT_EQ(storage->DriveType("E:\\"), qv::kDriveRemovable);
  EXPECT_EQ(storage->DriveType("c:"), qv::kDriveFixed);
  EXPECT_EQ(storage->DriveType("D:"), qv::kDriveCdrom);
  EXPECT_EQ(storage->DriveType("F:"), qv::kDriveNoRootDir);
  EXPECT_EQ(storage->DiskInterfaces(),
            (std::vector<std::string>{"\\\\?\\simdisk#0", "\\\\?\\simdisk#1", "\\\\?\\simdisk#2"}));

  int error = 0;
  auto volume = storage->Open("\\\\.\\e:", qv::kOpenRead | qv::kOpenWrite, &error);
  ASSERT_NE(volume, nullptr);
  uint32_t bus = 0;
  ASSERT_TRUE(volume->QueryBusType(&bus));
  EXPECT_EQ(bus, qv::kBusUsb);
  qv::DeviceNumber n;
  ASSERT_TRUE(volume->GetDeviceNumber(&n));
  EXPECT_EQ(n.deviceNumber, 2u);
  auto disk = storage->Open("\\\\?\\simdisk#2", qv::kOpenRead, &error);
  ASSERT_NE(disk, nullptr);
  ASSERT_TRUE(disk->GetDeviceNumber(&n));
  EXPECT_EQ(n.deviceNumber, 2u);
  auto c = storage->Open("\\\\.\\C:", qv::kOpenRead, &error);
  ASSERT_NE(c, nullptr);
  ASSERT_TRUE(c->QueryBusType(&bus));
  EXPECT_EQ(bus, qv::kBusSata);
  EXPECT_EQ(storage->Open("\\\\.\\F:", qv::kOpenRead, &error), nullptr);
  EXPECT_EQ(error, sim::kErrorFileNotFound);
  EXPECT_EQ(storage->Open("\\\\.\\G:", qv::kOpenRead, &error), nullptr);
}

TEST_F(SimStorage, MoreThanThirtyDisksInAStableOrder) {
  for (uint32_t n = 40; n-- > 0;) {
    sim::DriveSpec s = SmallSpec(sim::kPlainDisk);
    s.blocksPerCE = 4;
    s.letter = n < 26 ? char('A' + (25 - n)) : 0;  // letters in the reverse order of the disks
    s.diskNumber = n;
    Add(s);
  }
  auto storage = qv::CreateSimStorage(machine_);
  std::vector<std::string> paths = storage->DiskInterfaces();
  ASSERT_EQ(paths.size(), 40u);
  for (uint32_t n = 0; n < 40; ++n) {
    int error = 0;
    auto d = storage->Open(paths[n], qv::kOpenRead, &error);
    ASSERT_NE(d, nullptr) << paths[n];
    qv::DeviceNumber num;
    ASSERT_TRUE(d->GetDeviceNumber(&num));
    EXPECT_EQ(num.deviceNumber, n);
  }
  EXPECT_EQ(storage->DiskInterfaces(), paths);
}

TEST_F(SimStorage, UnplugReachesHandlesTheMaskAndTheEventsFile) {
  Add(SmallSpec());
  Host host(machine_);
  ASSERT_NE(host.Device(), nullptr);
  Bytes inq;
  ASSERT_TRUE(host.Inquiry(&inq));
  std::string folder = sim::DriveFolder(machine_, 'E');
  ASSERT_TRUE(sim::SetPlugged(folder, false));
  EXPECT_FALSE(host.Inquiry(&inq)) << "an open handle of an unplugged drive fails";
  uint32_t bus = 0;
  EXPECT_FALSE(host.Device()->QueryBusType(&bus));
  EXPECT_EQ(host.Storage().LogicalDriveMask(), 0u);
  ASSERT_TRUE(sim::SetPlugged(folder, true));
  EXPECT_FALSE(host.Inquiry(&inq)) << "a handle from before the removal stays dead";
  host.Reopen();
  ASSERT_NE(host.Device(), nullptr);
  EXPECT_TRUE(host.Inquiry(&inq));

  std::ifstream events(sim::DeviceEventsFile(machine_));
  std::string all((std::istreambuf_iterator<char>(events)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find("unplug E 1\n"), std::string::npos) << all;
  EXPECT_NE(all.find("plug E 2\n"), std::string::npos) << all;
}

TEST_F(SimStorage, AWatcherLearnsOfUnplugThroughInotify) {
  Add(SmallSpec());
  int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_GE(inotify_add_watch(fd, sim::DeviceEventsFile(machine_).c_str(), IN_MODIFY), 0);
  ASSERT_TRUE(sim::SetPlugged(sim::DriveFolder(machine_, 'E'), false));
  pollfd p{fd, POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 2000), 1);
  char buf[4096];
  EXPECT_GT(read(fd, buf, sizeof buf), 0);
  close(fd);
}

TEST_F(SimStorage, AHandWrittenDescriptionIsEnoughToOpen) {
  std::filesystem::create_directories(machine_ + "/F");
  {
    std::ofstream ini(machine_ + "/F/drive.ini");
    ini << "[Drive]\nLetter=F\nDiskNumber=4\n[Controller]\nModel=KR423\n[Flash]\nBlocksPerCE=128\n"
           "[Faults]\nSeed=5\nFactoryBadCount=3\n";
  }
  auto storage = qv::CreateSimStorage(machine_);
  EXPECT_EQ(storage->LogicalDriveMask(), 1u << 5);
  sim::DriveReport r;
  ASSERT_TRUE(sim::Inspect(machine_ + "/F", &r));
  EXPECT_TRUE(r.plugged);
  EXPECT_EQ(r.faults.factoryBad.size(), 3u);
  EXPECT_EQ(r.badMarks[0].size(), 3u) << "the marks of the expanded count are in the flash";
  int error = 0;
  EXPECT_NE(storage->Open("\\\\.\\F:", qv::kOpenRead, &error), nullptr);
}

TEST_F(SimStorage, DescriptionRoundTripsThroughDriveIni) {
  sim::DriveSpec s = SmallSpec(0x425);
  s.flashId = {0x2C, 0xD9, 0xD5, 0x3E, 0x88};
  s.inquiryTag = std::string("Krff\x01K425", 9);
  s.faults.factoryBad = {{1, 4, true}};
  s.faults.programFail = {{0, 9, 3}};
  s.faults.stuckBits = {{1, 2, 3, 4, 5}};
  s.faults.randomBitErrorRate = 0.25;
  s.timing.sleepFraction = 0.5;
  s.gapsGiven = true;
  s.gaps = {{10, 12}};
  s.flashConfig.assign(34, 0x11);
  Add(s);
  sim::DriveSpec back;
  std::string error;
  ASSERT_TRUE(sim::LoadDriveSpec(sim::DriveFolder(machine_, 'E') + "/drive.ini", &back, &error)) << error;
  EXPECT_EQ(back.flashId, s.flashId);
  EXPECT_EQ(back.inquiryTag, s.inquiryTag);
  EXPECT_EQ(back.faults.factoryBad, s.faults.factoryBad);
  EXPECT_EQ(back.faults.programFail, s.faults.programFail);
  EXPECT_EQ(back.faults.stuckBits, s.faults.stuckBits);
  EXPECT_EQ(back.faults.randomBitErrorRate, 0.25);
  EXPECT_EQ(back.timing.sleepFraction, 0.5);
  EXPECT_EQ(back.gaps, s.gaps);
  EXPECT_EQ(back.flashConfig, s.flashConfig);
  EXPECT_EQ(back.controller, 0x425);
  EXPECT_EQ(back.ces, s.ces);
}

}  // namespace
}  // namespace simtest
