// The platform services of the start-up: named mutexes across processes,
// starting a program, the running program's own file, the window search.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "app/startup/tests/archive_fixture.h"
#include "platform/module.h"
#include "platform/named_mutex.h"
#include "platform/os_version.h"
#include "platform/process.h"
#include "platform/window_search.h"

namespace {

namespace fs = std::filesystem;
using qv::NamedMutexResult;

// Points the user's temporary folder at a scratch folder for one test.
class PrivateTempFolder {
 public:
  PrivateTempFolder() {
    for (const char* n : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
      const char* v = std::getenv(n);
      saved_.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
    }
    unsetenv("XDG_RUNTIME_DIR");
    setenv("TMPDIR", folder_.path().c_str(), 1);
  }
  ~PrivateTempFolder() {
    for (const auto& [name, value] : saved_)
      value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  }
  const ScratchFolder& folder() const { return folder_; }

 private:
  ScratchFolder folder_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// What CreateNamedMutex answers in a new process (which ends right after).
NamedMutexResult InChildProcess(const std::string& name) {
  pid_t pid = fork();
  if (pid == 0) _exit(static_cast<int>(qv::CreateNamedMutex(name)));
  int status = 0;
  waitpid(pid, &status, 0);
  return static_cast<NamedMutexResult>(WEXITSTATUS(status));
}

TEST(NamedMutex, ExistsWhileAnyProcessHoldsIt) {
  PrivateTempFolder temp;
  const std::string name = "Probe-{44E678F7}";
  EXPECT_EQ(InChildProcess(name), NamedMutexResult::kCreated);
  // That child has ended, so the name is free again.
  EXPECT_EQ(InChildProcess(name), NamedMutexResult::kCreated);

  EXPECT_EQ(qv::CreateNamedMutex(name), NamedMutexResult::kCreated);
  EXPECT_EQ(InChildProcess(name), NamedMutexResult::kAlreadyExists);
  EXPECT_EQ(qv::CreateNamedMutex(name), NamedMutexResult::kAlreadyExists);  // a second handle
  EXPECT_EQ(InChildProcess("Other name"), NamedMutexResult::kCreated);

  std::string file = qv::NamedMutexFile(name);
  EXPECT_EQ(file.rfind(temp.folder().path() + "/", 0), 0u) << file;
  EXPECT_TRUE(fs::exists(file));
}

TEST(NamedMutex, NamesWithSeparatorsStayInTheFolderAndPlantedLinksAreRefused) {
  PrivateTempFolder temp;
  std::string file = qv::NamedMutexFile("a/b\\c");
  EXPECT_EQ(fs::path(file).parent_path().string(), temp.folder().path());

  fs::create_symlink(temp.folder() / "elsewhere", qv::NamedMutexFile("Planted"));
  EXPECT_EQ(qv::CreateNamedMutex("Planted"), NamedMutexResult::kAccessDenied);
  EXPECT_FALSE(fs::exists(temp.folder() / "elsewhere"));
}

TEST(NamedMutex, NoPrivateFolderMeansFailure) {
  PrivateTempFolder temp;
  std::string shared = temp.folder() / "shared";
  fs::create_directory(shared);
  chmod(shared.c_str(), 0777);
  // Neither a private TMPDIR nor a private folder of ours inside it.
  fs::create_directory(shared + "/quorvin-" + std::to_string(geteuid()));
  chmod((shared + "/quorvin-" + std::to_string(geteuid())).c_str(), 0777);
  setenv("TMPDIR", shared.c_str(), 1);
  EXPECT_EQ(qv::CreateNamedMutex("Anything"), NamedMutexResult::kFailed);
  EXPECT_EQ(qv::NamedMutexFile("Anything"), "");
}

bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 500 && !fs::exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it finish writing
  return fs::exists(path);
}

TEST(StartProgram, RunsWithoutArgumentsInTheFolderWithOurEnvironmentAndNoExtraDescriptors) {
  ScratchFolder dir;
  std::string folder = dir / "work folder";
  fs::create_directory(folder);
  std::string report = dir / "report";
  std::string script = dir / "program.sh";
  WriteBytes(script, "#!/bin/sh\n"
                     "fd=no; [ -e /dev/fd/$QV_OPEN_FD ] && fd=yes\n"
                     "printf '%s|%s|%s|%s|%s' \"$0\" \"$#\" \"$(pwd)\" \"$QV_MARK\" \"$fd\" > '" +
                         report + ".part'\n"
                     "mv '" + report + ".part' '" + report + "'\n");
  chmod(script.c_str(), 0700);

  int held = ::open(script.c_str(), O_RDONLY);  // not close-on-exec
  ASSERT_GE(held, 3);
  setenv("QV_MARK", "inherited", 1);
  setenv("QV_OPEN_FD", std::to_string(held).c_str(), 1);
  int error = -1;
  ASSERT_TRUE(qv::StartProgram(script, folder, &error));
  EXPECT_EQ(error, 0);
  ::close(held);
  unsetenv("QV_MARK");
  unsetenv("QV_OPEN_FD");
  ASSERT_TRUE(WaitForFile(report));
  EXPECT_EQ(ReadBytes(report), script + "|0|" + folder + "|inherited|no");
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

TEST(StartProgram, FailsForAMissingProgramOrFolder) {
  ScratchFolder dir;
  int error = 0;
  EXPECT_FALSE(qv::StartProgram(dir / "missing", dir.path(), &error));
  EXPECT_EQ(error, ENOENT);
  std::string plain = dir / "plain";
  WriteBytes(plain, "not executable");
  EXPECT_FALSE(qv::StartProgram(plain, dir.path(), &error));
  EXPECT_NE(error, 0);
  EXPECT_FALSE(qv::StartProgram("/bin/true", dir / "no such folder", &error));
  EXPECT_NE(error, 0);
}

TEST(RunningProgramFile, OpensTheProgramItself) {
  EXPECT_EQ(ReadBytes(qv::RunningProgramFile()), ReadBytes(qv::ExecutablePath()));
}

TEST(WindowSearch, FindsThisProcessWindowsByExactTitleAndAsksTheHookForOthers) {
  int raised = 0, restored = 0;
  qv::WindowHandle dialog = qv::RegisterTopLevelWindow(
      "Quorvin", {[&] { ++raised; }, [] { return true; }, [&] { ++restored; }});
  qv::WindowHandle other = qv::RegisterTopLevelWindow("QuorvinPlus helper", {});
  EXPECT_EQ(qv::FindWindowByTitle("Quorvin"), dialog);
  EXPECT_EQ(qv::FindWindowByTitle("QuorvinPlus helper"), other);
  EXPECT_EQ(qv::FindWindowByTitle("quorvin"), qv::kNoWindow);
  EXPECT_EQ(qv::FindWindowByTitle("Quorvin "), qv::kNoWindow);

  EXPECT_TRUE(qv::SetForegroundWindow(dialog));
  EXPECT_TRUE(qv::IsIconic(dialog));
  EXPECT_TRUE(qv::RestoreWindow(dialog));
  EXPECT_EQ(raised, 1);
  EXPECT_EQ(restored, 1);
  EXPECT_FALSE(qv::IsIconic(other));  // no answer: not minimised

  qv::SetTopLevelWindowTitle(dialog, "QuorvinPlus");
  EXPECT_EQ(qv::FindWindowByTitle("Quorvin"), qv::kNoWindow);  // only while it bore the title
  qv::UnregisterTopLevelWindow(dialog);
  qv::UnregisterTopLevelWindow(other);
  EXPECT_EQ(qv::FindWindowByTitle("QuorvinPlus"), qv::kNoWindow);
  EXPECT_FALSE(qv::SetForegroundWindow(dialog));
  EXPECT_FALSE(qv::SetForegroundWindow(qv::kNoWindow));

  // Another process's window is found only through a hook.
  int foreign = 0;
  qv::SetWindowSearchHook([&](std::string_view title, qv::WindowActions* found) {
    if (title != "Quorvin") return false;
    found->bringToForeground = [&] { ++foreign; };
    return true;
  });
  qv::WindowHandle far = qv::FindWindowByTitle("Quorvin");
  EXPECT_NE(far, qv::kNoWindow);
  EXPECT_TRUE(qv::SetForegroundWindow(far));
  EXPECT_EQ(foreign, 1);
  EXPECT_EQ(qv::FindWindowByTitle("Other"), qv::kNoWindow);
  qv::SetWindowSearchHook({});
  EXPECT_EQ(qv::FindWindowByTitle("Quorvin"), qv::kNoWindow);
}

TEST(OsVersion, ThisSystemHasNoVersionRecord) {
  qv::OsVersionInfoEx info{};
  info.dwOSVersionInfoSize = qv::kOsVersionInfoExSize;
  EXPECT_FALSE(qv::GetVersionEx(&info));
}

}  // namespace
