#include "sortlib/tests/test_files.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/module.h"

namespace fs = std::filesystem;

namespace sievex_test {

std::string ExecutableFolder() { return qv::ExecutableDirectory(); }

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
