// The revert end to end: DLLSort discovers a simulated drive and runs the
// engine on it; the simulator's own record of the faults it injected is
// the expected answer, and what it holds afterwards (marks, "bad_" tables)
// must be exactly what the log reports.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "platform/storage.h"
#include "sim/sim_api.h"
#include "sortlib/engine/revert_session.h"
#include "sortlib/interface/sievex.h"
#include "tests/engine_support.h"

namespace enginetest {
namespace {

namespace fs = std::filesystem;
using BlockSet = std::set<std::pair<uint32_t, uint32_t>>;

std::vector<sievex::SortProgress> g_reports;
std::atomic<uint32_t> g_lastStatus{10};
std::atomic<uint32_t> g_lastScanned{0};
void Record(void* record) {
  const auto* p = static_cast<const sievex::SortProgress*>(record);
  g_reports.push_back(*p);
  g_lastStatus = p->m_dwStatus;
  g_lastScanned = p->m_dwScannedBlocks;
}

// A KR425 drive whose geometry the controller reports itself.
sim::DriveSpec Drive(uint32_t ces, uint32_t blocks, uint32_t pages, uint32_t sectors) {
  sim::DriveSpec s;
  s.letter = 'E';
  s.controller = 0x425;
  s.revisionLetter = 'C';
  s.flashId = {0xEC, 0xDA, 0x10, 0x95, 0x44};
  s.ces = ces;
  s.blocksPerCE = blocks;
  s.pagesPerBlock = pages;
  s.sectorsPerPage = sectors;
  return s;
}

// Bad blocks named in the log lines "... Bad block = %lx CE=%d" and
// "... Bad block= %lx CE=%d" of one kind.
BlockSet LoggedBlocks(const std::string& log, const std::string& prefix) {
  BlockSet out;
  for (size_t at = log.find(prefix); at != std::string::npos; at = log.find(prefix, at + 1)) {
    const size_t eq = log.find('=', at + prefix.size() - 1);
    unsigned long block = 0;
    int mask = 0;
    if (std::sscanf(log.c_str() + eq + 1, " %lx CE=%d", &block, &mask) == 2) {
      uint32_t ce = 0;
      while (mask > 1) {
        mask >>= 2;
        ++ce;
      }
      out.insert({ce, uint32_t(block)});
    }
  }
  return out;
}

class EngineSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/engine_sim_XXXXXX";
    dir_ = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    previous_ = qv::GetCurrentDirectory();
    qv::SetCurrentDirectory(dir_);
    qv::RegistryClearOverrides();
    qv::RegistrySetOverride("WriteLog", 7);
    qv::SetFixedTime(1700000000);
    storage_ = qv::CreateSimStorage(Machine());
    qv::SetStorageBackend(storage_.get());
    g_reports.clear();
  }
  void TearDown() override {
    qv::SetStorageBackend(nullptr);
    qv::RegistryClearOverrides();
    qv::SetFixedTime(std::nullopt);
    qv::SetCurrentDirectory(previous_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Machine() const { return dir_ + "/machine"; }
  std::string Folder() const { return sim::DriveFolder(Machine(), 'E'); }

  void Create(const sim::DriveSpec& desc) {
    std::string error;
    ASSERT_TRUE(sim::CreateDrive(Machine(), desc, &error)) << error;
  }
  sim::DriveReport Report() {
    sim::DriveReport r;
    std::string error;
    EXPECT_TRUE(sim::Inspect(Folder(), &r, &error)) << error;
    return r;
  }
  // StartSort as the program calls it; the found check first.
  int Sort(_KVConfig config, DLLSort** keep = nullptr) {
    char drive[] = "E";
    auto* sort = new DLLSort(drive, 0);
    _USBDevceInfo info{};
    EXPECT_EQ(sort->GetDeviceInfo(&info), 1);
    const int result = sort->StartSort(0, &config, Record);
    if (keep) {
      *keep = sort;
    } else {
      delete sort;
    }
    return result;
  }
  std::string Log() const {
    std::string text;
    qv::ReadWholeFile(dir_ + "/RevertLog01.txt", &text);
    return text;
  }

  std::string dir_, previous_;
  std::unique_ptr<qv::StorageBackend> storage_;
  qv::MessageBoxRecorder boxes_;
};

// The program's configuration on a drive with factory-bad, program-failing,
// weak and erase-failing blocks (the last go unnoticed on a blank drive).
TEST_F(EngineSimTest, RepairedDriveCarriesExactlyWhatTheLogReports) {
  sim::DriveSpec desc = Drive(2, 1100, 16, 4);
  desc.faults.seed = 11;
  desc.faults.factoryBad = {{0, 17, false}, {1, 40, true}, {1, 1000, false}};
  desc.faults.programFail = {{0, 9, 0}, {1, 66, 5}};
  desc.faults.weak = {{0, 300}, {1, 3}};
  desc.faults.eraseFail = {{0, 500}, {1, 700}};
  Create(desc);
  ASSERT_EQ(Sort(ProgramConfig()), 1);
  ASSERT_FALSE(g_reports.empty());
  const auto& last = g_reports.back();
  EXPECT_EQ(last.m_dwStatus, 2u);
  EXPECT_EQ(last.m_dwPercent, 100u);
  EXPECT_EQ(last.m_dwScannedBlocks, 1099u);
  EXPECT_TRUE(boxes_.Texts().empty());

  BlockSet expected;
  const sim::DriveReport report = Report();
  for (const auto& b : report.faults.factoryBad) expected.insert({b.ce, b.block});
  for (const auto& b : report.faults.programFail) expected.insert({b.ce, b.block});
  for (const auto& b : report.faults.weak) expected.insert({b.ce, b.block});
  EXPECT_EQ(last.m_dwBadBlocks, expected.size());

  // What the flash records: marks that hold plus the table entries.
  BlockSet marks, tables;
  for (uint32_t ce = 0; ce < report.badMarks.size(); ++ce) {
    for (uint32_t b : report.badMarks[ce]) marks.insert({ce, b});
  }
  ASSERT_EQ(report.tables.size(), 2u);
  for (const auto& t : report.tables) {
    EXPECT_EQ(t.block, 0u);
    EXPECT_TRUE(t.closingPage);
    for (uint32_t b : t.entries) tables.insert({t.ce, b});
  }
  EXPECT_EQ(tables, expected);
  const std::string log = Log();
  BlockSet found = LoggedBlocks(log, "<Mark Bad> Bad block");
  for (const auto& b : LoggedBlocks(log, "<Read Compare fail> Bad block")) found.insert(b);
  EXPECT_EQ(found, expected);
  EXPECT_EQ(LoggedBlocks(log, "CheckBlank <"), marks);
  EXPECT_NE(log.find("Check total bad block count= " + std::to_string(expected.size()) + "\r\n"),
            std::string::npos);
  EXPECT_EQ(log.find("not equal"), std::string::npos);

  std::vector<uint32_t> percents;
  for (const auto& r : g_reports) {
    if (percents.empty() || percents.back() != r.m_dwPercent) percents.push_back(r.m_dwPercent);
  }
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  for (uint32_t stageEnd : {20u, 40u, 60u, 100u}) {
    EXPECT_NE(std::find(percents.begin(), percents.end(), stageEnd), percents.end()) << stageEnd;
  }
}

TEST_F(EngineSimTest, TestLevelTwoMarksABitThatDoesNotErase) {
  sim::DriveSpec desc = Drive(1, 1100, 16, 4);
  desc.faults.stuckBits = {{0, 77, 3, 100, 2}};
  Create(desc);
  _KVConfig config = ProgramConfig();
  config.m_bTestLevel = 2;
  ASSERT_EQ(Sort(config), 1);
  EXPECT_EQ(g_reports.back().m_dwStatus, 2u);
  EXPECT_EQ(g_reports.back().m_dwBadBlocks, 1u);
  const sim::DriveReport report = Report();
  ASSERT_EQ(report.badMarks.size(), 1u);
  EXPECT_EQ(report.badMarks[0], std::vector<uint32_t>{77});
  const std::string log = Log();
  EXPECT_NE(log.find("Begin reverse Pattern Test\r\n"), std::string::npos);
  // Marked by the blank verify after the walk passed it: no mark found.
  EXPECT_EQ(log.find("CheckBlank <"), std::string::npos);
  EXPECT_NE(log.find("Check total bad block count= 1\r\n"), std::string::npos);
}

// A drive pulled in the middle of the run: a flash error, no hang.
TEST_F(EngineSimTest, UnplugMidRunEndsInFlashError) {
  sim::DriveSpec desc = Drive(1, 1100, 16, 4);
  desc.faults.unplugAfter = 3000;
  Create(desc);
  EXPECT_EQ(Sort(ProgramConfig()), 0);
  EXPECT_EQ(g_reports.back().m_dwStatus, 8u);
  EXPECT_LT(g_reports.back().m_dwPercent, 100u);
}

// StopSort from another thread during the pattern pass.
TEST_F(EngineSimTest, StopSortDuringThePatternPass) {
  Create(Drive(1, 1100, 16, 4));
  char drive[] = "E";
  DLLSort sort(drive, 0);
  _USBDevceInfo info{};
  ASSERT_EQ(sort.GetDeviceInfo(&info), 1);
  _KVConfig config = ProgramConfig();
  g_lastStatus = 10;
  int result = -1;
  std::thread runner([&] { result = sort.StartSort(0, &config, Record); });
  while (!(g_lastStatus == 3 && g_lastScanned >= 300)) std::this_thread::yield();
  sort.StopSort();
  runner.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(g_reports.back().m_dwStatus, 0u);
  EXPECT_EQ(g_reports.back().m_dwPercent, 40u);
  EXPECT_EQ(Log().find("MarkAllBadBlock"), std::string::npos);
}

// A 4 GiB KR425 (2 CEs x 1024 blocks of 256 pages of 8 KiB) with a few
// dozen bad blocks of every kind, run twice with the program's
// configuration: both runs finish with the same count, and the second one
// takes the first run's table block for neither a bad block nor a mark.
TEST_F(EngineSimTest, FourGibDriveWithAFewDozenBadBlocks) {
  sim::DriveSpec desc = Drive(2, 1024, 256, 16);
  desc.faults.seed = 5;
  desc.faults.factoryBadCount = 12;
  desc.faults.programFailCount = 12;
  desc.faults.weakCount = 12;
  Create(desc);
  sim::DriveReport created = Report();
  BlockSet expected, eraseFail;
  for (const auto& b : created.faults.factoryBad) expected.insert({b.ce, b.block});
  for (const auto& b : created.faults.programFail) expected.insert({b.ce, b.block});
  for (const auto& b : created.faults.weak) expected.insert({b.ce, b.block});
  // Erase failures away from each CE's first good block and last block.
  for (uint32_t ce = 0; ce < 2; ++ce) {
    for (uint32_t block : {200u + 100 * ce, 611u + ce}) {
      if (!expected.count({ce, block})) desc.faults.eraseFail.push_back({ce, block});
    }
  }
  desc.faults.factoryBad = created.faults.factoryBad;
  desc.faults.programFail = created.faults.programFail;
  desc.faults.weak = created.faults.weak;
  desc.faults.factoryBadCount = desc.faults.programFailCount = desc.faults.weakCount = 0;
  Create(desc);
  ASSERT_GE(expected.size(), 30u);
  ASSERT_FALSE(expected.count({0, 0}) || expected.count({1, 0}));

  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    g_reports.clear();
    ASSERT_EQ(Sort(ProgramConfig()), 1);
    EXPECT_EQ(g_reports.back().m_dwStatus, 2u);
    EXPECT_EQ(g_reports.back().m_dwBadBlocks, expected.size());
    EXPECT_EQ(g_reports.back().m_dwScannedBlocks, 1023u);
    const sim::DriveReport report = Report();
    BlockSet recorded;
    for (const auto& t : report.tables) {
      EXPECT_EQ(t.block, 0u);
      for (uint32_t b : t.entries) recorded.insert({t.ce, b});
    }
    EXPECT_EQ(recorded, expected);
    const std::string log = Log();
    EXPECT_EQ(log.find("Bad block = 0 CE="), std::string::npos);
    EXPECT_EQ(log.find("not equal"), std::string::npos);
  }
}

// The other controller model and two-plane operation, each with a weak and
// a factory-bad block.
TEST_F(EngineSimTest, Kr423AndTwoPlaneRuns) {
  struct Case {
    uint16_t controller;
    uint32_t planes;
  };
  for (const Case& c : {Case{0x423, 1}, Case{0x425, 2}}) {
    SCOPED_TRACE(c.controller * 10 + c.planes);
    sim::DriveSpec desc = Drive(2, 1100, 16, 4);
    desc.controller = c.controller;
    desc.planes = c.planes;
    desc.faults.weak = {{1, 301}};
    desc.faults.factoryBad = {{0, 44, false}};
    Create(desc);
    _KVConfig config = ProgramConfig();
    config.m_dwMultiPlane = c.planes == 2 ? 1 : 0;
    g_reports.clear();
    ASSERT_EQ(Sort(config), 1);
    EXPECT_EQ(g_reports.back().m_dwStatus, 2u);
    EXPECT_EQ(g_reports.back().m_dwBadBlocks, 2u);
    const sim::DriveReport report = Report();
    EXPECT_EQ(report.refused, 0u) << report.lastRefusal;
    EXPECT_FALSE(report.twoPlane);  // every two-plane phase was closed
    BlockSet recorded;
    for (const auto& t : report.tables) {
      for (uint32_t b : t.entries) recorded.insert({t.ce, b});
    }
    EXPECT_EQ(recorded, (BlockSet{{0, 44}, {1, 301}}));
  }
}

// Runs that end early, on the simulator's own faults.
TEST_F(EngineSimTest, RunsThatEndEarly) {
  struct Case {
    const char* name;
    uint8_t testLevel;
    uint32_t eraseFirst;
    std::vector<sim::BlockRef> eraseFail;
    uint64_t deadAfter;
    uint32_t state;
    int sortResult;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"erase refused at level 1", 1, 1, {{1, 500}}, 0, 11, 1, {}},
      // The status byte still reports the failed erase when the pattern
      // pass asks whether the flash is there.
      {"erase failing on the last block before the presence test", 0, 1, {{1, 1099}}, 0, 8, 0,
       {"Flash not exist!"}},
      {"flash dying in the erase pass", 0, 1, {}, 400, 8, 0, {}},
      // 0: right after the set-up (discovery's commands counted on a twin).
      {"flash dying before the pattern pass", 0, 0, {}, 0, 8, 0, {"Flash not exist!"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::DriveSpec desc = Drive(2, 1100, 16, 4);
    desc.faults.eraseFail = c.eraseFail;
    desc.faults.deadAfter = c.deadAfter;
    if (c.deadAfter == 0 && c.eraseFail.empty()) {
      // Discovery's commands, then the engine's set-up: the download
      // (prepare, eight RAM writes, three status reads), FWInfo, the mode.
      Create(desc);
      {
        char drive[] = "E";
        DLLSort discovery(drive, 0);
      }
      desc.faults.deadAfter = Report().commands + 14;
    }
    Create(desc);
    _KVConfig config = ProgramConfig();
    config.m_bTestLevel = c.testLevel;
    config.m_dwEraseFirst = c.eraseFirst;
    g_reports.clear();
    boxes_.Clear();
    EXPECT_EQ(Sort(config), c.sortResult);
    ASSERT_FALSE(g_reports.empty());
    EXPECT_EQ(g_reports.back().m_dwStatus, c.state);
    EXPECT_EQ(boxes_.Texts(), c.boxes);
  }
}

}  // namespace
}  // namespace enginetest
