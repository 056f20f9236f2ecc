#include "app/startup/boot_archive.h"

#include <unistd.h>

#include <cctype>
#include <cstring>

#include "app/startup/file_compression.h"
#include "app/startup/folder_path.h"
#include "platform/message_box.h"
#include "platform/temp_name.h"

namespace {

// The archive is read and copied in pieces of at most this many bytes.
constexpr size_t kPieceSize = 100;
constexpr char kTempPrefix[] = "T";
constexpr char kCannotDecompress[] = "Failed to open file to decompress";

bool IsSeparatorChar(char c) { return c == '\\' || c == '/'; }

void ReportSkippedEntry(std::string_view caption) {
  qv::MessageBox(kCannotDecompress, caption, qv::kMbOk);
}

}  // namespace

bool IsSafeEntryName(std::string_view name) {
  if (name.empty()) return false;
  if (name.find('\0') != std::string_view::npos) return false;
  if (IsSeparatorChar(name.front())) return false;              // absolute, or \\server
  if (name.find(':') != std::string_view::npos) return false;   // a drive ("C:x") or a stream
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

BootArchive::~BootArchive() {
  if (m_bOpen) Close();
}

bool BootArchive::Open(std::string_view path, bool create) {
  if (m_bOpen) Close();
  std::string name(path);
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
  if (name.size() < 2 || name.compare(name.size() - 2, 2, ".r") != 0) name += ".r";
  if (!create && !qv::PathExists(name)) return false;
  m_pFile = qv::File::Open(name, qv::FileAccess::kReadWrite, qv::FileShare::kExclusive,
                           create ? qv::FileOpen::kCreateAlways : qv::FileOpen::kExisting);
  if (!m_pFile) return false;
  m_bOpen = true;
  return true;
}

bool BootArchive::Close() {
  m_pFile.reset();
  m_bOpen = false;
  return true;
}

bool BootArchive::Rewind() {
  if (!m_bOpen) return false;
  return m_pFile->Seek(0);
}

BootArchive::HeaderResult BootArchive::ReadEntryHeader(std::string* name, uint32_t* length) {
  if (!m_bOpen || m_pFile->Position() >= m_pFile->Size()) return HeaderResult::kEnd;
  // The name ends before the first separator that has at least one byte in
  // front of it.
  std::string buffer;
  for (;;) {
    char c;
    if (m_pFile->Read(&c, 1) != 1) return HeaderResult::kEnd;
    buffer.push_back(c);
    if (buffer.size() > kBootArchiveSeparatorSize &&
        buffer.compare(buffer.size() - kBootArchiveSeparatorSize, kBootArchiveSeparatorSize,
                       kBootArchiveSeparator) == 0)
      break;
  }
  buffer.resize(buffer.size() - kBootArchiveSeparatorSize);
  uint8_t bytes[4];
  if (m_pFile->Read(bytes, sizeof bytes) != static_cast<long>(sizeof bytes)) return HeaderResult::kEnd;
  *length = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
            uint32_t{bytes[3]} << 24;
  *name = std::move(buffer);
  return HeaderResult::kEntry;
}

bool BootArchive::SkipData(uint32_t length) {
  int64_t target = m_pFile->Position() + length;
  if (target > m_pFile->Size()) {
    m_pFile->SeekToEnd();
    return false;
  }
  return m_pFile->Seek(target);
}

bool BootArchive::CopyData(uint32_t length, std::string_view targetPath) {
  auto out = qv::File::Open(targetPath, qv::FileAccess::kWrite, qv::FileShare::kExclusive,
                            qv::FileOpen::kCreateAlways);
  if (!out) return SkipData(length);  // the caller sees the missing content
  char piece[kPieceSize];
  uint32_t left = length;
  while (left > 0) {
    size_t want = left < kPieceSize ? left : kPieceSize;
    long got = m_pFile->Read(piece, want);
    if (got <= 0) return false;  // the archive ends inside this entry
    if (out->Write(piece, static_cast<size_t>(got)) != got) return SkipData(left - got);
    left -= static_cast<uint32_t>(got);
  }
  return true;
}

int BootArchive::ExtractNext() {
  std::string name;
  uint32_t length = 0;
  if (ReadEntryHeader(&name, &length) != HeaderResult::kEntry) return 0;

  std::string destination = m_baseDir + name;
  if (!IsSafeEntryName(name)) {
    ReportSkippedEntry(destination);
    return SkipData(length) ? 1 : 0;
  }
  if (!CreateFolderPath(destination)) return 0;

  std::string temp = qv::CreateTempFile(kTempPrefix);
  if (temp.empty()) {
    ReportSkippedEntry(destination);
    return SkipData(length) ? 1 : 0;
  }
  if (!CopyData(length, temp)) {
    qv::DeleteFile(temp);
    return 0;
  }
  DecompressFile(temp, destination);
  qv::DeleteFile(temp);
  return 1;
}

bool BootArchive::SkipNext(std::string* name) {
  uint32_t length = 0;
  if (ReadEntryHeader(name, &length) != HeaderResult::kEntry) return false;
  return SkipData(length);
}

bool BootArchive::WriteAll(const void* data, size_t size) {
  long written = m_pFile->Write(data, size);
  return written >= 0 && static_cast<size_t>(written) == size;
}

bool BootArchive::AddFile(std::string_view name) {
  if (!m_bOpen) return false;
  if (!name.empty() && name.front() == '\\') name.remove_prefix(1);
  // Never write an entry that unpacking would refuse or misread.
  if (!IsSafeEntryName(name) || name.find(kBootArchiveSeparator) != std::string_view::npos)
    return false;

  std::string temp = qv::CreateTempFile(kTempPrefix);
  if (temp.empty()) return false;
  bool added = false;
  if (CompressFile(m_baseDir + std::string(name), temp)) {
    auto member = qv::File::Open(temp, qv::FileAccess::kRead, qv::FileShare::kExclusive,
                                 qv::FileOpen::kExisting);
    int64_t size = member ? member->Size() : -1;
    if (member && size >= 0 && size <= int64_t{UINT32_MAX} && m_pFile->SeekToEnd()) {
      const int64_t entryStart = m_pFile->Position();
      uint32_t length = static_cast<uint32_t>(size);
      uint8_t lengthBytes[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                                static_cast<uint8_t>(length >> 16),
                                static_cast<uint8_t>(length >> 24)};
      added = WriteAll(name.data(), name.size()) &&
              WriteAll(kBootArchiveSeparator, kBootArchiveSeparatorSize) &&
              WriteAll(lengthBytes, sizeof lengthBytes);
      char piece[kPieceSize];
      while (added) {
        long got = member->Read(piece, sizeof piece);
        if (got == 0) break;
        added = got > 0 && WriteAll(piece, static_cast<size_t>(got));
      }
      // A half-written entry would break every entry after it.
      if (!added && ftruncate(m_pFile->Descriptor(), entryStart) == 0) m_pFile->Seek(entryStart);
    }
  }
  qv::DeleteFile(temp);
  return added;
}
