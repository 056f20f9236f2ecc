#include "app/startup/boot_archive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "app/startup/tests/archive_fixture.h"
#include "platform/message_box.h"

namespace {

namespace fs = std::filesystem;

// Unpacks every entry of `archivePath` into `folder`; returns the count.
int UnpackAll(const std::string& archivePath, const std::string& folder) {
  BootArchive archive;
  EXPECT_TRUE(archive.Open(archivePath, false));
  archive.m_baseDir = folder + "\\";
  EXPECT_TRUE(archive.Rewind());
  int count = 0;
  while (archive.ExtractNext() == 1) ++count;
  return count;
}

std::vector<std::string> ListAll(const std::string& archivePath) {
  BootArchive archive;
  EXPECT_TRUE(archive.Open(archivePath, false));
  std::vector<std::string> names;
  std::string name;
  while (archive.SkipNext(&name)) names.push_back(name);
  return names;
}

TEST(BootArchive, AddFileThenExtractNextRoundTripsNestedFolders) {
  ScratchFolder dir;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"425/fw2.BIN", std::string(65536, '\xA5')},
      {"423/CA/fwt.BIN", "short"},
      {"deep/a/b/c/empty.txt", ""},
      {"top.ini", std::string(70000, 'x') + "end"},
  };
  for (const auto& [name, content] : files) WriteBytes(dir / ("src/" + name), content);

  BootArchive writer;
  ASSERT_TRUE(writer.Open(dir / "BootCode.r", true));
  writer.m_baseDir = dir / "src\\";
  for (const auto& [name, content] : files) {
    std::string stored = name;
    std::replace(stored.begin(), stored.end(), '/', '\\');
    // One leading backslash is dropped from the name.
    EXPECT_TRUE(writer.AddFile(stored == "top.ini" ? "\\top.ini" : stored)) << name;
  }
  writer.Close();

  EXPECT_EQ(ListAll(dir / "BootCode.r"),
            (std::vector<std::string>{"425\\fw2.BIN", "423\\CA\\fwt.BIN",
                                      "deep\\a\\b\\c\\empty.txt", "top.ini"}));
  EXPECT_EQ(UnpackAll(dir / "BootCode.r", dir / "out"), 4);
  for (const auto& [name, content] : files) EXPECT_EQ(ReadBytes(dir / ("out/" + name)), content) << name;

  // Members are gzip files with the fixed header of the carried archive.
  std::string raw = ReadBytes(dir / "BootCode.r");
  size_t data = std::string("425\\fw2.BIN").size() + 8 + 4;
  EXPECT_EQ(raw.substr(data, 10), std::string("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x0B", 10));
}

TEST(BootArchive, EmptyArchiveAndTrailingBytesWithoutSeparatorUnpackNothing) {
  ScratchFolder dir;
  WriteBytes(dir / "empty.r", "");
  EXPECT_EQ(UnpackAll(dir / "empty.r", dir / "out"), 0);

  WriteBytes(dir / "tail.r", EntryBytes("one.bin", GzipBytes("1")) + "no separator here \\~#$&*");
  EXPECT_EQ(UnpackAll(dir / "tail.r", dir / "out"), 1);
  EXPECT_EQ(ReadBytes(dir / "out/one.bin"), "1");
}

TEST(BootArchive, NameEndsAtTheFirstSeparatorWithABytePrecedingIt) {
  ScratchFolder dir;
  // The separator at offset 0 is part of the name; the next one ends it.
  std::string name = std::string(" \\~#$&* ") + "x";
  WriteBytes(dir / "odd.r", EntryBytes(name, GzipBytes("odd")));
  EXPECT_EQ(ListAll(dir / "odd.r"), std::vector<std::string>{name});
}

TEST(BootArchive, UnpackOverExistingTreeOverwritesEntriesAndKeepsOthers) {
  ScratchFolder dir;
  WriteBytes(dir / "a.r", EntryBytes("423\\k423s.bin", GzipBytes("new")));
  WriteBytes(dir / "Boot/423/k423s.bin", "old old old");
  WriteBytes(dir / "Boot/423/mine.txt", "keep");
  EXPECT_EQ(UnpackAll(dir / "a.r", dir / "Boot"), 1);
  EXPECT_EQ(UnpackAll(dir / "a.r", dir / "Boot"), 1);
  EXPECT_EQ(ReadBytes(dir / "Boot/423/k423s.bin"), "new");
  EXPECT_EQ(ReadBytes(dir / "Boot/423/mine.txt"), "keep");
}

TEST(BootArchive, OpenAppendsDotRUnlessThePathEndsInExactlyDotR) {
  ScratchFolder dir;
  BootArchive archive;
  struct Case {
    const char* given;
    const char* created;
  };
  for (Case c : {Case{"X.R", "X.R.r"}, Case{"Y", "Y.r"}, Case{"Z.r  ", "Z.r"}, Case{"W.r", "W.r"}}) {
    ASSERT_TRUE(archive.Open(dir / c.given, true)) << c.given;
    archive.Close();
    EXPECT_TRUE(fs::exists(dir / c.created)) << c.given;
  }
  EXPECT_FALSE(archive.Open(dir / "missing.r", false));
  EXPECT_FALSE(archive.IsOpen());
  EXPECT_FALSE(archive.Rewind());
  EXPECT_EQ(archive.ExtractNext(), 0);
  EXPECT_FALSE(archive.AddFile("x"));
}

TEST(BootArchive, OpenArchiveIsHeldExclusively) {
  ScratchFolder dir;
  BootArchive first;
  ASSERT_TRUE(first.Open(dir / "held.r", true));
  BootArchive second;
  EXPECT_FALSE(second.Open(dir / "held.r", false));
  first.Close();
  EXPECT_TRUE(second.Open(dir / "held.r", false));
}

TEST(BootArchive, NamesLeavingTheBaseFolderAreSkippedAndUnpackingGoesOn) {
  ScratchFolder dir;
  qv::MessageBoxRecorder boxes;
  const std::string escapes[] = {"..\\evil1", "a\\..\\..\\evil2", "\\evil3", "/evil4",
                                 "C:\\evil5", "C:evil6", "a/../../evil7", ".."};
  std::string bytes;
  for (const std::string& name : escapes) bytes += EntryBytes(name, GzipBytes("bad"));
  bytes += EntryBytes("good\\file", GzipBytes("good"));
  WriteBytes(dir / "evil.r", bytes);
  fs::create_directories(dir / "in/Boot");

  EXPECT_EQ(UnpackAll(dir / "evil.r", dir / "in/Boot"), static_cast<int>(std::size(escapes)) + 1);
  EXPECT_EQ(ReadBytes(dir / "in/Boot/good/file"), "good");
  // Nothing at all was written outside Boot: only good/ inside it.
  std::vector<std::string> written;
  for (const auto& e : fs::recursive_directory_iterator(dir.path()))
    if (e.is_regular_file()) written.push_back(fs::relative(e.path(), dir.path()).string());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"evil.r", "in/Boot/good/file"}));
  ASSERT_EQ(boxes.Calls().size(), std::size(escapes));
  EXPECT_EQ(boxes.Texts()[0], "Failed to open file to decompress");
}

TEST(BootArchive, AddFileRefusesWhatUnpackingWouldRefuseOrMisread) {
  ScratchFolder dir;
  WriteBytes(dir / "src/ok", "ok");
  BootArchive archive;
  ASSERT_TRUE(archive.Open(dir / "w.r", true));
  archive.m_baseDir = dir / "src\\";
  for (const char* name : {"..\\ok", "C:ok", "", "missing", "a \\~#$&* b"})
    EXPECT_FALSE(archive.AddFile(name)) << name;
  EXPECT_TRUE(archive.AddFile("ok"));
  archive.Close();
  EXPECT_EQ(ListAll(dir / "w.r"), std::vector<std::string>{"ok"});
}

TEST(BootArchive, LengthPastTheEndStopsThereAndWritesNothing) {
  ScratchFolder dir;
  std::string member = GzipBytes(std::string(5000, 'q'));
  WriteBytes(dir / "cut.r", EntryBytes("first", GzipBytes("1")) +
                                EntryBytes("cut", member.substr(0, member.size() / 2),
                                           static_cast<uint32_t>(member.size())));
  WriteBytes(dir / "huge.r", EntryBytes("huge", GzipBytes("h"), 0xFFFFFFF0u));
  EXPECT_EQ(UnpackAll(dir / "cut.r", dir / "out"), 1);
  EXPECT_EQ(UnpackAll(dir / "huge.r", dir / "out"), 0);
  EXPECT_TRUE(fs::exists(dir / "out/first"));
  EXPECT_FALSE(fs::exists(dir / "out/cut"));
  EXPECT_FALSE(fs::exists(dir / "out/huge"));
}

TEST(BootArchive, BrokenMemberWritesNothingAndLeavesTheOldFile) {
  ScratchFolder dir;
  std::string content(20000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 13);
  std::string badCrc = GzipBytes(content);
  badCrc[badCrc.size() - 6] ^= 0x55;  // the check value of the content
  std::string badData = GzipBytes(content);
  badData[badData.size() / 2] ^= 0xFF;
  std::string truncated = GzipBytes(content);
  truncated.resize(truncated.size() - 12);
  WriteBytes(dir / "bad.r", EntryBytes("crc", badCrc) + EntryBytes("data", badData) +
                                EntryBytes("short", truncated) + EntryBytes("plain", "not gzip") +
                                EntryBytes("empty", "") + EntryBytes("ok", GzipBytes("fine")));
  WriteBytes(dir / "out/crc", "previous");

  EXPECT_EQ(UnpackAll(dir / "bad.r", dir / "out"), 6);
  EXPECT_EQ(ReadBytes(dir / "out/crc"), "previous");
  for (const char* name : {"data", "short", "plain", "empty"})
    EXPECT_FALSE(fs::exists(dir / ("out/" + std::string(name)))) << name;
  EXPECT_EQ(ReadBytes(dir / "out/ok"), "fine");
}

TEST(BootArchive, UncreatableDestinationIsReportedWithBothPathsAndSkipped) {
  ScratchFolder dir;
  qv::MessageBoxRecorder boxes;
  WriteBytes(dir / "d.r", EntryBytes("dir", GzipBytes("x")) + EntryBytes("next", GzipBytes("n")));
  fs::create_directories(dir / "out/dir");  // a folder where the file should go
  EXPECT_EQ(UnpackAll(dir / "d.r", dir / "out"), 2);
  EXPECT_EQ(ReadBytes(dir / "out/next"), "n");
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].text, "Failed to open file to decompress");
  const std::string caption = boxes.Calls()[0].caption;
  EXPECT_TRUE(caption.size() > 8 && caption.ends_with(dir / "out\\dir")) << caption;
}

}  // namespace
