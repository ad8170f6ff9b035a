// The log of an installation run: "Setup Log <date> #<n>.txt" in the
// temporary folder, one line per step (files written, kept or replaced at the
// restart, registry values, registrations, events, failures with the system's
// text). A setup that fails on a user's machine must be explainable from it.
// Writing costs one line per step; a log that cannot be made leaves the run
// going without one.
#pragma once
#include "platform/types_Base.h"
#include <string>

// The file name of the n-th log of a day: "Setup Log 2024-05-06 #1.txt".
std::string SetupLogFileName(TDateTime date, int n);

// Starts the log of this process in the temporary folder (the first free
// number of the day) and writes its heading; a second call keeps the open
// log. Returns the log's path, empty when none could be made.
std::string StartSetupLog(const std::string& what);
// One line of the log, behind the time of day; nothing when no log is open.
void SetupLogLine(const std::string& text);
// A failure: the text, the system's code and its text.
void SetupLogError(const std::string& text, uint32_t systemError);
// Closes the log; the next run starts a new one.
void StopSetupLog();
// The open log's path; empty when there is none.
const std::string& SetupLogPath();

// Tests write their logs into a folder of their own; empty: the temporary folder.
void SetSetupLogFolder(const std::string& folder);
