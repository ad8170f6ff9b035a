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
// The folder the system's own files lie in. A 32-bit program on 64-bit
// Windows gets the 32-bit system folder under its real name (SysWOW64), not
// "System32", which the system would redirect for this program alone: paths
// stored in records and in pending renames then mean the same file to every
// program, of either width, and at the next start.
std::string GetSystemDir();
// True for a 32-bit program on 64-bit Windows (WoW64); false on 32-bit
// Windows, for a 64-bit program and on systems without the question.
bool RunsUnderWow64();
// A path as this program must name it to reach the file a 64-bit program
// means: under WoW64 a path in the 64-bit system folder ("System32") goes
// through its alias "Sysnative", which the system does not redirect. Any other
// path, and every path outside WoW64, comes back unchanged. Only for this
// program's own file calls: the restart (pending renames) and other programs
// need the path as it was.
std::string NativeFilePath(const std::string& path);
std::string GetWindowsDir();
// The short form of an existing path. A path the system cannot shorten (it
// does not exist, or short names are off on its volume) comes back unchanged.
std::string GetShortPath(const std::string& path);
