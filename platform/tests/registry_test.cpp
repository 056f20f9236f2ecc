#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/files.h"
#include "platform/tests/temp_dir.h"

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", home_.path().c_str(), 1);
    qv::RegistryClearOverrides();
  }
  void TearDown() override {
    qv::RegistryClearOverrides();
    if (old_.empty()) unsetenv("XDG_CONFIG_HOME"); else setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
  }
  void Write(const std::string& text) {
    std::filesystem::create_directories(home_ / "quorvin");
    ASSERT_TRUE(qv::WriteNewFile(qv::RegistryFilePath(), text));
  }
  TempDir home_;
  std::string old_;
};

TEST_F(RegistryTest, MissingFileOrValueGivesTheDefault) {
  EXPECT_EQ(qv::RegistryFilePath(), home_ / "quorvin/registry.ini");
  EXPECT_EQ(qv::RegistryReadDword("SkipCannotmarkBad", 1), 1u);
  EXPECT_FALSE(qv::RegistryReadDword("WriteLog").has_value());
  Write("[software\\rirudedu]\nWriteLog=5\n");
  EXPECT_EQ(qv::RegistryReadDword("TestStartBlock", 0), 0u);
}

TEST_F(RegistryTest, ReadAfreshEachTimeAndOverridesWin) {
  Write("[software\\rirudedu]\nwritelog=1\nTestBlockCount=0x32\n");
  EXPECT_EQ(qv::RegistryReadDword("WriteLog", 0), 1u);
  EXPECT_EQ(qv::RegistryReadDword("TestBlockCount", 0), 50u);
  Write("[software\\rirudedu]\nWriteLog=6\n");
  EXPECT_EQ(qv::RegistryReadDword("WriteLog", 0), 6u);
  qv::RegistrySetOverride("WriteLog", 2);
  EXPECT_EQ(qv::RegistryReadDword("WriteLog", 0), 2u);
  // Values of other keys are not the product's.
  Write("[other]\nWriteLog=9\n");
  qv::RegistryClearOverrides();
  EXPECT_EQ(qv::RegistryReadDword("WriteLog", 0), 0u);
}

}  // namespace
