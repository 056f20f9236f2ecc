// The data files the library reads beside the running executable
// (flash8k.ini, the Boot folder), laid out by a test in its own program's
// folder. The first use takes a lock on that folder for the rest of the
// process, so that parallel test processes of one program take turns.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace sievex_test {

std::string ExecutableFolder();
// Copies the flash database the program carries.
void InstallCarriedFlashDatabase();
void WriteFlashDatabase(const std::string& text);
void RemoveFlashDatabase();
// An image of `size` bytes under the executable's folder (a relative path
// with '/'): the bytes of the 4 KiB slice at 0x5000 are `marker`, all
// others 0xEE.
void WriteBootImage(const std::string& relative, uint8_t marker, size_t size = 0x10000);
void RemoveBootFolder();

}  // namespace sievex_test
