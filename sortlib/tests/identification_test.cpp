// Controller and flash identification and the discovery boot load, driven
// through a fake machine whose controller answers from a description.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/message_box.h"
#include "sortlib/device/boot_code.h"
#include "sortlib/device/identification.h"
#include "sortlib/device/sort_device.h"
#include "sortlib/device/volume_access.h"
#include "sortlib/interface/kv_config.h"
#include "sortlib/tests/fake_machine.h"
#include "sortlib/tests/test_files.h"

namespace {

using sievex_test::FakeDrive;
using sievex_test::FakeMachine;
using sievex_test::Tag;

// A plausible controller answer: 2 CEs of 1024 blocks, 64 pages of 4
// sectors, two planes, MLC, size nibble 10, high nibble 4.
std::array<uint8_t, 34> DefaultConfig() {
  std::array<uint8_t, 34> c{};
  c[0] = 0x4A;
  c[1] = 0x10;
  c[2] = 64;
  c[3] = 0x04;
  c[4] = 0x00;
  c[5] = 1;
  c[6] = 2;
  c[7] = 0x01;
  c[8] = 0x00;
  c[21] = 2;
  return c;
}

// The discovery images, each with its own marker in the slice.
struct ImageFile {
  const char* relative;  // as laid out on disk (case differs from the code's)
  uint8_t marker;
};
constexpr ImageFile kDiscoveryImages[] = {
    {"Boot/425/fw2.bin", 1},    {"Boot/425/FWA1.bin", 2},   {"Boot/423/CA/fwt.BIN", 3},
    {"Boot/423/DA/fwt.BIN", 4}, {"Boot/423/BA/fw1.BIN", 5}, {"Boot/423/CA/fw1.BIN", 6},
    {"Boot/423/DA/fw1.BIN", 7},
};

class SievexIdentification : public ::testing::Test {
 protected:
  void SetUp() override {
    sievex_test::InstallCarriedFlashDatabase();
    sievex_test::RemoveBootFolder();
    for (const ImageFile& image : kDiscoveryImages)
      sievex_test::WriteBootImage(image.relative, image.marker);
    drive_ = &machine_.AddDrive('E');
    drive_->tag = Tag("KrffK425A0B");
    drive_->config = DefaultConfig();
    std::strcpy(device_.m_szDrive, "E:");
  }
  void TearDown() override { sievex_test::RemoveBootFolder(); }

  int Probe() { return sievex::ProbeController(&device_); }
  int Inquire() {
    std::unique_ptr<qv::Device> volume;
    if (!sievex::OpenVolume(&device_, &volume)) return 0;
    return sievex::ReadInquiry(&device_, volume.release());
  }

  FakeMachine machine_;
  FakeDrive* drive_ = nullptr;
  SortDevice device_;
};

TEST_F(SievexIdentification, InquiryCopiesTagBytes36To55AndClosesTheHandle) {
  drive_->tag = Tag("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  ASSERT_EQ(Inquire(), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(device_.m_InquiryTag), 20), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(machine_.OpenHandles(), 0);

  drive_->inquiryWorks = false;
  std::memset(device_.m_InquiryTag, 0, 20);
  EXPECT_EQ(Inquire(), 0);
  EXPECT_EQ(device_.m_InquiryTag[0], 0);
  EXPECT_EQ(machine_.OpenHandles(), 0);
}

TEST_F(SievexIdentification, TagDecidesTheController) {
  struct Case {
    const char* tag;
    int probe;
    uint32_t controller;
    uint32_t needBootCode;
  };
  const Case cases[] = {
      {"Qxs Krff K423", 1, 0x428, 0},
      {"KR0 Krff", 1, 0x421, 0},
      {"KR1 Krff K425", 1, 0x422, 0},  // no boot code although "Krff"
      {"KR2", 1, 0x429, 0},
      {"Krff0423A0C", 1, 0x423, 1},
      {"KrffK423A0F", 1, 0x436, 1},  // 'F' at character 10
      {"Krff0423", 1, 0x423, 1},     // no character 10: not 'F'
      {"KrffK425A0B", 1, 0x425, 1},
      {"KRxx", 0, 0x421, 0},
      {"Generic Flash", 0, 0x999, 0},  // unknown: the id stays
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    drive_->tag = Tag(c.tag);
    device_.m_dwController = 0x999;
    ASSERT_EQ(Inquire(), 1);
    EXPECT_EQ(Probe(), c.probe);
    EXPECT_EQ(device_.m_dwController, c.controller);
    EXPECT_EQ(device_.m_dwNeedBootCode, c.needBootCode);
  }
  EXPECT_EQ(machine_.OpenHandles(), 0);
}

TEST_F(SievexIdentification, RevisionIsTagCharacter10MinusA) {
  drive_->tag = Tag("Krff0423A0C");
  ASSERT_EQ(Inquire(), 1);
  ASSERT_EQ(Probe(), 1);
  EXPECT_EQ(device_.m_bRevision, 2);
  EXPECT_EQ(device_.m_dwController, 0x423u);
}

TEST_F(SievexIdentification, QxsSkipsTheFlashIdAndNoBootCodeTagsReadNoGeometry) {
  drive_->tag = Tag("Qxs");
  ASSERT_EQ(Inquire(), 1);
  ASSERT_EQ(Probe(), 1);
  EXPECT_EQ(drive_->Count(0xFD, 0x10), 0u);

  drive_->tag = Tag("KR1 Krff");
  ASSERT_EQ(Inquire(), 1);
  ASSERT_EQ(Probe(), 1);
  EXPECT_EQ(drive_->Count(0xFD, 0x10), 1u);
  EXPECT_EQ(drive_->Count(0xF2), 0u);
  EXPECT_EQ(drive_->ramWrites, 0u);
}

TEST_F(SievexIdentification, FailedFlashIdReadIsShownAndFailsTheProbe) {
  qv::MessageBoxRecorder boxes;
  drive_->flashIdWorks = false;
  ASSERT_EQ(Inquire(), 1);
  EXPECT_EQ(Probe(), 0);
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].text, "Can not get Flash ID!");
  EXPECT_EQ(boxes.Calls()[0].caption, "Error");
  EXPECT_EQ(boxes.Calls()[0].flags, qv::kMbOk);
}

TEST_F(SievexIdentification, SilentProbeFailures) {
  qv::MessageBoxRecorder boxes;
  struct Case {
    const char* name;
    void (*breakIt)(FakeDrive*);
  };
  const Case cases[] = {
      {"start boot code refused", [](FakeDrive* d) { d->startBootWorks = false; }},
      {"flash configuration refused", [](FakeDrive* d) { d->configWorks = false; }},
      {"no discovery image for a KR425 of tag revision B0",
       [](FakeDrive* d) { d->tag = Tag("KrffK425B0B"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    *drive_->log = {};
    drive_->tag = Tag("KrffK425A0B");
    drive_->startBootWorks = drive_->configWorks = true;
    c.breakIt(drive_);
    ASSERT_EQ(Inquire(), 1);
    EXPECT_EQ(Probe(), 0);
  }
  EXPECT_TRUE(boxes.Calls().empty());
  EXPECT_EQ(machine_.OpenHandles(), 0);
}

TEST_F(SievexIdentification, MissingBootFolderFailsTheProbeSilently) {
  qv::MessageBoxRecorder boxes;
  sievex_test::RemoveBootFolder();
  ASSERT_EQ(Inquire(), 1);
  EXPECT_EQ(Probe(), 0);
  EXPECT_EQ(drive_->ramWrites, 0u);
  EXPECT_EQ(drive_->Count(0xFD, 0x11), 0u);
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(SievexIdentification, CarriedDatabaseGivesTheGeometryOfItsFlash) {
  for (bool dual : {false, true}) {
    SCOPED_TRACE(dual ? "dual mode" : "single mode");
    drive_->config[1] = dual ? 0x30 : 0x10;
    ASSERT_EQ(Inquire(), 1);
    ASSERT_EQ(Probe(), 1);
    EXPECT_EQ(device_.m_dwBlocksPerCE, 4096u);
    EXPECT_EQ(device_.m_dwSectorsPerPage, dual ? 32u : 16u);
    EXPECT_EQ(device_.m_dwSectorsPerBlock, dual ? 4096u : 2048u);
    EXPECT_EQ(device_.m_wStartGapBlock, 2048);
    EXPECT_EQ(device_.m_wGapBlockSize, 2048);
    EXPECT_EQ(device_.m_bFlashSize, 10);  // "64G"
    EXPECT_EQ(device_.m_dwDualMode, dual ? 1u : 0u);
    // Always the controller's: CEs, pages per block, planes, nibbles, MLC.
    EXPECT_EQ(device_.m_dwCENo, 2u);
    EXPECT_EQ(device_.m_dwPagesPerBlock, 64u);
    EXPECT_EQ(device_.m_bPlaneCount, 2);
    EXPECT_EQ(device_.m_bConfigHigh, 4);
    EXPECT_EQ(device_.m_dwMLC, 1u);
  }
}

TEST_F(SievexIdentification, ControllerGeometryWithoutADatabaseEntry) {
  drive_->flashId = {0xEC, 0xD7, 0x95, 0x32, 0x7A};
  drive_->config[2] = 0xFF;  // 256 pages
  drive_->config[7] = 0x08;  // 0x0800 sectors per block
  drive_->config[8] = 0x00;
  drive_->config[3] = 0x02;  // 0x0200 blocks per unit ...
  drive_->config[4] = 0x00;
  drive_->config[5] = 3;     // ... times 3 units
  drive_->config[21] = 0;    // one plane
  drive_->eccByte = 0x07;    // low 2 bits 3: ECC code 14
  ASSERT_EQ(Inquire(), 1);
  ASSERT_EQ(Probe(), 1);
  EXPECT_EQ(device_.m_dwPagesPerBlock, 256u);
  EXPECT_EQ(device_.m_dwSectorsPerBlock, 0x800u);
  EXPECT_EQ(device_.m_dwSectorsPerPage, 8u);  // 2048 / 255
  EXPECT_EQ(device_.m_dwBlocksPerCE, 0x600u);
  EXPECT_EQ(device_.m_bPlaneCount, 1);
  EXPECT_EQ(device_.m_bFlashSize, 0x0A);  // the controller's nibble
  EXPECT_EQ(device_.m_wEccCode, 14);
  EXPECT_EQ(device_.m_wStartGapBlock, 0);
}

TEST_F(SievexIdentification, SixteenBitRuleOfThe45C595Flash) {
  struct Case {
    uint8_t byte3;
    uint32_t before, after;
  };
  for (Case c : {Case{0xE5, 0, 1}, Case{0xA5, 1, 0}, Case{0x77, 1, 1}}) {
    SCOPED_TRACE(int(c.byte3));
    drive_->flashId = {0x45, 0xC5, 0x95, c.byte3, 0xEA};
    ASSERT_EQ(Inquire(), 1);
    device_.m_dw16Bit = c.before;
    ASSERT_EQ(Probe(), 1);
    EXPECT_EQ(device_.m_dw16Bit, c.after);
  }
}

TEST_F(SievexIdentification, AllZeroFlashIdGivesNoBlocks) {
  drive_->flashId = {0, 0, 0, 0, 0};
  ASSERT_EQ(Inquire(), 1);
  EXPECT_EQ(Probe(), 1);
  EXPECT_EQ(device_.m_dwBlocksPerCE, 0u);
}

TEST_F(SievexIdentification, FlashIdTextMatchingRules) {
  // 0x0a is written "0x a"; a leading zero does not match, capitals do.
  sievex_test::WriteFlashDatabase(
      "[zero]\nFID=0x98,0x0a,0x95,0x32,0x7a\nBlocksPerChip=1\nSectorsPerPage=1\n"
      "SectorsPerBlock=1\n"
      "[blank]\nFID=0X98,0x A,0X95,0X32,0X7A\nBlocksPerChip=2\nSectorsPerPage=2\n"
      "SectorsPerBlock=4\nFlashSize=8G\n");
  drive_->flashId = {0x98, 0x0A, 0x95, 0x32, 0x7A};
  ASSERT_EQ(Inquire(), 1);
  ASSERT_EQ(Probe(), 1);
  EXPECT_EQ(device_.m_dwBlocksPerCE, 2u);
  EXPECT_EQ(device_.m_bFlashSize, 7);
}

TEST_F(SievexIdentification, IncompleteSectionIsSkippedButGivesTheRedundantSize) {
  sievex_test::WriteFlashDatabase(
      "[a]\nFID=0x98,0xd7,0x95,0x32,0x7a\nBlocksPerChip=100\nSectorsPerPage=4\n"
      "RedudantSize=300\n"  // low 8 bits: 44
      "[b]\nFID=0x98,0xd7,0x95,0x32,0x7a\nBlocksPerChip=200\nSectorsPerPage=8\n"
      "SectorsPerBlock=512\nFlashSize=64g\nRedudantSize=7\n");
  ASSERT_EQ(Inquire(), 1);
  ASSERT_EQ(Probe(), 1);
  EXPECT_EQ(device_.m_dwBlocksPerCE, 200u);
  EXPECT_EQ(device_.m_dwSectorsPerBlock, 512u);
  EXPECT_EQ(device_.m_bFlashSize, 0);  // size texts are case-sensitive
  EXPECT_EQ(sievex::LookupRedundantSize(&device_), 44);
}

TEST_F(SievexIdentification, MissingDatabaseLeavesTheControllerGeometry) {
  sievex_test::RemoveFlashDatabase();
  ASSERT_EQ(Inquire(), 1);
  ASSERT_EQ(Probe(), 1);
  EXPECT_EQ(device_.m_dwSectorsPerBlock, 256u);
  EXPECT_EQ(device_.m_dwSectorsPerPage, 4u);
  EXPECT_EQ(device_.m_dwBlocksPerCE, 1024u);
  EXPECT_EQ(sievex::LookupRedundantSize(&device_), 0);
}

TEST_F(SievexIdentification, DiscoveryImageOfEveryRow) {
  struct Case {
    const char* tag;
    uint8_t deviceCode;
    uint8_t marker;  // which image reached controller memory
    uint32_t revisionA1;
  };
  const Case cases[] = {
      {"KrffK425A0B", 0xD7, 1, 0}, {"Krff0425A1B", 0x75, 2, 1},
      {"KrffK423xxB", 0x75, 1, 9}, {"KrffK423xxC", 0x35, 3, 9},
      {"KrffK423xxD", 0x79, 4, 9}, {"KrffK423xxB", 0xD7, 5, 9},
      {"KrffK423xxC", 0xD7, 6, 9}, {"KrffK423xxE", 0xD7, 7, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tag) + " device code " + std::to_string(c.deviceCode));
    *drive_->log = {};
    drive_->ramWrites = 0;
    drive_->tag = Tag(c.tag);
    drive_->flashId[1] = c.deviceCode;
    device_.m_dwRevisionA1 = 9;
    ASSERT_EQ(Inquire(), 1);
    ASSERT_EQ(Probe(), 1);
    EXPECT_EQ(drive_->ramWrites, 8u);
    EXPECT_EQ(drive_->bootRam[0], c.marker);
    EXPECT_EQ(drive_->bootRam[0xFFF], c.marker);
    EXPECT_EQ(device_.m_dwRevisionA1, c.revisionA1);
  }
}

TEST_F(SievexIdentification, BootLoadSendsEightDiscoveryWritesThenStarts) {
  ASSERT_EQ(Inquire(), 1);
  ASSERT_EQ(Probe(), 1);
  std::vector<std::vector<uint8_t>> sequence;
  for (const auto& c : *drive_->log)
    if (c.cdb[0] == 0xFD) sequence.push_back(c.cdb);
  // Flash ID, prepare, eight writes, start, RAM read.
  ASSERT_EQ(sequence.size(), 12u);
  EXPECT_EQ(sequence[0][1], 0x10);
  EXPECT_EQ(sequence[1][1], 0x14);
  for (unsigned k = 0; k < 8; ++k) {
    const auto& cdb = sequence[2 + k];
    EXPECT_EQ(cdb.size(), 10u);
    EXPECT_EQ(cdb[3], 0xF0 + 2 * k);
    EXPECT_EQ(cdb[4], 0x00);
    EXPECT_EQ(cdb[5], 0xFF);
  }
  EXPECT_EQ(sequence[10][1], 0x11);
  EXPECT_EQ(sequence[11][2], 0x00);  // the memory read
}

TEST_F(SievexIdentification, ShortImageIsPaddedWithFF) {
  sievex_test::WriteBootImage("Boot/425/fw2.bin", 0x3C, 0x5000 + 100);
  ASSERT_EQ(Inquire(), 1);
  ASSERT_EQ(Probe(), 1);
  EXPECT_EQ(drive_->bootRam[99], 0x3C);
  for (size_t i = 100; i < 0x1000; ++i) ASSERT_EQ(drive_->bootRam[i], 0xFF) << i;
}

TEST(SievexFirmwareImage, EngineImageByController) {
  struct Case {
    uint32_t controller;
    uint32_t revisionA1;
    const char* image;
    uint32_t sendFWInfo;
    uint32_t altPagesAfter;
  };
  const Case cases[] = {
      {0x425, 1, "\\Boot\\425\\k425sa1.bin", 1, 1},
      {0x425, 0, "\\Boot\\425\\k425s.bin", 1, 0},
      {0x423, 0, "\\Boot\\423\\k423s.bin", 0, 1},
      {0x436, 0, "", 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.image);
    _KVConfig config{};
    config.m_dwAltPages = 1;
    SortDevice device;
    device.m_pConfig = &config;
    device.m_dwController = c.controller;
    device.m_dwRevisionA1 = c.revisionA1;
    device.m_dwSendFWInfo = 7;
    EXPECT_EQ(sievex::SelectFirmwareImage(&device), c.image);
    EXPECT_EQ(device.m_dwSendFWInfo, c.sendFWInfo);
    EXPECT_EQ(+config.m_dwAltPages, c.altPagesAfter);
  }
}

}  // namespace
