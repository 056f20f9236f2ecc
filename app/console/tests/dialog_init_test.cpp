// The repair dialog's initialisation against the stand-in device library:
// the template's controls, the device text, and every refusal.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

#include "app/console/device_info.h"
#include "app/console/dialog_template.h"
#include "app/console/replug_dlg.h"
#include "app/console/string_table.h"
#include "app/console/tests/dialog_qt_support.h"
#include "app/startup/os_build.h"
#include "app/startup/repair_app.h"
#include "platform/message_box.h"
#include "platform/trace.h"

namespace {

QString TextOf(CRepairDlg& dialog, int id) {
  QWidget* control = dialog.Control(id);
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  if (auto* group = qobject_cast<QGroupBox*>(control)) return group->title();
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  return {};
}

class DialogInitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    script = FreshDravikScript();
    FreshSievexScript();
    g_osBuildNumber = 2600;
  }

  FakeDravikScript* script = nullptr;
  ProgramFolder folder;
  SievexImport sievex{FakeSievexPath()};
  qv::MessageBoxRecorder boxes;
};

TEST_F(DialogInitTest, ShowsTheDriveAndWaitsForTheUser) {
  std::string image(0xF000, '\0');
  image.replace(0xEFF0, 8, "xx654321");
  script->chipId = 0x425;
  std::snprintf(script->updateFile, sizeof script->updateFile, "%s", folder.Write("fw.bin", image).c_str());
  folder.Write("Device.ini", "[Device]\nSelectDevice=KR423\n");
  qv::TraceCapture trace;
  CRepairDlg dialog(FakeOptions(folder, &sievex));
  dialog.OnInitDialog();

  EXPECT_FALSE(dialog.Ended());
  EXPECT_TRUE(boxes.Calls().empty());
  EXPECT_EQ(dialog.windowTitle(), "QuorvinPlus");
  EXPECT_EQ(dialog.ApplicationName(), "QuorvinPlus");
  EXPECT_EQ(dialog.DeviceInfoText(), "Fake Flash Disk 1.00\n\nFW Ver:1.2.3");
  EXPECT_EQ(TextOf(dialog, 1007), "Fake Flash Disk 1.00\n\nFW Ver:1.2.3");
  EXPECT_EQ(TextOf(dialog, 1006), "Bad Blocks : 0.00 %");
  EXPECT_EQ(TextOf(dialog, 1009), "New FW Ver:654321");
  const std::pair<int, const char*> captions[] = {{1, "Update"},     {2, "Close"}, {1002, "Device Information"},
                                                  {1003, "Repair Option"}, {1004, "Fast"}, {1005, "Complete(Revert)"}};
  for (const auto& [id, caption] : captions) EXPECT_EQ(TextOf(dialog, id), caption) << id;
  EXPECT_TRUE(qobject_cast<QRadioButton*>(dialog.Control(1004))->isChecked());
  EXPECT_FALSE(dialog.windowIcon().isNull());
  EXPECT_EQ(dialog.Control(1000), &dialog.PieChart());
  EXPECT_NE(dialog.ProgressBar(), nullptr);

  RepairContext& context = TheRepairContext();
  EXPECT_EQ(context.chipId, 0x425);
  EXPECT_EQ(context.driveLetter[0], 'E');
  EXPECT_EQ(context.revertConfig.m_bPatternType, 2);
  EXPECT_STREQ(context.statusNames[11], "Can not erase");

  const auto lines = trace.Lines();
  const std::vector<std::string> expected = {"OnInitDialog 0", "OnInitDialog 1", "OnInitDialog 2", "OnInitDialog 3",
                                             "SelectDevice=0", "Enter ReadNewFWVersion", script->updateFile,
                                             "OnInitDialog 4", "chipID=1061,chipVer=0", "OnInitDialog 5"};
  EXPECT_EQ(lines, expected);
}

TEST_F(DialogInitTest, ControlsFollowTheTemplate) {
  CRepairDlg dialog(FakeOptions(folder, &sievex));
  dialog.OnInitDialog();
  dialog.show();
  const DialogTemplate& t = RepairDialogTemplate();
  const DialogBaseUnits units = BaseUnitsOf(DialogFont(t));
  EXPECT_EQ(dialog.size(), DialogSizeToPixels(179, 129, units));
  for (const ControlTemplate& control : t.controls) {
    QWidget* widget = dialog.Control(control.id);
    ASSERT_NE(widget, nullptr) << control.id;
    EXPECT_EQ(widget->geometry(), DialogUnitsToPixels(control.rect, units)) << control.id;
    EXPECT_EQ(widget->isVisible(), control.visible) << control.id;
  }
  // The progress bar ends 11 units before the right edge, the prompt's text 13.
  const ControlTemplate* bar = FindControl(t, 1001);
  EXPECT_EQ(bar->rect.x + bar->rect.width, t.width - 11);
  const ControlTemplate* text = FindControl(ReplugDialogTemplate(), kReplugTextId);
  EXPECT_EQ(text->rect.x + text->rect.width, ReplugDialogTemplate().width - 13);
  EXPECT_TRUE(qobject_cast<QPushButton*>(dialog.Control(1))->isDefault());
  EXPECT_NE(qobject_cast<QCheckBox*>(dialog.Control(1008)), nullptr);
}

TEST(DialogTemplate, DialogUnitsScaleByTheBaseUnits) {
  // 6 x 13 pixel base units: x * 6 / 4, y * 13 / 8, rounded.
  const QRect button = DialogUnitsToPixels({21, 110, 50, 14}, {6, 13});
  EXPECT_EQ(button, QRect(32, 179, 75, 23));
  EXPECT_EQ(DialogSizeToPixels(179, 129, {6, 13}), QSize(269, 210));
}

TEST_F(DialogInitTest, RefusalsShowTheirMessageAndEnd) {
  struct Case {
    const char* name;
    int exists;
    uint16_t chip, version;
    unsigned build;
    uint8_t mode;
    const char* message;  // nullptr: accepted
  };
  const Case cases[] = {
      {"not found", 0, 0x425, 0, 2600, 0, "Device not found, please insert device"},
      {"KR428", 1, 0x428, 0, 2600, 0, "The Recovery Utility do not support this device."},
      {"KR421 v17 on 2601", 1, 0x421, 0x11, 2601, 0,
       "User can not use this tool in Windows Vista, please use it in Windows 2000/XP."},
      {"KR421 v17 on 2600", 1, 0x421, 0x11, 2600, 0, nullptr},
      {"KR421 v16 on 6000", 1, 0x421, 0x10, 6000, 0, nullptr},
      {"dual channel", 1, 0x423, 0, 2600, 0x20, "Dual chanel mode can not be rescued."},
      {"other mode bits", 1, 0x423, 0, 2600, 0xDF, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    script = FreshDravikScript();
    script->deviceExists = c.exists;
    script->chipId = c.chip;
    script->chipVersion = c.version;
    script->attribMode = c.mode;
    g_osBuildNumber = c.build;
    boxes.Clear();
    CRepairDlg dialog(FakeOptions(folder, &sievex));
    dialog.OnInitDialog();
    // The description and firmware are asked for whether or not the drive is there.
    EXPECT_EQ(script->descriptionCalls, 1);
    EXPECT_EQ(script->fwVersionCalls, 1);
    if (!c.message) {
      EXPECT_FALSE(dialog.Ended());
      EXPECT_TRUE(boxes.Calls().empty());
      continue;
    }
    EXPECT_TRUE(dialog.Ended());
    EXPECT_EQ(dialog.Result(), 2);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, c.message);
    EXPECT_EQ(boxes.Calls()[0].caption, "QuorvinPlus");
    EXPECT_EQ(boxes.Calls()[0].flags, qv::kMbOk | qv::kMbIconWarning);
  }
}

TEST_F(DialogInitTest, WithoutTheDeviceLibrary) {
  for (const char* library : {kFakeDravikBare, "NoSuchDravik"}) {
    SCOPED_TRACE(library);
    boxes.Clear();
    CRepairDlg dialog(FakeOptions(folder, &sievex, library));
    EXPECT_EQ(dialog.DoModal(), 1);
    ASSERT_EQ(boxes.Texts(), std::vector<std::string>{"Can't find Dravik.dll"});
    // Before the device text is shown the caption is the program's file name.
    EXPECT_EQ(boxes.Calls()[0].caption, ApplicationTitle(qv::ExecutablePath()));
  }
}

TEST_F(DialogInitTest, MissingEntryPointsKeepTheirDefaults) {
  FreshDravikScript(kFakeDravikMinimal);
  CRepairDlg dialog(FakeOptions(folder, &sievex, kFakeDravikMinimal));
  dialog.OnInitDialog();
  EXPECT_FALSE(dialog.Ended());  // chip id 0 passes every check
  EXPECT_EQ(dialog.DeviceInfoText(), QString(kUnknownDeviceDescription) + "\n\nFW Ver:");
  EXPECT_EQ(TextOf(dialog, 1009), "New FW Ver:");
  EXPECT_EQ(TheRepairContext().chipId, 0);
}

TEST_F(DialogInitTest, NoFirmwareAndTheChineseTables) {
  std::snprintf(script->fwVersion, sizeof script->fwVersion, "FFFFFF12");
  ::setenv("LANG", "zh_TW.UTF-8", 1);
  {
    CRepairDlg dialog(FakeOptions(folder, &sievex));
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.DeviceInfoText(), "Fake Flash Disk 1.00\n\nFW Ver:NO FIRMWARE");
    EXPECT_TRUE(TheRepairContext().noFirmware);
    EXPECT_EQ(TextOf(dialog, 1), "更新");
    EXPECT_EQ(TextOf(dialog, 1002), "裝置資訊");
    EXPECT_EQ(TextOf(dialog, 1006), "損壞區塊 : 0.00 %");
  }
  ::setenv("LANG", "zh_CN.UTF-8", 1);
  CRepairDlg dialog(FakeOptions(folder, &sievex));
  dialog.OnInitDialog();
  EXPECT_EQ(TextOf(dialog, 1), "重建");
  EXPECT_EQ(TextOf(dialog, 2), "结束");
  ::setenv("LANG", "en_US.UTF-8", 1);
}

TEST(ReplugPrompt, CaptionlessTopmostWithTheReplugText) {
  ::setenv("LANG", "en_US.UTF-8", 1);
  CReplugDlg prompt;
  EXPECT_EQ(prompt.Text()->text(), "Please re-plug device to finish the job.");
  const Qt::WindowFlags flags = prompt.windowFlags();
  EXPECT_TRUE(flags & Qt::FramelessWindowHint);
  EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(flags & Qt::WindowDoesNotAcceptFocus);
  EXPECT_TRUE(prompt.testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_EQ(prompt.size(), DialogSizeToPixels(187, 42, BaseUnitsOf(DialogFont(ReplugDialogTemplate()))));
}

}  // namespace
