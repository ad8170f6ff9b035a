// What a small program without the toolkit needs of Windows (the loading
// program): a safe search for libraries, a plain message box, starting a
// program and waiting for its end, a pause.
#pragma once
#include <cstdint>
#include <string>

// Libraries load from the system folder only, never from the folder the
// program was started from, where a planted one could wait.
void LoadLibrariesFromSystemFolderOnly();
// A message box with an OK button and a stop sign, brought to the front.
void ShowPlainMessage(const std::string& caption, const std::string& text);
// Starts program with commandLine (its path quoted first), handing on no
// handles, in the current folder and with the show state this program was
// given, and waits for its end. False with the system's reason when it could
// not start.
bool RunProgramAndWait(const std::string& program, const std::string& commandLine, uint32_t& exitCode,
                       std::string& why);
void PauseMs(uint32_t milliseconds);
