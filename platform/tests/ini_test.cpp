#include "platform/ini.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/tests/temp_dir.h"

namespace {

// The flash database as the program carries it: empty keys, comment lines
// inside sections, blanks around values.
const char kFlashDb[] =
    "[0]\r\nBrand=Toshiba\r\nFID=0x98,0xd7,0x95,0x32,0x7a\r\nBlocksPerChip=4096\r\n"
    "SectorsPerPage=16\r\nSectorsPerBlock=2048\r\nFlashSize=64G\r\nStartGapBlock=2048\r\n"
    "GapBlockSize=2048\r\nCE=\r\nIs8KPage=\r\nUseSPF=\r\nIs16Bit=0\r\n"
    "[3]\r\nBrand=samsung\r\nFID = 0xec,0xd5,0x94,0x29,0x34 \r\nBlocksPerChip=4096\r\n"
    ";for software application\r\nIs8KPage=0\r\nUseSPF=1\r\n"
    ";for software application\r\nIs16Bit=0\r\n"
    "[4]\r\nbrand=Micron\r\nCE=2\r\nBlocksPerChip=16384\r\n";

class IniTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(qv::WriteNewFile(path_, kFlashDb)); }
  TempDir dir_;
  std::string path_ = dir_ / "flash8k.ini";
};

TEST_F(IniTest, SectionNamesInFileOrderWithinTheBuffer) {
  char names[4096];
  size_t n = qv::GetProfileSectionNames(names, sizeof names, path_);
  EXPECT_EQ(std::string(names, n), std::string("0\0" "3\0" "4\0", 6));
  EXPECT_EQ(names[n], 0);
  // A buffer too small for a name drops that name whole.
  char small[5];
  n = qv::GetProfileSectionNames(small, sizeof small, path_);
  EXPECT_EQ(std::string(small, n), std::string("0\0" "3\0", 4));
}

TEST_F(IniTest, KeysWithoutRegardToCaseValuesTrimmed) {
  char value[64];
  qv::GetProfileString("3", "fid", "", value, sizeof value, path_);
  EXPECT_STREQ(value, "0xec,0xd5,0x94,0x29,0x34");
  qv::GetProfileString("4", "BRAND", "", value, sizeof value, path_);
  EXPECT_STREQ(value, "Micron");
  EXPECT_EQ(qv::ProfileString("0", "RedudantSize", "none", path_), "none");
  EXPECT_EQ(qv::ProfileString("9", "FID", "", path_), "");
}

TEST_F(IniTest, IntegersWithDefaultsAndEmptyValues) {
  EXPECT_EQ(qv::GetProfileInt("0", "BlocksPerChip", 0, path_), 4096);
  EXPECT_EQ(qv::GetProfileInt("0", "Is8KPage", 1, path_), 0);   // present but empty
  EXPECT_EQ(qv::GetProfileInt("4", "Is8KPage", 1, path_), 1);   // missing
  EXPECT_EQ(qv::GetProfileInt("3", "UseSPF", 0, path_), 1);     // after a comment line
  EXPECT_EQ(qv::GetProfileInt("4", "CE", 0, path_), 2);
}

TEST_F(IniTest, TextCutAtTheCallersLength) {
  char value[8];
  size_t n = qv::GetProfileString("0", "FID", "", value, sizeof value, path_);
  EXPECT_EQ(n, 7u);
  EXPECT_STREQ(value, "0x98,0x");
}

TEST(Ini, MissingFileGivesDefaults) {
  EXPECT_EQ(qv::GetProfileInt("Device", "X", 7, "/nonexistent/x.ini"), 7);
  char names[16];
  EXPECT_EQ(qv::GetProfileSectionNames(names, sizeof names, "/nonexistent/x.ini"), 0u);
}

}  // namespace
