#include "app/console/repair_dlg.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QPainter>
#include <QPixmap>
#include <QRadioButton>
#include <QTimerEvent>

#include <cmath>
#include <cstring>

#include "app/console/device_info.h"
#include "app/console/device_watch.h"
#include "app/console/dialog_template.h"
#include "app/console/replug_dlg.h"
#include "app/console/string_table.h"
#include "app/startup/os_build.h"
#include "app/startup/repair_app.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/trace.h"

namespace {

constexpr int kRepairButtonId = 1;
constexpr int kCloseButtonId = 2;
constexpr int kPieChartId = 1000;
constexpr int kProgressId = 1001;
constexpr int kDiskInfoGroupId = 1002;
constexpr int kRepairOptionGroupId = 1003;
constexpr int kFastRadioId = 1004;
constexpr int kCompleteRadioId = 1005;
constexpr int kBadBlockTextId = 1006;
constexpr int kDeviceInfoTextId = 1007;
constexpr int kUpdateFirmwareId = 1008;
constexpr int kNewFwVersionId = 1009;
constexpr int kBitmapId = 1010;
constexpr int kStatusTextId = 1011;

constexpr uint16_t kChipKR423 = 0x423;
constexpr uint16_t kChipKR428 = 0x428;
constexpr uint16_t kChipKR421 = 0x421;
constexpr uint16_t kChipVersionRefusedOnNewerSystems = 0x11;
constexpr unsigned kLastAcceptedBuildForThatVersion = 2600;

constexpr COLORREF kBadSliceColor = 0x0000FF;  // red
constexpr COLORREF kBadSliceTextColor = 0;     // black
constexpr int kClosePollMs = 50;

// Texts a Close shows while it waits for a worker.
constexpr char kStoppingRevert[] = "Stopping the repair, please wait...";
constexpr char kWaitingForDeviceRepair[] = "Waiting for the device repair to finish...";

// The program's icon (resource 128): a drive with a check mark.
QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double u = size / 16.0;
    painter.setPen(QPen(QColor(40, 40, 90), u));
    painter.setBrush(QColor(70, 110, 200));
    painter.drawRoundedRect(QRectF(3 * u, 1 * u, 10 * u, 12 * u), 1.5 * u, 1.5 * u);
    painter.setBrush(QColor(200, 200, 200));
    painter.drawRect(QRectF(5.5 * u, 12.5 * u, 5 * u, 2.5 * u));
    painter.setPen(QPen(Qt::white, 1.6 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({QPointF(5.5 * u, 7 * u), QPointF(7.5 * u, 9 * u), QPointF(10.5 * u, 4.5 * u)}));
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CRepairDlg::CRepairDlg(Options options)
    : QDialog(nullptr),
      m_options(std::move(options)),
      m_context(TheRepairContext()),
      m_library(m_options.deviceLibraryName.c_str()) {
  m_context.Reset();
  m_workers = std::make_unique<RepairWorkers>(m_options.sievex ? *m_options.sievex : ProgramSievexImport(),
                                              m_library);
  m_icon = ProgramIcon();
  m_appName = ApplicationTitle(qv::ExecutablePath());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  if (m_options.watchDevices)
    m_deviceWatch = DeviceWatch::ForThisProcess([this](uint32_t event) { OnDeviceChange(event, 0); });
}

CRepairDlg::~CRepairDlg() {
  for (auto& [id, qtId] : m_timers) killTimer(qtId);
  m_timers.clear();
  m_deviceWatch.reset();
  // Every worker has ended before the binding (and with it Dravik.dll) goes.
  // Events are still served meanwhile: a library that shows a message box
  // from a worker waits for this thread to show it.
  m_workers->RequestStop();
  while (m_workers->Busy()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, kClosePollMs);
    qv::SleepMs(1);
  }
  m_workers.reset();
  m_context.replugPrompt = nullptr;
  m_replugPrompt.reset();
}

int CRepairDlg::DoModal() {
  OnInitDialog();
  if (m_ended) return m_result;
  setModal(true);
  const int shown = exec();
  return m_ended ? m_result : shown;
}

QWidget* CRepairDlg::Control(int id) const {
  auto found = m_controls.find(id);
  return found == m_controls.end() ? nullptr : found->second;
}

void CRepairDlg::DoDataExchange(bool saveAndValidate) {
  if (!m_progress) {
    m_status = qobject_cast<QLabel*>(Control(kStatusTextId));
    m_badBlockStatic = qobject_cast<QLabel*>(Control(kBadBlockTextId));
    m_bitmap = qobject_cast<QLabel*>(Control(kBitmapId));
    m_deviceInfoStatic = qobject_cast<QLabel*>(Control(kDeviceInfoTextId));
    m_newFwVersion = qobject_cast<QLabel*>(Control(kNewFwVersionId));
    m_updateFirmware = qobject_cast<QCheckBox*>(Control(kUpdateFirmwareId));
    m_progress = dynamic_cast<CPercentProgressCtrl*>(Control(kProgressId));
  }
  if (saveAndValidate) {
    if (m_badBlockStatic) m_badBlockText = m_badBlockStatic->text();
    if (m_deviceInfoStatic) m_deviceInfoText = m_deviceInfoStatic->text();
  } else {
    if (m_badBlockStatic) m_badBlockStatic->setText(m_badBlockText);
    if (m_deviceInfoStatic) m_deviceInfoStatic->setText(m_deviceInfoText);
  }
}

bool CRepairDlg::OnInitDialog() {
  m_initialised = true;
  // Base initialisation: the controls of template 102, bound to members;
  // m_pie takes control 1000's place.
  m_controls = BuildDialogControls(*this, RepairDialogTemplate(), {{kPieChartId, &m_pie}});
  setWindowTitle(FromUtf8(std::string(RepairDialogTemplate().caption)));
  DoDataExchange(false);
  if (auto* repair = qobject_cast<QPushButton*>(Control(kRepairButtonId)))
    connect(repair, &QPushButton::clicked, this, [this] { OnRepair(); });
  if (auto* close = qobject_cast<QPushButton*>(Control(kCloseButtonId)))
    connect(close, &QPushButton::clicked, this, [this] { OnClose(); });
  qv::Trace("OnInitDialog 0");
  setWindowIcon(m_icon);

  m_library.Lookup(DeviceLibraryBinding::kCreateCUSBDevice);
  if (m_library.StateOf(DeviceLibraryBinding::kCreateCUSBDevice) != DeviceLibraryBinding::kBound) {
    Message(kDravikMissing);
    EndDialog(kResultLibraryMissing);
    return true;
  }
  m_device = m_library.CreateCUSBDevice();
  qv::Trace("OnInitDialog 1");
  const bool found = m_library.DeviceExist(m_device) != 0;
  qv::Trace("OnInitDialog 2");
  m_library.GetNumberOfDrive(m_device);
  qv::Trace("OnInitDialog 3");

  // The title becomes the started file's name without folder and extension
  // (ShowDeviceInfo replaces it).
  const std::string started = qv::CommandLineArg0();
  const size_t slash = started.find_last_of("/\\");
  if (slash != std::string::npos) {
    const std::string name = started.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) setWindowTitle(FromUtf8(name.substr(0, dot)));
  }

  ReadDeviceIni();
  if (auto* fast = qobject_cast<QRadioButton*>(Control(kFastRadioId))) fast->setChecked(true);
  ShowDeviceInfo();
  qv::Trace("OnInitDialog 4");

  if (!found) {
    hide();
    Message(DialogString(kIdsDeviceNotFound));
    EndDialog(kResultEnded);
    return true;
  }
  m_library.GetChipID(m_device, &m_context.chipId, &m_context.chipVersion);
  qv::TraceF("chipID=%d,chipVer=%d", m_context.chipId, m_context.chipVersion);
  if (m_context.chipId == kChipKR428) {
    Message(DialogString(kIdsDeviceNotSupported));
    EndDialog(kResultEnded);
    return true;
  }
  if (m_context.chipId == kChipKR421 && m_context.chipVersion == kChipVersionRefusedOnNewerSystems &&
      g_osBuildNumber > kLastAcceptedBuildForThatVersion) {
    Message(DialogString(kIdsSystemNotSupported));
    EndDialog(kResultEnded);
    return true;
  }
  PrepareRevert();
  if (m_context.deviceAttrib.bMode & kDualChannelBit) {
    Message(DialogString(kIdsDualChannel));
    EndDialog(kResultEnded);
    return true;
  }
  qv::Trace("OnInitDialog 5");
  return true;
}

void CRepairDlg::ReadDeviceIni() {
  const std::string folder = m_options.programFolder.empty() ? qv::ExecutableDirectory() : m_options.programFolder;
  m_context.selectDevice = ReadSelectDevice(qv::JoinPath(folder, kDeviceIniName));
  m_context.bflag = m_context.selectDevice;
  qv::TraceF("SelectDevice=%d", m_context.selectDevice);
}

void CRepairDlg::ShowDeviceInfo() {
  m_library.SetCurrentDriveNumber(m_device, 0);
  char description[kDeviceStringSize] = {};
  m_library.GetDeviceString(m_device, description);
  description[kDeviceStringSize - 1] = '\0';
  const bool described =
      m_library.StateOf(DeviceLibraryBinding::kGetDeviceString) == DeviceLibraryBinding::kBound;
  char version[kFwVersionSize] = {};
  m_library.GetFwVersion(m_device, version);
  version[kFwVersionSize - 1] = '\0';

  const DeviceInfoDisplay info = FormatDeviceInfo(described ? description : kUnknownDeviceDescription, version);
  m_context.noFirmware = info.noFirmware;
  m_deviceInfoText = FromUtf8(info.text);
  if (m_newFwVersion) m_newFwVersion->setText(FromUtf8(FormatNewFirmwareVersion(ReadNewFWVersion())));
  m_badBlockText = FromUtf8(FormatBadBlockText(DialogString(kIdsBadBlocks), 0.0));

  const std::pair<int, int> captions[] = {{kDiskInfoGroupId, kIdsDeviceInformation},
                                          {kRepairOptionGroupId, kIdsRepairOption},
                                          {kFastRadioId, kIdsFast},
                                          {kCompleteRadioId, kIdsComplete},
                                          {kRepairButtonId, kIdsRepairButton},
                                          {kCloseButtonId, kIdsCloseButton}};
  for (const auto& [id, stringId] : captions) {
    const QString text = FromUtf8(DialogString(stringId));
    QWidget* control = Control(id);
    if (auto* group = qobject_cast<QGroupBox*>(control)) group->setTitle(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control)) button->setText(text);
  }
  setWindowTitle(kApplicationName);
  m_appName = kApplicationName;
  DoDataExchange(false);
}

std::string CRepairDlg::ReadNewFWVersion() {
  qv::Trace("Enter ReadNewFWVersion");
  char path[kUpdateFwFileSize] = {};
  m_library.GetUpdateFWFile(m_device, path, m_context.selectDevice);
  path[kUpdateFwFileSize - 1] = '\0';
  qv::Trace(path);
  return path[0] ? ReadFirmwareImageVersion(path) : std::string();
}

void CRepairDlg::PrepareRevert() {
  m_library.GetDriveLetter(m_device, 1, m_context.driveLetter);
  m_context.driveLetter[sizeof m_context.driveLetter - 1] = '\0';
  DeviceAttrib& a = m_context.deviceAttrib;
  m_library.GetDeviceAttrib(m_device, &a.dwValue, &a.wValue, &a.bMode, &a.bValue1, &a.bValue2);
  m_context.revertConfig = ProgramRevertConfig();
  m_context.statusNames = RevertStatusNames();
}

void CRepairDlg::GetInput() {
  auto* complete = qobject_cast<QRadioButton*>(Control(kCompleteRadioId));
  m_context.bflag = BuildRepairOption(m_context.selectDevice, complete && complete->isChecked());
}

void CRepairDlg::OnRepair() {
  if (m_ended || m_closing) return;
  GetInput();
  qv::TraceF("In GetInput, bflag=%d", m_context.bflag);
  if (Message(DialogString(kIdsConfirmErase), qv::kMbOkCancel) != qv::kIdOk) return;
  m_context.deviceArrivedEvent = qv::CreateNamedEvent(kDeviceArrivedEventName, true, false);
  m_context.replugDone = false;
  if (QWidget* repair = Control(kRepairButtonId)) repair->setEnabled(false);
  if (m_status) m_status->show();
  if (m_progress) m_progress->SetPos(0);
  m_context.revertSucceeded = true;
  m_context.workerRunning = true;
  SetTimer(kRevertTimer, kRevertTimerMs);
  m_workers->StartRevert();
}

void CRepairDlg::OnTimer(int id) {
  if (m_ended || m_closing) return;
  if (id == kRevertTimer) {
    if (m_status) m_status->setText(FromUtf8(m_context.testStatusText.Load()));
    if (m_progress) m_progress->SetPos(m_context.testPercent);
    if (m_context.workerRunning) return;
    if (m_progress) m_progress->SetPos(100);
    KillTimer(kRevertTimer);
    qv::Trace("REVERT FINISHED");
    if (!m_context.revertSucceeded) {
      const std::string why = m_context.revertError.Load();
      if (!why.empty()) Message(why);
      EndRunWithMessage(kIdsRepairFail);
      return;
    }
    m_context.removalSeen = m_context.arrivalSeen = false;
    m_context.removalStage = m_context.arrivalStage = false;
    SetTimer(kReplugTimer, kReplugTimerMs);
    if (m_context.chipId == kChipKR423 && !m_context.noFirmware) {
      Pause(kRunPauseMs);
      if (!m_context.replugDone) {
        m_replugPrompt = std::make_unique<CReplugDlg>();
        m_context.replugPrompt = m_replugPrompt.get();
        m_replugPrompt->ShowTopmost();
      }
    } else if (m_context.deviceArrivedEvent) {
      m_context.deviceArrivedEvent->Set();
    }
    StartDeviceRepair();
  } else if (id == kReplugTimer) {
    if (ReplugWatchTick(m_context)) ReleaseSecondPhase();
  } else if (id == kRepairTimer) {
    const int progress = ShownRepairProgress(m_library.GetCurrentProgress(m_device));
    if (m_progress) m_progress->SetPos(progress);
    if (!RepairHasEnded(m_library.GetCurrentState(m_device))) return;
    KillTimer(kRepairTimer);
    if (m_progress) m_progress->SetPos(100);
    uint32_t bad = 0, total = 0, divisor = 0;
    m_library.GetBADBlockInfomation(m_device, &bad, &total, &divisor);
    const BadBlockShare share = ComputeBadBlockShare(bad, total, divisor);
    m_pie.RemoveAllSlices();
    m_pie.AddSlice(kBadSliceColor, kBadSliceTextColor, share.sweepDegrees);
    m_badBlockText = FromUtf8(FormatBadBlockText(DialogString(kIdsBadBlocks), share.percent));
    if (m_badBlockStatic) m_badBlockStatic->setText(m_badBlockText);
    Pause(kRunPauseMs);
    m_context.workerRunning = false;
    const uint32_t code = m_library.GetErrorCode(m_device);
    qv::TraceF("ErrCode=0x%lX\n", static_cast<unsigned long>(code));
    EndRunWithMessage(code == kRepairFailedCode ? kIdsRepairFail : kIdsRepairComplete);
  }
}

void CRepairDlg::ReleaseSecondPhase() {
  if (m_replugPrompt) m_replugPrompt->hide();
  Pause(kRunPauseMs);
  if (m_context.deviceArrivedEvent) m_context.deviceArrivedEvent->Set();
}

void CRepairDlg::StartDeviceRepair() {
  if (m_status) m_status->hide();
  workerParam = WorkerParam{m_device, &m_library};
  if (m_progress) m_progress->SetPos(0);
  SetTimer(kRepairTimer, kRepairTimerMs);
  m_context.workerRunning = true;
  m_workers->StartRepair(workerParam.device, m_context.bflag);
}

void CRepairDlg::EndRunWithMessage(int stringId) {
  Message(DialogString(stringId));
  EndDialog(kResultEnded);
}

bool CRepairDlg::OnDeviceChange(uint32_t event, uintptr_t) {
  NoteDeviceChange(m_context, event);
  return true;
}

void CRepairDlg::OnClose() {
  if (m_ended || m_closing) return;
  m_closing = true;
  for (int id : {kRepairTimer, kRevertTimer, kReplugTimer}) KillTimer(id);
  if (m_replugPrompt) m_replugPrompt->hide();
  m_workers->RequestStop();
  if (!m_workers->Busy()) {
    FinishClose();
    return;
  }
  // A worker is still inside a library: say so and end once it is out.
  if (QWidget* close = Control(kCloseButtonId)) close->setEnabled(false);
  if (m_status) {
    m_status->setText(m_workers->DeviceRepairRunning() ? kWaitingForDeviceRepair : kStoppingRevert);
    m_status->show();
  }
  m_closePollTimer = startTimer(kClosePollMs);
}

void CRepairDlg::FinishClose() {
  if (m_closePollTimer) killTimer(m_closePollTimer);
  m_closePollTimer = 0;
  m_workers->Join();
  EndDialog(kResultEnded);
}

void CRepairDlg::EndDialog(int result) {
  m_ended = true;
  m_result = result;
  for (auto& [id, qtId] : m_timers) killTimer(qtId);
  m_timers.clear();
  if (m_replugPrompt) m_replugPrompt->hide();
  done(result);
}

int CRepairDlg::Message(const std::string& text, unsigned buttons) {
  return qv::MessageBox(text, m_appName, buttons | qv::kMbIconWarning);
}

void CRepairDlg::SetTimer(int id, unsigned intervalMs) {
  KillTimer(id);
  const int scaled = std::max(1, static_cast<int>(std::lround(intervalMs * m_options.timeScale)));
  m_timers[id] = startTimer(scaled);
}

void CRepairDlg::KillTimer(int id) {
  auto found = m_timers.find(id);
  if (found == m_timers.end()) return;
  killTimer(found->second);
  m_timers.erase(found);
}

void CRepairDlg::Pause(unsigned milliseconds) {
  qv::SleepMs(static_cast<unsigned>(std::lround(milliseconds * m_options.timeScale)));
}

void CRepairDlg::timerEvent(QTimerEvent* event) {
  if (m_closePollTimer && event->timerId() == m_closePollTimer) {
    if (!m_workers->Busy()) FinishClose();
    return;
  }
  for (const auto& [id, qtId] : m_timers) {
    if (qtId == event->timerId()) {
      OnTimer(id);
      return;
    }
  }
}

void CRepairDlg::reject() { OnClose(); }

void CRepairDlg::closeEvent(QCloseEvent* event) {
  if (m_ended) {
    event->accept();
    return;
  }
  event->ignore();
  OnClose();
}
