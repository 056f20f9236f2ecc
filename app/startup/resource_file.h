// Writing one of the program's carried resources out as a file.
#pragma once
#include <string_view>

// Deletes folder\name when it exists, after clearing its attributes so that
// a read-only copy goes too. Failures are ignored.
void RemoveStaleFile(std::string_view folder, std::string_view name);

// Writes the resource of that type and id to the program's folder under
// `name`, as a new file (never rewritten in place: a running copy may map
// the old library). A missing resource gives an empty file; a file that
// cannot be written is left alone. Nothing is reported.
void ExtractResourceFile(std::string_view type, int id, std::string_view name);
