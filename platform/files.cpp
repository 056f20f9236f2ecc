#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/paths.h"

namespace qv {

std::unique_ptr<File> File::Open(std::string_view path, FileAccess access, FileShare share,
                                 FileOpen disposition, int* error) {
  std::string host = HostPath(path);
  int flags = O_CLOEXEC;
  switch (access) {
    case FileAccess::kRead: flags |= O_RDONLY; break;
    case FileAccess::kWrite: flags |= O_WRONLY; break;
    case FileAccess::kReadWrite: flags |= O_RDWR; break;
  }
  switch (disposition) {
    case FileOpen::kExisting: break;
    case FileOpen::kCreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case FileOpen::kCreateNew: flags |= O_CREAT | O_EXCL; break;
    case FileOpen::kOpenAlways: flags |= O_CREAT; break;
  }
  // Truncation must wait until the sharing check has passed.
  bool truncate = (flags & O_TRUNC) != 0;
  flags &= ~O_TRUNC;
  int fd = ::open(host.c_str(), flags, 0666);
  if (fd < 0) {
    if (error) *error = errno;
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    if (error) *error = EISDIR;
    return nullptr;
  }
  int lock = share == FileShare::kExclusive ? LOCK_EX : LOCK_SH;
  if (flock(fd, lock | LOCK_NB) != 0) {
    int e = errno;
    ::close(fd);
    if (error) *error = e == EWOULDBLOCK ? EBUSY : e;
    return nullptr;
  }
  if (truncate && ftruncate(fd, 0) != 0) {
    int e = errno;
    ::close(fd);
    if (error) *error = e;
    return nullptr;
  }
  if (error) *error = 0;
  return std::unique_ptr<File>(new File(fd));
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

long File::Read(void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return done ? static_cast<long>(done) : -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<long>(done);
}

long File::Write(const void* data, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, static_cast<const char*>(data) + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return done ? static_cast<long>(done) : -1;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<long>(done);
}

bool File::Seek(int64_t offset) { return lseek(fd_, offset, SEEK_SET) == offset; }
bool File::SeekToEnd() { return lseek(fd_, 0, SEEK_END) >= 0; }
int64_t File::Position() const { return lseek(fd_, 0, SEEK_CUR); }
int64_t File::Size() const {
  struct stat st;
  return fstat(fd_, &st) == 0 ? st.st_size : -1;
}

bool PathExists(std::string_view path) {
  struct stat st;
  return stat(HostPath(path).c_str(), &st) == 0;
}

bool IsDirectory(std::string_view path) {
  struct stat st;
  return stat(HostPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t FileSize(std::string_view path) {
  struct stat st;
  return stat(HostPath(path).c_str(), &st) == 0 ? st.st_size : -1;
}

uint32_t GetFileAttributes(std::string_view path) {
  struct stat st;
  std::string host = HostPath(path);
  if (stat(host.c_str(), &st) != 0) return kAttrInvalid;
  if (S_ISDIR(st.st_mode)) return kAttrDirectory;
  uint32_t attrs = kAttrArchive;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attrs |= kAttrReadOnly;
  return attrs;
}

bool SetFileAttributes(std::string_view path, uint32_t attributes) {
  std::string host = HostPath(path);
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  if (attributes & kAttrReadOnly)
    mode &= ~(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    mode |= S_IWUSR;
  return chmod(host.c_str(), mode) == 0;
}

bool DeleteFile(std::string_view path) { return unlink(HostPath(path).c_str()) == 0; }

bool CreateDirectory(std::string_view path, unsigned mode) {
  return mkdir(HostPath(path).c_str(), static_cast<mode_t>(mode)) == 0;
}

bool CopyFile(std::string_view source, std::string_view target, bool failIfExists) {
  std::string src = HostPath(source), dst = HostPath(target);
  int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return false;
  }
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : 0);
  // Opened in place: a running executable refuses to be opened for writing.
  int out = ::open(dst.c_str(), flags, st.st_mode & 0777);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = ftruncate(out, 0) == 0;
  char buffer[1 << 16];
  while (ok) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ssize_t off = 0;
    while (off < n) {
      ssize_t w = ::write(out, buffer + off, static_cast<size_t>(n - off));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      off += w;
    }
  }
  if (ok) ok = fchmod(out, st.st_mode & 0777) == 0;
  ::close(in);
  if (::close(out) != 0) ok = false;
  return ok;
}

bool SetCurrentDirectory(std::string_view path) { return chdir(HostPath(path).c_str()) == 0; }

std::string GetCurrentDirectory() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

bool ReadWholeFile(std::string_view path, std::string* contents) {
  int fd = ::open(HostPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  contents->clear();
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    contents->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

bool WriteNewFile(std::string_view path, std::string_view contents) {
  std::string host = HostPath(path);
  unlink(host.c_str());
  int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < contents.size()) {
    ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return ::close(fd) == 0;
}

}  // namespace qv
