// Buffers handed to the device in the direct form: the system transfers
// straight from (or into) them, and the block layer moves page-aligned
// memory without copying it through a bounce buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace sievex {

inline constexpr size_t kDirectAlignment = 4096;

struct FreeDeleter {
  void operator()(uint8_t* p) const { std::free(p); }
};
using AlignedBuffer = std::unique_ptr<uint8_t[], FreeDeleter>;

// `size` bytes, page-aligned, every byte `fill`; empty on allocation failure.
inline AlignedBuffer AllocateAligned(size_t size, uint8_t fill) {
  size_t rounded = (size + kDirectAlignment - 1) / kDirectAlignment * kDirectAlignment;
  if (rounded == 0) rounded = kDirectAlignment;
  AlignedBuffer buffer(static_cast<uint8_t*>(std::aligned_alloc(kDirectAlignment, rounded)));
  if (buffer) std::memset(buffer.get(), fill, rounded);
  return buffer;
}

}  // namespace sievex
