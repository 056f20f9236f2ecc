// Unique temporary files in the user's private temporary folder
// (UserTempFolder, module.h), so that no other user can foresee, replace or
// read them.
#pragma once
#include <string>
#include <string_view>

namespace qv {

// Creates a new empty file with a unique name that starts with `prefix`
// (mode 0600) and returns its host path; empty when none can be made.
// The caller deletes it.
std::string CreateTempFile(std::string_view prefix);

}  // namespace qv
