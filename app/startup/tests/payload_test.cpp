#include "app/startup/payload.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>

#include "app/startup/exe_directory.h"
#include "app/startup/folder_path.h"
#include "app/startup/fatal_exit.h"
#include "app/startup/resource_file.h"
#include "app/startup/tests/archive_fixture.h"
#include "platform/message_box.h"
#include "platform/module.h"
#include "platform/resources.h"
#include "platform/temp_name.h"

namespace {

namespace fs = std::filesystem;

std::string BinFolder() { return qv::ExecutableDirectory(); }

// Runs the probe copied into `folder` as Quorvin and returns its exit
// status; its message boxes (printed by the console backend) go to *boxes.
int RunProbeIn(const std::string& folder, std::string* boxes = nullptr) {
  std::string probe = folder + "/Quorvin";
  std::string output = folder + ".stderr";
  fs::copy_file(BinFolder() + "/payload_refresh_probe", probe, fs::copy_options::overwrite_existing);
  int status = std::system(("'" + probe + "' 2>'" + output + "'").c_str());
  if (boxes) *boxes = ReadBytes(output);
  fs::remove(output);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Compares whole files without printing binary content on a mismatch.
testing::AssertionResult SameBytes(const std::string& actualPath, const std::string& expected) {
  std::string actual = ReadBytes(actualPath);
  if (actual == expected) return testing::AssertionSuccess();
  return testing::AssertionFailure() << actualPath << " differs (" << actual.size() << " bytes, "
                                     << expected.size() << " expected)";
}

std::vector<std::string> FilesUnder(const std::string& root) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) names.push_back(fs::relative(e.path(), root).string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Payload, RelocatedCopyWritesEveryCarriedFileAndUnpacksBoot) {
  ScratchFolder work;
  // Left by an earlier run: a read-only stale copy and a file of our own.
  WriteBytes(work / "Device.ini", "stale");
  chmod((work / "Device.ini").c_str(), 0444);
  WriteBytes(work / "Boot/423/notes.txt", "mine");

  ASSERT_EQ(RunProbeIn(work.path()), 0);

  const std::string source = std::string(QV_SOURCE_DIR) + "/app/resources/";
  EXPECT_EQ(ReadBytes(work / "Device.ini"), ReadBytes(source + "Device.ini"));
  EXPECT_EQ(ReadBytes(work / "deft63.esp"), ReadBytes(source + "deft63.esp"));
  EXPECT_EQ(ReadBytes(work / "flash8k.ini"), ReadBytes(source + "flash8k.ini"));
  EXPECT_TRUE(SameBytes(work / "BootCode.r", ReadBytes(BinFolder() + "/BootCode.r")));
  for (const char* library : {"Sievex.dll", "Dravik.dll"}) {
    std::string built = BinFolder() + "/" + library;
    EXPECT_TRUE(SameBytes(work / library, fs::exists(built) ? ReadBytes(built) : ""));
  }
  // The unpacked tree equals the generated one, plus the file of our own.
  std::vector<std::string> expected = FilesUnder(BinFolder() + "/Boot");
  expected.push_back("423/notes.txt");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesUnder(work / "Boot"), expected);
  for (const std::string& name : FilesUnder(BinFolder() + "/Boot"))
    EXPECT_TRUE(SameBytes(work / ("Boot/" + name), ReadBytes(BinFolder() + "/Boot/" + name)));
  EXPECT_EQ(ReadBytes(work / "Boot/423/notes.txt"), "mine");

  // A second start gives the same tree.
  ASSERT_EQ(RunProbeIn(work.path()), 0);
  EXPECT_EQ(FilesUnder(work / "Boot"), expected);
}

TEST(Payload, CarriedFilesAreRegisteredInTableOrderUnderTheirIds) {
  std::vector<int> ids;
  for (const CarriedFile& f : kCarriedFiles) ids.push_back(f.id);
  EXPECT_EQ(ids, (std::vector<int>{151, 159, 153, 154, 158, 152}));
  qv::ResourceBytes bytes;
  ASSERT_TRUE(qv::FindResource("BINARYFILE", 153, &bytes));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data), bytes.size),
            "[Device]\nSelectDevice=KR423\n");
  EXPECT_TRUE(qv::FindResource("binaryfile", 152, &bytes));
  EXPECT_GT(bytes.size, 0u);
  EXPECT_FALSE(qv::FindResource("BINARYFILE", 150, &bytes));
  EXPECT_FALSE(qv::FindResource("ICON", 153, &bytes));
}

TEST(Payload, MissingResourceGivesAnEmptyFile) {
  std::string path = BinFolder() + "/qv_missing_resource.bin";
  ExtractResourceFile("BINARYFILE", 9999, "qv_missing_resource.bin");
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(fs::file_size(path), 0u);
  fs::remove(path);
}

TEST(Payload, MissingBootArchiveEndsTheStartUp) {
  ScratchFolder work;
  // A folder in the archive's place can be neither replaced nor opened.
  fs::create_directories(work / "BootCode.r/held");
  std::string boxes;
  EXPECT_EQ(RunProbeIn(work.path(), &boxes), 1);
  EXPECT_NE(boxes.find("Quorvin: Cannot open the boot code file"), std::string::npos) << boxes;
  EXPECT_TRUE(fs::exists(work / "flash8k.ini"));  // the files before it were written
}

TEST(ExeDirectory, CutsAtTheLastSeparatorAndRefusesLongOrBarePaths) {
  EXPECT_EQ(ExeDirectoryOf("C:\\Temp\\RevUdi\\Quorvin.exe").value(), "C:\\Temp\\RevUdi");
  EXPECT_EQ(ExeDirectoryOf("/tmp/RevUdi/Quorvin").value(), "/tmp/RevUdi");
  std::string error;
  EXPECT_FALSE(ExeDirectoryOf("Quorvin.exe", &error));
  EXPECT_EQ(error, "Unable to get exe location");
  std::string longest = "/" + std::string(kMaxModulePathLength - 2, 'a') + "/x";
  ASSERT_EQ(longest.size(), 128u);
  EXPECT_TRUE(ExeDirectoryOf(longest.substr(1)));  // 127 characters
  EXPECT_FALSE(ExeDirectoryOf(longest, &error));   // 128: refused, never cut
  EXPECT_NE(error.find("128 characters"), std::string::npos) << error;
}

TEST(FolderPath, CreatesEveryLevelAndEndsTheProcessWhenOneCannotBeMade) {
  ScratchFolder dir;
  EXPECT_TRUE(CreateFolderPath(dir / "Boot\\423\\CA\\fw1.BIN"));
  EXPECT_TRUE(fs::is_directory(dir / "Boot/423/CA"));
  EXPECT_TRUE(CreateFolderPath("no-folder-part"));
  WriteBytes(dir / "file", "x");
  EXPECT_TRUE(CreateFolderChecked(dir / "file"));  // anything existing will do
  EXPECT_EXIT(CreateFolderPath(dir / "file\\sub\\x.bin"), testing::ExitedWithCode(kFatalExitStatus),
              "Couldn't create dir");
}

TEST(TempName, NamesAreUniqueAndPrivate) {
  std::string a = qv::CreateTempFile("T");
  std::string b = qv::CreateTempFile("T");
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(qv::UserTempFolder(), 0), 0u);
  struct stat st;
  ASSERT_EQ(stat(a.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(qv::IsPrivateFolder(fs::path(a).parent_path().string()));
  fs::remove(a);
  fs::remove(b);
}

}  // namespace
