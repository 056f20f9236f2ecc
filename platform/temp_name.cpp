#include "platform/temp_name.h"

#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "platform/module.h"

namespace qv {

std::string CreateTempFile(std::string_view prefix) {
  std::string folder = UserTempFolder();
  if (folder.empty()) return {};
  std::string pattern = folder + std::string(prefix) + "XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());  // creates it exclusively, mode 0600
  if (fd < 0) return {};
  ::close(fd);
  return std::string(name.data());
}

}  // namespace qv
