#include "engine/routines_SetupLog.h"
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "platform/routines_Format.h"
#include "platform/routines_Process.h"
#include <cstdio>
#include <memory>

namespace {
struct TLogState {
    std::unique_ptr<TFileStream> File;
    std::string Path;
    std::string Folder;
};

TLogState& State() {
    static auto* state = new TLogState; // lines may come from static destructors
    return *state;
}

std::string TwoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

void WriteRaw(const std::string& line) {
    TLogState& s = State();
    if (!s.File)
        return;
    std::string text = line + "\r\n";
    // A log that stops taking lines (full disk) must not fail the run.
    if (s.File->Write(text.data(), static_cast<int64_t>(text.size())) != static_cast<int64_t>(text.size()))
        s.File.reset();
}

const char* VersionName(TWindowsVersion v) {
    switch (v) {
    case wvWin32s:
        return "Win32s";
    case wvWindows95:
        return "Windows 95 family";
    case wvWindowsNT35:
        return "Windows NT 3.5";
    case wvWindowsNT:
        return "Windows NT family";
    default:
        return "unknown";
    }
}
} // namespace

std::string SetupLogFileName(TDateTime date, int n) {
    int y, m, d, h, mi, s, ms;
    DecodeDateTime(date, y, m, d, h, mi, s, ms);
    return "Setup Log " + std::to_string(y) + "-" + TwoDigits(m) + "-" + TwoDigits(d) + " #" +
           std::to_string(n) + ".txt";
}

std::string StartSetupLog(const std::string& what) {
    TLogState& s = State();
    if (s.File)
        return s.Path;
    std::string folder = s.Folder.empty() ? TempDirectory() : s.Folder;
    if (folder.empty())
        return "";
    folder = AddBackslash(folder);
    const TDateTime now = Now();
    // A bounded search: a folder full of old logs must not hold the run up.
    for (int n = 1; n <= 9999; ++n) {
        std::string path = folder + SetupLogFileName(now, n);
        if (FileExists(path))
            continue;
        try {
            s.File = std::make_unique<TFileStream>(path, fmCreate);
        } catch (const std::exception&) {
            return "";
        }
        s.Path = path;
        break;
    }
    if (!s.File)
        return "";
    int y, m, d, h, mi, sec, ms;
    DecodeDateTime(now, y, m, d, h, mi, sec, ms);
    WriteRaw("Setup Log: " + what);
    WriteRaw("Started " + std::to_string(y) + "-" + TwoDigits(m) + "-" + TwoDigits(d) + " " + TwoDigits(h) +
             ":" + TwoDigits(mi) + ":" + TwoDigits(sec));
    WriteRaw("Program: " + ProgramPath());
    std::string line;
    for (const std::string& p : CommandLineParams())
        line += (line.empty() ? "" : " ") + (p.find(' ') != std::string::npos ? "\"" + p + "\"" : p);
    WriteRaw("Command line: " + line);
    WriteRaw(std::string("Windows: ") + VersionName(WindowsVersion()));
    return s.Path;
}

void SetupLogLine(const std::string& text) {
    if (!State().File)
        return;
    int y, m, d, h, mi, s, ms;
    DecodeDateTime(Now(), y, m, d, h, mi, s, ms);
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", h, mi, s, ms);
    WriteRaw(std::string(stamp) + "  " + text);
}

void SetupLogError(const std::string& text, uint32_t systemError) {
    SetupLogLine(text + " (code " + std::to_string(systemError) + ": " + SystemErrorText(systemError) + ")");
}

void StopSetupLog() {
    TLogState& s = State();
    if (s.File)
        SetupLogLine("Log closed");
    s.File.reset();
    s.Path.clear();
}

const std::string& SetupLogPath() {
    return State().Path;
}

void SetSetupLogFolder(const std::string& folder) {
    State().Folder = folder;
}
