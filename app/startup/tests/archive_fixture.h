// Helpers for the payload tests: a scratch folder removed afterwards, whole
// files as strings, gzip members and hand-made archive entries.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/tests/temp_dir.h"

using ScratchFolder = TempDir;

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// One complete gzip file holding `content`.
inline std::string GzipBytes(const std::string& content) {
  z_stream s{};
  deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&s, content.size()) + 32, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  s.avail_in = static_cast<uInt>(content.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

// An archive entry as the format lays it out, with any length field.
inline std::string EntryBytes(const std::string& name, const std::string& data,
                              uint32_t length) {
  std::string entry = name + " \\~#$&* ";
  for (int i = 0; i < 4; ++i) entry.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
  return entry + data;
}

inline std::string EntryBytes(const std::string& name, const std::string& data) {
  return EntryBytes(name, data, static_cast<uint32_t>(data.size()));
}
