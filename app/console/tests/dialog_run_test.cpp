// Whole repair runs of the dialog over the stand-in libraries, the clock
// sped up: the two phases, the re-plug wait, the final messages, and Close
// while a worker runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <thread>

#include "app/console/device_watch.h"
#include "app/console/qt_message_box.h"
#include "app/console/replug_dlg.h"
#include "app/console/tests/dialog_qt_support.h"
#include "app/startup/os_build.h"
#include "platform/message_box.h"
#include "platform/trace.h"
#include "sim/sim_api.h"

namespace {

constexpr char kConfirm[] = "All Data will be deleted. Continue ?";
constexpr char kComplete[] = "Repair complete, Please un-plug device";
constexpr char kFail[] = "Repair fail";

class DialogRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    g_osBuildNumber = 2600;
    dravik = FreshDravikScript();
    sievex = FreshSievexScript();
    sievex->steps[0] = {0, 20, 30, 7};
    sievex->steps[1] = {1, 70, 60, 4};
    sievex->steps[2] = {2, 100, 90, 2};
    sievex->stepCount = 3;
    dravik->bad = 50;
    dravik->total = 400;
    dravik->divisor = 4;
  }

  std::unique_ptr<CRepairDlg> Dialog() {
    auto dialog = std::make_unique<CRepairDlg>(FakeOptions(folder, &import));
    dialog->OnInitDialog();
    EXPECT_FALSE(dialog->Ended());
    return dialog;
  }

  QLabel* Status(CRepairDlg& dialog) { return qobject_cast<QLabel*>(dialog.Control(1011)); }
  QPushButton* Button(CRepairDlg& dialog, int id) { return qobject_cast<QPushButton*>(dialog.Control(id)); }

  FakeDravikScript* dravik = nullptr;
  FakeSievexScript* sievex = nullptr;
  ProgramFolder folder;
  SievexImport import{FakeSievexPath()};
  qv::MessageBoxRecorder boxes;
};

TEST_F(DialogRunTest, CancelInTheConfirmationStartsNothing) {
  auto dialog = Dialog();
  boxes.Answer(qv::kIdCancel);
  Button(*dialog, 1)->click();
  ASSERT_EQ(boxes.Texts(), std::vector<std::string>{kConfirm});
  EXPECT_EQ(boxes.Calls()[0].flags, qv::kMbOkCancel | qv::kMbIconWarning);
  EXPECT_TRUE(Button(*dialog, 1)->isEnabled());
  EXPECT_FALSE(dialog->TimerRunning(kRevertTimer));
  EXPECT_FALSE(TheRepairContext().workerRunning);
  QThread::msleep(30);
  EXPECT_EQ(sievex->constructed, 0);
}

TEST_F(DialogRunTest, WholeRepairOfAKR425Drive) {
  qv::TraceCapture trace;
  CRepairDlg dialog(FakeOptions(folder, &import));
  // The user presses button 1 once the modal dialog runs.
  QTimer::singleShot(0, &dialog, [&] { Button(dialog, 1)->click(); });
  const int result = dialog.DoModal();

  EXPECT_EQ(result, 2);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{kConfirm, kComplete}));
  for (const auto& call : boxes.Calls()) EXPECT_EQ(call.caption, "QuorvinPlus");
  EXPECT_FALSE(Button(dialog, 1)->isEnabled());
  EXPECT_EQ(Status(dialog)->text(), "Status : Finish\nScanned Blocks : 90\nBad Blocks : 2");
  EXPECT_FALSE(Status(dialog)->isVisibleTo(&dialog));  // hidden for the second phase
  EXPECT_EQ(dialog.ProgressBar()->GetPos(), 100);
  EXPECT_EQ(dravik->repairCalls, 1);
  EXPECT_EQ(dravik->lastOption, 0xA0);
  EXPECT_EQ(dialog.ReplugPrompt(), nullptr);
  EXPECT_EQ(dialog.BadBlockText(), "Bad Blocks : 12.50 %");
  ASSERT_EQ(dialog.PieChart().Slices().size(), 1u);
  const auto lines = trace.Lines();
  for (const char* line : {"In GetInput, bflag=160", "ThreadRevert 0", "ThreadRevert 1", "REVERT FINISHED", "ErrCode=0x0\n"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
}

TEST_F(DialogRunTest, FailedRevertEndsAfterTheLastStatus) {
  sievex->result = 0;
  sievex->steps[2] = {2, 55, 90, 8};  // "Flash Error"
  auto dialog = Dialog();
  Button(*dialog, 1)->click();
  ASSERT_TRUE(RunEventsUntil([&] { return dialog->Ended(); }));
  EXPECT_EQ(dialog->Result(), 2);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{kConfirm, kFail}));
  EXPECT_EQ(Status(*dialog)->text(), "Status : Flash Error\nScanned Blocks : 90\nBad Blocks : 2");
  EXPECT_EQ(dravik->repairCalls, 0);
}

TEST_F(DialogRunTest, SortLibraryWithoutStartSortFailsClearly) {
  FreshSievexScript(false);
  SievexImport broken(FakeSievexPath(false));
  CRepairDlg dialog(FakeOptions(folder, &broken));
  dialog.OnInitDialog();
  Button(dialog, 1)->click();
  ASSERT_TRUE(RunEventsUntil([&] { return dialog.Ended(); }));
  const auto texts = boxes.Texts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_NE(texts[1].find("StartSort"), std::string::npos) << texts[1];
  EXPECT_EQ(texts[2], kFail);
}

TEST_F(DialogRunTest, DeviceLibraryErrorCodeDecidesTheLastBox) {
  const std::pair<uint32_t, const char*> cases[] = {{0xFFFF0000u, kFail}, {0, kComplete}, {0x1234, kComplete}};
  for (const auto& [code, text] : cases) {
    SetUp();
    dravik->errorCode = code;
    boxes.Clear();
    auto dialog = Dialog();
    Button(*dialog, 1)->click();
    ASSERT_TRUE(RunEventsUntil([&] { return dialog->Ended(); }));
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{kConfirm, text})) << code;
  }
}

TEST_F(DialogRunTest, ProgressStopsAt99UntilTheLibrarySaysItEnded) {
  dravik->finishOnReturn = false;
  dravik->progress = 100;
  auto dialog = Dialog();
  Button(*dialog, 1)->click();
  ASSERT_TRUE(RunEventsUntil([&] { return dravik->repairCalls == 1 && dialog->ProgressBar()->GetPos() == 99; }));
  RunEventsUntil([] { return false; }, 50);
  EXPECT_EQ(dialog->ProgressBar()->GetPos(), 99);
  EXPECT_FALSE(dialog->Ended());
  dravik->state = 0x01FF;
  ASSERT_TRUE(RunEventsUntil([&] { return dialog->Ended(); }));
  EXPECT_EQ(dialog->ProgressBar()->GetPos(), 100);
}

TEST_F(DialogRunTest, KR423WithFirmwareWaitsForAReplug) {
  dravik->chipId = 0x423;
  auto dialog = Dialog();
  Button(*dialog, 1)->click();
  ASSERT_TRUE(RunEventsUntil([&] { return dialog->ReplugPrompt() != nullptr; }));
  CReplugDlg* prompt = dialog->ReplugPrompt();
  EXPECT_TRUE(prompt->isVisible());
  EXPECT_EQ(prompt->Text()->text(), "Please re-plug device to finish the job.");
  RunEventsUntil([] { return false; }, 100);
  EXPECT_EQ(dravik->repairCalls, 0);  // no re-plug yet
  dialog->OnDeviceChange(kDeviceRemoveComplete, 0);
  RunEventsUntil([] { return false; }, 10);
  dialog->OnDeviceChange(kDeviceArrival, 0);
  ASSERT_TRUE(RunEventsUntil([&] { return dialog->Ended(); }));
  EXPECT_FALSE(prompt->isVisible());
  EXPECT_EQ(dravik->repairCalls, 1);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{kConfirm, kComplete}));
}

TEST_F(DialogRunTest, KR423WithoutFirmwareGoesOnAtOnce) {
  dravik->chipId = 0x423;
  std::snprintf(dravik->fwVersion, sizeof dravik->fwVersion, "FFFFFF");
  auto dialog = Dialog();
  Button(*dialog, 1)->click();
  ASSERT_TRUE(RunEventsUntil([&] { return dialog->Ended(); }));
  EXPECT_EQ(dialog->ReplugPrompt(), nullptr);
  EXPECT_EQ(dravik->repairCalls, 1);
}

TEST_F(DialogRunTest, CloseDuringTheRevertStopsItAndEnds) {
  sievex->holdStartSort = true;
  auto dialog = Dialog();
  Button(*dialog, 1)->click();
  ASSERT_TRUE(RunEventsUntil([&] { return sievex->insideStartSort == 1; }));
  Button(*dialog, 2)->click();
  ASSERT_TRUE(RunEventsUntil([&] { return dialog->Ended(); }));
  EXPECT_EQ(dialog->Result(), 2);
  EXPECT_GE(sievex->stopCalls, 1);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kConfirm});  // no "Repair fail" after a Close
  EXPECT_EQ(dravik->repairCalls, 0);
}

TEST_F(DialogRunTest, CloseDuringTheDeviceRepairWaitsForIt) {
  dravik->holdRepair = true;
  auto dialog = Dialog();
  Button(*dialog, 1)->click();
  ASSERT_TRUE(RunEventsUntil([&] { return dravik->repairRunning == 1; }));
  Button(*dialog, 2)->click();
  RunEventsUntil([] { return false; }, 50);
  EXPECT_FALSE(dialog->Ended());
  EXPECT_EQ(Status(*dialog)->text(), "Waiting for the device repair to finish...");
  dravik->holdRepair = false;
  ASSERT_TRUE(RunEventsUntil([&] { return dialog->Ended(); }));
  EXPECT_EQ(dravik->repairRunning, 0);
}

TEST_F(DialogRunTest, CloseWhileWaitingForTheReplugReleasesTheWorker) {
  dravik->chipId = 0x423;
  auto dialog = Dialog();
  Button(*dialog, 1)->click();
  ASSERT_TRUE(RunEventsUntil([&] { return dialog->ReplugPrompt() != nullptr; }));
  Button(*dialog, 2)->click();
  ASSERT_TRUE(RunEventsUntil([&] { return dialog->Ended(); }));
  dialog.reset();  // joins the worker
  EXPECT_EQ(dravik->repairCalls, 0);
}

// ---- The Qt message boxes -------------------------------------------------

TEST(QtMessageBoxes, WarningBoxWithCaptionAndButtons) {
  struct Seen {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
  } seen;
  auto answer = [&](QMessageBox::StandardButton press) {
    QTimer::singleShot(20, [&seen, press] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
      box->button(press)->click();
    });
  };
  answer(QMessageBox::Cancel);
  EXPECT_EQ(QtMessageBox({"A\r\nB", "QuorvinPlus", qv::kMbOkCancel | qv::kMbIconWarning}), qv::kIdCancel);
  EXPECT_EQ(seen.title, "QuorvinPlus");
  EXPECT_EQ(seen.text, "A\nB");
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_EQ(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);

  // Asked for on another thread, shown on the application's.
  answer(QMessageBox::Ok);
  int result = 0;
  std::thread worker([&] { result = QtMessageBox({"Flash", "Error", qv::kMbOk}); });
  ASSERT_TRUE(RunEventsUntil([&] { return result != 0; }));
  worker.join();
  EXPECT_EQ(result, qv::kIdOk);
  EXPECT_EQ(seen.buttons, QMessageBox::Ok);
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
}

// ---- Device notifications from the simulator ------------------------------

TEST(DeviceWatchSim, EventLinesBecomeNotifications) {
  size_t consumed = 0;
  const auto events = ParseSimDeviceEvents("unplug E 1\nplug E 2\n7 plug F\nplug E", &consumed);
  EXPECT_EQ(events, (std::vector<uint32_t>{kDeviceRemoveComplete, kDeviceArrival, kDeviceArrival}));
  EXPECT_EQ(consumed, std::string("unplug E 1\nplug E 2\n7 plug F\n").size());
}

TEST(DeviceWatchSim, UnplugAndPlugThroughTheSimulatorReachTheDialogThread) {
  ProgramFolder machine;
  sim::DriveSpec desc;
  std::string error;
  ASSERT_TRUE(sim::CreateDrive(machine.Path(), desc, &error)) << error;
  std::vector<uint32_t> seen;
  DeviceWatch watch([&](uint32_t event) { seen.push_back(event); }, machine.Path());
  ASSERT_TRUE(watch.Active());
  const std::string drive = sim::DriveFolder(machine.Path(), desc);
  ASSERT_TRUE(sim::SetPlugged(drive, false, &error)) << error;
  ASSERT_TRUE(sim::SetPlugged(drive, true, &error)) << error;
  ASSERT_TRUE(RunEventsUntil([&] { return seen.size() >= 2; }, 5000));
  EXPECT_EQ(seen, (std::vector<uint32_t>{kDeviceRemoveComplete, kDeviceArrival}));
}

}  // namespace
