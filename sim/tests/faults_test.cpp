// Each fault kind as the engine meets it, and their reproducibility.
#include "sim/tests/sim_test_host.h"

namespace simtest {
namespace {

class SimFaults : public RunningDrive {
 protected:
  // Erase, write a pattern and verify one block of CE 0.
  std::pair<int, int> Cycle(uint32_t block, bool* writeOk = nullptr) {
    host_->Erase(block * Spb(), 0x01);
    bool ok = host_->Write(block * Spb(), 0x01, Pattern(Spb(), 11));
    if (writeOk) *writeOk = ok;
    return host_->Verify(block * Spb(), 0x01);
  }
};

TEST_F(SimFaults, FactoryBadBlocksAreMarkedAndPhysicallyBad) {
  sim::DriveSpec s = SmallSpec();
  s.faults.factoryBad = {{0, 7, false}, {1, 9, true}};
  Make(s);
  sim::DriveReport r = Report();
  EXPECT_EQ(r.badMarks[0], std::vector<uint32_t>{7});
  EXPECT_EQ(r.badMarks[1], std::vector<uint32_t>{9});
  Bytes spare;
  ASSERT_TRUE(host_->Spare(9 * Spb() + (spec_.pagesPerBlock - 1) * Spp(), 0x04, &spare));
  EXPECT_EQ(spare[4], 0x00);
  EXPECT_EQ(spare[5], 0x00);

  ASSERT_TRUE(host_->Erase(7 * Spb(), 0x01)) << "the erase works and clears the mark";
  EXPECT_TRUE(Report().badMarks[0].empty());
  EXPECT_FALSE(host_->Write(7 * Spb(), 0x01, Pattern(Spb(), 1)));
  EXPECT_EQ(host_->LastOpPassed(), 0);
  EXPECT_EQ(host_->Verify(7 * Spb(), 0x01).second, int(Spb())) << "every sector differs from the reference";
  // Marking it again does not take either: a revert finds it by testing.
  EXPECT_FALSE(host_->Write(7 * Spb(), 0x01, Bytes(Spp() * 512, 0), {0, 0, 0, 0}));
  EXPECT_TRUE(Report().badMarks[0].empty());
}

TEST_F(SimFaults, EachKindFailsTheCycleAsTheEngineJudgesIt) {
  sim::DriveSpec s = SmallSpec();
  s.faults.eraseFail = {{0, 3}};
  s.faults.programFail = {{0, 4, 5}};
  s.faults.weak = {{0, 6}};
  s.faults.weakBits = 3;
  s.faults.stuckBits = {{0, 8, 2, 17, 4}};
  Make(s);

  // Erase fails: the call fails and the old content stays under new data.
  ASSERT_TRUE(host_->Write(3 * Spb(), 0x01, Pattern(Spb(), 200)));
  EXPECT_FALSE(host_->Erase(3 * Spb(), 0x01));
  uint8_t checked = 0xAA;
  EXPECT_FALSE(host_->EraseChecked(3 * Spb(), 0x01, &checked));
  bool writeOk = false;
  EXPECT_GT(Cycle(3, &writeOk).first, 0);

  // Program fails from page 5: pages 0..4 hold the pattern, 5.. stay erased.
  auto v = Cycle(4, &writeOk);
  EXPECT_FALSE(writeOk);
  EXPECT_EQ(v.second, int((spec_.pagesPerBlock - 5) * Spp()));
  Bytes back;
  ASSERT_TRUE(host_->Read(4 * Spb() + 5 * Spp(), 0x01, 512, &back));
  EXPECT_EQ(back, Bytes(512, 0xFF));

  // Weak: three wrong bits in every sector after a program, none when erased.
  EXPECT_EQ(Cycle(6), std::make_pair(3, int(Spb())));
  ASSERT_TRUE(host_->Erase(6 * Spb(), 0x01));
  EXPECT_EQ(host_->Verify(6 * Spb(), 0x01), std::make_pair(0, 0));

  // Stuck bit: one bit in an erased block, which no erase clears.
  ASSERT_TRUE(host_->Erase(8 * Spb(), 0x01));
  EXPECT_EQ(host_->Verify(8 * Spb(), 0x01), std::make_pair(1, 1));
  ASSERT_TRUE(host_->Read(8 * Spb() + 2 * Spp(), 0x01, 512, &back));
  EXPECT_EQ(back[17], 0xFF & ~(1 << 4));
  Bytes spare;
  ASSERT_TRUE(host_->Spare(8 * Spb() + 2 * Spp(), 0x01, &spare));
  EXPECT_EQ(spare, Bytes(16, 0xFF)) << "bit errors touch the data only";

  // A healthy block passes.
  EXPECT_EQ(Cycle(10), std::make_pair(0, 0));
  EXPECT_EQ(host_->EraseChecked(10 * Spb(), 0x01, &checked), true);
  EXPECT_EQ(checked, 0x01);
}

TEST_F(SimFaults, CountsExpandReproduciblyFromTheSeed) {
  sim::DriveSpec s = SmallSpec();
  s.faults.seed = 42;
  s.faults.factoryBadCount = 3;
  s.faults.eraseFailCount = 2;
  s.faults.programFailCount = 2;
  s.faults.weakCount = 2;
  s.faults.stuckBitCount = 2;
  Make(s);
  sim::FaultSpec first = Report().faults;
  EXPECT_EQ(first.factoryBad.size(), 3u);
  EXPECT_EQ(first.eraseFail.size(), 2u);
  EXPECT_EQ(first.programFail.size(), 2u);
  EXPECT_EQ(first.weak.size(), 2u);
  EXPECT_EQ(first.stuckBits.size(), 2u);
  size_t marks = Report().badMarks[0].size() + Report().badMarks[1].size();
  EXPECT_EQ(marks, 3u);
  TearDown();
  Make(s);
  sim::FaultSpec second = Report().faults;
  EXPECT_EQ(first.factoryBad, second.factoryBad);
  EXPECT_EQ(first.programFail, second.programFail);
  EXPECT_EQ(first.stuckBits, second.stuckBits);
  s.faults.seed = 43;
  TearDown();
  Make(s);
  EXPECT_NE(Report().faults.factoryBad, first.factoryBad);
}

TEST_F(SimFaults, RandomBitErrorsFollowTheSeed) {
  sim::DriveSpec s = SmallSpec();
  s.faults.randomBitErrorRate = 0.5;
  s.faults.seed = 9;
  Make(s);
  ASSERT_TRUE(host_->Erase(0, 0x01));
  Bytes first, second;
  ASSERT_TRUE(host_->Read(0, 0x01, Spb() * 512, &first));
  EXPECT_NE(first, Bytes(Spb() * 512, 0xFF));
  uint64_t flips = Report().randomBitFlips;
  EXPECT_GT(flips, 0u);
  EXPECT_LT(flips, Spb());
  TearDown();
  Make(s);
  ASSERT_TRUE(host_->Erase(0, 0x01));
  ASSERT_TRUE(host_->Read(0, 0x01, Spb() * 512, &second));
  EXPECT_EQ(first, second) << "the same seed and commands give the same errors";
}

TEST_F(SimFaults, DeadFlashFailsFlashAndStatusCommands) {
  sim::DriveSpec s = SmallSpec();
  s.faults.deadAfter = 30;  // the boot takes 19 commands
  Make(s);
  ASSERT_TRUE(host_->Erase(0, 0x01));
  while (Report().commands < 30) host_->LastOpPassed();
  Bytes inq, id, st;
  EXPECT_FALSE(host_->Erase(0, 0x01));
  EXPECT_FALSE(host_->Status(1, 0, &st));
  EXPECT_FALSE(host_->FlashId(&id));
  EXPECT_TRUE(host_->Inquiry(&inq)) << "the controller itself still answers";
  EXPECT_TRUE(Report().dead);
}

TEST_F(SimFaults, UnplugAfterKCommands) {
  sim::DriveSpec s = SmallSpec();
  s.faults.unplugAfter = 20;
  Make(s);
  while (Report().commands < 20) ASSERT_GE(host_->LastOpPassed(), 0);
  Bytes inq;
  EXPECT_FALSE(host_->Inquiry(&inq));
  EXPECT_FALSE(Report().plugged);
  EXPECT_EQ(host_->Storage().LogicalDriveMask(), 0u);
  int error = 0;
  EXPECT_EQ(host_->Storage().Open("\\\\.\\E:", qv::kOpenRead, &error), nullptr);
  // Plugged again it works, and the fault does not repeat.
  ASSERT_TRUE(sim::SetPlugged(sim::DriveFolder(machine_, spec_), true));
  host_->Reopen();
  ASSERT_NE(host_->Device(), nullptr);
  for (int i = 0; i < 30; ++i) ASSERT_TRUE(host_->Inquiry(&inq));
}

TEST_F(SimFaults, FailuresMayComeBackAsCheckCondition) {
  sim::DriveSpec s = SmallSpec();
  s.failuresAsCheckCondition = true;
  s.faults.eraseFail = {{0, 2}};
  Make(s);
  Bytes buf(16, 0);
  qv::ScsiResult r = host_->Send(Host::Block13(0xF5, 2 * Spb(), 0x01), qv::ScsiDirection::kIn, buf.data(), 16);
  EXPECT_TRUE(r.delivered);
  EXPECT_EQ(r.scsiStatus, 2);
  EXPECT_EQ(host_->LastOpPassed(), 0);
  // Refusals stay failed calls.
  EXPECT_FALSE(host_->Erase(0, 0x40));
}

}  // namespace
}  // namespace simtest
