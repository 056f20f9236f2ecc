#include "app/startup/repair_app.h"

#include <strings.h>
#include <sys/stat.h>

#include "app/startup/admission.h"
#include "app/startup/instance_probe.h"
#include "app/startup/os_build.h"
#include "app/startup/payload.h"
#include "app/startup/string_table.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/process.h"

StartupServices DefaultStartupServices(std::function<void()> runRepairDialog) {
  StartupServices s;
  s.osBuildNumber = [] { return GetOsBuildNumber(); };
  s.isUserAdministrator = [] { return IsUserAdministrator(); };
  s.usesRealDrives = [] { return UsesRealDrives(); };
  s.userLanguage = [] { return UserLanguage(); };
  s.tempFolder = [] { return qv::UserTempFolder(); };
  s.modulePath = [] { return qv::ExecutablePath(); };
  s.programFile = [] { return qv::RunningProgramFile(); };
  s.setCurrentFolder = [](std::string_view folder) { return qv::SetCurrentDirectory(folder); };
  s.copyProgram = [](std::string_view source, std::string_view target) {
    return qv::CopyFile(source, target, false);
  };
  s.startProgram = [](std::string_view program, std::string_view folder) {
    return qv::StartProgram(program, folder);
  };
  s.probeInstanceMutex = [](std::string_view name) { return ProbeInstanceMutex(name); };
  s.findWindow = [](std::string_view title) { return qv::FindWindowByTitle(title); };
  s.setForegroundWindow = [](qv::WindowHandle w) { return qv::SetForegroundWindow(w); };
  s.isIconic = [](qv::WindowHandle w) { return qv::IsIconic(w); };
  s.restoreWindow = [](qv::WindowHandle w) { return qv::RestoreWindow(w); };
  s.messageBox = [](std::string_view text, std::string_view caption) {
    qv::MessageBox(text, caption, qv::kMbOk);
  };
  s.refreshPayload = [](std::string_view folder, std::string_view title) {
    return RefreshPayload(folder, title);
  };
  s.runRepairDialog = std::move(runRepairDialog);
  return s;
}

std::string ApplicationTitle(std::string_view modulePath) {
  size_t slash = modulePath.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? modulePath : modulePath.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name);
}

bool IsWorkFolder(std::string_view programDir, std::string_view workFolder) {
  if (programDir.size() == workFolder.size() &&
      strncasecmp(programDir.data(), workFolder.data(), programDir.size()) == 0)
    return true;
  // The program's own path is the system's resolved one, while the
  // temporary folder may be named through a link or with redundant parts:
  // the same folder on disk is the working folder all the same.
  struct stat a, b;
  return stat(qv::HostPath(programDir).c_str(), &a) == 0 &&
         stat(qv::HostPath(workFolder).c_str(), &b) == 0 && S_ISDIR(a.st_mode) &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool CRepairApp::InitInstance() {
  g_osBuildNumber = m_services.osBuildNumber();
  std::string modulePath = m_services.modulePath();
  std::string title = ApplicationTitle(modulePath);

  if (!IsStartAdmitted(g_osBuildNumber, m_services.usesRealDrives(),
                       m_services.isUserAdministrator)) {
    m_services.messageBox(LoadString(kIdsAdministratorRequired, m_services.userLanguage()),
                          title);
    return false;
  }

  std::string tempFolder = m_services.tempFolder();
  if (tempFolder.empty()) {
    // Without it the working folder would be a relative name in whatever
    // folder the program was started from.
    m_services.messageBox(kNoPrivateTempFolder, title);
    return false;
  }
  if (tempFolder.back() != '/' && tempFolder.back() != '\\') tempFolder += '/';
  std::string workFolder = tempFolder + kWorkFolderName;
  std::string programDir = qv::DirectoryOf(modulePath);

  if (IsWorkFolder(programDir, workFolder))
    RunRelocatedCopy(programDir, title);
  else
    RunLauncher(workFolder, title);
  return false;
}

bool CRepairApp::CheckPrivate(const std::string& folder, const std::string& title) {
  std::string host = qv::HostPath(folder);
  if (qv::IsPrivateFolder(host)) return true;
  m_services.messageBox(std::string(kWorkFolderNotPrivate) + "\n" + host, title);
  return false;
}

void CRepairApp::RunLauncher(const std::string& workFolder, const std::string& title) {
  struct stat st;
  std::string host = qv::HostPath(workFolder);
  if (lstat(host.c_str(), &st) == 0) {
    // A link is refused even when it leads to a folder of this user: its
    // target can change between this check and the start of the copy.
    if (S_ISLNK(st.st_mode) || S_ISDIR(st.st_mode)) {
      if (!CheckPrivate(workFolder, title)) return;
    } else {
      return;  // some other file holds the name: the folder cannot be made
    }
  } else {
    if (!qv::CreateDirectory(workFolder, 0700)) return;
    if (!CheckPrivate(workFolder, title)) return;
  }

  if (!m_services.setCurrentFolder(workFolder)) {
    m_services.messageBox(kChangeDirFailed, title);
    return;
  }

  std::string target = workFolder + "/" + kRelocatedProgramName;
  // A read-only copy left by an earlier start must not stop this one.
  if (qv::PathExists(target)) qv::SetFileAttributes(target, qv::kAttrArchive);
  // The source is the running program's own file, not argument 0: that is
  // relative or a bare name for most starts and would not be found from
  // the working folder.
  if (m_services.copyProgram(m_services.programFile(), target)) {
    if (!qv::SetFileAttributes(target, qv::kAttrArchive)) return;
    if (!m_services.startProgram(target, workFolder))
      m_services.messageBox(kCreateProcessFailed, title);
    return;
  }

  // The copy fails while a relocated copy runs from the target. Another
  // launcher holding the instance mutex means a start is in progress; its
  // window, if this desktop can find it, is brought forward.
  if (!m_services.probeInstanceMutex(kInstanceMutexName)) return;
  qv::WindowHandle window = m_services.findWindow(kLauncherWindowTitle);
  if (window == qv::kNoWindow) return;
  m_services.setForegroundWindow(window);
  if (m_services.isIconic(window)) m_services.restoreWindow(window);
}

void CRepairApp::RunRelocatedCopy(const std::string& programDir, const std::string& title) {
  // The libraries are loaded from this folder: it must be as private as
  // the launcher demands.
  if (!CheckPrivate(programDir, title)) return;
  // The carried files go beside the running program, which is this folder
  // in whatever spelling the system gave for it.
  if (!m_services.refreshPayload(programDir, title)) return;
  m_services.runRepairDialog();
}
