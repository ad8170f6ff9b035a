// What the end-to-end tests of an installation share: a distribution folder
// with its archive, the registry of the Wine prefix (the programs under test
// write the real one, so everything a test leaves is taken away again), the
// run's log in the temporary folder.
#pragma once
#include "archive/cmp_TQnfdCompress.h"
#include "platform/routines_API.h"
#include "platform/routines_AdminFolder.h"
#include "platform/routines_Files.h"
#include "platform/routines_Registry.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "support/WindowDriver.h"
#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace E2E {

struct TMember {
    std::string Path; // stored path: the install file's source
    Integer ID;       // the install file's UniqueID
};

// A new archive with one member per file; colNone keeps each file's bytes
// visible in the archive, so that a test can damage one on purpose.
inline void MakeArchive(const std::string& archive, const std::vector<TMember>& members,
                        TCompressionLevel level = colMax) {
    RemoveFile(archive);
    TQnfdCompress a;
    a.CompressionLevel = level;
    a.SetCompressedFile(archive);
    bool append = false;
    for (const TMember& m : members) {
        TStringList files{m.Path};
        a.SetFilesToProcess(files);
        a.Compress(append, m.ID);
        append = true;
    }
}

// Changes one byte of text where it lies in the (uncompressed) archive.
inline bool DamageArchive(const std::string& archive, const std::string& text) {
    std::string bytes = ReadWholeFile(archive);
    size_t at = bytes.find(text);
    if (at == std::string::npos)
        return false;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
    WriteTextFile(archive, bytes);
    return true;
}

// Bytes that do not compress, so that an archive is as large as its files
// and extracting them takes as long as their size says.
inline std::string NoiseBytes(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    for (char& c : s) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        c = static_cast<char>(seed);
    }
    return s;
}

inline std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    if (!FileExists(path))
        return lines;
    std::string text = ReadWholeFile(path), line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

const char* const kRecords = "\\SOFTWARE\\Quenfold\\Install";

// The install record of a program (by its "Path"); empty when there is none.
inline std::string RecordOf(const std::string& program) {
    TRegKey records;
    if (!records.Open(RegLocalMachine, kRecords, TRegAccess::raRead))
        return "";
    for (const std::string& name : records.SubKeyNames()) {
        TRegKey k;
        if (k.Open(records.Handle(), name, TRegAccess::raRead) &&
            SameText(k.ReadString("Path").value_or(""), program))
            return std::string(kRecords) + "\\" + name;
    }
    return "";
}

// Removes the records of a program and the parents they leave empty.
inline void RemoveRecordsOf(const std::string& program) {
    for (std::string key = RecordOf(program); !key.empty(); key = RecordOf(program))
        if (!DeleteKeyTree(RegLocalMachine, key))
            break;
    TRegKey records;
    if (records.Open(RegLocalMachine, kRecords, TRegAccess::raRead) && records.SubKeyNames().empty()) {
        records.Close();
        DeleteKeyTree(RegLocalMachine, kRecords);
    }
}

inline std::string UninstallKeyOf(const std::string& product) {
    return "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product;
}

// The "Setup Log *.txt" files in the temporary folder.
inline std::set<std::string> SetupLogs() {
    std::set<std::string> logs;
    for (const std::string& n : ListDirectory(TempDirectory()))
        if (n.rfind("Setup Log ", 0) == 0)
            logs.insert(AddBackslash(TempDirectory()) + n);
    return logs;
}

// The one log written since before was taken; empty when none or several.
// Test programs that run beside this one write logs into the same folder:
// with a mark (a text of this run's log, such as its program's name) the
// one new log that holds it.
inline std::string NewSetupLog(const std::set<std::string>& before, const std::string& mark = "") {
    std::vector<std::string> fresh;
    for (const std::string& l : SetupLogs())
        if (!before.count(l) && (mark.empty() || ReadWholeFile(l).find(mark) != std::string::npos))
            fresh.push_back(l);
    return fresh.size() == 1 ? fresh[0] : std::string();
}

// The logs the programs leave for a person to read ("Setup Log …" and
// "Uninstall Log …" in the temporary folder), written while this lives, go
// when it goes. A member before the fixture's others, it outlives the
// fixture's TearDown and the programs its test started.
class TRunLogsRemoved {
public:
    TRunLogsRemoved() : FFolder(TempDirectory()), FBefore(Logs()) {}
    ~TRunLogsRemoved() {
        for (const std::string& log : Logs())
            if (!FBefore.count(log))
                RemoveFile(log);
    }
    TRunLogsRemoved(const TRunLogsRemoved&) = delete;
    TRunLogsRemoved& operator=(const TRunLogsRemoved&) = delete;

private:
    std::set<std::string> Logs() const {
        std::set<std::string> logs;
        for (const std::string& n : ListDirectory(FFolder))
            if (n.rfind("Setup Log ", 0) == 0 || n.rfind("Uninstall Log ", 0) == 0)
                logs.insert(AddBackslash(FFolder) + n);
        return logs;
    }
    std::string FFolder;
    std::set<std::string> FBefore;
};

// A program of this build, by its path below src (e.g. "setup\\setup.exe").
inline std::string BuiltProgram(const char* relative) {
    return ThisProgramFolder() + "..\\..\\src\\" + relative;
}

// The same program of the build of the other width (build/win32 beside
// build/win); it may not have been built.
inline std::string OtherWidthProgram(const char* relative) {
    return ThisProgramFolder() + "..\\..\\..\\" + (sizeof(void*) == 8 ? "win32" : "win") + "\\src\\" +
           relative;
}

// The files.inf of the Wine prefix's system folder, which names the product.
inline std::string FilesInfPath() {
    return GetSystemDir() + "\\files.inf";
}

// The folders of temporary setup copies (the loading program's) in %TEMP%.
inline std::vector<std::string> TemporaryCopies() {
    std::vector<std::string> found;
    // An elevated loading program unpacks into the machine's folder of this
    // program, one that is not into the temporary folder.
    for (const std::string& place : {TempDirectory(), MachineFolder()})
        for (const std::string& name : ListDirectory(place))
            if (name.rfind("qfdsetup", 0) == 0 && DirectoryExists(AddBackslash(place) + name))
                found.push_back(AddBackslash(place) + name);
    return found;
}

#ifdef QFD_SIGN_SCRIPT
// Signs the program in into out as an author would after the build, with a
// throwaway certificate and key that the script makes in folder (a scratch
// folder of the test's); osslsigncode signs and verifies. Empty when it did,
// else why not.
inline std::string SignAfterTheBuild(const std::string& folder, const std::string& in,
                                     const std::string& out) {
    ForceDirectory(RemoveBackslash(folder));
    const std::string done = AddBackslash(folder) + "signed.done";
    RemoveFile(done);
    const std::string unixFolder = UnixPathUnderWine(RemoveBackslash(folder));
    if (unixFolder.empty() ||
        !StartUnixProgram("/bin/sh", {QFD_SIGN_SCRIPT, unixFolder, UnixPathUnderWine(in),
                                      UnixPathUnderWine(out), UnixPathUnderWine(done)}))
        return "cannot run the signing script (the test needs Wine)";
    if (!WindowDriver::WaitFor([&] { return FileExists(done); }, 120000))
        return "the signing script did not finish";
    std::string reason = ReadWholeFile(done);
    RemoveFile(done);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
        reason.pop_back();
    return reason == "ok" ? std::string() : reason;
}
#endif

} // namespace E2E
