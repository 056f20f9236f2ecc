#include "platform/module.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/clock.h"
#include "platform/tests/temp_dir.h"

namespace {

TEST(Module, ExecutableFolderIsTheHostsNotTheCurrentOne) {
  std::string exe = qv::ExecutablePath();
  EXPECT_EQ(std::filesystem::path(exe).filename(), "platform_tests");
  EXPECT_EQ(qv::ExecutableDirectory(), std::filesystem::path(exe).parent_path().string());
  EXPECT_FALSE(qv::CommandLineArg0().empty());
}

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
      const char* s = std::getenv(v);
      saved_.emplace_back(v, s ? s : "");
    }
  }
  void TearDown() override {
    for (auto& [name, value] : saved_) {
      if (value.empty()) unsetenv(name.c_str()); else setenv(name.c_str(), value.c_str(), 1);
    }
  }
  std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(TempFolderTest, PrivateFolderOnlyAndNeverALink) {
  TempDir shared;
  chmod(shared.path().c_str(), 01777);  // like /tmp
  unsetenv("XDG_RUNTIME_DIR");
  setenv("TMPDIR", shared.path().c_str(), 1);
  std::string folder = qv::UserTempFolder();
  EXPECT_EQ(folder, shared.path() + "/quorvin-" + std::to_string(geteuid()) + "/");
  EXPECT_TRUE(qv::IsPrivateFolder(folder.substr(0, folder.size() - 1)));

  // Someone planted a link where the private folder goes: refused.
  TempDir other;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directory_symlink(other.path(), folder.substr(0, folder.size() - 1));
  EXPECT_EQ(qv::UserTempFolder(), "");

  // A private TMPDIR is used as it is.
  TempDir mine;
  chmod(mine.path().c_str(), 0700);
  setenv("TMPDIR", mine.path().c_str(), 1);
  EXPECT_EQ(qv::UserTempFolder(), mine.path() + "/");
}

TEST(Clock, FixedTimeAndFormatting) {
  qv::SetFixedTime(86400 + 3600 * 5 + 60 * 7 + 9);
  EXPECT_EQ(qv::CalendarSeconds(), 86400 + 3600 * 5 + 60 * 7 + 9);
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(qv::FormatLocalTime("Start Write Time:(Hour=>%H Minute=>%M Second=>%S)"),
            "Start Write Time:(Hour=>05 Minute=>07 Second=>09)");
  qv::SetFixedTime(std::nullopt);
  EXPECT_GT(qv::CalendarSeconds(), 1700000000);
}

}  // namespace
