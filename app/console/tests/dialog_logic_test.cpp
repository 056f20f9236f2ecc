// What the dialog computes without a window: texts, the option byte, the
// device line of Device.ini, the firmware image's version, the bad-block
// share, the bar's value, the re-plug watch, and the named event.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/console/device_info.h"
#include "app/console/repair_context.h"
#include "app/console/string_table.h"
#include "platform/named_event.h"

namespace {

namespace fs = std::filesystem;

class ScratchFolder {
 public:
  ScratchFolder() {
    path_ = fs::temp_directory_path() / ("dialog_logic_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
    fs::create_directories(path_);
  }
  ~ScratchFolder() { fs::remove_all(path_); }
  std::string File(const std::string& name, const std::string& contents) const {
    std::ofstream(path_ / name, std::ios::binary) << contents;
    return (path_ / name).string();
  }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

TEST(DialogStrings, EveryIdInEveryLanguage) {
  for (uint16_t language : {kLangEnglishUs, kLangTraditionalChinese, kLangSimplifiedChinese})
    for (int id = 1; id <= kDialogStringCount; ++id)
      EXPECT_FALSE(LoadDialogString(id, language).empty()) << id << " in " << language;
  EXPECT_EQ(LoadDialogString(20, kLangEnglishUs), "");
}

TEST(DialogStrings, TextsThatDifferBetweenTables) {
  struct Case {
    int id;
    uint16_t language;
    const char* text;
  };
  const Case cases[] = {
      {1, kLangEnglishUs, "Update"},
      {1, kLangTraditionalChinese, "更新"},
      {1, kLangSimplifiedChinese, "重建"},
      {2, kLangTraditionalChinese, "結束"},
      {4, kLangSimplifiedChinese, "必须有系统管理员权限才能执行此程式"},
      {11, kLangEnglishUs, "Repair complete, Please un-plug device"},
      {12, kLangTraditionalChinese, "裝置修復失敗"},
      {14, kLangEnglishUs, "All Data will be deleted. Continue ?"},
      {14, kLangSimplifiedChinese, "所有的资料与设定都会被删除!\r\n是否继续 ?"},
      {15, kLangEnglishUs, "Are you ready to update ? "},
      {15, kLangSimplifiedChinese, "Are you ready to update ?"},
      {15, kLangTraditionalChinese, "確定要開始進行更新的程序嗎？"},
      {16, kLangTraditionalChinese, "The Recovery Utility do not support this device."},
      {17, kLangSimplifiedChinese, "User can not use this tool in Windows Vista, please use it in Windows 2000/XP."},
      {18, kLangTraditionalChinese, "請插拔裝置，以完成工作"},
      {18, kLangSimplifiedChinese, "请重新插拔装置，以完成工作"},
      {19, kLangSimplifiedChinese, "Dual chanel mode can not be rescued."},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadDialogString(c.id, c.language), c.text) << c.id << "/" << c.language;
}

TEST(DialogStrings, TheLocaleChoosesTheTable) {
  struct Case {
    const char* lcAll;
    const char* lang;
    const char* repairFail;
  };
  const Case cases[] = {
      {"", "zh_TW.UTF-8", "裝置修復失敗"}, {"", "zh_HK", "裝置修復失敗"},
      {"", "zh_CN.UTF-8", "装置修复失败"}, {"", "zh_SG", "装置修复失败"},
      {"", "de_DE.UTF-8", "Repair fail"},  {"zh_TW.UTF-8", "en_US.UTF-8", "裝置修復失敗"},
      {"", "", "Repair fail"},
  };
  for (const Case& c : cases) {
    ::setenv("LC_ALL", c.lcAll, 1);
    ::unsetenv("LC_MESSAGES");
    ::setenv("LANG", c.lang, 1);
    EXPECT_EQ(DialogString(kIdsRepairFail), c.repairFail) << c.lcAll << " / " << c.lang;
  }
  ::unsetenv("LC_ALL");
  ::unsetenv("LANG");
}

TEST(DeviceIni, PrefixesChooseTheDeviceLine) {
  const std::pair<const char*, int> cases[] = {{"KR420", 3}, {"KR423", 0}, {"KR4230", 0}, {"BCD", 1}, {"BCD7", 1},
                                               {"FP", 2},    {"FPX", 2},   {"kr420", 0},  {"", 0},    {"KR42", 0}};
  for (const auto& [value, index] : cases) EXPECT_EQ(SelectDeviceOfValue(value), index) << value;

  ScratchFolder folder;
  EXPECT_EQ(ReadSelectDevice(folder.Path("Device.ini")), 0);  // no file
  EXPECT_EQ(ReadSelectDevice(folder.File("a.ini", "[Device]\nSelectDevice=KR420\n")), 3);
  EXPECT_EQ(ReadSelectDevice(folder.File("b.ini", "[Device]\nSelectDevice=FP\n")), 2);
  EXPECT_EQ(ReadSelectDevice(folder.File("c.ini", "[Device]\nOther=FP\n")), 0);
  EXPECT_EQ(ReadSelectDevice(folder.File("d.ini", "[Other]\nSelectDevice=FP\n")), 0);
}

TEST(DeviceInfo, FirmwareImageVersionSitsAt0xEFF2) {
  ScratchFolder folder;
  std::string image(0xF000, '\xEE');
  image.replace(0xEFF0, 10, "ab120705cd");
  EXPECT_EQ(ReadFirmwareImageVersion(folder.File("fw.bin", image)), "120705");
  std::string shortVersion(0xF000, '\0');
  shortVersion.replace(0xEFF2, 3, "1.2");
  EXPECT_EQ(ReadFirmwareImageVersion(folder.File("short.bin", shortVersion)), "1.2");
  EXPECT_EQ(ReadFirmwareImageVersion(folder.File("tiny.bin", "123456789")), "");
  EXPECT_EQ(ReadFirmwareImageVersion(folder.Path("missing.bin")), "");
}

TEST(DeviceInfo, NoFirmwareWhenTheVersionBeginsWithSixFs) {
  struct Case {
    const char* version;
    const char* text;
    bool noFirmware;
  };
  const Case cases[] = {{"1.00", "Disk\n\nFW Ver:1.00", false},
                        {"FFFFFF", "Disk\n\nFW Ver:NO FIRMWARE", true},
                        {"FFFFFF12", "Disk\n\nFW Ver:NO FIRMWARE", true},
                        {"FFFFF1", "Disk\n\nFW Ver:FFFFF1", false},
                        {"", "Disk\n\nFW Ver:", false}};
  for (const Case& c : cases) {
    const DeviceInfoDisplay info = FormatDeviceInfo("Disk", c.version);
    EXPECT_EQ(info.text, c.text);
    EXPECT_EQ(info.noFirmware, c.noFirmware) << c.version;
  }
  EXPECT_EQ(FormatNewFirmwareVersion("120705"), "New FW Ver:120705");
}

TEST(RepairOption, UpdateFirmwareAndDeviceLine) {
  EXPECT_EQ(BuildRepairOption(0, false), 0xA0);  // the carried Device.ini
  EXPECT_EQ(BuildRepairOption(3, false), 0xA3);
  EXPECT_EQ(BuildRepairOption(2, true), 0xE2);
}

TEST(BadBlockShare, CapsSweepAndText) {
  struct Case {
    uint32_t bad, total, divisor;
    uint32_t shownBad, shownTotal;
    int sweep;
    const char* text;
  };
  const Case cases[] = {
      {50, 400, 4, 50, 400, 45, "Bad Blocks : 12.50 %"},
      {250, 400, 4, 100, 400, 90, "Bad Blocks : 25.00 %"},     // capped at total / divisor
      {768, 0, 0, 768, 1536, 180, "Bad Blocks : 50.00 %"},     // no total: the 1536 cap
      {5000, 0, 4, 1536, 1536, 360, "Bad Blocks : 100.00 %"},
      {10, 400, 0x10000, 10, 1536, 2, "Bad Blocks : 0.65 %"},  // only the low 16 bits divide
      {0, 4096, 1, 0, 4096, 0, "Bad Blocks : 0.00 %"},
      {4000000000u, 4000000000u, 1, 4000000000u, 4000000000u, 360, "Bad Blocks : 100.00 %"},
  };
  for (const Case& c : cases) {
    const BadBlockShare share = ComputeBadBlockShare(c.bad, c.total, c.divisor);
    EXPECT_EQ(share.bad, c.shownBad) << c.bad << "/" << c.total;
    EXPECT_EQ(share.total, c.shownTotal);
    EXPECT_EQ(share.sweepDegrees, c.sweep);
    EXPECT_EQ(FormatBadBlockText("Bad Blocks", share.percent), c.text);
  }
}

TEST(RepairProgress, BarValueAndEnd) {
  const std::pair<int, int> bar[] = {{0, 0}, {57, 57}, {99, 99}, {100, 99}, {150, 149}};
  for (const auto& [given, shown] : bar) EXPECT_EQ(ShownRepairProgress(given), shown);
  EXPECT_TRUE(RepairHasEnded(0xFF));
  EXPECT_TRUE(RepairHasEnded(0x12FF));
  EXPECT_FALSE(RepairHasEnded(0xFE));
  EXPECT_FALSE(RepairHasEnded(0));
}

TEST(StatusText, NamesAndCodesPastTheTable) {
  const StatusNames& names = RevertStatusNames();
  EXPECT_EQ(StatusName(names, 0), "UserBreak");
  EXPECT_EQ(StatusName(names, 4), "Read & Verify");
  EXPECT_EQ(StatusName(names, 11), "Can not erase");
  EXPECT_EQ(StatusName(names, 12), "Unknown state (12)");
  EXPECT_EQ(StatusName(names, 0xFFFFFFFFu), "Unknown state (4294967295)");
  EXPECT_EQ(FormatTestStatus(names, SortProgress{4, 50, 1023, 3}),
            "Status : Writing data\nScanned Blocks : 1023\nBad Blocks : 4");
}

// Runs the watch for `ticks` ticks; returns the tick (1-based) that released
// the second phase, or 0.
int Tick(RepairContext& c, int ticks) {
  for (int n = 1; n <= ticks; ++n)
    if (ReplugWatchTick(c)) return n;
  return 0;
}

TEST(ReplugWatch, RemovalArrivalThenFiftyOneQuietTicks) {
  for (auto order : {std::pair{kDeviceRemoveComplete, kDeviceArrival}, std::pair{kDeviceArrival, kDeviceRemoveComplete}}) {
    RepairContext c;
    EXPECT_EQ(Tick(c, 100), 0);  // nothing seen: waits for ever
    NoteDeviceChange(c, order.first);
    EXPECT_EQ(Tick(c, 1), 0);
    NoteDeviceChange(c, order.second);
    EXPECT_EQ(Tick(c, 1), 0);  // both stages reached on this tick
    EXPECT_EQ(Tick(c, 60), 51);
    EXPECT_TRUE(c.replugDone);
    EXPECT_EQ(Tick(c, 200), 0);  // released once only
  }
}

TEST(ReplugWatch, ANotificationInTheQuietPeriodRestartsTheCount) {
  RepairContext c;
  NoteDeviceChange(c, kDeviceRemoveComplete);
  NoteDeviceChange(c, kDeviceArrival);  // both within one tick: one stage only
  Tick(c, 1);
  EXPECT_TRUE(c.removalStage);
  EXPECT_FALSE(c.arrivalStage);
  NoteDeviceChange(c, kDeviceArrival);
  Tick(c, 1);
  EXPECT_EQ(Tick(c, 30), 0);
  NoteDeviceChange(c, kDeviceArrival);
  EXPECT_EQ(Tick(c, 1), 0);  // the noisy tick
  EXPECT_EQ(c.quietTicks, 0);
  EXPECT_EQ(Tick(c, 60), 51);
}

TEST(ReplugWatch, TwoRemovalsAreNotAReplug) {
  RepairContext c;
  for (int i = 0; i < 3; ++i) {
    NoteDeviceChange(c, kDeviceRemoveComplete);
    Tick(c, 1);
  }
  NoteDeviceChange(c, 0x7);  // another kind of notification counts for nothing
  EXPECT_EQ(Tick(c, 100), 0);
  EXPECT_FALSE(c.arrivalStage);
}

TEST(NamedEvent, OneEventPerNameManualResetStaysSet) {
  auto first = qv::CreateNamedEvent("DialogLogicEvent", true, false);
  auto again = qv::CreateNamedEvent("DialogLogicEvent", false, true);
  EXPECT_EQ(first, again);  // the existing event, its own mode and state
  EXPECT_FALSE(again->IsSet());
  EXPECT_FALSE(first->WaitFor(5));
  std::thread setter([&] { first->Set(); });
  first->Wait();
  setter.join();
  EXPECT_TRUE(first->WaitFor(0));  // still set: manual reset
  first->Reset();
  EXPECT_FALSE(first->WaitFor(0));

  auto automatic = qv::CreateNamedEvent("", false, true);
  EXPECT_TRUE(automatic->WaitFor(0));
  EXPECT_FALSE(automatic->WaitFor(0));  // an auto-reset event releases one wait
}

}  // namespace
