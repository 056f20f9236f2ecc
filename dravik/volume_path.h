// The volume path of a drive letter, "\\.\E:".
#pragma once
#include <string>

namespace dravik {

inline std::string VolumePath(char letter) { return std::string("\\\\.\\") + letter + ":"; }

}  // namespace dravik
