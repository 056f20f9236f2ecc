#include "app/startup/resource_file.h"

#include <string>

#include "app/startup/exe_directory.h"
#include "platform/files.h"
#include "platform/resources.h"

void RemoveStaleFile(std::string_view folder, std::string_view name) {
  std::string path = std::string(folder) + "\\" + std::string(name);
  if (!qv::PathExists(path)) return;
  qv::SetFileAttributes(path, qv::kAttrArchive);
  qv::DeleteFile(path);
}

void ExtractResourceFile(std::string_view type, int id, std::string_view name) {
  std::optional<std::string> folder = GetExeDirectory();
  if (!folder) return;
  std::string path = *folder + "\\" + std::string(name);
  qv::ResourceBytes bytes;
  if (!qv::FindResource(type, id, &bytes)) bytes = {};
  qv::WriteNewFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data), bytes.size));
}
