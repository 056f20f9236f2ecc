// CRepairDlg, the program's only window: a modal dialog on template 102.
// While it initialises it finds the drive through the device library,
// refuses drives and systems that it cannot serve and shows the drive's
// description and firmware version. Button 1 runs a repair in two phases:
// the revert (ThreadRevert, polled by timer 2) and the device library's
// repair (ThreadRepair, polled by timer 1), with the re-plug watch of
// timer 3 between them for a KR423 drive that carries firmware.
#pragma once
#include <QCheckBox>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "app/console/device_library_binding.h"
#include "app/console/repair_context.h"
#include "app/console/repair_workers.h"
#include "app/controls/percent_progress_ctrl.h"
#include "app/controls/pie_chart_ctrl.h"

class CReplugDlg;
class DeviceWatch;

// Dialog results.
inline constexpr int kResultLibraryMissing = 1;  // also the OK command's id
inline constexpr int kResultEnded = 2;           // also the cancel command's id

inline constexpr char kApplicationName[] = "QuorvinPlus";
inline constexpr char kDravikMissing[] = "Can't find Dravik.dll";

// Timer ids and their intervals in milliseconds.
inline constexpr int kRepairTimer = 1;
inline constexpr int kRevertTimer = 2;
inline constexpr int kReplugTimer = 3;
inline constexpr unsigned kRepairTimerMs = 500;
inline constexpr unsigned kRevertTimerMs = 1000;
inline constexpr unsigned kReplugTimerMs = 100;
// The pauses of the run (before the prompt, before the release, before the
// final box).
inline constexpr unsigned kRunPauseMs = 1000;

class CRepairDlg : public QDialog {
 public:
  struct Options {
    // The device library's module name ("Dravik" beside the program).
    std::string deviceLibraryName = DeviceLibraryBinding::kDefaultLibraryName;
    // The sort library import; null: the program's (Sievex.dll beside it).
    SievexImport* sievex = nullptr;
    // Folder of Device.ini; empty: the program's folder.
    std::string programFolder;
    // Multiplies every timer interval and pause (tests run faster with a
    // factor below 1; the intervals themselves are the constants above).
    double timeScale = 1.0;
    // Watch device notifications (udev, or the simulator's events).
    bool watchDevices = true;
  };

  explicit CRepairDlg(Options options);
  CRepairDlg() : CRepairDlg(Options{}) {}
  ~CRepairDlg() override;

  // Runs OnInitDialog and, unless it ended the dialog, the dialog modally.
  // Returns the dialog's result.
  int DoModal();

  // The handlers (public so that tests can drive them as the system would).
  bool OnInitDialog();
  void OnRepair();
  void OnTimer(int id);
  bool OnDeviceChange(uint32_t event, uintptr_t data);
  // Button 2 and the window's close: ends the dialog once no worker runs.
  void OnClose();

  void EndDialog(int result);
  bool Ended() const { return m_ended; }
  int Result() const { return m_result; }
  bool TimerRunning(int id) const { return m_timers.count(id) != 0; }
  QWidget* Control(int id) const;
  CPercentProgressCtrl* ProgressBar() const { return m_progress; }
  CPieChartCtrl& PieChart() { return m_pie; }
  CReplugDlg* ReplugPrompt() const { return m_replugPrompt.get(); }
  QString DeviceInfoText() const { return m_deviceInfoText; }
  QString BadBlockText() const { return m_badBlockText; }
  const std::string& ApplicationName() const { return m_appName; }
  DeviceLibraryBinding& Library() { return m_library; }
  // The device library's handle; the dialog never destroys it.
  DravikDevice Device() const { return m_device; }

 protected:
  void DoDataExchange(bool saveAndValidate);
  void timerEvent(QTimerEvent* event) override;
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void ReadDeviceIni();
  void ShowDeviceInfo();
  std::string ReadNewFWVersion();
  void PrepareRevert();
  void GetInput();
  void StartDeviceRepair();
  void ReleaseSecondPhase();
  void EndRunWithMessage(int stringId);

  int Message(const std::string& text, unsigned buttons = 0);
  void SetTimer(int id, unsigned intervalMs);
  void KillTimer(int id);
  void Pause(unsigned milliseconds);
  void FinishClose();

  Options m_options;
  RepairContext& m_context;
  // Declared before the workers: the library outlives them, so Dravik.dll
  // is never freed while a worker runs in it.
  DeviceLibraryBinding m_library;
  DravikDevice m_device = nullptr;
  struct WorkerParam {
    DravikDevice device = nullptr;
    DeviceLibraryBinding* library = nullptr;
  } workerParam;
  std::unique_ptr<RepairWorkers> m_workers;

  CPieChartCtrl m_pie;
  QIcon m_icon;
  std::map<int, QWidget*> m_controls;
  QLabel* m_status = nullptr;          // 1011
  QLabel* m_badBlockStatic = nullptr;  // 1006
  QLabel* m_bitmap = nullptr;          // 1010
  QLabel* m_deviceInfoStatic = nullptr;  // 1007
  QLabel* m_newFwVersion = nullptr;    // 1009
  QCheckBox* m_updateFirmware = nullptr;  // 1008
  CPercentProgressCtrl* m_progress = nullptr;  // 1001
  QString m_badBlockText;
  QString m_deviceInfoText;

  std::string m_appName;
  std::map<int, int> m_timers;  // our id -> Qt's id
  std::unique_ptr<CReplugDlg> m_replugPrompt;
  std::unique_ptr<DeviceWatch> m_deviceWatch;
  bool m_initialised = false;
  bool m_ended = false;
  bool m_closing = false;
  int m_result = 0;
  int m_closePollTimer = 0;
};
