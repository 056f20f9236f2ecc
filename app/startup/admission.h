// Who may start the program. The system builds of one era (2195 to 5999)
// demand an administrator. On this system the raw commands that a repair
// sends to a real drive need the raw I/O privilege, so every start that
// works on real drives demands it too; a start on the simulated machine
// (QUORVIN_SIM) needs nothing.
#pragma once
#include <functional>
#include <string_view>

inline constexpr unsigned kFirstBuildNeedingAdministrator = 2195;
inline constexpr unsigned kLastBuildNeedingAdministrator = 5999;

// Whether a start may go on. `isUserAdministrator` is asked only when the
// answer depends on it, and at most once.
bool IsStartAdmitted(unsigned osBuild, bool usesRealDrives,
                     const std::function<bool()>& isUserAdministrator);

// True when the process may send raw commands to drives: effective user 0,
// or the raw I/O capability in effect.
bool IsUserAdministrator();

// The rule of IsUserAdministrator over an effective user id and the text of
// /proc/self/status (its "CapEff:" line, hexadecimal).
bool HasRawIoPrivilege(unsigned effectiveUid, std::string_view procStatus);

// True unless QUORVIN_SIM names a simulated machine (set and not empty),
// the same test the storage layer makes.
bool UsesRealDrives();
