// What the uninstaller needs of Windows beyond files and the registry: its raw
// command line, a safe search for libraries, plain message boxes, removing a
// file at the next restart, and starting a program and waiting for its end.
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

struct TRunResult {
    bool Started = false;
    bool Ended = false;     // within the time limit
    uint32_t ExitCode = 0;  // when Ended
    uint32_t ErrorCode = 0; // the system's code when it did not start
};
// Starts commandLine with its window hidden in folder (empty: the current
// one), handing on no handles, and waits for its end at most timeoutMs. A
// program still running then is left running.
TRunResult RunHiddenAndWait(const std::string& commandLine, const std::string& folder, uint32_t timeoutMs);

// Starts commandLine in folder with no window at all (CREATE_NO_WINDOW) and
// does not wait: 0 when it started, else the system's error code.
uint32_t StartWithoutWindow(const std::string& commandLine, const std::string& folder);

void WaitMilliseconds(uint32_t ms);

// Message boxes of a program without forms, in front of other windows.
bool AskYesNo(const std::string& caption, const std::string& text);
enum class TMessageKind { mkInformation, mkWarning, mkError };
void ShowMessageText(const std::string& caption, const std::string& text, TMessageKind kind);
