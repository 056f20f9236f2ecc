// Discovery, identification and boot code end to end: Sievex.dll bound by
// name, drives played by the simulator, the boot images and flash database
// the program carries. The simulator's own record judges what reached the
// controller.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "platform/message_box.h"
#include "platform/module.h"
#include "platform/storage.h"
#include "app/console/sievex_import.h"
#include "sim/sim_api.h"
#include "tests/discovery_sievex_binding.h"

namespace fs = std::filesystem;

namespace {

using discovery_test::BoundSort;
using discovery_test::SievexBinding;

void NoProgress(void*) {}

// The configuration the program passes.
_KVConfig ProgramConfig() { return ProgramRevertConfig(); }

// A small drive whose flash the database does not know, so that the
// geometry is the controller's: 2 CEs of 64 blocks, 16 pages of 4 sectors.
sim::DriveSpec SmallDrive(char letter, uint16_t controller) {
  sim::DriveSpec s;
  s.letter = letter;
  s.controller = controller;
  s.flashId = {0xAD, 0xDA, 0x10, 0x95, 0x44};
  s.ces = 2;
  s.blocksPerCE = 64;
  s.pagesPerBlock = 16;
  s.sectorsPerPage = 4;
  return s;
}

class DiscoveryE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The library reads its data beside the running program: this test's
    // own folder gets the carried database and the generated Boot folder.
    // Parallel processes of this program take turns through a lock on the
    // folder, held until the process ends.
    const fs::path here = qv::ExecutableDirectory();
    static const int lock = [&] {
      int fd = ::open((here / ".test-files.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      if (fd >= 0) ::flock(fd, LOCK_EX);
      return fd;
    }();
    (void)lock;
    fs::copy_file(QV_CARRIED_FLASH8K, here / "flash8k.ini", fs::copy_options::overwrite_existing);
    std::error_code ignored;
    if (!fs::is_symlink(here / "Boot", ignored))
      fs::create_directory_symlink(fs::path(QV_BIN_DIR) / "Boot", here / "Boot");
  }

  void SetUp() override {
    std::string error;
    binding_ = SievexBinding::Get(&error);
    ASSERT_NE(binding_, nullptr) << error;
    ASSERT_TRUE(fs::exists(fs::path(QV_BIN_DIR) / "Boot" / "425" / "fw2.BIN"));
    char folder[] = "/tmp/discovery-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    machine_ = folder;
    storage_ = qv::CreateSimStorage(machine_);
    qv::SetStorageBackend(storage_.get());
  }
  void TearDown() override {
    qv::SetStorageBackend(nullptr);
    std::error_code ignored;
    fs::remove_all(machine_, ignored);
  }

  void Create(const sim::DriveSpec& desc) {
    std::string error;
    ASSERT_TRUE(sim::CreateDrive(machine_, desc, &error)) << error;
  }
  sim::DriveReport Report(char letter) {
    sim::DriveReport report;
    std::string error;
    EXPECT_TRUE(sim::Inspect(sim::DriveFolder(machine_, letter), &report, &error)) << error;
    return report;
  }
  // What GetDeviceInfo must report for a drive of this description whose
  // flash the database does not know.
  static void ExpectControllerGeometry(const _USBDevceInfo& info, const sim::DriveSpec& s) {
    EXPECT_EQ(+info.m_dwCENo, s.ces);
    EXPECT_EQ(+info.m_dwBlocksPerCE, s.blocksPerCE);
    EXPECT_EQ(+info.m_dwPagesPerBlock, s.pagesPerBlock);
    EXPECT_EQ(+info.m_dwSectorsPerPage, s.sectorsPerPage);
    EXPECT_EQ(+info.m_dwSectorsPerBlock, s.SectorsPerBlock());
    EXPECT_EQ(+info.m_dwMLC, s.mlc ? 1u : 0u);
    EXPECT_EQ(info.m_bPlaneCount, s.planes);
    EXPECT_EQ(std::memcmp(info.m_FlashId, s.flashId.data(), 5), 0);
  }

  const SievexBinding* binding_ = nullptr;
  std::string machine_;
  std::unique_ptr<qv::StorageBackend> storage_;
};

TEST_F(DiscoveryE2E, LibraryExportsTheClassAndKeepsItsInternals) {
  // Bound by name in SetUp; the engine and the device layer stay private,
  // so no copy of them in a host can stand in for the library's own.
  EXPECT_EQ(dlsym(binding_->library, "_ZN6sievex9RunRevertEP10SortDevicehPFvPvE"), nullptr);
  EXPECT_EQ(dlsym(binding_->library, "_ZN6sievex10CmdInquiryEPN2qv6DeviceEPh"), nullptr);
}

TEST_F(DiscoveryE2E, EveryDiscoveryImageRowBindsItsDrive) {
  struct Row {
    const char* name;
    uint16_t controller;
    const char* tagRevision;
    char revisionLetter;
    uint8_t deviceCode;
  };
  const Row rows[] = {
      {"KR425 A0: 425\\fw2", 0x425, "A0", 'B', 0xDA},
      {"KR425 A1: 425\\fwa1", 0x425, "A1", 'B', 0xDA},
      {"KR423 B, code in D: 425\\fw2", 0x423, "A0", 'B', 0x75},
      {"KR423 C, code in D: 423\\CA\\fwt", 0x423, "A0", 'C', 0x35},
      {"KR423 D, code in D: 423\\DA\\fwt", 0x423, "A0", 'D', 0x79},
      {"KR423 B: 423\\BA\\fw1", 0x423, "A0", 'B', 0xDA},
      {"KR423 C: 423\\CA\\fw1", 0x423, "A0", 'C', 0xD7},
      {"KR423 E: 423\\DA\\fw1", 0x423, "A0", 'E', 0xD7},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sim::DriveSpec desc = SmallDrive('E', row.controller);
    desc.tagRevision = row.tagRevision;
    desc.revisionLetter = row.revisionLetter;
    desc.flashId[1] = row.deviceCode;
    Create(desc);
    BoundSort sort(*binding_, "E", 1);
    _USBDevceInfo info{};
    ASSERT_EQ(sort.GetDeviceInfo(&info), 1);
    EXPECT_EQ(+info.m_dwFound, 1u);
    EXPECT_STREQ(info.m_szDrive, "E");
    ExpectControllerGeometry(info, desc);
    EXPECT_EQ(Report('E').state, sim::ControllerState::kDiscovery);
  }
}

TEST_F(DiscoveryE2E, Kr425OfTagRevisionBIsNotBound) {
  sim::DriveSpec desc = SmallDrive('E', 0x425);
  desc.tagRevision = "B0";
  Create(desc);
  BoundSort sort(*binding_, "E", 1);
  char name[4] = {};
  EXPECT_EQ(sort.GetDiskName(name), 0);  // never probed: the name is cleared
  _USBDevceInfo info{};
  EXPECT_EQ(sort.GetDeviceInfo(&info), 0);
  EXPECT_EQ(Report('E').state, sim::ControllerState::kRom);
}

TEST_F(DiscoveryE2E, Kr1TagWithKrffIsBoundWithoutBootCode) {
  sim::DriveSpec desc = SmallDrive('E', 0x422);
  desc.inquiryTag = "KR1-Krff";
  Create(desc);
  BoundSort sort(*binding_, "E", 1);
  _USBDevceInfo info{};
  ASSERT_EQ(sort.GetDeviceInfo(&info), 1);
  EXPECT_EQ(+info.m_dwBlocksPerCE, 0u);  // no geometry read without boot code
  EXPECT_EQ(Report('E').state, sim::ControllerState::kRom);
}

TEST_F(DiscoveryE2E, Kr436IsBoundButTheEngineRefusesIt) {
  Create(SmallDrive('E', 0x436));
  BoundSort sort(*binding_, "E", 1);
  _USBDevceInfo info{};
  ASSERT_EQ(sort.GetDeviceInfo(&info), 1);
  qv::MessageBoxRecorder boxes;
  _KVConfig config = ProgramConfig();
  EXPECT_EQ(sort.StartSort(&config, NoProgress), 0);
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_EQ(boxes.Texts()[0], "Unknown controller!");
}

TEST_F(DiscoveryE2E, CarriedDatabaseGeometryAndItsDualModeDoubling) {
  for (bool dual : {false, true}) {
    SCOPED_TRACE(dual ? "dual mode" : "single mode");
    sim::DriveSpec desc = SmallDrive('E', 0x425);
    desc.flashId = {0x98, 0xD7, 0x95, 0x32, 0x7A};
    desc.ces = 1;
    desc.blocksPerCE = 4096;
    desc.pagesPerBlock = 128;
    desc.sectorsPerPage = 16;
    desc.dualMode = dual;
    Create(desc);
    BoundSort sort(*binding_, "E", 1);
    _USBDevceInfo info{};
    ASSERT_EQ(sort.GetDeviceInfo(&info), 1);
    EXPECT_EQ(+info.m_dwBlocksPerCE, 4096u);
    EXPECT_EQ(+info.m_dwSectorsPerPage, dual ? 32u : 16u);
    EXPECT_EQ(+info.m_dwSectorsPerBlock, dual ? 4096u : 2048u);
    EXPECT_EQ(info.m_bFlashSize, 10);
    EXPECT_EQ(+info.m_dwDualMode, dual ? 1u : 0u);
  }
}

TEST_F(DiscoveryE2E, DrivesThatAreNotUsbFlashDrivesLoseTheirName) {
  struct Case {
    const char* name;
    void (*change)(sim::DriveSpec*);
  };
  const Case cases[] = {
      {"CD drive", [](sim::DriveSpec* s) { s->driveType = qv::kDriveCdrom; }},
      {"ATA disk", [](sim::DriveSpec* s) { s->busType = qv::kBusAta; }},
      {"USB disk without a known controller", [](sim::DriveSpec* s) { s->controller = 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::DriveSpec desc = SmallDrive('E', 0x425);
    c.change(&desc);
    Create(desc);
    BoundSort sort(*binding_, "E", 0);
    char name[4] = {};
    EXPECT_EQ(sort.GetDiskName(name), 0);
    EXPECT_EQ(sort.IsDeviceUse(), 0);
    _USBDevceInfo info{};
    info.m_dwFound = 1;
    EXPECT_EQ(sort.GetDeviceInfo(&info), 0);
    EXPECT_EQ(+info.m_dwFound, 0u);
  }
}

TEST_F(DiscoveryE2E, DriveBeyondTheThirtiethDiskIsIdentifiedButNotFound) {
  for (uint32_t n = 0; n < 30; ++n) {
    sim::DriveSpec disk = SmallDrive(0, 0);
    disk.diskNumber = 100 + n;
    disk.blocksPerCE = 8;
    Create(disk);
  }
  sim::DriveSpec ours = SmallDrive('E', 0x425);
  ours.diskNumber = 200;  // listed 31st
  Create(ours);
  {
    BoundSort strict(*binding_, "E", 1);
    _USBDevceInfo info{};
    EXPECT_EQ(strict.GetDeviceInfo(&info), 0);
    EXPECT_EQ(strict.IsDeviceUse(), 1);  // probed: the name stays
  }
  BoundSort lenient(*binding_, "E", 0);
  _USBDevceInfo info{};
  ASSERT_EQ(lenient.GetDeviceInfo(&info), 1);
  EXPECT_EQ(+info.m_dwFound, 1u);
  ExpectControllerGeometry(info, ours);
}

TEST_F(DiscoveryE2E, UnpluggedAfterBindingThenRefreshed) {
  Create(SmallDrive('E', 0x425));
  BoundSort sort(*binding_, "E", 1);
  _USBDevceInfo info{};
  ASSERT_EQ(sort.GetDeviceInfo(&info), 1);
  ASSERT_TRUE(sim::SetPlugged(sim::DriveFolder(machine_, 'E'), false));
  sort.Refresh();
  EXPECT_EQ(sort.IsDeviceUse(), 0);
  EXPECT_EQ(sort.GetDeviceInfo(&info), 0);
  // Back in the same slot: the kept name binds again on the next rescan.
  ASSERT_TRUE(sim::SetPlugged(sim::DriveFolder(machine_, 'E'), true));
  sort.Refresh();
  EXPECT_EQ(sort.GetDeviceInfo(&info), 1);
}

TEST_F(DiscoveryE2E, EngineImageChoiceIsTheOneTheControllerAccepts) {
  struct Case {
    const char* name;
    uint16_t controller;
    const char* tagRevision;
    uint32_t altPagesAsked;
    int fwInfo;  // as the simulator judged the parameter block
    bool altPages;
  };
  const Case cases[] = {
      {"KR425 A0 drops alternate pages", 0x425, "A0", 1, 1, false},
      {"KR425 A1 keeps them", 0x425, "A1", 1, 1, true},
      {"KR423 gets no parameter block", 0x423, "A0", 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::DriveSpec desc = SmallDrive('E', c.controller);
    desc.tagRevision = c.tagRevision;
    Create(desc);
    BoundSort sort(*binding_, "E", 1);
    _KVConfig config = ProgramConfig();
    config.m_dwAltPages = c.altPagesAsked;
    EXPECT_EQ(sort.StartSort(&config, NoProgress), 1);
    sim::DriveReport report = Report('E');
    EXPECT_EQ(report.state, sim::ControllerState::kEngine);
    EXPECT_EQ(report.fwInfo, c.fwInfo);
    EXPECT_EQ(report.altPages, c.altPages);
  }
}

std::atomic<int> g_progressCalls{0};
void CountProgress(void*) { ++g_progressCalls; }

TEST_F(DiscoveryE2E, StopDuringARealRunReturnsAfterTheRunEnded) {
  sim::DriveSpec desc = SmallDrive('E', 0x425);
  desc.blocksPerCE = 256;
  desc.timing.sleepFraction = 1.0;  // slow enough to be stopped midway
  Create(desc);
  BoundSort sort(*binding_, "E", 1);
  _KVConfig config = ProgramConfig();
  g_progressCalls = 0;
  std::atomic<int> result{-1};
  std::thread runner([&] { result = sort.StartSort(&config, CountProgress); });
  while (g_progressCalls == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  // A second start on the busy object is turned away at once.
  EXPECT_EQ(sort.StartSort(&config, CountProgress), 0);
  sort.StopSort();
  const uint64_t commandsAtStop = Report('E').commands;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(Report('E').commands, commandsAtStop);  // the engine had stopped
  runner.join();
  EXPECT_EQ(result, 0);  // "UserBreak"
}

// This machine's own block devices through the Linux storage services:
// none of them is a USB flash drive, and discovery must take none of them.
TEST(DiscoveryLinux, RealBlockDevicesAreListedAndRefused) {
  std::string error;
  const SievexBinding* binding = SievexBinding::Get(&error);
  ASSERT_NE(binding, nullptr) << error;
  // The letters file of the storage services goes to a scratch folder.
  char config[] = "/tmp/discovery-linux-XXXXXX";
  ASSERT_NE(mkdtemp(config), nullptr);
  const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
  std::string saved = oldConfig ? oldConfig : "";
  setenv("XDG_CONFIG_HOME", config, 1);
  std::unique_ptr<qv::StorageBackend> host = qv::CreateLinuxStorage("/sys", "/dev");
  qv::SetStorageBackend(host.get());

  const uint32_t mask = host->LogicalDriveMask();
  EXPECT_NE(mask, 0u) << "no block device listed";
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (!(mask >> (letter - 'A') & 1)) continue;
    SCOPED_TRACE(std::string(1, letter) + ": " + host->Describe(letter));
    // Only a disk that cannot be opened at all or says it is not on USB is
    // handed to discovery, so that no vendor command ever reaches a real
    // drive from this test.
    const std::string volume = std::string("\\\\.\\") + letter + ":";
    std::unique_ptr<qv::Device> device = qv::OpenDevice(volume, qv::kOpenRead);
    uint32_t bus = qv::kBusUsb;
    if (device != nullptr && (!device->QueryBusType(&bus) || bus == qv::kBusUsb)) {
      ADD_FAILURE() << "cannot tell the bus, or a USB disk: left alone";
      continue;
    }
    device.reset();
    for (int verify : {1, 0}) {
      const char drive[2] = {letter, '\0'};
      BoundSort sort(*binding, drive, verify);
      char name[4] = {};
      EXPECT_EQ(sort.GetDiskName(name), 0);
      _USBDevceInfo info{};
      EXPECT_EQ(sort.GetDeviceInfo(&info), 0);
    }
  }
  qv::SetStorageBackend(nullptr);
  if (oldConfig) {
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  fs::remove_all(config);
}

}  // namespace
