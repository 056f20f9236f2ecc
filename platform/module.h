// What the system tells a program about itself: its executable, its command
// line, the user's temporary folder.
#pragma once
#include <string>

namespace qv {

// Full path of the running executable (the host program, not a library).
std::string ExecutablePath();
// Its folder, without a trailing separator.
std::string ExecutableDirectory();

// Argument 0 of the command line, as the program was started. Hosts call
// SetCommandLine from main; without it /proc/self/cmdline is read.
void SetCommandLine(int argc, char** argv);
std::string CommandLineArg0();

// The product's folder of per-user settings: $XDG_CONFIG_HOME/quorvin, or
// ~/.config/quorvin when that is not set.
std::string UserConfigFolder();

// The user's own temporary folder, with a trailing '/'. Only this user can
// write it: $XDG_RUNTIME_DIR when it is a private folder of the user, else
// $TMPDIR under the same check, else /tmp/quorvin-<uid>, created with mode
// 0700 and refused when it is a link or belongs to someone else.
// Empty when no such folder can be had.
std::string UserTempFolder();

// True when the folder is a real folder (not a link), owned by this user
// and not writable by group or others.
bool IsPrivateFolder(const std::string& path);

}  // namespace qv
