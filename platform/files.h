// Files and folders: the few file services of the system that the product
// uses, over POSIX. Every path goes through HostPath (paths.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qv {

enum class FileAccess { kRead, kWrite, kReadWrite };
enum class FileShare { kExclusive, kRead, kReadWrite };
enum class FileOpen {
  kExisting,        // fail when the file does not exist
  kCreateAlways,    // create, or truncate an existing file
  kCreateNew,       // fail when the file exists
  kOpenAlways,      // open, or create when missing
};

// An open file. Sharing is enforced between opens made through this class
// in any process (advisory locks): an exclusive open fails while anyone
// holds the file open, and a shared open fails while it is held exclusively
// or its sharing does not admit the requested access.
class File {
 public:
  static std::unique_ptr<File> Open(std::string_view path, FileAccess access,
                                    FileShare share, FileOpen disposition,
                                    int* error = nullptr);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Bytes read (0 at the end), or -1 on error.
  long Read(void* buffer, size_t count);
  // Bytes written, or -1 on error.
  long Write(const void* data, size_t count);
  bool Seek(int64_t offset);
  bool SeekToEnd();
  int64_t Position() const;
  int64_t Size() const;
  int Descriptor() const { return fd_; }

 private:
  explicit File(int fd) : fd_(fd) {}
  int fd_;
};

// File attributes in the system's bit values.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrInvalid = 0xFFFFFFFF;

bool PathExists(std::string_view path);
bool IsDirectory(std::string_view path);
int64_t FileSize(std::string_view path);  // -1 when missing
uint32_t GetFileAttributes(std::string_view path);
// Only the read-only bit has a meaning on this system (the write bits);
// hidden, system and archive are accepted and ignored.
bool SetFileAttributes(std::string_view path, uint32_t attributes);
bool DeleteFile(std::string_view path);
bool CreateDirectory(std::string_view path, unsigned mode = 0777);
// Copies source onto target. The target is opened in place (never replaced
// through a rename), so copying onto a running executable fails as the
// system refuses to write it.
bool CopyFile(std::string_view source, std::string_view target, bool failIfExists);
bool SetCurrentDirectory(std::string_view path);
std::string GetCurrentDirectory();

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(std::string_view path, std::string* contents);
// Writes a whole file as a new file (the old one, if any, is removed first,
// so that a process that maps the old file keeps its copy).
bool WriteNewFile(std::string_view path, std::string_view contents);

}  // namespace qv
