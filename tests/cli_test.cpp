// quorvin-cli as a user runs it: a separate process on a simulated machine.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/tests/temp_dir.h"
#include "sim/sim_api.h"
#include "tests/png_decode.h"
#include "tools/quorvin-cli/map_picture.h"

namespace {

struct RunResult {
  int exitCode = -1;
  std::string out, err;
};

// Runs quorvin-cli with the arguments in `dir`, on the machine `machine`.
RunResult RunCli(const std::string& dir, const std::string& machine, const std::string& args,
                 const std::string& env = {}) {
  std::string cmd = "cd '" + dir + "' && env QUORVIN_SIM='" + machine + "' " + env + " " +
                    QV_BIN_DIR "/quorvin-cli " + args + " </dev/null >out.txt 2>err.txt";
  int status = std::system(cmd.c_str());
  RunResult r;
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  auto slurp = [&](const char* name) {
    std::ifstream in(dir + "/" + name);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  };
  r.out = slurp("out.txt");
  r.err = slurp("err.txt");
  return r;
}

sim::DriveSpec SmallKr425(char letter, uint32_t diskNumber) {
  sim::DriveSpec s;
  s.letter = letter;
  s.diskNumber = diskNumber;
  s.controller = 0x425;
  s.flashId = {0xEC, 0xDA, 0x10, 0x95, 0x44};  // not in the flash database
  s.ces = 1;
  s.blocksPerCE = 64;
  s.pagesPerBlock = 16;
  s.sectorsPerPage = 8;
  return s;
}

class CliTest : public ::testing::Test {
 protected:
  std::string machine() const { return dir_ / "machine"; }
  std::string work() const { return dir_.path(); }
  TempDir dir_;
};

TEST_F(CliTest, UsageErrorsAndHelp) {
  EXPECT_EQ(RunCli(work(), machine(), "--help").exitCode, 0);
  RunResult r = RunCli(work(), machine(), "revert");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("revert needs at least one drive"), std::string::npos);
  EXPECT_EQ(RunCli(work(), machine(), "revert 9:").exitCode, 2);
  EXPECT_EQ(RunCli(work(), machine(), "--frobnicate list").exitCode, 2);
}

TEST_F(CliTest, RefusesWithoutConsentWhenStdinIsNoTerminal) {
  ASSERT_TRUE(sim::CreateDrive(machine(), SmallKr425('E', 1)));
  RunResult r = RunCli(work(), machine(), "revert E:");
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_NE(r.err.find("--yes"), std::string::npos);
}

TEST_F(CliTest, ListShowsTheSimulatedDrive) {
  ASSERT_TRUE(sim::CreateDrive(machine(), SmallKr425('E', 1)));
  RunResult r = RunCli(work(), machine(), "list");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("E:"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("usb"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("EC DA 10 95 44"), std::string::npos) << r.out;
}

TEST_F(CliTest, RevertOfThreeDrivesInParallel) {
  // Three drives, the second with factory-bad blocks: three logs and the
  // counts the simulator injected. Factory-bad blocks take no mark, so the
  // bad-block table (which needs 1,024 blocks per CE) is their record.
  sim::DriveSpec e = SmallKr425('E', 1), f = SmallKr425('F', 2), g = SmallKr425('G', 3);
  f.blocksPerCE = 1024;
  f.faults.factoryBad = {{0, 7, false}, {0, 40, true}};
  ASSERT_TRUE(sim::CreateDrive(machine(), e));
  ASSERT_TRUE(sim::CreateDrive(machine(), f));
  ASSERT_TRUE(sim::CreateDrive(machine(), g));
  RunResult r = RunCli(work(), machine(), "revert --yes --write-log 1 E: F: G:");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  for (const char* log : {"RevertLog01.txt", "RevertLog02.txt", "RevertLog03.txt"})
    EXPECT_TRUE(std::filesystem::exists(work() + "/" + log)) << log;
  std::istringstream lines(r.out);
  std::string line;
  int finished = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("F:     Finish", 0) == 0) {
      EXPECT_NE(line.find(" 2 "), std::string::npos) << line;  // two bad blocks
      ++finished;
    } else if (line.rfind("E:     Finish", 0) == 0 || line.rfind("G:     Finish", 0) == 0) {
      ++finished;
    }
  }
  EXPECT_EQ(finished, 3) << r.out;
  sim::DriveReport report;
  ASSERT_TRUE(sim::Inspect(sim::DriveFolder(machine(), 'F'), &report));
  ASSERT_EQ(report.tables.size(), 1u);
  EXPECT_EQ(report.tables[0].entries, (std::vector<uint32_t>{7, 40}));
}

TEST_F(CliTest, UnsupportedControllerIsNotBound) {
  sim::DriveSpec s = SmallKr425('E', 1);
  s.controller = 0x428;
  ASSERT_TRUE(sim::CreateDrive(machine(), s));
  RunResult r = RunCli(work(), machine(), "revert --yes E:");
  EXPECT_NE(r.exitCode, 0);
}

TEST_F(CliTest, InterruptEndsWithUserBreakAndNoProcessLeft) {
  sim::DriveSpec s = SmallKr425('E', 1);
  s.blocksPerCE = 1024;
  s.timing.sleepFraction = 1.0;  // slow enough to be interrupted
  ASSERT_TRUE(sim::CreateDrive(machine(), s));
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    chdir(work().c_str());
    setenv("QUORVIN_SIM", machine().c_str(), 1);
    freopen("out.txt", "w", stdout);
    freopen("err.txt", "w", stderr);
    execl(QV_BIN_DIR "/quorvin-cli", "quorvin-cli", "revert", "--yes", "E:", (char*)nullptr);
    _exit(127);
  }
  // Wait until the run is under way.
  for (int i = 0; i < 200; ++i) {
    std::ifstream in(work() + "/out.txt");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    if (text.find("E: [") != std::string::npos) break;
    usleep(50000);
  }
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  std::ifstream in(work() + "/out.txt");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("UserBreak"), std::string::npos) << text;
}

// The map drawn after a revert shows, cell by cell, what the simulator
// finds in the flash: the marks, the table entries without a mark, and each
// CE's table block.
TEST_F(CliTest, MapShowsWhatTheFlashRecords) {
  sim::DriveSpec s = SmallKr425('E', 1);
  s.ces = 2;
  s.blocksPerCE = 1024;
  s.faults.factoryBad = {{0, 7, false}, {1, 300, true}};
  s.faults.programFail = {{0, 40, 3}, {1, 1000, 0}};
  ASSERT_TRUE(sim::CreateDrive(machine(), s));
  RunResult r = RunCli(work(), machine(), "revert --yes E: --map map.png");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Map of E: map.png"), std::string::npos) << r.out;

  sim::DriveReport report;
  ASSERT_TRUE(sim::Inspect(sim::DriveFolder(machine(), 'E'), &report));
  ASSERT_EQ(report.tables.size(), 2u);
  BlockMap expected;
  expected.blocksPerCE = s.blocksPerCE;
  expected.ces.assign(2, std::vector<BlockKind>(s.blocksPerCE, BlockKind::kGood));
  for (const sim::BadBlockTable& t : report.tables) {
    for (uint32_t b : t.entries) expected.ces[t.ce][b] = BlockKind::kFoundBad;
    expected.ces[t.ce][t.block] = BlockKind::kTable;
  }
  for (uint32_t ce = 0; ce < 2; ++ce)
    for (uint32_t b : report.badMarks[ce]) expected.ces[ce][b] = BlockKind::kMarked;
  // Both kinds of bad block are on the map: the factory-bad blocks are
  // listed without a mark, the failing ones carry the revert's mark.
  EXPECT_EQ(expected.ces[0][7], BlockKind::kFoundBad);
  EXPECT_EQ(expected.ces[0][40], BlockKind::kMarked);

  DecodedPng png = DecodePng(work() + "/map.png");
  ASSERT_TRUE(png.error.empty()) << png.error;
  MapLayout layout = LayOut(expected);
  ASSERT_EQ(png.width, layout.width);
  ASSERT_EQ(png.height, layout.height);
  int wrong = 0;
  for (uint32_t ce = 0; ce < 2; ++ce)
    for (uint32_t b = 0; b < s.blocksPerCE; ++b) {
      const uint8_t* p = &png.rgb[(size_t(layout.CellY(ce, b)) * png.width + layout.CellX(b)) * 3];
      Rgb want = ColourOf(expected.ces[ce][b]);
      if (p[0] != want.r || p[1] != want.g || p[2] != want.b) ++wrong;
    }
  EXPECT_EQ(wrong, 0);
}

TEST_F(CliTest, MapProblemsAreFoundBeforeTheRun) {
  ASSERT_TRUE(sim::CreateDrive(machine(), SmallKr425('E', 1)));
  RunResult r = RunCli(work(), machine(), "revert --yes E: --map no/such/folder/map.svg");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("no folder"), std::string::npos) << r.err;
  sim::DriveReport report;
  ASSERT_TRUE(sim::Inspect(sim::DriveFolder(machine(), 'E'), &report));
  EXPECT_EQ(report.totalErases, 0u);  // nothing was erased
  EXPECT_EQ(RunCli(work(), machine(), "revert --yes E: --map map.bmp").exitCode, 2);
  EXPECT_EQ(RunCli(work(), machine(), "info E: --map map.png").exitCode, 2);
}

}  // namespace
