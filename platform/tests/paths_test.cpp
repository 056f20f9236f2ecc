#include "platform/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "platform/tests/temp_dir.h"

namespace {

TEST(Paths, TranslatesWindowsSpellings) {
  struct Case { const char* in; const char* out; };
  const Case cases[] = {
      {".\\RevertLog01.txt", "./RevertLog01.txt"},
      {"\\boot\\425\\fw2.BIN", "/boot/425/fw2.BIN"},
      {"dir\\\\name", "dir/name"},
      {"423\\BA\\fw1.BIN", "423/BA/fw1.BIN"},
      {"\\\\.\\E:", "\\\\.\\E:"},  // device paths are not files
  };
  for (const Case& c : cases) EXPECT_EQ(qv::TranslatePath(c.in), c.out) << c.in;
  EXPECT_TRUE(qv::IsDevicePath("\\\\.\\E:"));
  EXPECT_FALSE(qv::IsDevicePath("E:\\x"));
}

TEST(Paths, ResolvesExistingComponentsWithoutRegardToCase) {
  TempDir dir;
  std::filesystem::create_directories(dir / "Boot/425");
  std::ofstream(dir / "Boot/425/fw2.BIN") << "x";
  // The unpacked tree says Boot\425\fw2.BIN; discovery asks for boot\425\FW2.bin.
  std::string asked = dir.path() + "\\boot\\425\\FW2.bin";
  EXPECT_EQ(qv::HostPath(asked), dir / "Boot/425/fw2.BIN");
  EXPECT_TRUE(qv::PathExists(asked));
  // A missing tail is kept as given so that it can be created.
  EXPECT_EQ(qv::HostPath(dir.path() + "\\BOOT\\new\\File.txt"), dir / "Boot/new/File.txt");
}

TEST(Paths, ExactMatchWinsOverCaseInsensitiveOne) {
  TempDir dir;
  std::ofstream(dir / "a.txt") << "lower";
  std::ofstream(dir / "A.txt") << "upper";
  EXPECT_EQ(qv::HostPath(dir / "A.txt"), dir / "A.txt");
  EXPECT_EQ(qv::HostPath(dir / "a.TXT"), dir / "A.txt");  // first by name, stable
}

TEST(Paths, DirectoryOfAndJoin) {
  EXPECT_EQ(qv::DirectoryOf("C:\\Temp\\RevUdi\\Quorvin.exe"), "C:\\Temp\\RevUdi");
  EXPECT_EQ(qv::DirectoryOf("/a/b"), "/a");
  EXPECT_EQ(qv::DirectoryOf("name"), "");
  EXPECT_EQ(qv::JoinPath("/a/", "\\b"), "/a/b");
}

}  // namespace
