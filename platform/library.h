// Loading a shared library by module name, the way the system's loader does
// for the product: "Dravik" means Dravik.dll beside the program. The
// product's libraries are ELF shared objects under their Windows file names.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

using ModuleHandle = void*;

// System error codes that the loader reports.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorModNotFound = 126;
constexpr uint32_t kErrorProcNotFound = 127;
constexpr uint32_t kErrorBadExeFormat = 193;

// Loads a library. A name whose last component has no extension gets ".dll"
// (a trailing '.' means "no extension" and is dropped). A name without a
// folder is looked for in the executable's folder, then in the current
// folder; a name with a folder is taken as given. Loading the same file
// again returns the same handle and counts one more reference.
// Null on failure, with the reason in LastLibraryError().
ModuleHandle LoadLibrary(std::string_view name);

// The address of an exported symbol, or null (LastLibraryError() is then
// kErrorProcNotFound).
void* GetProcAddress(ModuleHandle module, const char* symbol);

// Drops one reference; the library is unloaded with the last one.
bool FreeLibrary(ModuleHandle module);

// The error of the calling thread's last failed call above (0 when none has
// failed), and the loader's own words for it.
uint32_t LastLibraryError();
std::string LastLibraryErrorText();

// The file that LoadLibrary would load for a name, or empty when none
// exists (exposed so that callers and tests can see the search).
std::string FindLibraryFile(std::string_view name);

}  // namespace qv
