#include "platform/process.h"

#include <spawn.h>
#include <sys/types.h>

#include <cerrno>
#include <string>

#include "platform/paths.h"

extern char** environ;

namespace qv {

bool StartProgram(std::string_view program, std::string_view folder, int* error) {
  std::string path = HostPath(program);
  std::string cwd = HostPath(folder);

  posix_spawn_file_actions_t actions;
  int rc = posix_spawn_file_actions_init(&actions);
  if (rc != 0) {
    if (error) *error = rc;
    return false;
  }
  rc = posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  // Descriptors 0-2 are the launcher's streams; nothing else is inherited.
  if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (rc == 0) {
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    // posix_spawn (not posix_spawnp): the path is used as given, never
    // looked up in PATH.
    rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (error) *error = rc;
  return rc == 0;
}

std::string RunningProgramFile() { return "/proc/self/exe"; }

}  // namespace qv
