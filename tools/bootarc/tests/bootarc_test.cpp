// bootarc driven as a user drives it: pack, list, unpack.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/module.h"

namespace {

namespace fs = std::filesystem;

struct BootarcRun {
  int status;
  std::string out;
};

BootarcRun Bootarc(const std::string& arguments) {
  std::string output = (fs::temp_directory_path() / ("bootarc-out-" + std::to_string(getpid()))).string();
  std::string command = qv::ExecutableDirectory() + "/bootarc " + arguments + " >" + output + " 2>&1";
  int status = std::system(command.c_str());
  std::ifstream in(output);
  std::ostringstream text;
  text << in.rdbuf();
  fs::remove(output);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
}

std::string Tree(const fs::path& root) {
  std::ostringstream all;
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    all << fs::relative(f, root).string() << '=' << in.rdbuf() << '\n';
  }
  return all.str();
}

class Scratch {
 public:
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "qvbootarc-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~Scratch() { fs::remove_all(path_); }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

TEST(Bootarc, PackListAndUnpackTwiceGiveTheSameTree) {
  Scratch dir;
  fs::create_directories(dir / "src/423/CA");
  std::ofstream(dir / "src/423/CA/fw1.BIN") << std::string(3000, 'c');
  std::ofstream(dir / "src/top.ini") << "[x]\n";

  ASSERT_EQ(Bootarc("pack " + (dir / "src").string() + " " + (dir / "a.r").string()).status, 0);
  BootarcRun list = Bootarc("list " + (dir / "a.r").string());
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.out, "423\\CA\\fw1.BIN\ntop.ini\n");

  for (const char* out : {"one", "two"})
    ASSERT_EQ(Bootarc("unpack " + (dir / "a.r").string() + " " + (dir / out).string()).status, 0);
  EXPECT_EQ(Tree(dir / "one"), Tree(dir / "src"));
  EXPECT_EQ(Tree(dir / "two"), Tree(dir / "src"));
}

TEST(Bootarc, GeneratedArchiveListsTheBootImages) {
  BootarcRun list = Bootarc(qv::ExecutableDirectory() + "/BootCode.r");
  EXPECT_NE(list.status, 0);  // no command: usage
  list = Bootarc("list " + qv::ExecutableDirectory() + "/BootCode.r");
  ASSERT_EQ(list.status, 0);
  for (const char* image : {"425\\fw2.BIN", "425\\fwa1.BIN", "423\\BA\\fw1.BIN", "423\\CA\\fw1.BIN",
                            "423\\CA\\fwt.BIN", "423\\DA\\fw1.BIN", "423\\DA\\fwt.BIN",
                            "425\\k425sa1.bin", "425\\k425s.bin", "423\\k423s.bin"})
    EXPECT_NE(list.out.find(std::string(image) + "\n"), std::string::npos) << image;
}

}  // namespace
