// The boot archive (BootCode.r): entries of a name, the separator
// " \~#$&* ", a 4-byte little-endian length and that many bytes of one gzip
// file, one after the other, with no header, count or trailer.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files.h"

inline constexpr char kBootArchiveSeparator[] = " \\~#$&* ";
inline constexpr size_t kBootArchiveSeparatorSize = 8;
static_assert(sizeof(kBootArchiveSeparator) == kBootArchiveSeparatorSize + 1);

// True when an entry name stays inside the folder it is unpacked into: not
// empty, not absolute, no drive, no ".." component, no zero byte.
bool IsSafeEntryName(std::string_view name);

class BootArchive {
 public:
  BootArchive() = default;
  virtual ~BootArchive();
  BootArchive(const BootArchive&) = delete;
  BootArchive& operator=(const BootArchive&) = delete;

  // Opens the archive for reading and writing, held exclusively. ".r" is
  // appended unless the path (trailing blanks removed) ends in exactly ".r".
  // Without `create` the file must exist; with it, it is created or emptied.
  bool Open(std::string_view path, bool create);
  bool Close();
  bool Rewind();

  // Unpacks the next entry to m_baseDir + its name. 1 after an entry was
  // dealt with (unpacked, or skipped with a message as below), 0 at the end
  // of the archive or when the rest of it cannot be read.
  // Skipped with "Failed to open file to decompress": a name that would
  // leave m_baseDir, and a destination that cannot be created. Skipped
  // silently: a member that is not a sound gzip file (nothing is written).
  // A length that runs past the end of the file ends the unpacking (0) and
  // writes nothing for that entry.
  int ExtractNext();

  // Reads the next entry's name and steps over its data, for listing.
  // False at the end, or when the entry is cut short.
  bool SkipNext(std::string* name);

  // Appends m_baseDir + name (one leading backslash removed) as an entry.
  bool AddFile(std::string_view name);

  bool IsOpen() const { return m_bOpen; }

  // Destination folder of unpacked entries and source folder of AddFile,
  // with a trailing backslash.
  std::string m_baseDir;

 private:
  enum class HeaderResult { kEntry, kEnd };
  HeaderResult ReadEntryHeader(std::string* name, uint32_t* length);
  // Copies `length` bytes of the archive into a new file; false when the
  // archive ends first.
  bool CopyData(uint32_t length, std::string_view targetPath);
  bool SkipData(uint32_t length);
  bool WriteAll(const void* data, size_t size);

  bool m_bOpen = false;
  std::unique_ptr<qv::File> m_pFile;
};
