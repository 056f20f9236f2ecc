// flashsim as a user runs it: create, show, unplug, plug, and a --help
// that documents every key drive.ini can hold.
#include <sys/wait.h>

#include <array>
#include <sstream>
#include <cstdio>

#include "sim/ini_file.h"
#include "sim/tests/sim_test_host.h"

namespace simtest {
namespace {

struct ToolRun {
  int exitCode = -1;
  std::string out;
};

ToolRun Flashsim(const std::string& args) {
  ToolRun r;
  std::string command = std::string(QV_FLASHSIM) + " " + args + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class SimFlashsimTool : public ::testing::Test {
 protected:
  void SetUp() override { machine_ = MakeMachine(); }
  void TearDown() override { std::filesystem::remove_all(machine_); }
  std::string machine_;
};

TEST_F(SimFlashsimTool, CreateShowUnplugPlug) {
  ToolRun created = Flashsim("create " + machine_ + " E --model KR423 --ces 2 --blocks 64 --pages 4 --sectors 2 "
                         "--factory-bad 2 --program-fail 1 --seed 3");
  ASSERT_EQ(created.exitCode, 0) << created.out;
  sim::DriveReport report;
  ASSERT_TRUE(sim::Inspect(sim::DriveFolder(machine_, 'E'), &report));
  ASSERT_EQ(report.faults.factoryBad.size(), 2u);
  ToolRun shown = Flashsim("show " + machine_ + " E");
  ASSERT_EQ(shown.exitCode, 0) << shown.out;
  for (const auto& b : report.faults.factoryBad)
    EXPECT_NE(shown.out.find(std::to_string(b.ce) + ":" + std::to_string(b.block)), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("plugged: yes"), std::string::npos) << shown.out;
  ASSERT_EQ(Flashsim("unplug " + machine_ + " E").exitCode, 0);
  EXPECT_FALSE(sim::IsPlugged(sim::DriveFolder(machine_, 'E')));
  EXPECT_NE(Flashsim("show " + machine_ + " E").out.find("plugged: no"), std::string::npos);
  ASSERT_EQ(Flashsim("plug " + machine_ + " E").exitCode, 0);
  EXPECT_TRUE(sim::IsPlugged(sim::DriveFolder(machine_, 'E')));
  EXPECT_NE(Flashsim("create " + machine_ + " E --ces 9").exitCode, 0) << "four CEs at most";
  EXPECT_NE(Flashsim("create " + machine_ + " E --no-such-option").exitCode, 0);
}

TEST_F(SimFlashsimTool, HelpNamesEveryDriveIniKey) {
  sim::DriveSpec s = SmallSpec();
  s.inquiryTag = "KrffK425A0B";
  s.flashConfig.assign(34, 0);
  s.gapsGiven = true;
  s.faults.factoryBadCount = s.faults.eraseFailCount = s.faults.programFailCount = 1;
  s.faults.weakCount = s.faults.stuckBitCount = 1;
  std::string ini = machine_ + "/full.ini";
  ASSERT_TRUE(sim::SaveDriveSpec(ini, s));
  sim::IniFile file;
  ASSERT_TRUE(file.Load(ini));
  const std::string help = Flashsim("--help").out;
  std::stringstream lines(file.Text());
  std::string line;
  int keys = 0;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '[') continue;
    std::string key = line.substr(0, line.find('='));
    EXPECT_NE(help.find(key), std::string::npos) << key;
    ++keys;
  }
  EXPECT_GT(keys, 45);
  EXPECT_NE(help.find("InquiryTag"), std::string::npos);
}

}  // namespace
}  // namespace simtest
