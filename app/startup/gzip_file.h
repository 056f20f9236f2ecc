// One gzip file of the compression library, opened for writing or reading.
#pragma once
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

class GzipFile {
 public:
  enum Mode { kClosed = 0, kWrite = 1, kRead = 2 };

  GzipFile() = default;
  ~GzipFile();
  GzipFile(const GzipFile&) = delete;
  GzipFile& operator=(const GzipFile&) = delete;

  // Mode 1 creates (or truncates) the file and applies the level and the
  // strategy; mode 2 opens an existing file that the caller may write, after
  // taking its size.
  bool Open(std::string_view path, int mode);
  // Closes the file; false when the library reports an error at closing
  // (unwritten data, or a read stream that was broken).
  bool Close();

  // True when all bytes were accepted.
  bool Write(const void* bytes, size_t count);

  // The whole decompressed content in one new buffer. True when the size is
  // not zero. A stream that breaks part-way (bad data, check value wrong,
  // truncated) or that is not gzip at all yields no buffer, size 0 and
  // Broken() true: half a file is never handed out as a whole one.
  bool ReadAll(std::unique_ptr<uint8_t[]>* buffer, size_t* size);
  bool Broken() const { return m_bBroken; }

  // Applies level and strategy to a file open for writing.
  bool SetParams();

  int Mode() const { return m_nMode; }
  int64_t CompressedSize() const { return m_nCompressedSize; }

 private:
  int m_nMode = kClosed;
  int m_nLevel = Z_DEFAULT_COMPRESSION;
  int m_nStrategy = Z_DEFAULT_STRATEGY;
  gzFile m_hFile = nullptr;
  int64_t m_nCompressedSize = 0;
  bool m_bBroken = false;
};
