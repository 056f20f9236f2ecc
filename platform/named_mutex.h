// Named mutexes shared by the processes of one user, in the role of the
// system's named mutex objects: a name exists while some process holds it,
// and every process that creates or opens it holds it until it ends.
// Each name is a lock file in the user's private temporary folder
// (UserTempFolder, module.h); holding it is an advisory lock on that file,
// which the system drops when the process ends, however it ends.
#pragma once
#include <string>
#include <string_view>

namespace qv {

enum class NamedMutexResult {
  kCreated,        // no process held the name: this call created it
  kAlreadyExists,  // some open handle (of this or another process) holds it
  kAccessDenied,   // the name's lock file cannot be opened by this user
  kFailed,         // no private folder, or the lock could not be taken
};

// Creates the mutex of that name or opens the existing one, and keeps it
// for the rest of the process (the handle is never closed). Each call is one
// more handle: a second call in the same process sees kAlreadyExists.
NamedMutexResult CreateNamedMutex(std::string_view name);

// The lock file that stands for the name (exposed for tests and support);
// empty when the user has no private temporary folder.
std::string NamedMutexFile(std::string_view name);

}  // namespace qv
