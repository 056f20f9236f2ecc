// Ending the process at once with a last message, for failures after which
// nothing sensible can go on (a folder of the payload that cannot be made).
#pragma once
#include <string_view>

// Exit status of a process ended this way.
inline constexpr int kFatalExitStatus = 70;

// Shows the text in a modal box (caption: the program's file name without
// extension) and ends the process without running exit handlers.
[[noreturn]] void FatalAppExit(std::string_view text);
