// A stand-in for the relocated program: run from a working folder, it
// refreshes the payload there exactly as the start-up does and reports the
// outcome in its exit status (0 done, 1 the start-up would end).
#include <cstdio>

#include "app/startup/exe_directory.h"
#include "app/startup/payload.h"
#include "platform/module.h"

int main(int argc, char** argv) {
  qv::SetCommandLine(argc, argv);
  std::optional<std::string> folder = GetExeDirectory();
  return RefreshPayload(folder ? *folder : std::string(), "Quorvin") ? 0 : 1;
}
