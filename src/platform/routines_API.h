// Small system routines: Windows version, temporary files, the system and
// Windows folders and short (8.3) paths. Failures raise EAPIRoutines.
#pragma once
#include <cstdint>
#include <string>

enum TWindowsVersion : uint8_t { wvWin32s, wvWindows95, wvWindowsNT35, wvWindowsNT, wvUnknown };

// The platform family the system reports; the Windows 95 family picks the
// WININIT.INI route for replacing files in use.
TWindowsVersion WindowsVersion();
// A new unique file "bat*.tmp" in the system's temporary folder; the system
// creates it and it is deleted again unless keepFile.
std::string GetTempFile(bool keepFile);
std::string GetSystemDir();
std::string GetWindowsDir();
// The short form of an existing path. A path the system cannot shorten (it
// does not exist, or short names are off on its volume) comes back unchanged.
std::string GetShortPath(const std::string& path);
