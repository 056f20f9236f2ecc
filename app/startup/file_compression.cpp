#include "app/startup/file_compression.h"

#include <cstdint>
#include <memory>
#include <string>

#include "app/startup/gzip_file.h"
#include "platform/files.h"
#include "platform/message_box.h"

namespace {

// Byte 9 of a gzip header names the writing system. The library writes
// 0x0B (NTFS) on Windows and 0x03 elsewhere; members always say 0x0B so
// that an archive is the same byte for byte whichever host built it. The
// byte is not covered by any check value.
constexpr int64_t kGzipOsOffset = 9;
constexpr uint8_t kGzipOsNtfs = 0x0B;

bool StampOsByte(std::string_view target) {
  auto file = qv::File::Open(target, qv::FileAccess::kReadWrite, qv::FileShare::kExclusive,
                             qv::FileOpen::kExisting);
  if (!file || file->Size() < 10 || !file->Seek(kGzipOsOffset)) return false;
  return file->Write(&kGzipOsNtfs, 1) == 1;
}

bool CompressInto(qv::File& source, std::string_view target) {
  GzipFile gzip;
  if (!gzip.Open(target, GzipFile::kWrite)) return false;
  uint8_t piece[100];
  for (;;) {
    long got = source.Read(piece, sizeof piece);
    if (got < 0) return false;
    if (got == 0) break;
    if (!gzip.Write(piece, static_cast<size_t>(got))) return false;
  }
  return gzip.Close();
}

}  // namespace

bool CompressFile(std::string_view source, std::string_view target) {
  if (qv::PathExists(target)) qv::DeleteFile(target);
  auto input = qv::File::Open(source, qv::FileAccess::kRead, qv::FileShare::kExclusive,
                              qv::FileOpen::kExisting);
  if (!input) return false;
  if (!CompressInto(*input, target) || !StampOsByte(target)) {
    qv::DeleteFile(target);
    return false;
  }
  return true;
}

bool DecompressFile(std::string_view source, std::string_view target) {
  GzipFile gzip;
  if (!gzip.Open(source, GzipFile::kRead)) return false;
  // The content is taken whole before the target is touched, so a member
  // that breaks part-way leaves an earlier copy of the target as it was.
  std::unique_ptr<uint8_t[]> content;
  size_t size = 0;
  gzip.ReadAll(&content, &size);
  if (gzip.Broken() || !gzip.Close()) return false;

  auto output = qv::File::Open(target, qv::FileAccess::kWrite, qv::FileShare::kExclusive,
                               qv::FileOpen::kCreateAlways);
  if (!output) {
    qv::MessageBox("Failed to open file to decompress", std::string(source) + std::string(target),
                   qv::kMbOk);
    return false;
  }
  if (size == 0) return true;
  long written = output->Write(content.get(), size);
  return written >= 0 && static_cast<size_t>(written) == size;
}
