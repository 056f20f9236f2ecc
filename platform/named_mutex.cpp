#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/module.h"

namespace qv {

namespace {

// Descriptors of the handles this process holds; never closed.
std::mutex g_heldMutex;
std::vector<int> g_held;

// A name may hold any character; only '/' and NUL cannot be in a file name,
// and '\\' is replaced too so that no path translation ever splits it.
std::string FileNameFor(std::string_view name) {
  std::string out = "QuorvinMutex-";
  for (char c : name) out += (c == '/' || c == '\\' || c == '\0') ? '_' : c;
  return out;
}

int OpenLockFile(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool Flock(int fd, int operation) {
  int rc;
  do {
    rc = ::flock(fd, operation);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

}  // namespace

std::string NamedMutexFile(std::string_view name) {
  std::string folder = UserTempFolder();
  if (folder.empty()) return {};
  return folder + FileNameFor(name);
}

NamedMutexResult CreateNamedMutex(std::string_view name) {
  std::string folder = UserTempFolder();
  if (folder.empty()) return NamedMutexResult::kFailed;

  // Every handle holds a shared lock on the name's file; the name exists
  // while any shared lock is held. Creating means: no one else holds it,
  // which only an exclusive lock can tell. Exclusive-then-shared is not one
  // step for the system, so all creators pass one at a time through a guard
  // lock, and no one else can slip in between the two.
  int guard = OpenLockFile(folder + "QuorvinMutex.guard");
  if (guard < 0) {
    return errno == EACCES || errno == EPERM ? NamedMutexResult::kAccessDenied
                                             : NamedMutexResult::kFailed;
  }
  if (!Flock(guard, LOCK_EX)) {
    ::close(guard);
    return NamedMutexResult::kFailed;
  }

  NamedMutexResult result = NamedMutexResult::kFailed;
  int fd = OpenLockFile(folder + FileNameFor(name));
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM || errno == ELOOP)
      result = NamedMutexResult::kAccessDenied;
  } else {
    bool created = Flock(fd, LOCK_EX | LOCK_NB);
    if (!created && errno != EWOULDBLOCK) {
      ::close(fd);
      fd = -1;
    } else if (Flock(fd, LOCK_SH | LOCK_NB)) {
      // Converted in place (or taken beside the other holders): held.
      result = created ? NamedMutexResult::kCreated : NamedMutexResult::kAlreadyExists;
    } else {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd >= 0) {
    std::lock_guard<std::mutex> lock(g_heldMutex);
    g_held.push_back(fd);
  }
  Flock(guard, LOCK_UN);
  ::close(guard);
  return result;
}

}  // namespace qv
