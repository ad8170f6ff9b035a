// What the uninstaller needs of Windows beyond files and the registry: its raw
// command line, a safe search for libraries, plain message boxes, removing a
// file at the next restart (starting programs: routines_Process).
#pragma once
#include <cstdint>
#include <string>

// Libraries load from the system folder only, never from the folder the
// program was started from, where a planted one could wait.
void RestrictLibrarySearchToSystem();

// The command line as the system handed it over, unsplit: the uninstaller's
// argument is a product name that may hold blanks.
std::string RawCommandLine();

// MoveFileEx(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT): 0 when the removal is
// recorded, else the system's error code.
uint32_t RemoveFileAtRestart(const std::string& path);

void WaitMilliseconds(uint32_t ms);

// Message boxes of a program without forms, in front of other windows.
bool AskYesNo(const std::string& caption, const std::string& text);
enum class TMessageKind { mkInformation, mkWarning, mkError };
void ShowMessageText(const std::string& caption, const std::string& text, TMessageKind kind);
