// Complete runs of the engine against the in-test flash: the outcome
// table, the progress sequence, the log byte for byte, the block walk.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/files.h"
#include "sortlib/engine/run_revert.h"
#include "tests/engine_support.h"

namespace enginetest {
namespace {

// More than 1024 blocks, so that the table lists blocks on its first page.
constexpr FlashGeometry kSmall{1, 1100, 8, 4};
constexpr uint32_t kLastBlock = 1099;

std::string TimeLine(const char* what) {
  return "Port:0 " + qv::FormatLocalTime(std::string(what) + " Time:(Hour=>%H Minute=>%M Second=>%S)") +
         "\r\r\n";
}

bool Monotonic(const std::vector<uint32_t>& v) { return std::is_sorted(v.begin(), v.end()); }

class EngineRunTest : public EngineTest {};

TEST_F(EngineRunTest, CleanDriveRunsEveryStageToFinish) {
  struct Case {
    uint32_t eraseFirst;
    std::vector<uint32_t> stageEnds;
    uint32_t beforeLast;
  };
  for (const Case& c : {Case{1, {20, 40, 60, 100}, 80}, Case{0, {25, 50, 100}, 75}}) {
    SCOPED_TRACE(c.eraseFirst);
    Reports().clear();
    MakeFlash(kSmall);
    config_.m_dwEraseFirst = c.eraseFirst;
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(device_.m_bState, 2);
    EXPECT_EQ(SortResult(), 1);
    const auto percents = Percents();
    EXPECT_TRUE(Monotonic(percents));
    for (uint32_t end : c.stageEnds) {
      EXPECT_NE(std::find(percents.begin(), percents.end(), end), percents.end()) << end;
    }
    ASSERT_GE(percents.size(), 2u);
    // The walk reports every 30th block, so the last report before the end
    // is a little short of the stage end.
    EXPECT_LE(percents[percents.size() - 2], c.beforeLast);
    EXPECT_GE(percents[percents.size() - 2], c.beforeLast - 2);
    const auto& last = Reports().back();
    EXPECT_EQ(last.m_dwStatus, 2u);
    EXPECT_EQ(last.m_dwPercent, 100u);
    EXPECT_EQ(last.m_dwScannedBlocks, kLastBlock);
    EXPECT_EQ(last.m_dwBadBlocks, 0u);
    EXPECT_EQ(device_.m_bPercentStep, c.eraseFirst ? 20 : 25);
    // Callbacks only at multiples of 30 and at pass ends.
    for (const auto& r : Reports()) {
      EXPECT_TRUE(r.m_dwScannedBlocks % 30 == 0 || r.m_dwScannedBlocks == kLastBlock) << r.m_dwScannedBlocks;
    }
    EXPECT_TRUE(boxes_->Texts().empty());
    EXPECT_TRUE(flash_->MarkedBlocks().empty());
    EXPECT_EQ(flash_->TableBlocks().size(), 1u);
  }
}

// Without the erase pass: a block that cannot be programmed (found again
// by the page-number check) and a weak one (failing the verify), the whole
// log with every category.
TEST_F(EngineRunTest, LogHoldsEveryLineOfARunByteForByte) {
  FakeFlash& flash = MakeFlash(kSmall);
  flash.programFailsFrom[{0, 5}] = 0;
  flash.weakBits[{0, 7}] = 3;
  config_.m_dwEraseFirst = 0;
  qv::RegistrySetOverride("WriteLog", 7);
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(device_.m_bState, 2);
  const std::string expected =
      "BlocksPerChip = 1100 Page Size=2048 Bytes\r\n"
      "Block Size = 8 Pages  MLC=1 Dual Mode=0\r\n"
      "Begin Pattern Test\r\n" +
      TimeLine("Start Write") +
      "<Write Fail> Bad block = 5 CE=1\r\n" +
      TimeLine("Complete Write") +
      "<Erase> and <Write> result: Bad block count = 1\r\n" +
      TimeLine("Start Read") +
      "<Mark Bad> Bad block = 5 CE=1\r\r\n"
      "<Read Compare fail> Bad block= 7 CE=1\r\r\n" +
      TimeLine("Complete Read") +
      "<Read> and <Verify> result: Bad block count = 2\r\n"
      "Begin erase block\r\n"
      "MarkAllBadBlock Port:0\r\r\n"
      "Begin Blank check.\r\n"
      "CheckBlank <1 Mark Bad> Bad block = 7 CE=1\r\r\n"
      "Check total bad block count= 2\r\n";
  EXPECT_EQ(LogText(), expected);
  // Block 5 holds no mark (it cannot be programmed) but the table lists it:
  // the shown count at the end is what the flash records.
  EXPECT_EQ(Reports().back().m_dwBadBlocks, 2u);
  EXPECT_EQ(flash.MarkedBlocks(), (std::vector<std::pair<uint32_t, uint32_t>>{{0, 7}}));
  ASSERT_EQ(flash.TableBlocks(), (std::vector<std::pair<uint32_t, uint32_t>>{{0, 0}}));
  const auto table = flash.PageData(0, 0, 0);
  EXPECT_EQ(std::string(table.begin(), table.begin() + 8), std::string("bad_\x00\x05\x00\x07", 8));
  EXPECT_EQ(table[8], 0xFF);
  EXPECT_EQ(flash.PageSpare(0, 0, 0)[5], 0x02);
}

TEST_F(EngineRunTest, EachLogCategoryAlone) {
  struct Case {
    uint32_t mask;
    bool hasTimes, hasResults, hasMarkAll;
  };
  for (const Case& c : {Case{1, false, true, false}, Case{2, false, false, true}, Case{4, true, false, false}}) {
    SCOPED_TRACE(c.mask);
    MakeFlash(kSmall);
    qv::RegistrySetOverride("WriteLog", c.mask);
    ASSERT_EQ(Run(), 1);
    const std::string log = LogText();
    EXPECT_EQ(log.find("Port:0 Start Write") != std::string::npos, c.hasTimes);
    EXPECT_EQ(log.find("Check total bad block count= 0\r\n") != std::string::npos, c.hasResults);
    EXPECT_EQ(log.find("MarkAllBadBlock Port:0\r\r\n") != std::string::npos, c.hasMarkAll);
    if (c.mask == 2) {
      EXPECT_EQ(log, "MarkAllBadBlock Port:0\r\r\n");
    }
  }
  // No WriteLog: no file at all.
  qv::RegistrySetOverride("WriteLog", 0);
  MakeFlash(kSmall);
  std::remove((folder_ + "/RevertLog01.txt").c_str());
  ASSERT_EQ(Run(), 1);
  EXPECT_FALSE(qv::PathExists(folder_ + "/RevertLog01.txt"));
}

// Marks that do not hold: the table keeps the counts in agreement; without
// it the disagreement is logged, and SkipCannotmarkBad 0 fails the run.
TEST_F(EngineRunTest, MarksThatDoNotHold) {
  struct Case {
    uint32_t badTable;
    int skipCannotMarkBad;  // -1: not set
    uint8_t state;
    bool disagreement;
    uint32_t shownAtEnd;
  };
  for (const Case& c : {Case{1, 0, 2, false, 2}, Case{0, -1, 2, true, 1}, Case{0, 0, 1, true, 1}}) {
    SCOPED_TRACE(c.badTable * 10 + c.skipCannotMarkBad);
    FakeFlash& flash = MakeFlash(kSmall);
    flash.weakBits[{0, 7}] = 3;
    flash.weakBits[{0, 90}] = 5;
    flash.marksDoNotHold.insert({0, 90});
    config_.m_dwBadTable = c.badTable;
    qv::RegistrySetOverride("WriteLog", 1);
    qv::RegistryClearOverrides();
    qv::RegistrySetOverride("WriteLog", 1);
    if (c.skipCannotMarkBad >= 0) qv::RegistrySetOverride("SkipCannotmarkBad", c.skipCannotMarkBad);
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(device_.m_bState, c.state);
    EXPECT_EQ(SortResult(), c.state == 2 ? 1 : 0);
    const std::string log = LogText();
    EXPECT_EQ(log.find("Bad blocks(1) record in flash is not equal to we tested (2)!\r\n") != std::string::npos,
              c.disagreement);
    EXPECT_EQ(Reports().back().m_dwBadBlocks, c.shownAtEnd);
    EXPECT_EQ(Reports().back().m_dwPercent, 100u);
  }
}

// How runs end that do not finish: state, StartSort's result, the last
// percent, the message boxes.
TEST_F(EngineRunTest, OutcomeOfRunsThatDoNotFinish) {
  struct Case {
    const char* name;
    void (*arrange)(EngineRunTest&);
    uint8_t state;
    int sortResult;
    uint32_t lastPercent;  // 999: no callback at all
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"erase refused at level 1", [](EngineRunTest& t) {
         t.config_.m_bTestLevel = 1;
         t.flash_->eraseFails.insert({0, 3});
       }, 11, 1, 20, {}},
      {"flash gone, no erase pass", [](EngineRunTest& t) {
         t.config_.m_dwEraseFirst = 0;
         t.flash_->dieAtFirstBlockCommand = true;
       }, 8, 0, 25, {"Flash not exist!"}},
      {"flash gone, erase pass first", [](EngineRunTest& t) { t.flash_->dieAtFirstBlockCommand = true; },
       8, 0, 20, {}},
      {"erase failing on the last block before the presence test",
       [](EngineRunTest& t) { t.flash_->eraseFails.insert({0, kLastBlock}); }, 8, 0, 40, {"Flash not exist!"}},
      {"volume cannot be opened", [](EngineRunTest& t) { t.storage_->failOpen = true; }, 9, 0, 999,
       {"Can not open the handle."}},
      {"no CE", [](EngineRunTest& t) { t.device_.m_dwCENo = 0; }, 9, 0, 999, {"Bad parameter!"}},
      {"more CEs than the select byte reaches", [](EngineRunTest& t) { t.device_.m_dwCENo = 5; }, 9, 0, 999,
       {"Bad parameter!"}},
      {"zero page size", [](EngineRunTest& t) { t.device_.m_dwSectorsPerPage = 0; }, 9, 0, 999,
       {"Bad parameter!"}},
      {"partial-block mode without pages", [](EngineRunTest& t) {
         t.config_.m_dwPageMode = 1;
         t.config_.m_bPageCount = 0;
       }, 9, 0, 999, {"Bad parameter!"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reports().clear();
    config_ = ProgramConfig();
    MakeFlash(kSmall);
    boxes_->Clear();
    c.arrange(*this);
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(device_.m_bState, c.state);
    EXPECT_EQ(SortResult(), c.sortResult);
    if (c.lastPercent == 999) {
      EXPECT_TRUE(Reports().empty());
    } else {
      ASSERT_FALSE(Reports().empty());
      EXPECT_EQ(Reports().back().m_dwPercent, c.lastPercent);
      EXPECT_EQ(Reports().back().m_dwStatus, c.state);
    }
    EXPECT_EQ(boxes_->Texts(), c.boxes);
  }
}

TEST_F(EngineRunTest, UnknownControllerOpensNothing) {
  MakeFlash(kSmall, 0x421);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(storage_->opens, 0);
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(boxes_->Texts(), std::vector<std::string>{"Unknown controller!"});
}

SortDevice* g_stopDevice = nullptr;
void StopInWritePhase(void* record) {
  RecordProgress(record);
  const auto* p = static_cast<const sievex::SortProgress*>(record);
  if (p->m_dwStatus == 3 && p->m_dwScannedBlocks >= 60) g_stopDevice->m_bStop = 1;
}

TEST_F(EngineRunTest, StopDuringThePatternPassEndsTheRun) {
  MakeFlash(kSmall);
  qv::RegistrySetOverride("WriteLog", 2);
  g_stopDevice = &device_;
  config_.m_bStageCount = 1;
  ASSERT_EQ(sievex::RunRevert(&device_, 0, StopInWritePhase), 1);
  EXPECT_EQ(device_.m_bState, 0);
  EXPECT_EQ(SortResult(), 0);
  EXPECT_EQ(Reports().back().m_dwPercent, 40u);  // erase pass and the interrupted pattern pass
  EXPECT_EQ(LogText(), "");                       // MarkAllBadBlock never ran
}

TEST_F(EngineRunTest, RegistryRangeLimitsEveryPass) {
  FakeFlash& flash = MakeFlash(kSmall);
  qv::RegistrySetOverride("TestStartBlock", 100);
  qv::RegistrySetOverride("TestBlockCount", 50);
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(device_.m_bState, 2);
  EXPECT_EQ(Reports().back().m_dwScannedBlocks, 149u);
  const uint32_t spb = kSmall.SectorsPerBlock();
  for (const SentCommand& c : flash.Sent()) {
    if (c.opcode == 0xF5 || c.opcode == 0xF8 || c.opcode == 0xF9 || c.opcode == 0xFE) {
      EXPECT_TRUE(c.sector / spb >= 100 && c.sector / spb < 150) << c.sector / spb;
    }
  }
  // The table still goes into the first good block from 0.
  EXPECT_EQ(flash.TableBlocks(), (std::vector<std::pair<uint32_t, uint32_t>>{{0, 0}}));
}

TEST_F(EngineRunTest, CEGroupsOfTwoOnFourCEs) {
  FakeFlash& flash = MakeFlash({4, 1030, 8, 4});
  config_.m_bCEGroup = 1;
  flash.weakBits[{3, 10}] = 4;
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(device_.m_bState, 2);
  std::set<uint8_t> eraseMasks, writeMasks, spareMasks;
  for (const SentCommand& c : flash.Sent()) {
    if (c.opcode == 0xF6 && c.length > 2048) writeMasks.insert(c.ce);
    if (c.opcode == 0xF9) spareMasks.insert(c.ce);
    if (c.opcode == 0xF5) eraseMasks.insert(c.ce);
  }
  EXPECT_EQ(writeMasks, (std::set<uint8_t>{0x05, 0x50}));
  EXPECT_EQ(spareMasks, (std::set<uint8_t>{0x01, 0x04, 0x10, 0x40}));
  EXPECT_TRUE(eraseMasks.count(0x05) && eraseMasks.count(0x50));
  EXPECT_EQ(flash.MarkedBlocks(), (std::vector<std::pair<uint32_t, uint32_t>>{{3, 10}}));
  EXPECT_EQ(flash.TableBlocks().size(), 4u);
}

TEST_F(EngineRunTest, TwoPlanesStepByBlockPairs) {
  FakeFlash& flash = MakeFlash(kSmall);
  device_.m_bPlaneCount = 2;
  config_.m_dwMultiPlane = 1;
  flash.programFailsFrom[{0, 11}] = 0;  // the pair 10/11 fails its write
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(device_.m_bState, 2);
  const uint32_t spb = kSmall.SectorsPerBlock();
  size_t pairWrites = 0;
  for (const SentCommand& c : flash.Sent()) {
    if (c.opcode == 0xF6 && c.length == 2 * spb * 512) {
      ++pairWrites;
      EXPECT_EQ(c.sector / spb % 2, 0u);
    }
  }
  EXPECT_EQ(pairWrites, 550u);
  // Mode brackets: 00 00 01 before and 00 00 00 after the two-plane phases.
  size_t open = 0, close = 0;
  for (const SentCommand& c : flash.Sent()) {
    if (c.opcode != 0xFC) continue;
    if (c.cdb[2] == 0 && c.cdb[3] == 0 && c.cdb[4] == 1) ++open;
    if (c.cdb[2] == 0 && c.cdb[3] == 0 && c.cdb[4] == 0) ++close;
  }
  EXPECT_EQ(open, 3u);   // erase pass, write phase, MarkAllBadBlock's erase pass
  EXPECT_EQ(close, 4u);  // their ends and the pattern pass's end
  // Block 11 holds no written page number: found in the read phase, it
  // cannot carry a mark and is recorded by the table alone.
  EXPECT_EQ(flash.MarkedBlocks(), (std::vector<std::pair<uint32_t, uint32_t>>{}));
  EXPECT_EQ(Reports().back().m_dwBadBlocks, 1u);
  EXPECT_EQ(device_.m_bState, 2);
}

TEST_F(EngineRunTest, TestLevelTwoFindsABitThatDoesNotErase) {
  FakeFlash& flash = MakeFlash(kSmall);
  config_.m_bTestLevel = 2;
  flash.stuckWhenErased.insert({0, 42});
  qv::RegistrySetOverride("WriteLog", 1);
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(device_.m_bState, 2);
  const std::string log = LogText();
  EXPECT_NE(log.find("Begin reverse Pattern Test\r\n"), std::string::npos);
  EXPECT_NE(log.find("[High] <Read> and <Compare> result: Bad block count = 0\r\n"), std::string::npos);
  EXPECT_NE(log.find("Check total bad block count= 1\r\n"), std::string::npos);
  EXPECT_EQ(log.find("not equal"), std::string::npos);
  EXPECT_EQ(flash.MarkedBlocks(), (std::vector<std::pair<uint32_t, uint32_t>>{{0, 42}}));
  EXPECT_EQ(Reports().back().m_dwBadBlocks, 1u);
  // The table is not written into the block the blank verify just marked.
  EXPECT_EQ(flash.TableBlocks(), (std::vector<std::pair<uint32_t, uint32_t>>{{0, 0}}));
}

// Two flash types have rules of their own: one lacks block numbers, the
// other is erased before every write instead of in an erase pass.
TEST_F(EngineRunTest, FlashTypesWithRulesOfTheirOwn) {
  {
    FakeFlash& flash = MakeFlash({1, 13400, 2, 4});
    const uint8_t gappy[5] = {0x45, 0xC5, 0x95, 0xA5, 0xEA};
    std::memcpy(device_.m_FlashId, gappy, 5);
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(device_.m_bState, 2);
    size_t inGaps = 0;
    for (const SentCommand& c : flash.Sent()) {
      const uint32_t block = c.sector / 8;
      const bool blockCommand = c.opcode == 0xF5 || c.opcode == 0xF6 || c.opcode == 0xF8 || c.opcode == 0xF9;
      if (blockCommand && ((block >= 4146 && block <= 8191) || block >= 13312)) ++inGaps;
    }
    EXPECT_EQ(inGaps, 0u);
  }
  {
    FakeFlash& flash = MakeFlash(kSmall);
    const uint8_t eraseBeforeWrite[5] = {0x45, 0xC5, 0x85, 0xBA, 0xF4};
    std::memcpy(device_.m_FlashId, eraseBeforeWrite, 5);
    qv::RegistrySetOverride("WriteLog", 1);
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(device_.m_bState, 2);
    EXPECT_EQ(LogText().find("Begin erase block"), std::string::npos);
    // Every write follows an erase of its block.
    const auto& sent = flash.Sent();
    for (size_t i = 1; i < sent.size(); ++i) {
      if (sent[i].opcode == 0xF6 && sent[i].length == kSmall.SectorsPerBlock() * 512) {
        EXPECT_EQ(sent[i - 1].opcode, 0xF5);
        EXPECT_EQ(sent[i - 1].sector, sent[i].sector);
      }
    }
    // Neither erase pass ran: the stages are the pattern pass and the blank check.
    EXPECT_EQ(Reports().back().m_dwPercent, 100u);
  }
}

// Alternate-page addressing (kept by a revision A1 controller): half the
// sectors of each transfer, the first examined page is page 1.
TEST_F(EngineRunTest, AlternatePages) {
  FakeFlash& flash = MakeFlash(kSmall);
  device_.m_dwRevisionA1 = 1;
  config_.m_dwAltPages = 1;
  flash.weakBits[{0, 12}] = 3;
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(device_.m_bState, 2);
  const uint32_t altPages = config_.m_dwAltPages;  // a packed field: no reference to it
  EXPECT_EQ(altPages, 1u);
  size_t halfWrites = 0, page1Spares = 0;
  for (const SentCommand& c : flash.Sent()) {
    if (c.opcode == 0xF6 && c.cdb[8] == kSmall.SectorsPerBlock() / 2) ++halfWrites;
    if (c.opcode == 0xF9 && c.sector % kSmall.SectorsPerBlock() == kSmall.sectorsPerPage) ++page1Spares;
  }
  EXPECT_EQ(halfWrites, kSmall.blocksPerCE);
  EXPECT_GE(page1Spares, 2u * kSmall.blocksPerCE);  // read phase and blank check
  // The mark went to page 0 and to the page before the last.
  EXPECT_EQ(flash.PageSpare(0, 12, 0)[4], 0x00);
  EXPECT_EQ(flash.PageSpare(0, 12, kSmall.pagesPerBlock - 2)[4], 0x00);
  EXPECT_EQ(Reports().back().m_dwBadBlocks, 1u);
}

}  // namespace
}  // namespace enginetest
