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

#include "platform/tests/temp_dir.h"
#include "sim/sim_api.h"

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

}  // namespace
