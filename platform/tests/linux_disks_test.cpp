#include "platform/linux_disks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "platform/storage.h"
#include "platform/tests/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// A small sysfs tree: one USB stick, a CD drive on ATA, a virtio disk, a loop
// device.
class SysfsFixture : public ::testing::Test {
 protected:
  void AddDisk(const std::string& devicePath, const std::string& name, const std::string& dev,
               bool removable, uint64_t sectors) {
    fs::path dir = root() / "devices" / devicePath / "block" / name;
    fs::create_directories(dir);
    std::ofstream(dir / "dev") << dev << "\n";
    std::ofstream(dir / "removable") << (removable ? 1 : 0) << "\n";
    std::ofstream(dir / "size") << sectors << "\n";
    fs::create_directories(root() / "block");
    fs::create_directory_symlink(fs::path("..") / "devices" / devicePath / "block" / name,
                                 root() / "block" / name);
    fs::create_directories(root() / "dev/block");
    fs::create_directory_symlink(fs::path("../..") / "devices" / devicePath / "block" / name,
                                 root() / "dev/block" / dev);
  }
  void Remove(const std::string& name, const std::string& dev) {
    fs::remove(root() / "block" / name);
    fs::remove(root() / "dev/block" / dev);
  }
  fs::path root() const { return fs::path(dir_.path()) / "sys"; }
  std::string letters() const { return dir_ / "drive-letters.ini"; }
  std::vector<qv::LinuxDisk> Scan() { return qv::ScanLinuxDisks(root(), "/dev", letters()); }

  void SetUp() override {
    AddDisk("pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host6/target6:0:0/6:0:0:0", "sdb", "8:16",
            true, 7864320);
    AddDisk("pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0", "sr0", "11:0", true, 0);
    AddDisk("pci0000:00/0000:00:04.0/virtio1", "vda", "252:0", false, 41943040);
    AddDisk("virtual", "loop0", "7:0", false, 0);
  }
  TempDir dir_;
};

TEST_F(SysfsFixture, TypesBusesNumbersAndLettersInDiskNumberOrder) {
  auto disks = Scan();
  ASSERT_EQ(disks.size(), 3u);  // the loop device is no disk
  EXPECT_EQ(disks[0].name, "sdb");
  EXPECT_EQ(disks[0].letter, 'C');
  EXPECT_EQ(disks[0].busType, qv::kBusUsb);
  EXPECT_EQ(disks[0].driveType, qv::kDriveRemovable);
  EXPECT_EQ(disks[0].identity, "usb:1-2:1.0");
  EXPECT_EQ(disks[0].diskNumber, 8u * 65536 + 16);
  EXPECT_EQ(disks[0].sizeBytes, 7864320ull * 512);
  EXPECT_EQ(disks[1].name, "sr0");
  EXPECT_EQ(disks[1].driveType, qv::kDriveCdrom);
  EXPECT_EQ(disks[1].busType, qv::kBusSata);
  EXPECT_EQ(disks[2].name, "vda");
  EXPECT_EQ(disks[2].driveType, qv::kDriveFixed);
  EXPECT_NE(disks[2].busType, qv::kBusUsb);
  EXPECT_EQ(disks[2].letter, 'E');
}

TEST_F(SysfsFixture, ARePluggedDriveKeepsItsLetterUnderANewName) {
  Scan();
  Remove("sdb", "8:16");
  EXPECT_EQ(Scan().size(), 2u);
  // Same port, new kernel name; and a second stick on another port.
  AddDisk("pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host7/target7:0:0/7:0:0:0", "sdc", "8:32",
          true, 7864320);
  AddDisk("pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/host8/target8:0:0/8:0:0:0", "sdd", "8:48",
          true, 7864320);
  auto disks = Scan();
  ASSERT_EQ(disks.size(), 4u);
  EXPECT_EQ(disks[0].name, "sdc");
  EXPECT_EQ(disks[0].letter, 'C');
  EXPECT_EQ(disks[1].name, "sdd");
  EXPECT_EQ(disks[1].letter, 'F');  // C, D and E are held by known identities
}

TEST_F(SysfsFixture, PinnedLettersWin) {
  ASSERT_TRUE(qv::WriteNewFile(letters(), "[Letters]\nQ=usb:1-2:1.0\n"));
  auto disks = Scan();
  EXPECT_EQ(disks[0].letter, 'Q');
  EXPECT_EQ(disks[1].letter, 'C');
}

TEST_F(SysfsFixture, BackendAnswersFromTheTree) {
  auto storage = qv::CreateLinuxStorage(root(), "/dev");
  setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
  uint32_t mask = storage->LogicalDriveMask();
  EXPECT_EQ(mask, (1u << 2) | (1u << 3) | (1u << 4));
  EXPECT_EQ(storage->DriveType("D:"), qv::kDriveCdrom);
  EXPECT_EQ(storage->DriveType("Z:"), qv::kDriveNoRootDir);
  EXPECT_EQ(storage->DiskInterfaces(), (std::vector<std::string>{"/dev/sdb", "/dev/vda"}));
  EXPECT_EQ(storage->Describe('c'), "/dev/sdb");
  unsetenv("XDG_CONFIG_HOME");
}

TEST(LinuxDisks, ThisMachinesDisksAreNotUsb) {
  TempDir dir;
  for (const qv::LinuxDisk& d : qv::ScanLinuxDisks("/sys", "/dev", dir / "letters.ini"))
    EXPECT_NE(d.busType, qv::kBusUsb) << d.name;
}

}  // namespace
