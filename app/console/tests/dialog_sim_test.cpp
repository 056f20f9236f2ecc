// The repair dialog end to end on simulated drives, with the built
// Sievex.dll and Dravik.dll beside the test, as the relocated program runs
// it: the revert, the re-plug through flashsim, the device library's
// repair and the final message. Message boxes are answered by the test.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <set>

#include "app/console/replug_dlg.h"
#include "app/console/tests/dialog_qt_support.h"
#include "app/startup/os_build.h"
#include "platform/library.h"
#include "platform/message_box.h"
#include "platform/storage.h"
#include "platform/tests/temp_dir.h"
#include "sim/repair_commands.h"
#include "sim/sim_api.h"

namespace {

constexpr char kConfirm[] = "All Data will be deleted. Continue ?";
constexpr char kComplete[] = "Repair complete, Please un-plug device";

// A drive whose geometry the controller itself reports (its flash ID is not
// in flash8k.ini): 2 CEs x 1024 blocks x 4 pages x 2 sectors, with blocks
// that are bad from the factory and blocks whose programs fail.
sim::DriveSpec SmallDrive(uint16_t controller) {
  sim::DriveSpec s;
  s.letter = 'E';
  s.controller = controller;
  s.revisionLetter = 'C';
  s.flashId = {0xEC, 0xDA, 0x10, 0x95, 0x44};
  s.ces = 2;
  s.blocksPerCE = 1024;
  s.pagesPerBlock = 4;
  s.sectorsPerPage = 2;
  s.faults.factoryBad = {{0, 7, false}, {1, 40, true}};
  s.faults.programFail = {{1, 66, 3}, {0, 900, 0}};
  return s;
}

class DialogSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);  // registry defaults
    ::setenv("QUORVIN_SIM", Machine().c_str(), 1);         // the device watch follows it
    storage_ = qv::CreateSimStorage(Machine());
    qv::SetStorageBackend(storage_.get());
    g_osBuildNumber = 6000;
    program_.Write("Device.ini", "SelectDevice=KR423\n");
  }
  void TearDown() override {
    // The dialog keeps its device handle to the end, as the program does,
    // and unloads the library with it; the test's own reference keeps the
    // library loaded so that it can free the handles it made.
    if (auto destroy = reinterpret_cast<void (*)(void*)>(qv::GetProcAddress(dravik_, "Dravik_DestroyCUSBDevice")))
      for (void* device : devices_) destroy(device);
    qv::FreeLibrary(dravik_);
    qv::SetStorageBackend(nullptr);
    ::unsetenv("QUORVIN_SIM");
  }

  std::string Machine() const { return dir_ / "machine"; }

  void CreateDrive(const sim::DriveSpec& desc) {
    std::string error;
    ASSERT_TRUE(sim::CreateDrive(Machine(), desc, &error)) << error;
  }

  // Whether the simulated controller answers the device library's own
  // identify command (the second phase needs it).
  bool OffersRepairService() {
    auto volume = qv::OpenDevice("\\\\.\\E:", qv::kOpenRead | qv::kOpenWrite);
    if (!volume) return false;
    uint8_t cdb[repaircmd::kCdbLength] = {repaircmd::kOpRepair, repaircmd::kSubIdentify};
    uint8_t answer[repaircmd::kIdentifyBytes];
    qv::ScsiCommand c;
    c.cdb = cdb;
    c.cdbLength = sizeof cdb;
    c.direction = qv::ScsiDirection::kIn;
    c.data = answer;
    c.dataLength = sizeof answer;
    const qv::ScsiResult r = volume->PassThrough(c);
    return r.delivered && r.scsiStatus == 0;
  }

  void Flashsim(const char* command) {
    const std::string line = qv::JoinPath(qv::ExecutableDirectory(), "flashsim") + " " + command + " " + Machine() + " E";
    ASSERT_EQ(std::system(line.c_str()), 0) << line;
  }

  CRepairDlg::Options Options() {
    CRepairDlg::Options options;
    options.programFolder = program_.Path();
    options.timeScale = 0.05;  // timer 2 every 50 ms, timer 3 every 5 ms
    return options;
  }

  // Runs the dialog modally, pressing button 1 at once and calling `watch`
  // on every 10 ms tick while it runs; collects the revert's status texts.
  int Run(CRepairDlg& dialog, const std::function<void()>& watch = {}) {
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      if (auto* status = qobject_cast<QLabel*>(dialog.Control(1011)))
        if (status->text().startsWith("Status : ")) statusTexts.insert(status->text().toStdString());
      if (watch) watch();
    });
    QTimer::singleShot(0, &dialog, [&] {
      ticker.start(10);
      qobject_cast<QPushButton*>(dialog.Control(1))->click();
    });
    const int result = dialog.DoModal();
    devices_.push_back(dialog.Device());
    return result;
  }

  TempDir dir_;
  qv::ModuleHandle dravik_ = qv::LoadLibrary("Dravik");
  std::vector<void*> devices_;
  ProgramFolder program_;
  std::unique_ptr<qv::StorageBackend> storage_;
  qv::MessageBoxRecorder boxes;
  std::set<std::string> statusTexts;
};

TEST_F(DialogSimTest, RepairsAKR425DriveWithoutAPrompt) {
  CreateDrive(SmallDrive(0x425));
  if (!OffersRepairService()) GTEST_SKIP() << "the simulator does not offer the device library's commands yet";
  CRepairDlg dialog(Options());
  EXPECT_EQ(Run(dialog), 2);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{kConfirm, kComplete}));
  EXPECT_EQ(dialog.ReplugPrompt(), nullptr);
  EXPECT_FALSE(statusTexts.empty());
  EXPECT_EQ(dialog.ProgressBar()->GetPos(), 100);
  EXPECT_TRUE(dialog.BadBlockText().startsWith("Bad Blocks : ")) << dialog.BadBlockText().toStdString();
  EXPECT_NE(dialog.BadBlockText(), "Bad Blocks : 0.00 %") << "last status: " << qobject_cast<QLabel*>(dialog.Control(1011))->text().toStdString();
  sim::DriveReport report;
  ASSERT_TRUE(sim::Inspect(sim::DriveFolder(Machine(), 'E'), &report));
  EXPECT_FALSE(report.tables.empty());  // the revert's bad-block tables
}

TEST_F(DialogSimTest, KR423WithFirmwareRepairsAfterAReplug) {
  sim::DriveSpec desc = SmallDrive(0x423);
  desc.hasFirmware = true;
  desc.firmwareVersion = "120705";
  CreateDrive(desc);
  if (!OffersRepairService()) GTEST_SKIP() << "the simulator does not offer the device library's commands yet";
  // The user pulls the drive and plugs it in again a moment later (a
  // removal and an arrival within one tick of timer 3 count as a removal).
  int unpluggedAt = -1, ticks = 0;
  bool replugged = false;
  CRepairDlg dialog(Options());
  const int result = Run(dialog, [&] {
    ++ticks;
    CReplugDlg* prompt = dialog.ReplugPrompt();
    if (replugged || !prompt || !prompt->isVisible()) return;
    if (unpluggedAt < 0) {
      Flashsim("unplug");
      unpluggedAt = ticks;
    } else if (ticks - unpluggedAt >= 10) {
      Flashsim("plug");
      replugged = true;
    }
  });
  EXPECT_EQ(result, 2);
  EXPECT_TRUE(replugged);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{kConfirm, kComplete}));
  ASSERT_NE(dialog.ReplugPrompt(), nullptr);
  EXPECT_FALSE(dialog.ReplugPrompt()->isVisible());
}

TEST_F(DialogSimTest, CloseDuringTheRevertStopsTheEngine) {
  sim::DriveSpec desc = SmallDrive(0x425);
  desc.timing.sleepFraction = 1;  // a revert that takes its modelled time
  CreateDrive(desc);
  CRepairDlg dialog(Options());
  bool closed = false;
  const int result = Run(dialog, [&] {
    if (closed || statusTexts.empty()) return;
    closed = true;
    qobject_cast<QPushButton*>(dialog.Control(2))->click();
  });
  EXPECT_TRUE(closed);
  EXPECT_EQ(result, 2);
  // The firmware image's version came from the Boot tree beside the program.
  const QString newVersion = qobject_cast<QLabel*>(dialog.Control(1009))->text();
  EXPECT_TRUE(newVersion.startsWith("New FW Ver:")) << newVersion.toStdString();
  EXPECT_GT(newVersion.size(), QString("New FW Ver:").size());
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kConfirm});
}

}  // namespace
