// Starting another program, and naming the running one's own file.
#pragma once
#include <string>
#include <string_view>

namespace qv {

// Starts `program` with no arguments (its argument 0 is its own path), in
// `folder` as its current folder, with this process's environment and
// standard streams; no other descriptor is passed on. Does not wait for it.
// Both paths go through HostPath (paths.h). False, with the system's error
// number in *error, when the program cannot be started (missing, not
// executable, or the folder cannot be entered).
bool StartProgram(std::string_view program, std::string_view folder, int* error = nullptr);

// A path that opens the running program's own file: the file the process
// was started from, whatever name it was started under and even when that
// name has since been moved or removed.
std::string RunningProgramFile();

}  // namespace qv
