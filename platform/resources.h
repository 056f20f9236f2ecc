// Resources carried inside the running program: blocks of bytes found by a
// type name and an integer id, the way the system finds a module's own
// resources. The library that embeds them registers each one while the
// program's static objects are constructed; the product then looks them up.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qv {

struct ResourceBytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// Registers (or replaces) the resource of that type and id. The bytes are not
// copied: they must live as long as the program (embedded data does).
void RegisterResource(std::string_view type, int id, const void* data, size_t size);

// Removes a registration (tests use it to show a missing resource).
void UnregisterResource(std::string_view type, int id);

// Finds a resource; false when none of that type and id is registered.
// Type names compare without regard to case, as the system's do.
bool FindResource(std::string_view type, int id, ResourceBytes* found);

}  // namespace qv
