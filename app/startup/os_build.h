// The operating system's build number, read once at start-up and used later
// by the repair dialog for its build-dependent device check.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/os_version.h"

// Written first thing in CRepairApp::InitInstance.
extern unsigned g_osBuildNumber;

// Build numbers that stand in for the 9x line's own numbers.
inline constexpr unsigned kBuildWindows98 = 409;
inline constexpr unsigned kBuildWindows98SecondEdition = 410;
inline constexpr unsigned kBuildWindowsMe = 420;

// Reads the version record into the record it is given; false on failure.
using VersionReader = std::function<bool(qv::OsVersionInfoEx*)>;

// The low 16 bits of the build number, with the 9x releases replaced by
// the numbers above; 0 when the version cannot be read in either form.
unsigned GetOsBuildNumber(const VersionReader& readVersion);

// The same over the platform's version service.
unsigned GetOsBuildNumber();
