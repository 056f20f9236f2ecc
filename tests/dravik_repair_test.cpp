// Dravik.dll end to end on simulated drives, loaded and bound by name the
// way the program binds it: the revert of Sievex.dll leaves its bad-block
// tables, and the repair rebuilds the drive from them into a disk of the
// good blocks.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/console/sievex_import.h"
#include "dravik/dravik_api.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/storage.h"
#include "platform/tests/temp_dir.h"
#include "sim/repair_commands.h"
#include "sim/sim_api.h"
#include "sortlib/engine/revert_session.h"

namespace {

// The entry points, bound by name from bin/Dravik.dll.
struct Dravik {
  DravikCreateCUSBDeviceFn* create = nullptr;
  DravikDeviceExistFn* deviceExist = nullptr;
  DravikGetNumberOfDriveFn* numberOfDrive = nullptr;
  DravikGetChipIDFn* chipId = nullptr;
  DravikGetDeviceStringFn* deviceString = nullptr;
  DravikGetFwVersionFn* fwVersion = nullptr;
  DravikGetUpdateFWFileFn* updateFwFile = nullptr;
  DravikGetDriveLetterFn* driveLetter = nullptr;
  DravikGetDeviceAttribFn* deviceAttrib = nullptr;
  DravikRunRepairDeviceFn* runRepair = nullptr;
  DravikGetCurrentProgressFn* progress = nullptr;
  DravikGetCurrentStateFn* state = nullptr;
  DravikGetBADBlockInfomationFn* badBlocks = nullptr;
  DravikGetErrorCodeFn* errorCode = nullptr;
  DravikDestroyCUSBDeviceFn* destroy = nullptr;

  bool Bind() {
    qv::ModuleHandle module = qv::LoadLibrary("Dravik");
    if (!module) return false;
    auto get = [module](auto** fn, const char* name) {
      *fn = reinterpret_cast<std::remove_pointer_t<std::remove_reference_t<decltype(fn)>>>(
          qv::GetProcAddress(module, name));
      return *fn != nullptr;
    };
    return get(&create, "Dravik_CreateCUSBDevice") && get(&deviceExist, "Dravik_DeviceExist") &&
           get(&numberOfDrive, "Dravik_GetNumberOfDrive") && get(&chipId, "Dravik_GetChipID") &&
           get(&deviceString, "Dravik_GetDeviceString") && get(&fwVersion, "Dravik_GetFwVersion") &&
           get(&updateFwFile, "Dravik_GetUpdateFWFile") && get(&driveLetter, "Dravik_GetDriveLetter") &&
           get(&deviceAttrib, "Dravik_GetDeviceAttrib") && get(&runRepair, "Dravik_RunRepairDevice") &&
           get(&progress, "Dravik_GetCurrentProgress") && get(&state, "Dravik_GetCurrentState") &&
           get(&badBlocks, "Dravik_GetBADBlockInfomation") && get(&errorCode, "Dravik_GetErrorCode") &&
           get(&destroy, "Dravik_DestroyCUSBDevice");
  }
};

// The revert's last progress record, written by the revert's thread.
sievex::SortProgress g_lastProgress;
void RecordProgress(void* record) { std::memcpy(&g_lastProgress, record, sizeof g_lastProgress); }

// A small drive whose geometry the controller itself reports (its flash ID
// is not in flash8k.ini): 2 CEs x 1024 blocks x 4 pages x 2 sectors. With
// 1,024 blocks per CE the revert's table lists the blocks it found bad.
constexpr uint32_t kBlocksPerCE = 1024;
constexpr uint32_t kSectorsPerBlock = 8;

sim::DriveSpec SmallDrive(uint16_t controller) {
  sim::DriveSpec s;
  s.letter = 'E';
  s.controller = controller;
  s.revisionLetter = 'C';
  s.flashId = {0xEC, 0xDA, 0x10, 0x95, 0x44};
  s.ces = 2;
  s.blocksPerCE = kBlocksPerCE;
  s.pagesPerBlock = 4;
  s.sectorsPerPage = 2;
  s.vendor = "Kinvara";
  s.product = "Pocket Drive";
  return s;
}

class DravikRepairTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Registry defaults: a settings folder of our own, without a file.
    setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    storage_ = qv::CreateSimStorage(Machine());
    qv::SetStorageBackend(storage_.get());
    ASSERT_TRUE(dravik_.Bind()) << qv::LastLibraryErrorText();
  }
  void TearDown() override {
    if (device_) dravik_.destroy(device_);
    qv::SetStorageBackend(nullptr);
  }

  std::string Machine() const { return dir_ / "machine"; }
  std::string Folder() const { return sim::DriveFolder(Machine(), 'E'); }

  void Create(const sim::DriveSpec& desc) {
    std::string error;
    ASSERT_TRUE(sim::CreateDrive(Machine(), desc, &error)) << error;
    device_ = dravik_.create();
  }

  // The revert as the program runs it; returns StartSort's result.
  int Revert() {
    SievexImport sievex;
    EXPECT_TRUE(sievex.Bind()) << sievex.Error();
    alignas(8) uint8_t object[260] = {};
    char drive[] = "E";
    sievex.Construct(object, drive, 0);
    _KVConfig config = ProgramRevertConfig();
    const int result = sievex.StartSort(object, 0, &config, RecordProgress);
    sievex.Destroy(object);
    return result;
  }

  uint64_t Capacity() {
    auto volume = qv::OpenDevice("\\\\.\\E:", qv::kOpenRead | qv::kOpenWrite);
    if (!volume) return 0;
    const uint8_t cdb[10] = {repaircmd::kOpReadCapacity10};
    uint8_t answer[8] = {};
    qv::ScsiCommand c;
    c.cdb = cdb;
    c.cdbLength = sizeof cdb;
    c.direction = qv::ScsiDirection::kIn;
    c.data = answer;
    c.dataLength = sizeof answer;
    qv::ScsiResult r = volume->PassThrough(c);
    if (!r.delivered || r.scsiStatus) return 0;
    return (uint64_t(answer[0]) << 24 | answer[1] << 16 | answer[2] << 8 | answer[3]) + 1;
  }

  struct Counts {
    uint32_t bad = 0, total = 0, divisor = 0;
  };
  Counts BadBlocks() {
    Counts c;
    dravik_.badBlocks(device_, &c.bad, &c.total, &c.divisor);
    return c;
  }

  TempDir dir_;
  std::unique_ptr<qv::StorageBackend> storage_;
  Dravik dravik_;
  void* device_ = nullptr;
};

TEST_F(DravikRepairTest, RevertThenRepairGivesADiskOfTheGoodBlocks) {
  sim::DriveSpec desc = SmallDrive(0x425);
  // Blocks whose programs fail: found bad by the pattern pass; the factory
  // ones cannot take a new mark and are recorded in the table only. With
  // block 0 of CE 0 bad, that CE's table moves to block 1.
  desc.faults.factoryBad = {{0, 0, false}, {0, 7, false}, {1, 40, true}};
  desc.faults.programFail = {{1, 66, 3}, {0, 900, 0}};
  ASSERT_NO_FATAL_FAILURE(Create(desc));
  ASSERT_EQ(dravik_.deviceExist(device_), 1);
  uint16_t chip = 0, version = 0;
  dravik_.chipId(device_, &chip, &version);
  EXPECT_EQ(chip, 0x425);
  char text[kDravikFwVersionSize] = {};
  dravik_.fwVersion(device_, text);
  EXPECT_STREQ(text, "FFFFFFFF");

  ASSERT_NE(Revert(), 0);
  const uint32_t revertBad = g_lastProgress.m_dwBadBlocks;
  EXPECT_EQ(revertBad, 5u);

  // The dialog thread polls while a worker repairs.
  std::atomic<bool> done{false};
  int result = -1;
  std::thread worker([&] {
    result = dravik_.runRepair(device_, 0xA0);
    done = true;
  });
  int lastProgress = 0;
  bool progressWentBack = false;
  uint32_t state = 0;
  do {
    state = dravik_.state(device_);
    int p = dravik_.progress(device_);
    progressWentBack |= p < lastProgress;
    lastProgress = p;
    std::this_thread::yield();
  } while ((state & 0xFF) != kDravikStateFinished);
  worker.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(progressWentBack);
  EXPECT_EQ(dravik_.progress(device_), 100);
  EXPECT_EQ(dravik_.errorCode(device_), 0u);

  const Counts counts = BadBlocks();
  EXPECT_EQ(counts.bad, revertBad);
  EXPECT_EQ(counts.total, 2 * kBlocksPerCE);
  EXPECT_EQ(counts.divisor, 1u);
  // Good blocks: all but the bad ones and the two table blocks.
  const uint64_t good = counts.total - counts.bad - 2;
  EXPECT_EQ(Capacity(), good * kSectorsPerBlock);

  dravik_.fwVersion(device_, text);
  EXPECT_STREQ(text, "120705");
  char description[kDravikDeviceStringSize] = {};
  dravik_.deviceString(device_, description);
  EXPECT_NE(std::string(description).find("Kinvara Pocket Drive"), std::string::npos) << description;
  EXPECT_NE(std::string(description).find("(E:)"), std::string::npos) << description;
}

TEST_F(DravikRepairTest, BelowTheTablePageSizeTheTableSitsInTheLastPage) {
  // 512 blocks per CE: the revert writes only the closing "bad_" page, and
  // the marks alone name the bad blocks.
  sim::DriveSpec desc = SmallDrive(0x425);
  desc.blocksPerCE = 512;
  desc.faults.programFail = {{1, 66, 3}, {0, 300, 2}};
  ASSERT_NO_FATAL_FAILURE(Create(desc));
  ASSERT_NE(Revert(), 0);
  ASSERT_EQ(dravik_.runRepair(device_, 0xA0), 1);
  EXPECT_EQ(dravik_.errorCode(device_), 0u);
  const Counts counts = BadBlocks();
  EXPECT_EQ(counts.bad, 2u);
  EXPECT_EQ(counts.bad, g_lastProgress.m_dwBadBlocks);
  EXPECT_EQ(Capacity(), uint64_t(2 * 512 - 2 - 2) * kSectorsPerBlock);
}

TEST_F(DravikRepairTest, WithoutARevertThereIsNoTableAndTheRepairFails) {
  ASSERT_NO_FATAL_FAILURE(Create(SmallDrive(0x425)));
  EXPECT_EQ(dravik_.runRepair(device_, 0xA0), 0);
  EXPECT_EQ(dravik_.errorCode(device_), kDravikErrorFailed);
  EXPECT_EQ(dravik_.state(device_) & 0xFF, kDravikStateFinished);
  EXPECT_EQ(Capacity(), 0u) << "no user area was committed";
}

TEST_F(DravikRepairTest, Kr423WithFirmwareNeedsAReplugAfterTheRevert) {
  sim::DriveSpec desc = SmallDrive(0x423);
  desc.hasFirmware = true;
  desc.firmwareVersion = "110203";
  ASSERT_NO_FATAL_FAILURE(Create(desc));
  char text[kDravikFwVersionSize] = {};
  dravik_.fwVersion(device_, text);
  EXPECT_STREQ(text, "110203");
  ASSERT_NE(Revert(), 0);

  EXPECT_EQ(dravik_.runRepair(device_, 0xA0), 0);
  EXPECT_EQ(dravik_.errorCode(device_), kDravikErrorFailed);

  ASSERT_TRUE(sim::SetPlugged(Folder(), false));
  EXPECT_EQ(dravik_.deviceExist(device_), 0);
  ASSERT_TRUE(sim::SetPlugged(Folder(), true));
  EXPECT_EQ(dravik_.deviceExist(device_), 1);
  EXPECT_EQ(dravik_.runRepair(device_, 0xA0), 1);
  EXPECT_EQ(dravik_.errorCode(device_), 0u);
  EXPECT_EQ(BadBlocks().bad, g_lastProgress.m_dwBadBlocks);
  EXPECT_EQ(Capacity(), uint64_t(2 * kBlocksPerCE - 2 - BadBlocks().bad) * kSectorsPerBlock);
}

TEST_F(DravikRepairTest, DescribesTheDriveAndNamesTheFirmwareImage) {
  sim::DriveSpec desc = SmallDrive(0x423);
  desc.chipVersion = "0011";
  desc.dualChannel = true;
  ASSERT_NO_FATAL_FAILURE(Create(desc));
  ASSERT_EQ(dravik_.deviceExist(device_), 1);
  EXPECT_EQ(dravik_.numberOfDrive(device_), 1);
  uint16_t chip = 0, version = 0;
  dravik_.chipId(device_, &chip, &version);
  EXPECT_EQ(chip, 0x423);
  EXPECT_EQ(version, 0x11);
  char letter = 0;
  EXPECT_EQ(dravik_.driveLetter(device_, 1, &letter), 1);
  EXPECT_EQ(letter, 'E');
  uint32_t sectors = 0;
  uint16_t controller = 0;
  uint8_t flags = 0, ces = 0, planes = 0;
  ASSERT_EQ(dravik_.deviceAttrib(device_, &sectors, &controller, &flags, &ces, &planes), 1);
  EXPECT_EQ(flags & 0x20, 0x20) << "dual-channel mode";
  EXPECT_EQ(sectors, 2 * kBlocksPerCE * kSectorsPerBlock);
  EXPECT_EQ(ces, 2);

  // The image of the KR423 line carries its version at 0xEFF2..0xEFF7.
  char path[kDravikUpdateFwFileSize] = {};
  ASSERT_EQ(dravik_.updateFwFile(device_, path, 0), 1);
  EXPECT_NE(std::string(path).find("Boot\\Dravik\\KR42x\\fw.bin"), std::string::npos) << path;
  std::string image;
  ASSERT_TRUE(qv::ReadWholeFile(path, &image)) << path;
  ASSERT_EQ(image.size(), 0x10000u);
  EXPECT_EQ(image.substr(0xEFF2, 6), "120705");
  EXPECT_EQ(dravik_.updateFwFile(device_, path, 9), 0);
  EXPECT_STREQ(path, "");
}

TEST_F(DravikRepairTest, DrivesOutsideTheFamilyAreNotFound) {
  ASSERT_NO_FATAL_FAILURE(Create(SmallDrive(sim::kPlainDisk)));
  EXPECT_EQ(dravik_.deviceExist(device_), 0);
  EXPECT_EQ(dravik_.runRepair(device_, 0xA0), 0);
  EXPECT_EQ(dravik_.errorCode(device_), kDravikErrorFailed);
}

}  // namespace
