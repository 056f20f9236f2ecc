// The built program, started the ways a user starts it, in a home of its
// own: a private temporary folder (TMPDIR, no XDG_RUNTIME_DIR) and an empty
// simulated machine, so that no privilege is needed.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/startup/boot_archive.h"
#include "app/startup/instance_probe.h"
#include "app/startup/payload.h"
#include "app/startup/tests/archive_fixture.h"
#include "platform/paths.h"
#include "platform/resources.h"

extern char** environ;

namespace {

// What the relocated copy may say on standard error on a machine without
// drives: its trace lines, the dialog's "Device not found" box, and Qt's
// note that XDG_RUNTIME_DIR (unset here) has a default.
bool OnlyTheDialogsLines(const std::string& err) {
  size_t start = 0;
  while (start < err.size()) {
    size_t end = err.find('\n', start);
    std::string line = err.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (line.rfind("[trace] ", 0) != 0 && line.rfind("QStandardPaths: ", 0) != 0 &&
        line != "QuorvinPlus: Device not found, please insert device")
      return false;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return true;
}

namespace fs = std::filesystem;

struct Outcome {
  std::string out;  // standard output: the stand-in dialog's lines
  std::string err;  // standard error: message boxes
  int status = -1;
};

// Reads both pipes to their end: that is when the launcher and the copy it
// started (which inherits them) have both ended.
void Drain(int outFd, int errFd, Outcome* outcome) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&outcome->out, &outcome->err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, 30000) <= 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (auto& f : fds)
    if (f.fd >= 0) close(f.fd);
}

// Binary files are compared with EXPECT_TRUE(a == b): a failure then names
// the file instead of printing megabytes of it.
class ProgramHome : public testing::Test {
 protected:
  void SetUp() override {
    bin = home / "bin";
    temp = home / "tmp";
    sim = home / "sim";
    work = temp + "/RevUdi";
    for (const std::string& d : {bin, temp, sim, home / "elsewhere"}) fs::create_directory(d);
    chmod(temp.c_str(), 0700);
    program = bin + "/QuorvinPlus";
    fs::copy_file(QV_PROGRAM_FILE, program);
    image = ReadBytes(program);
    env["TMPDIR"] = temp;
    env["QUORVIN_SIM"] = sim;
    env["PATH"] = bin + ":/usr/bin:/bin";
    env["XDG_RUNTIME_DIR"] = "";  // removed
    // The dialog runs headless, its boxes go to standard error answered
    // OK, and its trace lines show where the copy ran.
    env["QT_QPA_PLATFORM"] = "offscreen";
    env["QUORVIN_MESSAGE_BOXES"] = "console";
    env["QUORVIN_TRACE"] = "1";
    // The program keeps its device handle and its DLLSort object until the
    // process ends, as the device library and the sort library expect, so
    // the leak checker of a sanitizer build would report them.
    env["ASAN_OPTIONS"] = "detect_leaks=0";
  }

  // Starts `file` (looked up in PATH when it has no '/') with argument 0
  // `arg0`, in `cwd`, and waits for it and everything it started.
  Outcome Start(const std::string& file, const std::string& arg0, const std::string& cwd,
                uid_t asUser = 0) {
    int out[2], err[2];
    EXPECT_EQ(pipe(out), 0);
    EXPECT_EQ(pipe(err), 0);
    pid_t pid = fork();
    if (pid == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
      for (const auto& [name, value] : env)
        value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
      if (chdir(cwd.c_str()) != 0) _exit(126);
      if (asUser != 0 && (setgid(asUser) != 0 || setuid(asUser) != 0)) _exit(126);
      char* argv[] = {const_cast<char*>(arg0.c_str()), nullptr};
      execvp(file.c_str(), argv);
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    Outcome outcome;
    Drain(out[0], err[0], &outcome);
    int status = 0;
    waitpid(pid, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
  }

  Outcome StartFromElsewhere() { return Start(program, program, home / "elsewhere"); }

  // What the relocated copy leaves in `folder`: the carried files as the
  // program carries them, written in their table's order, and every member
  // of the boot archive unpacked under Boot/.
  void ExpectPayloadIn(const std::string& folder) {
    timespec previous{};
    for (const CarriedFile& file : kCarriedFiles) {
      std::string path = folder + "/" + file.name;
      qv::ResourceBytes bytes;
      ASSERT_TRUE(qv::FindResource(kCarriedFileType, file.id, &bytes)) << file.name;
      EXPECT_TRUE(ReadBytes(path) ==
                  std::string(reinterpret_cast<const char*>(bytes.data), bytes.size))
          << file.name << " differs from what the program carries";
      struct stat st;
      ASSERT_EQ(stat(path.c_str(), &st), 0) << file.name;
      EXPECT_FALSE(st.st_mtim.tv_sec < previous.tv_sec ||
                   (st.st_mtim.tv_sec == previous.tv_sec && st.st_mtim.tv_nsec < previous.tv_nsec))
          << file.name << " written before the file ahead of it";
      previous = st.st_mtim;
    }
    BootArchive archive;
    ASSERT_TRUE(archive.Open(folder + "/" + kBootArchiveName, false));
    std::string name;
    int members = 0;
    while (archive.SkipNext(&name)) {
      ++members;
      EXPECT_TRUE(fs::is_regular_file(qv::HostPath(folder + "/Boot/" + name))) << name;
    }
    EXPECT_GT(members, 0);
  }

  ScratchFolder home;
  std::string bin, temp, sim, work, program, image;
  std::map<std::string, std::string> env;
};

TEST_F(ProgramHome, FirstStartRelocatesAndTheCopyWritesThePayloadAndRunsTheDialog) {
  Outcome o = StartFromElsewhere();
  EXPECT_TRUE(OnlyTheDialogsLines(o.err)) << o.err;
  EXPECT_EQ(o.status, 0);
  // One line block from the relocated copy, running in the working folder.
  EXPECT_NE(o.err.find("[trace] Working folder: " + work + "\n"), std::string::npos) << o.err;
  struct stat st;
  ASSERT_EQ(lstat(work.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(ReadBytes(work + "/Quorvin.exe") == image);
  ExpectPayloadIn(work);

  // The next start overwrites all of it the same way.
  WriteBytes(work + "/Device.ini", "edited");
  o = StartFromElsewhere();
  EXPECT_TRUE(OnlyTheDialogsLines(o.err)) << o.err;
  EXPECT_NE(o.err.find("[trace] Working folder: " + work + "\n"), std::string::npos) << o.err;
  ExpectPayloadIn(work);
}

TEST_F(ProgramHome, RelativeAndPathStartsRelocateToo) {
  struct Case {
    const char* how;
    std::string file, arg0, cwd;
  };
  const Case cases[] = {
      {"./QuorvinPlus in its folder", "./QuorvinPlus", "./QuorvinPlus", bin},
      {"bare name through PATH", "QuorvinPlus", "QuorvinPlus", home / "elsewhere"},
      {"relative path from above", "bin/QuorvinPlus", "bin/QuorvinPlus", home.path()},
  };
  for (const Case& c : cases) {
    fs::remove_all(work);
    Outcome o = Start(c.file, c.arg0, c.cwd);
    EXPECT_TRUE(OnlyTheDialogsLines(o.err)) << o.err << c.how;
    EXPECT_NE(o.err.find("[trace] Working folder: " + work + "\n"), std::string::npos) << c.how << o.err;
    EXPECT_TRUE(ReadBytes(work + "/Quorvin.exe") == image) << c.how;
  }
}

TEST_F(ProgramHome, StartInsideTheWorkingFolderUnderAnyNameIsTheRelocatedCopy) {
  struct Case {
    const char* folder;
    const char* name;
  };
  const Case cases[] = {{"RevUdi", "qUoRvIn.ExE"}, {"RevUdi", "something else"}, {"revudi", "Quorvin.exe"}};
  for (const Case& c : cases) {
    fs::remove_all(work);
    fs::remove_all(temp + "/revudi");
    std::string folder = temp + "/" + c.folder;
    fs::create_directory(folder);
    chmod(folder.c_str(), 0700);
    std::string copy = folder + "/" + c.name;
    fs::copy_file(program, copy);
    Outcome o = Start(copy, copy, home / "elsewhere");
    EXPECT_TRUE(OnlyTheDialogsLines(o.err)) << o.err << c.name;
    EXPECT_NE(o.err.find("[trace] OnInitDialog 0"), std::string::npos) << c.name;  // the dialog ran
    ExpectPayloadIn(folder);
    if (std::string(c.name) != "Quorvin.exe") {
      EXPECT_FALSE(fs::exists(folder + "/Quorvin.exe"));
    }
  }
}

TEST_F(ProgramHome, ReadOnlyLeftoverCopyIsReplaced) {
  fs::create_directory(work);
  chmod(work.c_str(), 0700);
  WriteBytes(work + "/Quorvin.exe", "an old copy");
  chmod((work + "/Quorvin.exe").c_str(), 0444);
  Outcome o = StartFromElsewhere();
  EXPECT_TRUE(OnlyTheDialogsLines(o.err)) << o.err;
  EXPECT_TRUE(ReadBytes(work + "/Quorvin.exe") == image);
  EXPECT_NE(o.err.find("[trace] Working folder: " + work), std::string::npos);
}

TEST_F(ProgramHome, SecondStartWhileACopyRunsEndsSilentlyAndLeavesItsFilesAlone) {
  // Any running program will do as the copy: its file cannot be written.
  fs::create_directory(work);
  chmod(work.c_str(), 0700);
  std::string running = work + "/Quorvin.exe";
  fs::copy_file("/bin/sleep", running);
  WriteBytes(work + "/Device.ini", "the running copy's");
  pid_t copy = fork();
  if (copy == 0) {
    execl(running.c_str(), running.c_str(), "60", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait until it has started executing its file.
  for (int i = 0; i < 200; ++i) {
    if (fs::read_symlink("/proc/" + std::to_string(copy) + "/exe").string() == running) break;
    usleep(10000);
  }

  Outcome o = StartFromElsewhere();
  kill(copy, SIGKILL);
  waitpid(copy, nullptr, 0);

  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "");
  EXPECT_TRUE(ReadBytes(running) == ReadBytes("/bin/sleep"));
  EXPECT_EQ(ReadBytes(work + "/Device.ini"), "the running copy's");
  // It created the instance mutex and, finding no other launcher, went.
  EXPECT_TRUE(fs::exists(temp + "/QuorvinMutex-" + kInstanceMutexName));
}

TEST_F(ProgramHome, HijackedWorkingFolderIsRefusedWithAMessage) {
  std::string target = home / "elsewhere";
  chmod(target.c_str(), 0700);
  fs::create_directory_symlink(target, work);
  Outcome o = StartFromElsewhere();
  EXPECT_NE(o.err.find("QuorvinPlus: The working folder is not safe to use"), std::string::npos)
      << o.err;
  EXPECT_EQ(o.out, "");
  EXPECT_TRUE(fs::is_empty(target));

  fs::remove(work);
  fs::create_directory(work);
  chmod(work.c_str(), 0777);
  o = StartFromElsewhere();
  EXPECT_NE(o.err.find("not safe to use"), std::string::npos) << o.err;
  EXPECT_FALSE(fs::exists(work + "/Quorvin.exe"));
}

TEST_F(ProgramHome, RealDrivesWithoutThePrivilegeGetTheRefusalInTheUsersLanguage) {
  // An unprivileged user: ourselves, or "nobody" when we run as root.
  uid_t user = geteuid() == 0 ? 65534 : 0;
  if (user == 0) {
    std::string status = ReadBytes("/proc/self/status");
    size_t at = status.find("CapEff:");
    if (at != std::string::npos && (std::stoull(status.substr(at + 7), nullptr, 16) >> 17) & 1)
      GTEST_SKIP() << "this user holds the raw I/O privilege";
  } else {
    for (const std::string& p : {home.path(), bin, home / "elsewhere"}) chmod(p.c_str(), 0755);
    ASSERT_EQ(chown(temp.c_str(), user, user), 0);
  }
  env["QUORVIN_SIM"] = "";  // real drives
  const std::pair<const char*, const char*> cases[] = {
      {"C", "This program can only be executed with administrative privilege!"},
      {"zh_TW.UTF-8", "必須有系統管理員權限才能執行此程式"},
      {"zh_CN.UTF-8", "必须有系统管理员权限才能执行此程式"},
  };
  for (const auto& [locale, text] : cases) {
    env["LC_ALL"] = locale;
    Outcome o = Start(program, program, home / "elsewhere", user);
    EXPECT_EQ(o.err, std::string("QuorvinPlus: ") + text + "\n") << locale;
    EXPECT_EQ(o.out, "");
    EXPECT_FALSE(fs::exists(work));
  }
}

}  // namespace
