#include "app/console/device_library_binding.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files.h"
#include "platform/module.h"

namespace {

namespace fs = std::filesystem;
using B = DeviceLibraryBinding;

constexpr char kStub[] = "DravikStub";  // built beside the test as DravikStub.dll

// Runs the test in a scratch current folder, restoring the old one after.
class ScratchCurrentFolder {
 public:
  ScratchCurrentFolder() : old_(qv::GetCurrentDirectory()) {
    std::string pattern = (fs::temp_directory_path() / "qvbind-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
    qv::SetCurrentDirectory(path_);
  }
  ~ScratchCurrentFolder() {
    qv::SetCurrentDirectory(old_);
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string old_;
  std::string path_;
};

TEST(DeviceLibraryBinding, BindsFoundEntriesAndSkipsMissingOnesKeepingDefaults) {
  B binding(kStub);
  EXPECT_EQ(binding.Module(), nullptr);  // nothing is loaded before the first lookup
  EXPECT_EQ(binding.StateOf(B::kCreateCUSBDevice), B::kNotLookedUp);

  DravikDevice device = binding.CreateCUSBDevice();
  ASSERT_NE(device, nullptr);
  EXPECT_NE(binding.Module(), nullptr);
  EXPECT_EQ(binding.LastLoadError(), 0u);
  EXPECT_EQ(binding.StateOf(B::kCreateCUSBDevice), B::kBound);
  EXPECT_EQ(binding.DeviceExist(device), 1);
  uint16_t chipId = 0, chipVersion = 0;
  EXPECT_EQ(binding.GetChipID(device, &chipId, &chipVersion), 1);
  EXPECT_EQ(chipId, 0x425);
  EXPECT_EQ(chipVersion, 0x11);
  char version[kFwVersionSize] = {};
  binding.GetFwVersion(device, version);
  EXPECT_STREQ(version, "120705");

  // Missing entry points: state 1, the call is skipped, defaults are kept.
  char text[kDeviceStringSize] = "as it was";
  EXPECT_EQ(binding.GetDeviceString(device, text), 0);
  EXPECT_STREQ(text, "as it was");
  EXPECT_EQ(binding.StateOf(B::kGetDeviceString), B::kMissing);
  EXPECT_EQ(binding.GetErrorCode(device), 0u);
  EXPECT_EQ(binding.StateOf(B::kGetErrorCode), B::kMissing);
  uint32_t bad = 7, total = 8, divisor = 9;
  EXPECT_EQ(binding.GetBADBlockInfomation(device, &bad, &total, &divisor), 0);
  EXPECT_EQ(bad + total + divisor, 24u);
  // Entries never called stay unlooked-up.
  EXPECT_EQ(binding.StateOf(B::kRunRepairDevice), B::kNotLookedUp);
}

TEST(DeviceLibraryBinding, FreesTheLibraryWhenDestroyed) {
  std::string file = qv::ExecutableDirectory() + "/DravikStub.dll";
  {
    B binding(kStub);
    binding.Lookup(B::kDeviceExist);
    void* loaded = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);  // counts one more reference
    ASSERT_NE(loaded, nullptr);
    dlclose(loaded);
  }
  EXPECT_EQ(dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST(DeviceLibraryBinding, FailedLoadIsRecordedAndNeverRetried) {
  ScratchCurrentFolder cwd;
  B binding("QvLateLibrary");
  EXPECT_EQ(binding.CreateCUSBDevice(), nullptr);
  EXPECT_EQ(binding.LastLoadError(), qv::kErrorModNotFound);
  EXPECT_EQ(binding.StateOf(B::kCreateCUSBDevice), B::kNotLookedUp);  // no module: not looked up

  // The library appears in the current folder afterwards: this binding
  // keeps its recorded failure, a new one finds it there.
  fs::copy_file(qv::ExecutableDirectory() + "/DravikStub.dll", cwd.path() + "/QvLateLibrary.dll");
  EXPECT_EQ(binding.CreateCUSBDevice(), nullptr);
  EXPECT_EQ(binding.Module(), nullptr);
  B fresh("QvLateLibrary");
  EXPECT_NE(fresh.CreateCUSBDevice(), nullptr);
}

TEST(DeviceLibraryBinding, FileThatIsNoLibraryIsABadFormat) {
  ScratchCurrentFolder cwd;
  std::ofstream(cwd.path() + "/QvNotALibrary.dll") << "MZ not really";
  B binding("QvNotALibrary");
  EXPECT_EQ(binding.DeviceExist(nullptr), 0);
  EXPECT_EQ(binding.LastLoadError(), qv::kErrorBadExeFormat);
}

TEST(Library, ModuleNamesGetTheDefaultExtensionUnlessTheyEndInADot) {
  ScratchCurrentFolder cwd;
  std::string bin = qv::ExecutableDirectory();
  struct Case {
    std::string name;
    bool found;
  };
  const Case cases[] = {
      {"DravikStub", true},           // + ".dll", beside the executable
      {"DravikStub.dll", true},
      {"DravikStub.", false},         // means the file "DravikStub"
      {bin + "/DravikStub", true},    // a path with a folder is taken as given
      {"NoSuchLibrary", false},
  };
  for (const Case& c : cases) {
    qv::ModuleHandle module = qv::LoadLibrary(c.name);
    EXPECT_EQ(module != nullptr, c.found) << c.name;
    if (!module) continue;
    EXPECT_NE(qv::GetProcAddress(module, "Dravik_DeviceExist"), nullptr);
    EXPECT_EQ(qv::GetProcAddress(module, "Dravik_GetErrorCode"), nullptr);
    EXPECT_EQ(qv::LastLibraryError(), qv::kErrorProcNotFound);
    EXPECT_TRUE(qv::FreeLibrary(module));
  }
}

}  // namespace
