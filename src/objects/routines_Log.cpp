#include "objects/routines_Log.h"
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Files.h"
#include <cstdio>
#include <memory>

namespace {
struct TLog {
    std::unique_ptr<TFileStream> File;
    std::string Name;
    std::function<void(const std::string&, const std::string&)> Hook;
};
TLog& Log() {
    static auto* log = new TLog; // lives to program end: destructors may still log
    return *log;
}

std::string TwoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}
} // namespace

std::string NewLogFileName(const std::string& folder) {
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(Now(), y, mo, d, h, mi, s, ms);
    const std::string stem = AddBackslash(folder) + "Setup Log " + std::to_string(y) + "-" + TwoDigits(mo) +
                             "-" + TwoDigits(d) + " #";
    for (int n = 1;; ++n) {
        std::string name = stem + std::to_string(n) + ".txt";
        if (!FileExists(name) || n >= 100000)
            return name;
    }
}

bool OpenLog(const std::string& fileName) {
    CloseLog();
    // A log's name can be guessed: it is made new, never written through
    // whatever someone put under that name first; a name that is taken
    // gives way to the next one.
    for (int n = 1; n <= 20; ++n) {
        const std::string name =
            n == 1 ? fileName
                   : ChangeFileExt(fileName, "") + " (" + std::to_string(n) + ")" + ExtractFileExt(fileName);
        try {
            Log().File = std::make_unique<TFileStream>(name, fmCreateNew);
        } catch (const Exception&) {
            continue;
        }
        Log().Name = name;
        return true;
    }
    return false;
}

void CloseLog() {
    Log().File.reset();
    Log().Name.clear();
}

bool LogIsOpen() {
    return Log().File != nullptr;
}

const std::string& LogFileName() {
    return Log().Name;
}

void LogLine(const std::string& verb, const std::string& text) {
    TLog& log = Log();
    if (log.Hook)
        log.Hook(verb, text);
    if (!log.File)
        return;
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(Now(), y, mo, d, h, mi, s, ms);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d ", h, mi, s, ms);
    std::string line = stamp + verb + ": " + text + "\r\n";
    // Each line goes to the system at once, so a run that is killed keeps
    // its log; no flush to the disk per line: that is the journal's job,
    // and it would cost the run a disk wait for every line.
    try {
        log.File->WriteBuffer(line.data(), static_cast<int64_t>(line.size()));
    } catch (const Exception&) {
        // A full disk must not end the installation: the log stops instead.
        log.File.reset();
    }
}

std::string SystemFailure(const std::string& call, uint32_t code) {
    std::string text = call + " failed, code " + std::to_string(code);
    std::string system = SystemErrorText(code);
    if (!system.empty())
        text += ", " + system;
    return text;
}

void SetLogHook(std::function<void(const std::string& verb, const std::string& text)> hook) {
    Log().Hook = std::move(hook);
}
