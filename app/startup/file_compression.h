// Whole-file gzip compression and decompression, for the members of the
// boot archive.
#pragma once
#include <string_view>

// Compresses source into a new gzip file at target (an old target is
// deleted first). False when either file cannot be opened or any step of
// writing fails; no target is left behind then.
bool CompressFile(std::string_view source, std::string_view target);

// Decompresses the gzip file source into target (created or truncated).
// False without a message when the source cannot be opened or its stream
// is broken (the target is left untouched then); when the target cannot be
// created, shows "Failed to open file to decompress" with the two paths as
// caption and returns false.
bool DecompressFile(std::string_view source, std::string_view target);
