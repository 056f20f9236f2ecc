// The program's start-up: every start decides once what this process is.
//  - A refused start: the user lacks the privilege the start needs; a
//    message, and the process ends.
//  - A launcher: started from anywhere but the working folder (the user's
//    temporary folder + "RevUdi"); copies the program there as Quorvin.exe,
//    starts that copy and ends.
//  - The relocated copy: running from the working folder; writes the
//    carried files, unpacks the boot archive, runs the repair dialog and
//    ends when it closes.
// No Qt here: the dialog is run through a function the program supplies.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/window_search.h"

inline constexpr char kWorkFolderName[] = "RevUdi";
inline constexpr char kRelocatedProgramName[] = "Quorvin.exe";
inline constexpr char kLauncherWindowTitle[] = "Quorvin";

inline constexpr char kChangeDirFailed[] = "Change current dir failed!!";
inline constexpr char kCreateProcessFailed[] = "Create process failed!!";
// The working folder is where the program loads its libraries from, so a
// folder that someone else could have put there or can write is refused.
inline constexpr char kNoPrivateTempFolder[] =
    "No private temporary folder is available for the working folder.";
inline constexpr char kWorkFolderNotPrivate[] =
    "The working folder is not safe to use: it is a link, belongs to another user or can be "
    "written by others. Remove it and start the program again:";

// The services the start-up uses, each replaceable for tests. Defaults
// (DefaultStartupServices) are the platform's; folders, attributes and the
// lookup of the working folder are always the platform's file services.
struct StartupServices {
  std::function<unsigned()> osBuildNumber;
  std::function<bool()> isUserAdministrator;
  std::function<bool()> usesRealDrives;
  std::function<uint16_t()> userLanguage;
  // The user's private temporary folder with a trailing '/', empty if none.
  std::function<std::string()> tempFolder;
  // The running program's full path (its module path).
  std::function<std::string()> modulePath;
  // A path that opens the running program's own file, the copy's source.
  std::function<std::string()> programFile;
  std::function<bool(std::string_view folder)> setCurrentFolder;
  std::function<bool(std::string_view source, std::string_view target)> copyProgram;
  std::function<bool(std::string_view program, std::string_view folder)> startProgram;
  std::function<bool(std::string_view name)> probeInstanceMutex;
  std::function<qv::WindowHandle(std::string_view title)> findWindow;
  std::function<bool(qv::WindowHandle)> setForegroundWindow;
  std::function<bool(qv::WindowHandle)> isIconic;
  std::function<bool(qv::WindowHandle)> restoreWindow;
  std::function<void(std::string_view text, std::string_view caption)> messageBox;
  // Writes the carried files into the folder and unpacks the boot archive;
  // false (after its own message) when the start-up must end.
  std::function<bool(std::string_view folder, std::string_view title)> refreshPayload;
  // Runs the repair dialog modally; returns when it has closed.
  std::function<void()> runRepairDialog;
};

StartupServices DefaultStartupServices(std::function<void()> runRepairDialog);

// The application title: the program file's name without its extension.
std::string ApplicationTitle(std::string_view modulePath);

// Whether `programDir` is the working folder: the same text ignoring case
// (ASCII), or the same folder on disk under another spelling.
bool IsWorkFolder(std::string_view programDir, std::string_view workFolder);

class CRepairApp {
 public:
  explicit CRepairApp(StartupServices services) : m_services(std::move(services)) {}

  // Makes the start-up decision and carries it out. Always false: the
  // process ends when it returns.
  bool InitInstance();

 private:
  void RunLauncher(const std::string& workFolder, const std::string& title);
  void RunRelocatedCopy(const std::string& programDir, const std::string& title);
  // Refuses (with a message) a working folder that is not private.
  bool CheckPrivate(const std::string& folder, const std::string& title);

  StartupServices m_services;
};
