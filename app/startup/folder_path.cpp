#include "app/startup/folder_path.h"

#include <string>

#include "app/startup/fatal_exit.h"
#include "platform/files.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// "C:" alone names a drive, not a folder that could be created.
bool IsBareDrive(std::string_view text) { return text.size() == 2 && text[1] == ':'; }

}  // namespace

bool CreateFolderChecked(std::string_view folderPath) {
  if (qv::PathExists(folderPath)) return true;
  if (!qv::CreateDirectory(folderPath)) FatalAppExit("Couldn't create dir");
  return true;
}

bool CreateFolderPath(std::string_view filePath) {
  size_t last = filePath.find_last_of("\\/");
  if (last == std::string_view::npos) return true;
  std::string_view folder = filePath.substr(0, last);
  // Every folder on the way, outermost first. The root and the drive exist
  // already; doubled separators add nothing.
  for (size_t i = 0; i < folder.size(); ++i) {
    if (!IsSeparator(folder[i])) continue;
    std::string_view before = folder.substr(0, i);
    if (before.empty() || IsBareDrive(before) || IsSeparator(before.back())) continue;
    CreateFolderChecked(before);
  }
  if (!folder.empty() && !IsBareDrive(folder)) CreateFolderChecked(folder);
  return true;
}
