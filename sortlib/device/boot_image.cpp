#include "sortlib/device/boot_image.h"

#include <memory>

#include "platform/files.h"

namespace sievex {

bool ReadBootSlice(std::string_view path, uint8_t* slice, int* error) {
  std::unique_ptr<qv::File> file =
      qv::File::Open(path, qv::FileAccess::kRead, qv::FileShare::kReadWrite,
                     qv::FileOpen::kExisting, error);
  if (!file) return false;
  // A file that ends before the slice (or inside it) leaves the rest 0xFF.
  if (!file->Seek(kBootSliceOffset)) return true;
  size_t filled = 0;
  while (filled < kBootSliceSize) {
    long n = file->Read(slice + filled, kBootSliceSize - filled);
    if (n <= 0) break;
    filled += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace sievex
