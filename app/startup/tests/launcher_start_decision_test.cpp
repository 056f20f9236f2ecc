// The start-up decision with its services replaced: admission, the three
// roles, the launcher's steps and failures, and the rules underneath them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/startup/admission.h"
#include "app/startup/instance_probe.h"
#include "app/startup/os_build.h"
#include "app/startup/repair_app.h"
#include "app/startup/string_table.h"
#include "app/startup/tests/archive_fixture.h"
#include "platform/files.h"

namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A start-up whose services record what they are asked and answer as set.
// Folders, attributes and the copy are real, inside a scratch folder that
// stands for the user's temporary folder.
struct FakeStart {
  ScratchFolder home;
  std::string temp = home.path() + "/";
  std::string work = temp + "RevUdi";
  std::string source = home / "program-image";

  unsigned build = 0;
  bool realDrives = false;
  bool administrator = false;
  int adminQuestions = 0;
  uint16_t language = kLangEnglishUs;
  std::string modulePath = "/opt/quorvin/QuorvinPlus";
  bool currentFolderWorks = true;
  std::optional<bool> copyResult;  // unset: the real copy
  bool startWorks = true;
  bool mutexExisted = false;
  qv::WindowHandle window = qv::kNoWindow;
  bool minimised = false;
  bool payloadWorks = true;

  std::vector<std::string> calls;     // in order, "name arg"
  std::vector<std::string> messages;  // "caption: text"

  FakeStart() { WriteBytes(source, "program bytes"); }

  StartupServices Services() {
    StartupServices s;
    s.osBuildNumber = [this] { return build; };
    s.isUserAdministrator = [this] { return ++adminQuestions, administrator; };
    s.usesRealDrives = [this] { return realDrives; };
    s.userLanguage = [this] { return language; };
    s.tempFolder = [this] { return temp; };
    s.modulePath = [this] { return modulePath; };
    s.programFile = [this] { return source; };
    s.setCurrentFolder = [this](std::string_view f) {
      calls.push_back("chdir " + std::string(f));
      return currentFolderWorks;
    };
    s.copyProgram = [this](std::string_view from, std::string_view to) {
      calls.push_back("copy " + std::string(from) + " " + std::string(to));
      return copyResult ? *copyResult : qv::CopyFile(from, to, false);
    };
    s.startProgram = [this](std::string_view program, std::string_view folder) {
      calls.push_back("start " + std::string(program) + " in " + std::string(folder));
      return startWorks;
    };
    s.probeInstanceMutex = [this](std::string_view name) {
      calls.push_back("probe " + std::string(name));
      return mutexExisted;
    };
    s.findWindow = [this](std::string_view title) {
      calls.push_back("find " + std::string(title));
      return window;
    };
    s.setForegroundWindow = [this](qv::WindowHandle) { return calls.push_back("foreground"), true; };
    s.isIconic = [this](qv::WindowHandle) { return minimised; };
    s.restoreWindow = [this](qv::WindowHandle) { return calls.push_back("restore"), true; };
    s.messageBox = [this](std::string_view text, std::string_view caption) {
      messages.push_back(std::string(caption) + ": " + std::string(text));
    };
    s.refreshPayload = [this](std::string_view folder, std::string_view title) {
      calls.push_back("payload " + std::string(folder) + " as " + std::string(title));
      return payloadWorks;
    };
    s.runRepairDialog = [this] { calls.push_back("dialog"); };
    return s;
  }

  bool Run() { return CRepairApp(Services()).InitInstance(); }
};

using Calls = std::vector<std::string>;

TEST(Admission, BuildsOfOneEraAndRealDrivesNeedThePrivilege) {
  struct Case {
    unsigned build;
    bool realDrives;
    bool administrator;
    bool admitted;
    bool asked;
  };
  const Case cases[] = {
      // Simulated drives: only builds 2195..5999 ask.
      {0, false, false, true, false},      // version unreadable (this system)
      {409, false, false, true, false},    // 98
      {410, false, false, true, false},    // 98 SE
      {420, false, false, true, false},    // Me
      {1381, false, false, true, false},   // NT 4
      {2194, false, false, true, false},
      {2195, false, false, false, true},   // 2000
      {2195, false, true, true, true},
      {2600, false, false, false, true},   // XP
      {3790, false, true, true, true},     // Server 2003
      {5999, false, false, false, true},
      {6000, false, false, true, false},   // Vista on
      {7601, false, false, true, false},
      // Real drives need the privilege whatever the build.
      {0, true, false, false, true},
      {0, true, true, true, true},
      {6000, true, false, false, true},
      {2600, true, true, true, true},
  };
  for (const Case& c : cases) {
    int asked = 0;
    bool admitted = IsStartAdmitted(c.build, c.realDrives, [&] { return ++asked, c.administrator; });
    EXPECT_EQ(admitted, c.admitted) << c.build << " real=" << c.realDrives;
    EXPECT_EQ(asked, c.asked ? 1 : 0) << c.build << " real=" << c.realDrives;
  }
}

TEST(Admission, RawIoPrivilegeIsRootOrTheCapability) {
  const std::string withRawio = "Name:\tx\nCapInh:\t0\nCapEff:\t0000000000020000\nCapBnd:\t1\n";
  const std::string full = "\nCapEff:\t000001ffffffffff\n";
  const std::string belowRawio = "\nCapEff:\t000000000001ffff\n";  // bits 0..16
  const std::string aboveRawio = "\nCapEff:\t0000000000fc0000\n";  // bits 18..23
  const std::string none = "\nCapEff:\t0000000000000000\n";
  EXPECT_TRUE(HasRawIoPrivilege(0, none));
  EXPECT_TRUE(HasRawIoPrivilege(1000, withRawio));
  EXPECT_TRUE(HasRawIoPrivilege(1000, full));
  EXPECT_FALSE(HasRawIoPrivilege(1000, none));
  EXPECT_FALSE(HasRawIoPrivilege(1000, belowRawio));
  EXPECT_FALSE(HasRawIoPrivilege(1000, aboveRawio));
  EXPECT_FALSE(HasRawIoPrivilege(1000, "\nCapBnd:\t0000000000020000\n"));  // bounding set only
  EXPECT_FALSE(HasRawIoPrivilege(1000, ""));
}

TEST(Admission, AnEmptySimulatorNameMeansRealDrives) {
  const char* saved = std::getenv("QUORVIN_SIM");
  std::string keep = saved ? saved : "";
  setenv("QUORVIN_SIM", "", 1);
  EXPECT_TRUE(UsesRealDrives());
  setenv("QUORVIN_SIM", "/some/machine", 1);
  EXPECT_FALSE(UsesRealDrives());
  unsetenv("QUORVIN_SIM");
  EXPECT_TRUE(UsesRealDrives());
  if (saved) setenv("QUORVIN_SIM", keep.c_str(), 1);
}

TEST(StartDecision, RefusedStartShowsStringFourInTheUsersLanguageAndDoesNothingElse) {
  const std::pair<uint16_t, const char*> languages[] = {
      {kLangEnglishUs, "This program can only be executed with administrative privilege!"},
      {kLangTraditionalChinese, "必須有系統管理員權限才能執行此程式"},
      {kLangSimplifiedChinese, "必须有系统管理员权限才能执行此程式"},
  };
  for (const auto& [language, text] : languages) {
    FakeStart start;
    start.build = 2600;
    start.language = language;
    EXPECT_FALSE(start.Run());
    EXPECT_EQ(start.messages, Calls{std::string("QuorvinPlus: ") + text});
    EXPECT_TRUE(start.calls.empty());
    EXPECT_FALSE(fs::exists(start.work));
    EXPECT_EQ(g_osBuildNumber, 2600u);
  }
}

TEST(StartDecision, LauncherMakesAPrivateFolderCopiesTheRunningProgramAndStartsIt) {
  FakeStart start;
  start.realDrives = true;
  start.administrator = true;
  EXPECT_FALSE(start.Run());
  EXPECT_EQ(start.adminQuestions, 1);
  std::string target = start.work + "/Quorvin.exe";
  EXPECT_EQ(start.calls, (Calls{"chdir " + start.work,
                                "copy " + start.source + " " + target,
                                "start " + target + " in " + start.work}));
  EXPECT_TRUE(start.messages.empty());
  EXPECT_EQ(ModeOf(start.work), 0700u);
  EXPECT_EQ(ReadBytes(target), "program bytes");
}

TEST(StartDecision, ReadOnlyLeftoverCopyIsReplaced) {
  FakeStart start;
  fs::create_directory(start.work);
  chmod(start.work.c_str(), 0700);
  std::string target = start.work + "/Quorvin.exe";
  WriteBytes(target, "an older, longer program image");
  chmod(target.c_str(), 0444);
  start.Run();
  EXPECT_EQ(ReadBytes(target), "program bytes");
  EXPECT_NE(ModeOf(target) & S_IWUSR, 0u);  // archive alone: not read-only
  EXPECT_TRUE(start.messages.empty());
}

TEST(StartDecision, LauncherFailuresShowTheirMessage) {
  {
    FakeStart start;
    start.currentFolderWorks = false;
    start.Run();
    EXPECT_EQ(start.messages, Calls{"QuorvinPlus: Change current dir failed!!"});
    EXPECT_EQ(start.calls, Calls{"chdir " + start.work});  // no copy
  }
  {
    FakeStart start;
    start.startWorks = false;
    start.Run();
    EXPECT_EQ(start.messages, Calls{"QuorvinPlus: Create process failed!!"});
  }
}

TEST(StartDecision, HijackedWorkingFolderIsRefused) {
  enum class Kind { kLinkToFolder, kDanglingLink, kWritableByOthers };
  for (Kind kind : {Kind::kLinkToFolder, Kind::kDanglingLink, Kind::kWritableByOthers}) {
    FakeStart start;
    std::string elsewhere = start.home / "elsewhere";
    fs::create_directory(elsewhere);
    chmod(elsewhere.c_str(), 0700);
    switch (kind) {
      case Kind::kLinkToFolder: fs::create_directory_symlink(elsewhere, start.work); break;
      case Kind::kDanglingLink: fs::create_symlink(start.home / "gone", start.work); break;
      case Kind::kWritableByOthers:
        fs::create_directory(start.work);
        chmod(start.work.c_str(), 0777);
        break;
    }
    start.Run();
    ASSERT_EQ(start.messages.size(), 1u) << static_cast<int>(kind);
    EXPECT_NE(start.messages[0].find(kWorkFolderNotPrivate), std::string::npos);
    EXPECT_NE(start.messages[0].find(start.work), std::string::npos);
    EXPECT_TRUE(start.calls.empty()) << static_cast<int>(kind);
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_FALSE(fs::exists(start.home / "gone"));
  }
}

TEST(StartDecision, AFileInTheFolderPlaceEndsTheLauncherSilently) {
  FakeStart start;
  WriteBytes(start.work, "not a folder");
  start.Run();
  EXPECT_TRUE(start.messages.empty());
  EXPECT_TRUE(start.calls.empty());
}

TEST(StartDecision, NoPrivateTemporaryFolderIsRefused) {
  FakeStart start;
  start.temp.clear();
  start.Run();
  EXPECT_EQ(start.messages, Calls{std::string("QuorvinPlus: ") + kNoPrivateTempFolder});
  EXPECT_TRUE(start.calls.empty());
}

TEST(StartDecision, FailedCopyProbesTheMutexAndBringsTheWindowForward) {
  struct Case {
    bool mutexExisted;
    bool windowFound;
    bool minimised;
    Calls after;  // calls after the copy
  };
  const std::string probe = std::string("probe ") + kInstanceMutexName;
  const Case cases[] = {
      {false, true, true, {probe}},  // this launcher created the mutex
      {true, false, false, {probe, "find Quorvin"}},
      {true, true, false, {probe, "find Quorvin", "foreground"}},
      {true, true, true, {probe, "find Quorvin", "foreground", "restore"}},
  };
  for (const Case& c : cases) {
    FakeStart start;
    start.copyResult = false;
    start.mutexExisted = c.mutexExisted;
    start.window = c.windowFound ? 7 : qv::kNoWindow;
    start.minimised = c.minimised;
    start.Run();
    ASSERT_GE(start.calls.size(), 2u);
    EXPECT_EQ(Calls(start.calls.begin() + 2, start.calls.end()), c.after);
    EXPECT_TRUE(start.messages.empty());
  }
}

TEST(StartDecision, StartFromTheWorkingFolderUnderAnyNameOrCaseIsTheRelocatedCopy) {
  struct Case {
    const char* folder;  // under the temporary folder
    const char* program;
    const char* title;
  };
  const Case cases[] = {
      {"RevUdi", "Quorvin.exe", "Quorvin"},
      {"RevUdi", "QuorvinPlus", "QuorvinPlus"},
      {"revudi", "qUoRvIn.ExE", "qUoRvIn"},
      {"REVUDI", "tool.bin.exe", "tool.bin"},
  };
  for (const Case& c : cases) {
    FakeStart start;
    std::string folder = start.temp + c.folder;
    fs::create_directory(folder);
    chmod(folder.c_str(), 0700);
    start.modulePath = folder + "/" + c.program;
    start.Run();
    EXPECT_EQ(start.calls, (Calls{"payload " + folder + " as " + c.title, "dialog"})) << c.program;
    EXPECT_TRUE(start.messages.empty());
  }
}

TEST(StartDecision, RelocatedCopyEndsWithoutTheDialogWhenThePayloadFails) {
  FakeStart start;
  fs::create_directory(start.work);
  start.modulePath = start.work + "/Quorvin.exe";
  start.payloadWorks = false;
  start.Run();
  EXPECT_EQ(start.calls, Calls{"payload " + start.work + " as Quorvin"});
}

TEST(StartDecision, TemporaryFolderNamedThroughALinkStillFindsTheRelocatedCopy) {
  // The program's own path is resolved; the temporary folder's name may not be.
  FakeStart start;
  fs::create_directory(start.work);
  std::string alias = start.home / "alias";
  fs::create_directory_symlink(start.home.path(), alias);
  start.temp = alias + "/";
  start.modulePath = start.work + "/Quorvin.exe";
  start.Run();
  EXPECT_EQ(start.calls, (Calls{"payload " + start.work + " as Quorvin", "dialog"}));
}

TEST(StartDecision, RelocatedCopyRefusesAFolderOthersCanWrite) {
  FakeStart start;
  fs::create_directory(start.work);
  chmod(start.work.c_str(), 0777);
  start.modulePath = start.work + "/Quorvin.exe";
  start.Run();
  ASSERT_EQ(start.messages.size(), 1u);
  EXPECT_EQ(start.messages[0].rfind(std::string("Quorvin: ") + kWorkFolderNotPrivate, 0), 0u);
  EXPECT_TRUE(start.calls.empty());
}

TEST(StartDecision, ApplicationTitleIsTheFileNameWithoutExtension) {
  EXPECT_EQ(ApplicationTitle("/tmp/u/RevUdi/Quorvin.exe"), "Quorvin");
  EXPECT_EQ(ApplicationTitle("/usr/bin/QuorvinPlus"), "QuorvinPlus");
  EXPECT_EQ(ApplicationTitle("C:\\Tools\\QuorvinPlus.EXE"), "QuorvinPlus");
  EXPECT_EQ(ApplicationTitle("/opt/.hidden"), ".hidden");
  EXPECT_EQ(ApplicationTitle(""), "");
}

TEST(OsBuild, NineXReleasesAreRenumberedAndOthersKeepTheirBuild) {
  struct Case {
    uint32_t platform, major, minor, build;
    const char* servicePack;
    unsigned expected;
  };
  const Case cases[] = {
      {qv::kPlatformWindows, 4, 0, 0x040003B6, "", 950},     // 95: low 16 bits
      {qv::kPlatformWindows, 4, 10, 0x040A07CE, "", 409},    // 98
      {qv::kPlatformWindows, 4, 10, 0x040A08AE, " A ", 410}, // 98 SE
      {qv::kPlatformWindows, 4, 10, 0x040A08AE, "A", 409},   // 'A' must be second
      {qv::kPlatformWindows, 4, 90, 0x045A0BB8, "", 420},    // Me
      {qv::kPlatformNt, 4, 0, 1381, "Service Pack 6", 1381},
      {qv::kPlatformNt, 5, 1, 2600, "", 2600},
      {qv::kPlatformNt, 10, 0, 0x10000 + 19045, "", 19045},
      {qv::kPlatformWin32s, 3, 10, 0x0000000A, "", 10},
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> sizes;
    unsigned build = GetOsBuildNumber([&](qv::OsVersionInfoEx* info) {
      sizes.push_back(info->dwOSVersionInfoSize);
      info->dwPlatformId = c.platform;
      info->dwMajorVersion = c.major;
      info->dwMinorVersion = c.minor;
      info->dwBuildNumber = c.build;
      snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%s", c.servicePack);
      return true;
    });
    EXPECT_EQ(build, c.expected) << c.major << "." << c.minor << " " << c.build;
    EXPECT_EQ(sizes, std::vector<uint32_t>{156});
  }
}

TEST(OsBuild, PlainRecordIsTriedWhenTheExtendedFailsAndNothingGivesZero) {
  std::vector<uint32_t> sizes;
  unsigned build = GetOsBuildNumber([&](qv::OsVersionInfoEx* info) {
    sizes.push_back(info->dwOSVersionInfoSize);
    if (info->dwOSVersionInfoSize != 148) return false;
    info->dwPlatformId = qv::kPlatformNt;
    info->dwBuildNumber = 1381;
    return true;
  });
  EXPECT_EQ(build, 1381u);
  EXPECT_EQ(sizes, (std::vector<uint32_t>{156, 148}));

  sizes.clear();
  EXPECT_EQ(GetOsBuildNumber([&](qv::OsVersionInfoEx* info) {
              sizes.push_back(info->dwOSVersionInfoSize);
              return false;
            }),
            0u);
  EXPECT_EQ(sizes, (std::vector<uint32_t>{156, 148}));
  EXPECT_EQ(GetOsBuildNumber(), 0u);  // this system has no such version service
}

TEST(StringTable, LocaleChoosesTheTable) {
  const std::pair<const char*, uint16_t> cases[] = {
      {"zh_TW.UTF-8", kLangTraditionalChinese}, {"zh_HK", kLangTraditionalChinese},
      {"zh_TW.Big5@stroke", kLangTraditionalChinese}, {"zh_CN.UTF-8", kLangSimplifiedChinese},
      {"zh_SG", kLangSimplifiedChinese}, {"zh", kLangSimplifiedChinese},
      {"zh.UTF-8", kLangSimplifiedChinese}, {"en_US.UTF-8", kLangEnglishUs},
      {"C", kLangEnglishUs}, {"POSIX", kLangEnglishUs},
      {"zhx_TW", kLangEnglishUs}, {"", kLangEnglishUs},
  };
  for (const auto& [locale, language] : cases) EXPECT_EQ(LanguageOfLocale(locale), language) << locale;
}

TEST(StringTable, FirstSetLocaleVariableDecides) {
  const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> saved;
  for (const char* n : names) {
    const char* v = std::getenv(n);
    saved.push_back(v ? std::optional<std::string>(v) : std::nullopt);
  }
  setenv("LC_ALL", "", 1);  // set but empty: skipped
  setenv("LC_MESSAGES", "zh_HK.UTF-8", 1);
  setenv("LANG", "zh_CN.UTF-8", 1);
  EXPECT_EQ(UserLanguage(), kLangTraditionalChinese);
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(UserLanguage(), kLangEnglishUs);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  EXPECT_EQ(UserLanguage(), kLangSimplifiedChinese);
  unsetenv("LANG");
  EXPECT_EQ(UserLanguage(), kLangEnglishUs);
  for (size_t i = 0; i < saved.size(); ++i)
    if (saved[i]) setenv(names[i], saved[i]->c_str(), 1);
}

TEST(StringTable, UnknownIdsAreEmpty) {
  EXPECT_EQ(LoadString(9999, kLangEnglishUs), "");
  EXPECT_EQ(LoadString(kIdsAdministratorRequired, 1031),  // a language without a table
            LoadString(kIdsAdministratorRequired, kLangEnglishUs));
}

TEST(InstanceProbe, OutcomesOfTheFirstCallAndNothingAfterIt) {
  using R = qv::NamedMutexResult;
  const std::pair<R, bool> cases[] = {
      {R::kCreated, false}, {R::kAlreadyExists, true}, {R::kAccessDenied, true}, {R::kFailed, false}};
  for (const auto& [outcome, expected] : cases) {
    int created = 0;
    InstanceMutexProbe probe([&](std::string_view name) {
      EXPECT_EQ(name, kInstanceMutexName);
      return ++created, outcome;
    });
    EXPECT_EQ(probe.Probe(kInstanceMutexName), expected);
    EXPECT_FALSE(probe.Probe(kInstanceMutexName));  // held by this process now
    EXPECT_EQ(created, 1);
  }
}

}  // namespace
