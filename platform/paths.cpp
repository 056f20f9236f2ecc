#include "platform/paths.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

namespace qv {

bool IsDevicePath(std::string_view path) {
  return path.size() >= 4 && (path[0] == '\\' || path[0] == '/') &&
         (path[1] == '\\' || path[1] == '/') && (path[2] == '.' || path[2] == '?') &&
         (path[3] == '\\' || path[3] == '/');
}

std::string TranslatePath(std::string_view path) {
  if (IsDevicePath(path)) return std::string(path);
  std::string out(path);
  std::replace(out.begin(), out.end(), '\\', '/');
  // Collapse doubled separators that come from joining "dir\" + "\name".
  std::string collapsed;
  collapsed.reserve(out.size());
  for (char c : out) {
    if (c == '/' && !collapsed.empty() && collapsed.back() == '/') continue;
    collapsed.push_back(c);
  }
  return collapsed;
}

namespace {

bool Exists(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

// The entry of `folder` whose name equals `name` without regard to case;
// the alphabetically first one when several match, so the answer is stable.
std::string FindCaseInsensitive(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  std::vector<std::string> matches;
  while (dirent* e = readdir(dir)) {
    if (strcasecmp(e->d_name, name.c_str()) == 0) matches.emplace_back(e->d_name);
  }
  closedir(dir);
  if (matches.empty()) return {};
  std::sort(matches.begin(), matches.end());
  return matches.front();
}

}  // namespace

std::string ResolveCaseInsensitive(const std::string& hostPath) {
  if (hostPath.empty() || Exists(hostPath)) return hostPath;
  std::string result;
  size_t pos = 0;
  if (hostPath[0] == '/') {
    result = "/";
    pos = 1;
  }
  bool missing = false;
  while (pos <= hostPath.size()) {
    size_t next = hostPath.find('/', pos);
    if (next == std::string::npos) next = hostPath.size();
    std::string part = hostPath.substr(pos, next - pos);
    pos = next + 1;
    if (part.empty()) continue;
    std::string folder = result;
    std::string candidate = result.empty() || result.back() == '/' ? result + part : result + "/" + part;
    if (!missing && part != "." && part != ".." && !Exists(candidate)) {
      std::string found = FindCaseInsensitive(folder.empty() ? "." : folder, part);
      if (found.empty()) {
        missing = true;
      } else {
        candidate = result.empty() || result.back() == '/' ? result + found : result + "/" + found;
      }
    }
    result = candidate;
  }
  if (!hostPath.empty() && hostPath.back() == '/' && (result.empty() || result.back() != '/'))
    result += '/';
  return result;
}

std::string HostPath(std::string_view path) {
  if (IsDevicePath(path)) return std::string(path);
  return ResolveCaseInsensitive(TranslatePath(path));
}

std::string DirectoryOf(std::string_view path) {
  size_t cut = path.find_last_of("/\\");
  if (cut == std::string_view::npos) return {};
  return std::string(path.substr(0, cut));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string out(folder);
  if (out.back() != '/' && out.back() != '\\') out += '/';
  while (!name.empty() && (name.front() == '/' || name.front() == '\\')) name.remove_prefix(1);
  out += name;
  return out;
}

}  // namespace qv
