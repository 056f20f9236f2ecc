#include "app/startup/payload.h"

#include "app/startup/boot_archive.h"
#include "app/startup/exe_directory.h"
#include "app/startup/resource_file.h"
#include "platform/message_box.h"

bool RefreshPayload(std::string_view workFolder, std::string_view title) {
  std::string error;
  if (!GetExeDirectory(&error)) {
    qv::MessageBox(error, title, qv::kMbOk);
    return false;
  }
  for (const CarriedFile& file : kCarriedFiles) {
    RemoveStaleFile(workFolder, file.name);
    ExtractResourceFile(kCarriedFileType, file.id, file.name);
  }

  BootArchive archive;
  std::string folder(workFolder);
  if (!archive.Open(folder + "\\" + kBootArchiveName, false)) {
    qv::MessageBox(kCannotOpenBootCode, title, qv::kMbOk);
    return false;
  }
  archive.m_baseDir = folder + "\\Boot";
  if (archive.m_baseDir.back() != '\\') archive.m_baseDir += '\\';
  if (!archive.Rewind()) {
    qv::MessageBox(kPointerResetFailed, title, qv::kMbOk);
    return false;
  }
  while (archive.ExtractNext() == 1) {
  }
  archive.Close();
  return true;
}
