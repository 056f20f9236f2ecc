// NAND semantics seen through the vendor commands: erase, AND-programming,
// the verify reference, the spare area and the status byte.
#include "sim/tests/sim_test_host.h"

namespace simtest {
namespace {

class SimNand : public RunningDrive {};

TEST_F(SimNand, EraseProgramVerifyAndTheReference) {
  Make(SmallSpec());
  const uint32_t block = 5 * Spb();
  ASSERT_TRUE(host_->Erase(block, 0x01));
  EXPECT_EQ(host_->Verify(block, 0x01), std::make_pair(0, 0)) << "an erased block passes";

  Bytes a = Pattern(Spb(), 1);
  ASSERT_TRUE(host_->Write(block, 0x01, a));
  EXPECT_EQ(host_->Verify(block, 0x01), std::make_pair(0, 0));
  Bytes back;
  ASSERT_TRUE(host_->Read(block, 0x01, Spb() * 512, &back));
  EXPECT_EQ(back, a);

  // Programming again without an erase: the flash holds old AND new, the
  // reference is what was asked last, so verify counts the difference.
  Bytes b = Pattern(Spb(), 77);
  ASSERT_TRUE(host_->Write(block, 0x01, b));
  ASSERT_TRUE(host_->Read(block, 0x01, Spb() * 512, &back));
  Bytes anded(a.size());
  unsigned maxBits = 0, sectors = 0;
  for (size_t i = 0; i < a.size(); ++i) anded[i] = a[i] & b[i];
  EXPECT_EQ(back, anded);
  for (size_t s = 0; s < a.size() / 512; ++s) {
    unsigned bits = 0;
    for (size_t i = s * 512; i < (s + 1) * 512; ++i) bits += unsigned(__builtin_popcount(anded[i] ^ b[i]));
    maxBits = std::max(maxBits, bits);
    sectors += bits != 0;
  }
  EXPECT_EQ(host_->Verify(block, 0x01), std::make_pair(int(std::min(maxBits, 0xFEu)), int(sectors)));

  // Erase restores 0xFF in data and spare and resets the reference.
  ASSERT_TRUE(host_->Erase(block, 0x01));
  ASSERT_TRUE(host_->Read(block, 0x01, 1024, &back));
  EXPECT_EQ(back, Bytes(1024, 0xFF));
  Bytes spare;
  ASSERT_TRUE(host_->Spare(block, 0x01, &spare));
  EXPECT_EQ(spare, Bytes(16, 0xFF));
  EXPECT_EQ(host_->Verify(block, 0x01), std::make_pair(0, 0));
}

TEST_F(SimNand, PartialWritesLandExactlyAndReadsBelowOneSector) {
  Make(SmallSpec());
  const uint32_t page3 = 9 * Spb() + 3 * Spp();
  ASSERT_TRUE(host_->Erase(9 * Spb(), 0x01));
  Bytes one = Pattern(1, 9);
  ASSERT_TRUE(host_->Write(page3 + 1, 0x01, one));  // the page's second sector only
  Bytes back;
  ASSERT_TRUE(host_->Read(page3, 0x01, 1024, &back));
  EXPECT_EQ(Bytes(back.begin(), back.begin() + 512), Bytes(512, 0xFF));
  EXPECT_EQ(Bytes(back.begin() + 512, back.end()), one);
  ASSERT_TRUE(host_->Read(page3 + 1, 0x01, 100, &back));  // N = 1, 100 bytes
  EXPECT_EQ(back, Bytes(one.begin(), one.begin() + 100));
  EXPECT_EQ(host_->Verify(9 * Spb(), 0x01), std::make_pair(0, 0));
}

TEST_F(SimNand, SpareRecordsPageNumberAndTheFourBytes) {
  Make(SmallSpec());
  const uint32_t block = 12;
  ASSERT_TRUE(host_->Erase(block * Spb(), 0x01));
  struct Case {
    uint32_t page;
    Bytes spare;
    Bytes expected3to6;
  } cases[] = {
      {0, {0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF}},
      {1, {0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x00}},  // a bad mark
      {2, {0x00, 0x00, 0x02, 0x00}, {0x00, 0x00, 0x02, 0x00}},  // a table page
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(host_->Write(block * Spb() + c.page * Spp(), 0x01, Pattern(Spp(), 3), c.spare));
    Bytes spare;
    ASSERT_TRUE(host_->Spare(block * Spb() + c.page * Spp(), 0x01, &spare));
    uint32_t number = block * spec_.pagesPerBlock + c.page;
    EXPECT_EQ(spare[0] | spare[1] << 8 | spare[2] << 16, int(number)) << "page " << c.page;
    EXPECT_EQ(Bytes(spare.begin() + 3, spare.begin() + 7), c.expected3to6) << "page " << c.page;
    EXPECT_EQ(Bytes(spare.begin() + 7, spare.end()), Bytes(9, 0xFF));
  }
  // The mark survives a later program with FF spare bytes (AND).
  ASSERT_TRUE(host_->Write(block * Spb() + 1 * Spp(), 0x01, Pattern(Spp(), 3)));
  Bytes spare;
  ASSERT_TRUE(host_->Spare(block * Spb() + 1 * Spp(), 0x01, &spare));
  EXPECT_EQ(spare[4], 0x00);
  EXPECT_EQ(spare[5], 0x00);
}

TEST_F(SimNand, TwoPlaneEraseTakesThePartnerAndWritesCrossBlocks) {
  Make(SmallSpec());
  for (uint32_t b : {20u, 21u, 22u}) {
    ASSERT_TRUE(host_->Erase(b * Spb(), 0x01));
    ASSERT_TRUE(host_->Write(b * Spb(), 0x01, Pattern(Spb(), uint8_t(b))));
  }
  ASSERT_TRUE(host_->SetMode(0, 0, 1));
  ASSERT_TRUE(host_->Erase(20 * Spb(), 0x01));
  EXPECT_EQ(host_->Verify(20 * Spb(), 0x01), std::make_pair(0, 0));
  EXPECT_EQ(host_->Verify(21 * Spb(), 0x01), std::make_pair(0, 0));
  // One write carrying both blocks' sectors.
  Bytes both = Pattern(2 * Spb(), 40);
  ASSERT_TRUE(host_->Write(20 * Spb(), 0x01, both));
  Bytes back;
  ASSERT_TRUE(host_->Read(21 * Spb(), 0x01, Spb() * 512, &back));
  EXPECT_EQ(back, Bytes(both.begin() + Spb() * 512, both.end()));
  ASSERT_TRUE(host_->SetMode(0, 0, 0));
  ASSERT_TRUE(host_->Erase(22 * Spb(), 0x01));  // single-plane again: block 23 untouched
  Bytes b22;
  ASSERT_TRUE(host_->Read(22 * Spb(), 0x01, 512, &b22));
  EXPECT_EQ(b22, Bytes(512, 0xFF));
}

TEST_F(SimNand, TwoPlaneModeNeedsTwoPlanes) {
  sim::DriveSpec s = SmallSpec();
  s.planes = 1;
  Make(s);
  EXPECT_FALSE(host_->SetMode(0, 0, 1));
  EXPECT_TRUE(host_->SetMode(0x44, 0x55, 0));
}

TEST_F(SimNand, CeMasksAddressEachExistingCe) {
  sim::DriveSpec s = SmallSpec();
  s.ces = 3;
  Make(s);
  Bytes data = Pattern(Spp(), 5), back;
  ASSERT_TRUE(host_->Erase(0, 0x55));  // CEs 0..2 exist; CE 3 is ignored
  ASSERT_TRUE(host_->Write(0, 0x05, data));  // CEs 0 and 1
  ASSERT_TRUE(host_->Read(0, 0x01, Spp() * 512, &back));
  EXPECT_EQ(back, data);
  ASSERT_TRUE(host_->Read(0, 0x04, Spp() * 512, &back));
  EXPECT_EQ(back, data);
  ASSERT_TRUE(host_->Read(0, 0x10, Spp() * 512, &back));
  EXPECT_EQ(back, Bytes(Spp() * 512, 0xFF));
  EXPECT_FALSE(host_->Erase(0, 0x40)) << "CE 3 does not exist";
  EXPECT_FALSE(host_->Erase(0, 0x00)) << "no CE selected";
  EXPECT_FALSE(host_->Erase(0, 0x02)) << "odd bits select nothing";
}

TEST_F(SimNand, BlocksBeyondTheFlashOrInsideGapsFailWithoutEffect) {
  sim::DriveSpec s = SmallSpec();
  s.flashId = {0x45, 0xC5, 0x95, 0xA5, 0xEA};
  s.blocksPerCE = 13400;
  s.pagesPerBlock = 2;
  s.sectorsPerPage = 1;
  Make(s);
  struct Case {
    uint32_t block;
    bool exists;
  } cases[] = {{0, true}, {4145, true}, {4146, false}, {8191, false}, {8192, true},
               {13311, true}, {13312, false}, {13399, false}, {13400, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(host_->Erase(c.block * Spb(), 0x01), c.exists) << c.block;
    EXPECT_EQ(host_->Write(c.block * Spb(), 0x01, Pattern(1, 1)), c.exists) << c.block;
    EXPECT_EQ(host_->Verify(c.block * Spb(), 0x01).first != -1, c.exists) << c.block;
  }
}

TEST_F(SimNand, StatusReportsThePreviousFlashOperation) {
  sim::DriveSpec s = SmallSpec();
  s.faults.eraseFail = {{0, 3}};
  Make(s);
  EXPECT_EQ(host_->LastOpPassed(), 1) << "fresh controller";
  EXPECT_FALSE(host_->Erase(3 * Spb(), 0x01));
  EXPECT_EQ(host_->LastOpPassed(), 0) << "the failed erase; the status call itself succeeds";
  EXPECT_EQ(host_->LastOpPassed(), 0) << "reading (1, 0) does not clear it";
  ASSERT_TRUE(host_->Erase(4 * Spb(), 0x01));
  EXPECT_EQ(host_->LastOpPassed(), 1);
  // A failure on one CE of a group fails the call.
  EXPECT_FALSE(host_->Erase(3 * Spb(), 0x05));
  Bytes st;
  ASSERT_TRUE(host_->Status(1, 1, &st));  // read and clear
  EXPECT_EQ(st[1], 0);
  EXPECT_EQ(st[2], 0x01) << "CE 0 failed";
  EXPECT_EQ(host_->LastOpPassed(), 1);
  for (uint8_t sel : {4, 0x10}) EXPECT_TRUE(host_->Status(sel, 1, &st)) << int(sel);
  EXPECT_FALSE(host_->Status(4, 0, &st));
  EXPECT_FALSE(host_->Status(2, 1, &st));
}

}  // namespace
}  // namespace simtest
