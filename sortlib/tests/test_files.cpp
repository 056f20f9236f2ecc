#include "sortlib/tests/test_files.h"

#include <fcntl.h>
#include <sys/file.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/module.h"

namespace fs = std::filesystem;

namespace sievex_test {

namespace {

// ctest runs the cases of one program as parallel processes, and they all
// share the program's folder: the first process that touches the files
// takes the folder's lock and keeps it until it exits.
void HoldFolderLock() {
  static const int fd = [] {
    int f = ::open((qv::ExecutableDirectory() + "/.test-files.lock").c_str(),
                   O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (f >= 0) ::flock(f, LOCK_EX);
    return f;
  }();
  (void)fd;
}

}  // namespace

std::string ExecutableFolder() {
  HoldFolderLock();
  return qv::ExecutableDirectory();
}

void InstallCarriedFlashDatabase() {
  fs::copy_file(QV_CARRIED_FLASH8K, fs::path(ExecutableFolder()) / "flash8k.ini",
                fs::copy_options::overwrite_existing);
}

void WriteFlashDatabase(const std::string& text) {
  std::ofstream(fs::path(ExecutableFolder()) / "flash8k.ini", std::ios::binary | std::ios::trunc)
      << text;
}

void RemoveFlashDatabase() { fs::remove(fs::path(ExecutableFolder()) / "flash8k.ini"); }

void WriteBootImage(const std::string& relative, uint8_t marker, size_t size) {
  fs::path path = fs::path(ExecutableFolder()) / relative;
  fs::create_directories(path.parent_path());
  std::vector<char> bytes(size, static_cast<char>(0xEE));
  for (size_t i = 0x5000; i < 0x6000 && i < size; ++i) bytes[i] = static_cast<char>(marker);
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

void RemoveBootFolder() { fs::remove_all(fs::path(ExecutableFolder()) / "Boot"); }

}  // namespace sievex_test
