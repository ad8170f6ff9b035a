// The run's log: one line per step that changes the machine ("File: wrote
// 1234 bytes to C:\..."), with the system's error text on a failure, so that
// a setup that failed on a user's machine can be explained from the log
// alone. The installation run opens the log file; objects, dialogs and the
// engine write through LogLine, which does nothing while no log is open.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// "Setup Log <date> #<n>.txt" in folder, the first number not yet taken.
std::string NewLogFileName(const std::string& folder);
// Opens (creates) the log file; false when it cannot be created, and then
// the run goes on without a log.
bool OpenLog(const std::string& fileName);
void CloseLog();
bool LogIsOpen();
const std::string& LogFileName();

// One line: the time, the verb and the text. Written at once, so that the
// lines before a crash stay.
void LogLine(const std::string& verb, const std::string& text);
// "<call> failed, code <n>, <system text>": the cause of a failure.
std::string SystemFailure(const std::string& call, uint32_t code);

// Tests watch the lines here (verb, text); also called while no file is open.
void SetLogHook(std::function<void(const std::string& verb, const std::string& text)> hook);
