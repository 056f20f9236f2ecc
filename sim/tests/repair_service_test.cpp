// The repair service the device library rebuilds a drive with, and the
// disk of good blocks it leaves.
#include "sim/repair_commands.h"
#include "sim/tests/sim_test_host.h"

namespace simtest {
namespace {

using namespace repaircmd;

class SimRepairService : public RunningDrive {
 protected:
  Bytes Cdb(uint8_t sub) {
    Bytes c(kCdbLength, 0);
    c[0] = kOpRepair;
    c[1] = sub;
    return c;
  }
  bool Identify(Bytes* out) {
    out->assign(kIdentifyBytes, 0);
    return Host::Ok(host_->Send(Cdb(kSubIdentify), qv::ScsiDirection::kIn, out->data(), kIdentifyBytes));
  }
  bool WriteFirmware(const char* version) {
    Bytes image(kFirmwareImageBytes, 0xFF);
    std::memcpy(&image[kFirmwareMarkOffset], kFirmwareMark, 2);
    std::memcpy(&image[kFirmwareVersionOffset], version, kFirmwareVersionBytes);
    Bytes c = Cdb(kSubWriteFirmware);
    c[3] = 0x01;  // 0x00010000
    return Host::Ok(host_->Send(c, qv::ScsiDirection::kOut, image.data(), kFirmwareImageBytes));
  }
  // Excludes the given blocks of every CE; `claimed` good blocks sent.
  bool Commit(const std::vector<std::pair<uint32_t, uint32_t>>& excluded, uint32_t claimed) {
    uint32_t bits = spec_.ces * spec_.blocksPerCE;
    Bytes map(((bits + 7) / 8 + 511) / 512 * 512, 0);
    for (auto [ce, b] : excluded) map[(ce * spec_.blocksPerCE + b) / 8] |= uint8_t(1u << ((ce * spec_.blocksPerCE + b) % 8));
    Bytes c = Cdb(kSubCommitMap);
    c[2] = uint8_t(claimed >> 24);
    c[3] = uint8_t(claimed >> 16);
    c[4] = uint8_t(claimed >> 8);
    c[5] = uint8_t(claimed);
    return Host::Ok(host_->Send(c, qv::ScsiDirection::kOut, map.data(), uint32_t(map.size())));
  }
  int64_t Capacity() {
    Bytes out(8, 0);
    if (!Host::Ok(host_->Send({kOpReadCapacity10, 0, 0, 0, 0, 0, 0, 0, 0, 0}, qv::ScsiDirection::kIn, out.data(), 8)))
      return -1;
    return int64_t(uint32_t(out[0] << 24 | out[1] << 16 | out[2] << 8 | out[3])) + 1;
  }
  bool Block10(uint8_t op, uint32_t lba, uint16_t count, Bytes* data) {
    Bytes c = {op, 0, uint8_t(lba >> 24), uint8_t(lba >> 16), uint8_t(lba >> 8), uint8_t(lba), 0,
               uint8_t(count >> 8), uint8_t(count), 0};
    if (op == kOpRead10) data->assign(size_t(count) * 512, 0);
    return Host::Ok(host_->Send(c, op == kOpRead10 ? qv::ScsiDirection::kIn : qv::ScsiDirection::kOut,
                                data->data(), uint32_t(data->size())));
  }
};

TEST_F(SimRepairService, IdentifyAndPhysicalPageReads) {
  sim::DriveSpec s = SmallSpec(0x425);
  s.chipVersion = "0011";
  s.dualChannel = true;
  Make(s);
  Bytes id;
  ASSERT_TRUE(Identify(&id));
  EXPECT_EQ(std::memcmp(&id[kIdMagic], kIdentifyMagic, 4), 0);
  EXPECT_EQ(id[kIdFlags], kFlagDualChannel);
  EXPECT_EQ(id[kIdController] << 8 | id[kIdController + 1], 0x425);
  EXPECT_EQ(id[kIdChipVersion] << 8 | id[kIdChipVersion + 1], 0x11);
  EXPECT_EQ(id[kIdCeCount], 2);
  EXPECT_EQ(id[kIdBlocksPerCe + 3], 64);
  EXPECT_EQ(id[kIdPagesPerBlock + 1], 8);
  EXPECT_EQ(id[kIdSectorsPerPage + 1], 2);

  Bytes data = Pattern(Spp(), 4);
  ASSERT_TRUE(host_->Erase(3 * Spb(), 0x04));
  ASSERT_TRUE(host_->Write(3 * Spb() + 2 * Spp(), 0x04, data, {0x00, 0x00, 0x02, 0x00}));
  Bytes c = Cdb(kSubReadPage);
  c[kReadCe] = 1;
  c[kReadBlock + 3] = 3;
  c[kReadPageNumber + 1] = 2;
  c[kReadWhat] = kReadDataAndSpare;
  Bytes page(spec_.PageBytes() + kSpareBytes);
  ASSERT_TRUE(Host::Ok(host_->Send(c, qv::ScsiDirection::kIn, page.data(), uint32_t(page.size()))));
  EXPECT_EQ(Bytes(page.begin(), page.begin() + spec_.PageBytes()), data);
  EXPECT_EQ(page[spec_.PageBytes() + 5], 0x02);
  c[kReadWhat] = kReadSpare;
  EXPECT_FALSE(host_->Send(c, qv::ScsiDirection::kIn, page.data(), uint32_t(page.size())).delivered) << "length";
  c[kReadCe] = 2;
  EXPECT_FALSE(host_->Send(c, qv::ScsiDirection::kIn, page.data(), kSpareBytes).delivered) << "no CE 2";
}

TEST_F(SimRepairService, FirmwareThenMapThenADiskOfTheGoodBlocks) {
  Make(SmallSpec(0x425));
  EXPECT_EQ(Capacity(), -1) << "no user area yet";
  const std::vector<std::pair<uint32_t, uint32_t>> excluded = {{0, 0}, {0, 1}, {1, 0}};
  const uint32_t good = 2 * spec_.blocksPerCE - 3;
  EXPECT_FALSE(Commit(excluded, good)) << "no firmware";
  Bytes bad(kFirmwareImageBytes, 0xFF);
  Bytes c = Cdb(kSubWriteFirmware);
  c[3] = 0x01;
  EXPECT_FALSE(host_->Send(c, qv::ScsiDirection::kOut, bad.data(), kFirmwareImageBytes).delivered) << "no mark";
  ASSERT_TRUE(WriteFirmware("120705"));
  Bytes id;
  ASSERT_TRUE(Identify(&id));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&id[kIdFirmwareVersion])), "120705");
  EXPECT_FALSE(Commit(excluded, good + 1)) << "the counts differ";
  ASSERT_TRUE(Commit(excluded, good));
  EXPECT_EQ(Capacity(), int64_t(good) * Spb());
  ASSERT_TRUE(Identify(&id));
  EXPECT_EQ(id[kIdFlags] & kFlagUserArea, kFlagUserArea);

  // Logical sector 0 is block 2 of CE 0; the user area continues on CE 1
  // at its block 1. Writes replace what the sectors held.
  Bytes one = Pattern(3, 8), back;
  ASSERT_TRUE(Block10(kOpWrite10, 0, 3, &one));
  ASSERT_TRUE(Block10(kOpWrite10, 0, 3, &one));
  ASSERT_TRUE(Block10(kOpRead10, 0, 3, &back));
  EXPECT_EQ(back, one);
  std::vector<uint8_t> phys;
  ASSERT_TRUE(sim::ReadPage(sim::DriveFolder(machine_, spec_), 0, 2, 0, &phys, nullptr));
  EXPECT_EQ(Bytes(phys.begin(), phys.begin() + 1024), Bytes(one.begin(), one.begin() + 1024));
  const uint32_t ce1Start = (spec_.blocksPerCE - 2) * Spb();
  Bytes two = Pattern(2, 9);
  ASSERT_TRUE(Block10(kOpWrite10, ce1Start - 1, 2, &two));
  ASSERT_TRUE(sim::ReadPage(sim::DriveFolder(machine_, spec_), 1, 1, 0, &phys, nullptr));
  EXPECT_EQ(Bytes(phys.begin(), phys.begin() + 512), Bytes(two.begin() + 512, two.end()));
  EXPECT_FALSE(Block10(kOpRead10, uint32_t(good * Spb()) - 1, 2, &back)) << "beyond the user area";
  EXPECT_EQ(Report().userSectors, uint64_t(good) * Spb());
  EXPECT_EQ(Report().writtenFirmware, "120705");
}

TEST_F(SimRepairService, OnlyIdentifyAnswersUntilTheReplug) {
  sim::DriveSpec s = SmallSpec(0x423);
  s.hasFirmware = true;
  s.firmwareVersion = "110203";
  Make(s);
  Bytes id;
  ASSERT_TRUE(Identify(&id));
  EXPECT_EQ(id[kIdFlags] & (kFlagFirmware | kFlagReplugPending), kFlagFirmware | kFlagReplugPending);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&id[kIdFirmwareVersion])), "110203");
  EXPECT_FALSE(WriteFirmware("120705"));
  EXPECT_FALSE(Commit({}, 2 * spec_.blocksPerCE));
  std::string folder = sim::DriveFolder(machine_, spec_);
  ASSERT_TRUE(sim::SetPlugged(folder, false));
  ASSERT_TRUE(sim::SetPlugged(folder, true));
  host_->Reopen();
  ASSERT_TRUE(Identify(&id));
  EXPECT_EQ(id[kIdFlags] & kFlagReplugPending, 0);
  EXPECT_TRUE(WriteFirmware("120705")) << "the service runs from ROM";
  EXPECT_TRUE(Commit({}, 2 * spec_.blocksPerCE));
  EXPECT_EQ(Capacity(), int64_t(2 * spec_.blocksPerCE) * Spb());
}

}  // namespace
}  // namespace simtest
