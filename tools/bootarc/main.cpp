// bootarc: the boot archive on the command line.
//   bootarc pack FOLDER ARCHIVE    every file under FOLDER, names relative to it
//   bootarc list ARCHIVE           one entry name per line, as stored
//   bootarc unpack ARCHIVE FOLDER  every entry into FOLDER, refusing the same
//                                  names as the program
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/startup/boot_archive.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: bootarc pack FOLDER ARCHIVE\n"
               "       bootarc list ARCHIVE\n"
               "       bootarc unpack ARCHIVE FOLDER\n");
  return 2;
}

std::string WithBackslash(std::string folder) {
  if (folder.empty() || (folder.back() != '\\' && folder.back() != '/')) folder += '\\';
  return folder;
}

// Entry names with backslashes, in a stable (sorted) order.
std::vector<std::string> FilesUnder(const fs::path& root, const fs::path& skip) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    if (fs::equivalent(it->path(), skip, ec)) continue;
    std::string name = fs::relative(it->path(), root, ec).generic_string();
    std::replace(name.begin(), name.end(), '/', '\\');
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

int Pack(const std::string& folder, const std::string& archivePath) {
  BootArchive archive;
  if (!archive.Open(archivePath, true)) {
    std::fprintf(stderr, "bootarc: cannot create %s\n", archivePath.c_str());
    return 1;
  }
  archive.m_baseDir = WithBackslash(folder);
  // The archive itself may lie inside the folder: it is not packed into itself.
  std::string archiveName = archivePath;
  if (archiveName.size() < 2 || archiveName.compare(archiveName.size() - 2, 2, ".r") != 0)
    archiveName += ".r";
  int failures = 0;
  for (const std::string& name : FilesUnder(qv::HostPath(folder), qv::HostPath(archiveName))) {
    if (!archive.AddFile(name)) {
      std::fprintf(stderr, "bootarc: cannot add %s\n", name.c_str());
      ++failures;
    }
  }
  return failures ? 1 : 0;
}

int List(const std::string& archivePath) {
  BootArchive archive;
  if (!archive.Open(archivePath, false)) {
    std::fprintf(stderr, "bootarc: cannot open %s\n", archivePath.c_str());
    return 1;
  }
  std::string name;
  while (archive.SkipNext(&name)) std::printf("%s\n", name.c_str());
  return 0;
}

int Unpack(const std::string& archivePath, const std::string& folder) {
  BootArchive archive;
  if (!archive.Open(archivePath, false)) {
    std::fprintf(stderr, "bootarc: cannot open %s\n", archivePath.c_str());
    return 1;
  }
  archive.m_baseDir = WithBackslash(folder);
  if (!archive.Rewind()) return 1;
  while (archive.ExtractNext() == 1) {
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  if (command == "pack" && argc == 4) return Pack(argv[2], argv[3]);
  if (command == "list" && argc == 3) return List(argv[2]);
  if (command == "unpack" && argc == 4) return Unpack(argv[2], argv[3]);
  return Usage();
}
