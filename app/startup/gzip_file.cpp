#include "app/startup/gzip_file.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"

GzipFile::~GzipFile() {
  if (m_nMode != kClosed) Close();
}

bool GzipFile::Open(std::string_view path, int mode) {
  if (m_nMode != kClosed) Close();
  m_bBroken = false;
  std::string host = qv::HostPath(path);
  if (mode == kWrite) {
    m_hFile = gzopen(host.c_str(), "wb");
    if (!m_hFile) return false;
    m_nMode = kWrite;
    if (!SetParams()) {
      Close();
      return false;
    }
    return true;
  }
  if (mode == kRead) {
    // The member files this class reads are our own temporary copies.
    if (access(host.c_str(), W_OK) != 0) return false;
    auto file = qv::File::Open(path, qv::FileAccess::kRead, qv::FileShare::kReadWrite,
                               qv::FileOpen::kExisting);
    if (!file) return false;
    m_nCompressedSize = file->Size();
    file.reset();
    m_hFile = gzopen(host.c_str(), "rb");
    if (!m_hFile) return false;
    m_nMode = kRead;
    return true;
  }
  return false;
}

bool GzipFile::Close() {
  if (m_nMode == kClosed) return true;
  int result = gzclose(m_hFile);
  m_hFile = nullptr;
  m_nMode = kClosed;
  return result == Z_OK;
}

bool GzipFile::Write(const void* bytes, size_t count) {
  if (m_nMode != kWrite) return false;
  if (count == 0) return true;
  if (count > static_cast<size_t>(INT32_MAX)) return false;
  int written = gzwrite(m_hFile, bytes, static_cast<unsigned>(count));
  return written > 0 && static_cast<size_t>(written) == count;
}

bool GzipFile::SetParams() {
  if (m_nMode != kWrite) return false;
  return gzsetparams(m_hFile, m_nLevel, m_nStrategy) == Z_OK;
}

bool GzipFile::ReadAll(std::unique_ptr<uint8_t[]>* buffer, size_t* size) {
  buffer->reset();
  *size = 0;
  if (m_nMode != kRead) {
    m_bBroken = true;
    return false;
  }
  // An empty file holds no gzip member at all.
  if (m_nCompressedSize <= 0) {
    m_bBroken = true;
    return false;
  }
  // Pieces the size of the compressed file (within sane bounds), kept in
  // order and joined at the end.
  const size_t pieceSize =
      static_cast<size_t>(std::clamp<int64_t>(m_nCompressedSize, 512, int64_t{1} << 20));
  std::vector<std::vector<uint8_t>> pieces;
  size_t total = 0;
  for (;;) {
    std::vector<uint8_t> piece(pieceSize);
    int got = gzread(m_hFile, piece.data(), static_cast<unsigned>(piece.size()));
    if (got <= 0) {
      int error = Z_OK;
      gzerror(m_hFile, &error);
      // gzread returns 0 both at the end and when the input stops early;
      // only the error state tells them apart. A file that is not gzip at
      // all would be passed through unchanged: that is no member either.
      if (got < 0 || error != Z_OK || gzdirect(m_hFile)) m_bBroken = true;
      break;
    }
    piece.resize(static_cast<size_t>(got));
    total += piece.size();
    pieces.push_back(std::move(piece));
  }
  if (m_bBroken) return false;
  if (total == 0) return false;
  auto joined = std::make_unique<uint8_t[]>(total);
  size_t offset = 0;
  for (const auto& piece : pieces) {
    std::memcpy(joined.get() + offset, piece.data(), piece.size());
    offset += piece.size();
  }
  *buffer = std::move(joined);
  *size = total;
  return true;
}
