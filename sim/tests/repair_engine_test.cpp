// The drive's side of the repair, called the way the controller's
// dispatcher calls it: the repair service's sub-commands, the re-plug gate,
// the committed user area as a disk, and what persists across plugs.
#include "sim/repair_engine.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "sim/repair_commands.h"
#include "sim/sim_api.h"
#include "sim/sim_drive.h"

namespace {

using namespace repaircmd;

uint32_t Be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint16_t Be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
void PutBe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}

std::vector<uint8_t> FirmwareImage(const char* version = "120705") {
  std::vector<uint8_t> image(kFirmwareImageBytes, 0xFF);
  std::memset(&image[kFirmwareInfoOffset], 0, kFirmwareInfoBytes);
  std::memcpy(&image[kFirmwareMarkOffset], kFirmwareMark, sizeof kFirmwareMark);
  std::memcpy(&image[kFirmwareVersionOffset], version, kFirmwareVersionBytes);
  return image;
}

class RepairEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/repair_engine_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    machine_ = pattern;
    spec_.controller = 0x425;
    spec_.ces = 2;
    spec_.blocksPerCE = 64;
    spec_.pagesPerBlock = 4;
    spec_.sectorsPerPage = 2;
    spec_.chipVersion = "01a3";
  }
  void TearDown() override {
    drive_.reset();
    std::filesystem::remove_all(machine_);
  }

  void Create() {
    std::string error;
    ASSERT_TRUE(sim::CreateDrive(machine_, spec_, &error)) << error;
    Reopen();
  }
  void Reopen() {
    std::string error;
    drive_ = sim::SimDrive::Load(sim::DriveFolder(machine_, spec_), false, &error);
    ASSERT_TRUE(drive_) << error;
    id_ = sim::ControllerFromTag(sim::InquiryTag(drive_->Spec()));
  }

  // Offers one command to the repair side; false when it leaves it alone.
  bool Offer(const std::vector<uint8_t>& cdb, sim::Direction direction, void* data, uint32_t length,
             sim::Outcome* outcome) {
    sim::Request r;
    r.cdb = cdb.data();
    r.cdbLength = uint8_t(cdb.size());
    r.direction = direction;
    r.data = data;
    r.dataLength = length;
    bool claimed = false;
    drive_->WithState([&](sim::FlashState& state, sim::NandArray& nand) {
      sim::RepairTarget t{drive_->Spec(), state.Header(), nand, id_, drive_->Folder()};
      claimed = sim::HandleRepairCommand(t, r, outcome);
    });
    return claimed;
  }
  sim::Outcome::Kind Send(const std::vector<uint8_t>& cdb, sim::Direction direction, void* data,
                          uint32_t length) {
    sim::Outcome o;
    if (!Offer(cdb, direction, data, length, &o)) return sim::Outcome::Kind(-1);
    last_ = o.why;
    return o.kind;
  }

  static std::vector<uint8_t> Repair(uint8_t sub) {
    std::vector<uint8_t> cdb(kCdbLength, 0);
    cdb[0] = kOpRepair;
    cdb[1] = sub;
    return cdb;
  }
  std::vector<uint8_t> Identify() {
    std::vector<uint8_t> out(kIdentifyBytes, 0xEE);
    EXPECT_EQ(Send(Repair(kSubIdentify), sim::Direction::kIn, out.data(), kIdentifyBytes), sim::Outcome::kDone);
    return out;
  }
  sim::Outcome::Kind WriteFirmware(std::vector<uint8_t> image) {
    auto cdb = Repair(kSubWriteFirmware);
    PutBe32(&cdb[kFirmwareLength], uint32_t(image.size()));
    return Send(cdb, sim::Direction::kOut, image.data(), uint32_t(image.size()));
  }
  // Commits a map that leaves out the listed (CE, block) pairs.
  sim::Outcome::Kind Commit(const std::vector<std::pair<uint32_t, uint32_t>>& excluded, uint32_t goodBlocks) {
    const uint32_t bits = spec_.ces * spec_.blocksPerCE;
    std::vector<uint8_t> bitmap((bits + 4095) / 4096 * 512, 0);
    for (auto [ce, block] : excluded) {
      uint32_t bit = ce * spec_.blocksPerCE + block;
      bitmap[bit / 8] |= uint8_t(1u << (bit % 8));
    }
    auto cdb = Repair(kSubCommitMap);
    PutBe32(&cdb[kCommitGoodBlocks], goodBlocks);
    return Send(cdb, sim::Direction::kOut, bitmap.data(), uint32_t(bitmap.size()));
  }
  static std::vector<uint8_t> Block10(uint8_t op, uint32_t lba, uint16_t count) {
    std::vector<uint8_t> cdb(kBlockCdbLength, 0);
    cdb[0] = op;
    PutBe32(&cdb[2], lba);
    cdb[7] = uint8_t(count >> 8);
    cdb[8] = uint8_t(count);
    return cdb;
  }
  uint32_t Capacity() {
    uint8_t out[8] = {};
    if (Send({kOpReadCapacity10, 0, 0, 0, 0, 0, 0, 0, 0, 0}, sim::Direction::kIn, out, 8) != sim::Outcome::kDone)
      return 0;
    EXPECT_EQ(Be32(out + 4), 512u);
    return Be32(out) + 1;
  }
  std::vector<uint8_t> Spare(uint32_t ce, uint32_t block, uint32_t page) {
    std::vector<uint8_t> spare(16);
    drive_->WithState([&](sim::FlashState&, sim::NandArray& nand) { nand.ReadSpare(ce, block, page, spare.data()); });
    return spare;
  }

  std::string machine_;
  sim::DriveSpec spec_;
  std::unique_ptr<sim::SimDrive> drive_;
  uint16_t id_ = 0;
  std::string last_;
};

TEST_F(RepairEngineTest, IdentifyTellsGeometryFirmwareGapsAndTheReplugGate) {
  spec_.controller = 0x423;
  spec_.hasFirmware = true;
  spec_.firmwareVersion = "110203";
  spec_.dualChannel = true;
  spec_.gapsGiven = true;
  spec_.gaps = {{10, 12}, {60, 0xFFFFFFFFu}};
  Create();
  auto id = Identify();
  EXPECT_EQ(std::memcmp(&id[kIdMagic], kIdentifyMagic, 4), 0);
  EXPECT_EQ(id[kIdFlags], kFlagFirmware | kFlagDualChannel);
  EXPECT_EQ(Be16(&id[kIdController]), 0x423);
  EXPECT_EQ(Be16(&id[kIdChipVersion]), 0x01A3);
  EXPECT_EQ(id[kIdCeCount], 2);
  EXPECT_EQ(Be32(&id[kIdBlocksPerCe]), 64u);
  EXPECT_EQ(Be16(&id[kIdPagesPerBlock]), 4);
  EXPECT_EQ(Be16(&id[kIdSectorsPerPage]), 2);
  EXPECT_STREQ(reinterpret_cast<const char*>(&id[kIdFirmwareVersion]), "110203");
  EXPECT_EQ(Be32(&id[kIdUserSectors]), 0u);
  ASSERT_EQ(id[kIdGapCount], 2);
  // The open-ended gap is clipped to the flash.
  EXPECT_EQ(Be32(&id[kIdGaps]), 10u);
  EXPECT_EQ(Be32(&id[kIdGaps + 4]), 12u);
  EXPECT_EQ(Be32(&id[kIdGaps + 8]), 60u);
  EXPECT_EQ(Be32(&id[kIdGaps + 12]), 63u);

  // While a revert's engine code still runs, only identify is served.
  drive_->WithState([](sim::FlashState& s, sim::NandArray&) { s.Header().replugPending = 1; });
  EXPECT_EQ(Identify()[kIdFlags] & kFlagReplugPending, kFlagReplugPending);
  EXPECT_EQ(WriteFirmware(FirmwareImage()), sim::Outcome::kRefused);
  EXPECT_NE(last_.find("unplugged and plugged again"), std::string::npos);
  uint8_t spare[16];
  auto read = Repair(kSubReadPage);
  EXPECT_EQ(Send(read, sim::Direction::kIn, spare, 16), sim::Outcome::kRefused);
  EXPECT_EQ(Commit({}, 2 * 64 - 6), sim::Outcome::kRefused);

  // A re-plug powers the controller on again and opens the service.
  ASSERT_TRUE(sim::SetPlugged(drive_->Folder(), false));
  ASSERT_TRUE(sim::SetPlugged(drive_->Folder(), true));
  Reopen();
  EXPECT_EQ(Identify()[kIdFlags] & kFlagReplugPending, 0);
  EXPECT_EQ(Send(read, sim::Direction::kIn, spare, 16), sim::Outcome::kDone);
}

TEST_F(RepairEngineTest, ReadPageAnswersDataAndSpareOfExistingPagesOnly) {
  spec_.faults.factoryBad = {{1, 5, true}};
  spec_.gapsGiven = true;
  spec_.gaps = {{40, 47}};
  Create();
  // A factory mark: zero data and spare in the last page of CE 1 block 5.
  std::vector<uint8_t> page(2 * 512 + 16, 0xEE);
  auto cdb = Repair(kSubReadPage);
  cdb[kReadCe] = 1;
  PutBe32(&cdb[kReadBlock], 5);
  cdb[kReadPageNumber + 1] = 3;
  cdb[kReadWhat] = kReadDataAndSpare;
  ASSERT_EQ(Send(cdb, sim::Direction::kIn, page.data(), uint32_t(page.size())), sim::Outcome::kDone);
  EXPECT_EQ(page[0], 0x00);
  EXPECT_EQ(page[1023], 0x00);
  EXPECT_EQ(page[1024 + 4], 0x00);  // mark bytes
  EXPECT_EQ(page[1024 + 15], 0xFF);
  cdb[kReadPageNumber + 1] = 0;     // its first page is erased
  cdb[kReadWhat] = kReadSpare;
  uint8_t spare[16] = {};
  ASSERT_EQ(Send(cdb, sim::Direction::kIn, spare, 16), sim::Outcome::kDone);
  for (uint8_t b : spare) EXPECT_EQ(b, 0xFF);

  struct Bad {
    const char* why;
    uint8_t ce;
    uint32_t block;
    uint8_t page, what;
    uint32_t length;
  };
  for (const Bad& b : {Bad{"CE beyond the flash", 2, 0, 0, kReadSpare, 16}, Bad{"block in a gap", 0, 41, 0, kReadSpare, 16},
                       Bad{"block beyond the flash", 0, 64, 0, kReadSpare, 16},
                       Bad{"page beyond the block", 0, 0, 4, kReadSpare, 16},
                       Bad{"unknown kind", 0, 0, 0, 7, 16}, Bad{"length not fitting the kind", 0, 0, 0, kReadDataAndSpare, 16}}) {
    auto c = Repair(kSubReadPage);
    c[kReadCe] = b.ce;
    PutBe32(&c[kReadBlock], b.block);
    c[kReadPageNumber + 1] = b.page;
    c[kReadWhat] = b.what;
    std::vector<uint8_t> out(b.length);
    EXPECT_EQ(Send(c, sim::Direction::kIn, out.data(), b.length), sim::Outcome::kRefused) << b.why;
  }
}

TEST_F(RepairEngineTest, FirmwareWriteTakesOnlyAnImageForTheFamilyAndPersists) {
  Create();
  EXPECT_EQ(Identify()[kIdFlags] & kFlagFirmware, 0);
  auto noMark = FirmwareImage();
  noMark[kFirmwareMarkOffset] = 0;
  EXPECT_EQ(WriteFirmware(noMark), sim::Outcome::kRefused);
  auto noVersion = FirmwareImage();
  noVersion[kFirmwareVersionOffset + 5] = 0;
  EXPECT_EQ(WriteFirmware(noVersion), sim::Outcome::kRefused);
  auto shortImage = FirmwareImage();
  shortImage.resize(0x8000);
  EXPECT_EQ(WriteFirmware(shortImage), sim::Outcome::kRefused);
  EXPECT_EQ(Identify()[kIdFlags] & kFlagFirmware, 0);

  ASSERT_EQ(WriteFirmware(FirmwareImage("120705")), sim::Outcome::kDone);
  Reopen();
  auto id = Identify();
  EXPECT_EQ(id[kIdFlags] & kFlagFirmware, kFlagFirmware);
  EXPECT_STREQ(reinterpret_cast<const char*>(&id[kIdFirmwareVersion]), "120705");
}

TEST_F(RepairEngineTest, FirmwareWriteRefusesOtherControllers) {
  spec_.controller = 0x421;
  Create();
  EXPECT_EQ(WriteFirmware(FirmwareImage()), sim::Outcome::kRefused);
}

TEST_F(RepairEngineTest, CommittedMapServesTheGoodBlocksAsADisk) {
  spec_.faults.factoryBad = {{0, 3, false}};
  spec_.gapsGiven = true;
  spec_.gaps = {{60, 63}};
  Create();
  const uint32_t spb = 8;
  // Without a map the block commands stay with the vendor table.
  sim::Outcome o;
  uint8_t cap[8];
  EXPECT_FALSE(Offer({kOpReadCapacity10, 0, 0, 0, 0, 0, 0, 0, 0, 0}, sim::Direction::kIn, cap, 8, &o));

  // 2 CEs x (64 - 4 in the gap) blocks, less the bad block and the table blocks.
  const std::vector<std::pair<uint32_t, uint32_t>> excluded = {{0, 3}, {0, 0}, {1, 0}};
  const uint32_t good = 2 * 60 - 3;
  EXPECT_EQ(Commit(excluded, good), sim::Outcome::kRefused) << "no firmware yet";
  ASSERT_EQ(WriteFirmware(FirmwareImage()), sim::Outcome::kDone);
  EXPECT_EQ(Commit(excluded, good + 1), sim::Outcome::kRefused) << "count disagrees";
  ASSERT_EQ(Commit(excluded, good), sim::Outcome::kDone) << last_;
  EXPECT_EQ(Capacity(), good * spb);
  EXPECT_EQ(Be32(&Identify()[kIdUserSectors]), good * spb);

  // Fill the whole area with its own sector numbers, then read it back.
  const uint32_t sectors = good * spb;
  std::vector<uint8_t> data(size_t(sectors) * 512);
  for (uint32_t s = 0; s < sectors; ++s) PutBe32(&data[size_t(s) * 512], s ^ 0xA5A5A5A5u);
  ASSERT_EQ(Send(Block10(kOpWrite10, 0, uint16_t(sectors)), sim::Direction::kOut, data.data(), uint32_t(data.size())),
            sim::Outcome::kDone);
  Reopen();
  std::vector<uint8_t> back(data.size(), 0);
  ASSERT_EQ(Send(Block10(kOpRead10, 0, uint16_t(sectors)), sim::Direction::kIn, back.data(), uint32_t(back.size())),
            sim::Outcome::kDone);
  EXPECT_EQ(back, data);
  // The left-out blocks were never written: the factory mark holds, the
  // table blocks stay erased, and written blocks read as unmarked.
  EXPECT_EQ(Spare(0, 3, 0)[4], 0x00);
  EXPECT_EQ(Spare(0, 0, 0)[0], 0xFF);
  EXPECT_EQ(Spare(1, 0, 3)[0], 0xFF);
  EXPECT_EQ(Spare(0, 1, 0)[4], 0xFF);
  EXPECT_NE(Spare(0, 1, 0)[0], 0xFF);

  sim::UserAreaReport report;
  ASSERT_TRUE(sim::InspectUserArea(drive_->Folder(), drive_->Spec(), &report));
  EXPECT_TRUE(report.mapped);
  EXPECT_EQ(report.blocks, good);
  EXPECT_EQ(report.sectors, uint64_t(good) * spb);
}

TEST_F(RepairEngineTest, OverwritesKeepNeighbouringSectorsAndRangesAreChecked) {
  Create();
  ASSERT_EQ(WriteFirmware(FirmwareImage()), sim::Outcome::kDone);
  ASSERT_EQ(Commit({{0, 0}, {1, 0}}, 126), sim::Outcome::kDone);
  const uint32_t sectors = Capacity();
  ASSERT_EQ(sectors, 126u * 8);

  // Sectors 6..9 straddle the first two mapped blocks.
  std::vector<uint8_t> first(4 * 512, 0x11), second(2 * 512, 0x22), back(5 * 512);
  ASSERT_EQ(Send(Block10(kOpWrite10, 6, 4), sim::Direction::kOut, first.data(), 4 * 512), sim::Outcome::kDone);
  // Rewriting sectors 7..8 makes both blocks rewrite themselves.
  ASSERT_EQ(Send(Block10(kOpWrite10, 7, 2), sim::Direction::kOut, second.data(), 2 * 512), sim::Outcome::kDone);
  ASSERT_EQ(Send(Block10(kOpRead10, 5, 5), sim::Direction::kIn, back.data(), 5 * 512), sim::Outcome::kDone);
  std::vector<uint8_t> expected(5 * 512, 0x11);
  std::fill(expected.begin(), expected.begin() + 512, 0xFF);            // sector 5: never written
  std::fill(expected.begin() + 2 * 512, expected.begin() + 4 * 512, 0x22);  // sectors 7, 8
  EXPECT_EQ(back, expected);

  std::vector<uint8_t> one(512);
  EXPECT_EQ(Send(Block10(kOpRead10, sectors - 1, 1), sim::Direction::kIn, one.data(), 512), sim::Outcome::kDone);
  EXPECT_EQ(Send(Block10(kOpRead10, sectors, 1), sim::Direction::kIn, one.data(), 512), sim::Outcome::kRefused);
  EXPECT_EQ(Send(Block10(kOpWrite10, sectors - 1, 2), sim::Direction::kOut, back.data(), 1024), sim::Outcome::kRefused);
  EXPECT_EQ(Send(Block10(kOpRead10, 0, 2), sim::Direction::kIn, one.data(), 512), sim::Outcome::kRefused)
      << "length does not fit the count";
  EXPECT_EQ(Send(Block10(kOpRead10, 0, 0), sim::Direction::kIn, nullptr, 0), sim::Outcome::kDone);
}

TEST_F(RepairEngineTest, LeavesOtherCommandsAndPlainDisksAlone) {
  Create();
  sim::Outcome o;
  uint8_t buffer[180];
  EXPECT_FALSE(Offer({0x12, 0, 0, 0, 180, 0}, sim::Direction::kIn, buffer, 180, &o));
  EXPECT_FALSE(Offer({0xF1, 0x10, 1, 0xFF, 0, 0, 0, 0, 0, 0}, sim::Direction::kIn, buffer, 8, &o));
  EXPECT_TRUE(Offer(Repair(0x7F), sim::Direction::kNone, nullptr, 0, &o));
  EXPECT_EQ(o.kind, sim::Outcome::kRefused);
  drive_.reset();

  spec_.controller = sim::kPlainDisk;
  spec_.letter = 'F';
  Create();
  EXPECT_FALSE(Offer(Repair(kSubIdentify), sim::Direction::kIn, buffer, kIdentifyBytes, &o));
}

}  // namespace
