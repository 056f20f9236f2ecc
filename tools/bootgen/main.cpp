// bootgen OUTDIR: writes the boot images under OUTDIR/Boot and packs them
// into OUTDIR/BootCode.r, the archive that the program carries.
#include <cstdio>
#include <string>
#include <vector>

#include "app/startup/boot_archive.h"
#include "app/startup/folder_path.h"
#include "platform/files.h"
#include "tools/bootgen/boot_images.h"

namespace {

bool WriteImage(const std::string& bootFolder, const char* entryName,
                const std::vector<uint8_t>& bytes) {
  std::string path = bootFolder + entryName;
  CreateFolderPath(path);
  if (!qv::WriteNewFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                               bytes.size()))) {
    std::fprintf(stderr, "bootgen: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bootgen OUTDIR\n");
    return 2;
  }
  const std::string out = argv[1];
  const std::string bootFolder = out + "\\Boot\\";

  std::vector<std::string> entries;
  for (const bootgen::ImageSpec& desc : bootgen::BootImages()) {
    if (!WriteImage(bootFolder, desc.entryName, bootgen::BuildBootImage(desc))) return 1;
    entries.push_back(desc.entryName);
  }
  for (const char* firmware : bootgen::kFirmwareEntryNames) {
    if (!WriteImage(bootFolder, firmware, bootgen::BuildFirmwareImage(firmware))) return 1;
    entries.push_back(firmware);
  }

  BootArchive archive;
  if (!archive.Open(out + "\\BootCode.r", true)) {
    std::fprintf(stderr, "bootgen: cannot create %s\\BootCode.r\n", out.c_str());
    return 1;
  }
  archive.m_baseDir = bootFolder;
  for (const std::string& entry : entries) {
    if (!archive.AddFile(entry)) {
      std::fprintf(stderr, "bootgen: cannot add %s\n", entry.c_str());
      archive.Close();
      qv::DeleteFile(out + "\\BootCode.r");  // never leave half an archive behind
      return 1;
    }
  }
  archive.Close();
  return 0;
}
