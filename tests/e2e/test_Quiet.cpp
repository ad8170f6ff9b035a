// setup.exe -q as an administrator runs it from a script: started directly
// and through the self-extracting distribution's loading program, it shows
// no window at all, returns only when the work is done, says the result in
// its exit code and its log, and leaves no temporary copy behind. Then the
// product leaves again the way the system's list of installed programs
// removes it: by the command of its uninstall entry.
#include "E2ESupport.h"
#include "archive/types_ExtractionInfo.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "platform/routines_Format.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_Journal.h"
#include "platform/routines_ScreenSaver.h"
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "support/WindowDriver.h"
#include <chrono>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <windows.h>
// After windows.h.
#include <tlhelp32.h>

using namespace WindowDriver;

namespace {

using E2E::BuiltProgram;
using E2E::FilesInfPath;
using E2E::TemporaryCopies;

// The file name of the program that owns a window ("setup.exe").
std::string ProgramOfWindow(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p)
        return "";
    wchar_t path[MAX_PATH * 2] = {};
    DWORD n = MAX_PATH * 2;
    std::string name;
    if (QueryFullProcessImageNameW(p, 0, path, &n))
        name = ExtractFileName(Narrow(path, n));
    CloseHandle(p);
    return name;
}

// Polls the visible top-level windows of every setup.exe (the loading
// program's and the temporary copy's) until the process ends; returns what
// it saw, each window once.
std::vector<std::string> WatchWindowsUntilExit(TProcess& process, uint32_t timeoutMs,
                                               const std::function<void()>& eachPoll = nullptr) {
    struct TSeen {
        std::vector<HWND> Handles;
        std::vector<std::string> Texts;
    } seen;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        EnumWindows(
            [](HWND h, LPARAM lp) CALLBACK -> BOOL {
                auto* s = reinterpret_cast<TSeen*>(lp);
                if (!IsWindowVisible(h) || !SameText(ProgramOfWindow(h), "setup.exe"))
                    return TRUE;
                if (std::find(s->Handles.begin(), s->Handles.end(), h) != s->Handles.end())
                    return TRUE;
                wchar_t text[256] = {};
                int n = GetWindowTextW(h, text, 256);
                s->Handles.push_back(h);
                s->Texts.push_back("\"" + Narrow(text, static_cast<size_t>(n)) + "\" " +
                                   ClassNameOf(reinterpret_cast<TWindowHandle>(h)));
                // Nobody is there to answer it: the run would wait for ever.
                PostMessageW(h, WM_CLOSE, 0, 0);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&seen));
        if (eachPoll)
            eachPoll();
        if (process.WaitForExit(5))
            break;
    }
    return seen.Texts;
}

struct TProcessEntry {
    DWORD Id, Parent;
    std::string Name;
};

std::vector<TProcessEntry> ProcessList() {
    std::vector<TProcessEntry> list;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return list;
    PROCESSENTRY32W e = {};
    e.dwSize = sizeof e;
    for (BOOL more = Process32FirstW(snap, &e); more; more = Process32NextW(snap, &e))
        list.push_back({e.th32ProcessID, e.th32ParentProcessID, Narrow(e.szExeFile, wcslen(e.szExeFile))});
    CloseHandle(snap);
    return list;
}

// The processes of an install: what root started and what those started,
// and every setup.exe that came up meanwhile (Wine's start does not always
// show itself as their parent), as far as the system's list shows them.
class TProcessTree {
public:
    // Made before the program starts: what runs already is none of it.
    TProcessTree() {
        for (const TProcessEntry& p : ProcessList())
            FBefore.insert(p.Id);
    }
    void SetRoot(DWORD root) {
        FRoot = root;
        FTree[root] = "the started program";
    }
    // Adds what has come up since the last look.
    void Grow() {
        const std::vector<TProcessEntry> list = ProcessList();
        for (bool grew = true; grew;) {
            grew = false;
            for (const TProcessEntry& p : list) {
                // A process just made may show no name yet.
                auto known = FTree.find(p.Id);
                if (known != FTree.end() && known->second.empty())
                    known->second = p.Name;
                if (known == FTree.end() && !FBefore.count(p.Id) &&
                    (FTree.count(p.Parent) || SameText(p.Name, "setup.exe"))) {
                    FTree[p.Id] = p.Name;
                    grew = true;
                }
            }
        }
    }
    // What of the install still runs, after a last look.
    std::vector<std::string> StillRunning() {
        Grow();
        std::vector<std::string> running;
        for (const TProcessEntry& p : ProcessList())
            if (FTree.count(p.Id) && p.Id != FRoot)
                running.push_back(p.Name + " (" + std::to_string(p.Id) + ")");
        return running;
    }
    // The file names of the processes seen, root aside.
    std::multiset<std::string> Names() const {
        std::multiset<std::string> names;
        for (const auto& [id, name] : FTree)
            if (id != FRoot)
                names.insert(LowerCase(name));
        return names;
    }

private:
    DWORD FRoot = 0;
    std::set<DWORD> FBefore;
    std::map<DWORD, std::string> FTree;
};

std::string NewLogText(const std::set<std::string>& before) {
    const std::string log = E2E::NewSetupLog(before);
    return log.empty() ? std::string("<no new setup log>") : ReadWholeFile(log);
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& l : lines)
        all += l + "\n";
    return all;
}

// The products Wine's own list of installed programs shows ("uninstaller --list").
std::string InstalledProgramsList(const std::string& scratch) {
    const std::string out = scratch + "uninstaller-list.txt";
    RemoveFile(out);
    TProcess list("cmd.exe /c uninstaller --list > " + QuoteArg(out));
    EXPECT_TRUE(list.WaitForExit(30000)) << "uninstaller --list did not end";
    return FileExists(out) ? ReadWholeFile(out) : std::string();
}

// The program part of a command line: quoted, or up to the first blank.
std::pair<std::string, std::string> SplitProgram(const std::string& command) {
    if (!command.empty() && command[0] == '"') {
        size_t close = command.find('"', 1);
        return {command.substr(1, close - 1), Trim(command.substr(close + 1))};
    }
    size_t blank = command.find(' ');
    return {command.substr(0, blank), blank == std::string::npos ? "" : Trim(command.substr(blank + 1))};
}

class QuietSetup : public ::testing::Test {
protected:
    E2E::TRunLogsRemoved FLogs;
    void SetUp() override {
        if (FileExists(FilesInfPath()))
            FSavedFilesInf = ReadWholeFile(FilesInfPath());
        LogsAtStart = LogsBefore = E2E::SetupLogs();
        Cleanup();
        Product = Work.Path() + "product\\";
        ForceDirectory(RemoveBackslash(Product));
        WriteTextFile(Product + kSaver, "a quiet screen saver");
        WriteTextFile(Product + kSecond, "the quiet second file");
        // The real uninstaller, under a name of this test's own.
        ASSERT_TRUE(CopyFileTo(BuiltProgram("uninstall\\uninstall.exe"), Product + kUninstaller, false));
        WriteTextFile(FilesInfPath(), Product + kSaver + "\r\n" + Product + kSecond + "\r\n" + Product +
                                          kUninstaller + "\r\n");
    }
    void TearDown() override {
        Cleanup();
        RemoveFile(FilesInfPath());
        if (!FSavedFilesInf.empty())
            WriteTextFile(FilesInfPath(), FSavedFilesInf);
        for (const std::string& log : E2E::SetupLogs())
            if (!LogsAtStart.count(log))
                RemoveFile(log);
    }
    void Cleanup() {
        for (const char* name : {kSaver, kSecond, kUninstaller})
            RemoveFile(GetSystemDir() + "\\" + name);
        DeleteKeyTree(RegLocalMachine, E2E::UninstallKeyOf(kProductName));
    }

    // The author's build: setup.exe -b with the loading program beside it;
    // returns the self-extracting setup.exe, copied alone into a folder.
    std::string BuildDistribution() {
        const std::string prog = Work.Path() + "prog\\", build = Work.Path() + "build",
                          other = Work.Path() + "other\\";
        ForceDirectory(RemoveBackslash(prog));
        ForceDirectory(RemoveBackslash(other));
        EXPECT_TRUE(CopyFileTo(BuiltProgram("setup\\setup.exe"), prog + "setup.exe", false));
        EXPECT_TRUE(CopyFileTo(BuiltProgram("loader\\loader.exe"), prog + "loader.exe", false));
        WriteTextFile(prog + "BUILD.INF", build + "\r\n");
        TProcess b(QuoteArg(prog + "setup.exe") + " -b -q");
        EXPECT_TRUE(b.WaitForExit(60000));
        EXPECT_EQ(b.ExitCode(), 0u);
        EXPECT_TRUE(CopyFileTo(build + "\\setup.exe", other + "setup.exe", false));
        // The build's own log is not the run's.
        LogsBefore = E2E::SetupLogs();
        // The machine it runs on has no files.inf: the distribution carries its own.
        RemoveFile(FilesInfPath());
        return other + "setup.exe";
    }

    // Runs command unattended, watching for windows; its exit code.
    uint32_t RunQuietly(const std::string& command, double& seconds,
                        const std::vector<std::pair<std::string, std::string>>& env = {}) {
        const auto start = std::chrono::steady_clock::now();
        TProcess run(command, std::string(), env);
        Seen = WatchWindowsUntilExit(run, kTimeLimitMs);
        EXPECT_TRUE(run.WaitForExit(0)) << "not done within " << kTimeLimitMs << " ms";
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return run.ExitCode();
    }

    // Puts the screen saver current before a test back when it goes.
    struct TSaverPutBack {
        TSaverSetting Saved = CurrentSaverSetting();
        ~TSaverPutBack() { SetSaverSetting(Saved); }
    };
    // With an earlier screen saver current, installs the product unattended
    // by the built setup program from the product folder.
    static TSaverSetting EarlierSaver() { return {"Qfd Earlier.scr", GetSystemDir() + "\\QfdEar~1.scr"}; }
    void InstallOverAnEarlierSaver() {
        ASSERT_TRUE(SetSaverSetting(EarlierSaver()));
        E2E::MakeArchive(Product + "files.1",
                         {{Product + kSecond, 0}, {Product + kSaver, 1}, {Product + kUninstaller, 5}});
        double seconds = 0;
        ASSERT_EQ(RunQuietly(QuoteArg(BuiltProgram("setup\\setup.exe")) + " -q " +
                                 QuoteArg("-s" + RemoveBackslash(Product)),
                             seconds),
                  0u);
        ASSERT_TRUE(InPlace());
    }
    bool InPlace() {
        const std::string sys = GetSystemDir() + "\\";
        return ReadWholeFile(sys + kSaver) == "a quiet screen saver" &&
               ReadWholeFile(sys + kSecond) == "the quiet second file" &&
               ReadWholeFile(sys + kUninstaller) == ReadWholeFile(Product + kUninstaller);
    }

    static constexpr const char* kSaver = "Qfd Quiet Saver.scr";
    static constexpr const char* kSecond = "qfd_quiet_second.txt";
    static constexpr const char* kUninstaller = "qfd_quiet_uninstall.exe";
    static constexpr const char* kProductName = "Qfd Quiet Saver";
    static constexpr uint32_t kTimeLimitMs = 60000;
    TTempFolder Work;
    std::string Product;
    std::string FSavedFilesInf;
    std::set<std::string> LogsAtStart, LogsBefore;
    std::vector<std::string> Seen;
};

TEST_F(QuietSetup, StartedDirectlyItInstallsWithNoWindowAndMakesTheSaverCurrent) {
    auto fast = FastWindowsUnderWine("setup.exe");
    E2E::MakeArchive(Product + "files.1",
                     {{Product + kSecond, 0}, {Product + kSaver, 1}, {Product + kUninstaller, 5}});
    double seconds = 0;
    const uint32_t code = RunQuietly(QuoteArg(BuiltProgram("setup\\setup.exe")) + " -q " +
                                         QuoteArg("-s" + RemoveBackslash(Product)),
                                     seconds);
    EXPECT_TRUE(Seen.empty()) << Joined(Seen);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(InPlace());
    wchar_t saver[256] = {};
    DWORD n = GetProfileStringW(L"boot", L"SCRNSAVE.EXE", L"", saver, 256);
    EXPECT_EQ(Narrow(saver, n), kSaver);
    const std::string log = NewLogText(LogsBefore);
    for (const char* line : {"Setup: unattended installation of Qfd Quiet Saver", "Run: exit code 0",
                             "Saver: display settings not opened, unattended", "Run: ended"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    std::printf("direct unattended install: %.2f s\n", seconds);
}

TEST_F(QuietSetup, AnInvalidSwitchEndsWithOneAndTheReportInTheLog) {
    auto fast = FastWindowsUnderWine("setup.exe");
    double seconds = 0;
    EXPECT_EQ(RunQuietly(QuoteArg(BuiltProgram("setup\\setup.exe")) + " -q -x", seconds), 1u);
    EXPECT_TRUE(Seen.empty()) << Joined(Seen);
    const std::string log = NewLogText(LogsBefore);
    EXPECT_NE(log.find("Error: not shown, unattended: Exception IException in module setup.exe."),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Invalid parameter <-x>"), std::string::npos) << log;
}

TEST_F(QuietSetup, ThroughTheLoadingProgramItReturnsWhenTheFilesAreInPlaceAndLeavesNoCopy) {
    auto fast = FastWindowsUnderWine("setup.exe");
    const std::string exe = BuildDistribution();
    ASSERT_FALSE(HasFailure());
    // The machine has a files.inf of another product (as an author's has):
    // the distribution's own names what it installs.
    WriteTextFile(FilesInfPath(), Product + "Qfd Other Saver.scr\r\n" + Product + "qfd_other.txt\r\n");
    const std::vector<std::string> copiesBefore = TemporaryCopies();
    const auto start = std::chrono::steady_clock::now();
    TProcessTree tree;
    TProcess run("cmd.exe /c start \"\" /wait " + QuoteArg(exe) + " -q");
    tree.SetRoot(run.Id());
    Seen = WatchWindowsUntilExit(run, kTimeLimitMs, [&] { tree.Grow(); });
    ASSERT_TRUE(run.WaitForExit(0)) << "not done within " << kTimeLimitMs << " ms";
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The moment start /wait returns: nothing of the install runs on (no
    // batch, cmd or ping), and the temporary copy and its folder are gone.
    const std::vector<std::string> running = tree.StillRunning();
    EXPECT_TRUE(running.empty()) << Joined(running);
    EXPECT_EQ(TemporaryCopies(), copiesBefore);
    const std::multiset<std::string> names = tree.Names();
    std::string started;
    for (const std::string& n : names)
        started += n + " ";
    // The loading program and the copy were seen; no command processor or ping ran.
    EXPECT_EQ(names.count("setup.exe"), 2u) << started;
    EXPECT_EQ(names.count("cmd.exe") + names.count("ping.exe"), 0u) << started;
    EXPECT_TRUE(Seen.empty()) << Joined(Seen);
    EXPECT_EQ(run.ExitCode(), 0u);
    EXPECT_TRUE(InPlace());
    EXPECT_FALSE(FileExists(GetSystemDir() + "\\Qfd Other Saver.scr"));
    EXPECT_EQ(ReadRegString(rkLocalMachine, E2E::UninstallKeyOf(kProductName), "DisplayName", ""),
              kProductName);
    const std::string log = NewLogText(LogsBefore);
    EXPECT_NE(log.find("the loading program removes the temporary copy"), std::string::npos) << log;
    std::printf("start /wait of the self-extracting setup.exe -q: %.2f s, processes: %s\n", seconds,
                started.c_str());
}

TEST_F(QuietSetup, WhatTheSetupReadsCannotBeChangedUnderIt) {
    auto fast = FastWindowsUnderWine("setup.exe");
    const std::string exe = BuildDistribution();
    ASSERT_FALSE(HasFailure());
    const std::string distBytes = ReadWholeFile(exe);
    // What another program of the user would put in: a program of its own
    // (it writes down that it ran) and a files.inf that names other files.
    const std::string evil = Work.Path() + "evil\\";
    ForceDirectory(RemoveBackslash(evil));
    const std::string evilRan = evil + "ran.txt";
    ASSERT_TRUE(
        CopyFileTo(ThisProgramFolder() + "..\\unit\\loader\\fake_setup.exe", evil + "setup.exe", false));
    WriteTextFile(evil + "Qfd Evil Saver.scr", "not the author's");
    WriteTextFile(evil + "files.inf", evil + "Qfd Evil Saver.scr\r\n" + evil + "Qfd Evil Saver.scr\r\n");

    struct TTally {
        int Tries = 0, Succeeded = 0;
    } whileStarting, whileRunning, distribution;
    // Overwrites the file in place, then puts another file in its place by a
    // rename from outside the folder; true when either got through. Neither
    // makes a file where there is none, so that the loading program's
    // removal of its folder has nothing to fight.
    auto attack = [&](const std::string& target, const std::string& source) {
        bool through = false;
        HANDLE w = CreateFileW(Wide(target).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (w != INVALID_HANDLE_VALUE) {
            const std::string bytes = ReadWholeFile(source);
            DWORD put = 0;
            through = WriteFile(w, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put > 0;
            SetEndOfFile(w);
            CloseHandle(w);
        }
        const std::string spare = evil + "spare.tmp";
        CopyFileTo(source, spare, false);
        // A plain rename: Wine's ReplaceFileW leaves a file of its own in
        // the target's folder when it fails, which would be a plant itself.
        if (MoveFileExW(Wide(spare).c_str(), Wide(target).c_str(), MOVEFILE_REPLACE_EXISTING))
            through = true;
        return through;
    };
    // Renames the distribution, opens it for writing; true when either got through.
    auto tryDistribution = [&] {
        bool through = false;
        const std::string moved = exe + ".moved";
        if (MoveFileW(Wide(exe).c_str(), Wide(moved).c_str())) {
            through = true;
            MoveFileW(Wide(moved).c_str(), Wide(exe).c_str());
        }
        HANDLE w = CreateFileW(Wide(exe).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (w != INVALID_HANDLE_VALUE) {
            through = true;
            CloseHandle(w);
        }
        return through;
    };

    // One run of the distribution under attack; its exit code.
    auto attackedRun = [&] {
        const std::vector<std::string> copiesBefore = TemporaryCopies();
        TProcess run(QuoteArg(exe) + " -q", std::string(), {{"QFD_FAKE_SETUP_OUT", evilRan}});
        // The setup program (the copy the loading program started) runs.
        auto setupRuns = [&] {
            for (const TProcessEntry& p : ProcessList())
                if (p.Parent == run.Id() && SameText(p.Name, "setup.exe"))
                    return true;
            return false;
        };
        std::string folder;
        bool seenSetup = false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeLimitMs);
        while (!run.WaitForExit(0) && std::chrono::steady_clock::now() < end) {
            if (folder.empty()) {
                for (const std::string& name : TemporaryCopies())
                    if (std::find(copiesBefore.begin(), copiesBefore.end(), name) == copiesBefore.end())
                        folder = name + "\\";
                continue;
            }
            // An attempt counts for the phase it lay in from start to end:
            // once the setup program has ended, the loading program lets go.
            const bool before = setupRuns();
            seenSetup = seenSetup || before;
            bool through = false;
            for (const char* name : {"setup.exe", "files.inf"})
                through = attack(folder + name, evil + name) || through;
            const bool distThrough = tryDistribution();
            const bool after = setupRuns();
            seenSetup = seenSetup || after;
            TTally* tally = before && after ? &whileRunning : !seenSetup ? &whileStarting : nullptr;
            if (tally) {
                ++tally->Tries;
                tally->Succeeded += through ? 1 : 0;
            }
            // A loading program that gave up lets go of its file before it ends.
            if (before && after) {
                ++distribution.Tries;
                distribution.Succeeded += distThrough ? 1 : 0;
            }
        }
        EXPECT_TRUE(run.WaitForExit(0)) << "not done within " << kTimeLimitMs << " ms";
        EXPECT_EQ(TemporaryCopies(), copiesBefore);
        return run.ExitCode();
    };
    // A change that comes before the files are held is written over by the
    // unpacking or refused (12, 14); then another round, until one reaches
    // the setup program.
    for (int round = 1; round <= 5 && whileRunning.Tries == 0; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Cleanup();
        const uint32_t code = attackedRun();
        std::printf("round %d: attempts while the setup started: %d (%d got through), while it ran: %d (%d), "
                    "on the distribution while it ran: %d (%d); exit code %u\n",
                    round, whileStarting.Tries, whileStarting.Succeeded, whileRunning.Tries,
                    whileRunning.Succeeded, distribution.Tries, distribution.Succeeded, code);
        // The other program never runs, its files.inf is never read, nothing of it is installed.
        EXPECT_FALSE(FileExists(evilRan));
        EXPECT_FALSE(FileExists(GetSystemDir() + "\\Qfd Evil Saver.scr"));
        EXPECT_FALSE(RegKeyExists(RegLocalMachine, E2E::UninstallKeyOf("Qfd Evil Saver")));
        EXPECT_TRUE(code == 0 || code == 12 || code == 14) << code;
        if (code == 0)
            EXPECT_TRUE(InPlace());
        else
            EXPECT_FALSE(FileExists(GetSystemDir() + "\\" + kSaver));
    }
    // What the setup program reads is held while it runs; the loading
    // program's own file from its start.
    EXPECT_GT(whileRunning.Tries, 0);
    EXPECT_EQ(whileRunning.Succeeded, 0);
    EXPECT_GT(distribution.Tries, 0);
    EXPECT_EQ(distribution.Succeeded, 0);
    EXPECT_EQ(ReadWholeFile(exe), distBytes);
}

TEST_F(QuietSetup, ADamagedArchiveInsideTheDistributionFailsWithOneAndTheLogSaysWhy) {
    auto fast = FastWindowsUnderWine("setup.exe");
    const std::string exe = BuildDistribution();
    ASSERT_FALSE(HasFailure());
    // The headers of files.1 inside the distribution, overwritten.
    std::string bytes = ReadWholeFile(exe);
    TExtractionInfoBytes trailer;
    ASSERT_GE(bytes.size(), kExtractionInfoSize);
    std::copy(bytes.end() - kExtractionInfoSize, bytes.end(), trailer.begin());
    TExtractionInfo info;
    ASSERT_EQ(CheckExtractionInfo(trailer, static_cast<int64_t>(bytes.size()), info),
              TExtractionInfoState::eiValid);
    ASSERT_GT(info.Files1End - info.Files1Start, 64);
    for (int i = 0; i < 64; ++i)
        bytes[static_cast<size_t>(info.Files1Start + i)] =
            static_cast<char>(bytes[static_cast<size_t>(info.Files1Start + i)] ^ 0x5A);
    // Without its checksum, as a distribution built before checksums: the
    // loading program lets it through, and the setup program finds the damage.
    bytes.replace(bytes.size() - kExtractionInfoSize + kChecksumFieldAt, kChecksumFieldSize,
                  std::string(kChecksumFieldSize, '\0'));
    WriteTextFile(exe, bytes);
    // And the seal its loading program carries made anew, as a build of the
    // damaged archive would make it.
    {
        TFileStream f(exe, fmOpenReadWrite);
        ASSERT_TRUE(WritePayloadSeal(f, static_cast<int64_t>(bytes.size())));
    }

    const std::vector<std::string> copiesBefore = TemporaryCopies();
    double seconds = 0;
    const uint32_t code = RunQuietly(QuoteArg(exe) + " -q", seconds);
    EXPECT_TRUE(Seen.empty()) << Joined(Seen);
    EXPECT_EQ(code, 1u);
    EXPECT_FALSE(FileExists(GetSystemDir() + "\\" + kSaver));
    const std::string log = NewLogText(LogsBefore);
    for (const char* line : {"Run: failed. ", "The Archive file could possible be corrupt",
                             "Run: exit code 1", "Error: not shown, unattended: "})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_TRUE(WaitFor([&] { return TemporaryCopies() == copiesBefore; }, 20000))
        << TemporaryCopies().size() << " temporary copies, " << copiesBefore.size() << " before";
    std::printf("failed unattended install: %.2f s\n", seconds);
}

TEST_F(QuietSetup, TheDistributionChecksItselfBeforeItUnpacksAnythingAndASignatureAfterwardsKeepsItWhole) {
    auto fast = FastWindowsUnderWine("setup.exe");
    const std::string exe = BuildDistribution();
    ASSERT_FALSE(HasFailure());
    const std::string good = ReadWholeFile(exe);
    TExtractionInfo info;
    {
        TFileStream f(exe, fmOpenRead);
        ASSERT_EQ(ReadExtractionInfo(f, info), TExtractionInfoState::eiValid);
    }
    ASSERT_TRUE(info.HasChecksum);
    // The damaged runs get a temporary folder of their own, to show that
    // nothing was made there.
    const std::string temp = Work.Path() + "temp of the refused runs";
    ForceDirectory(temp);
    const std::vector<std::pair<std::string, std::string>> env = {{"TEMP", temp}, {"TMP", temp}};
    auto refused = [&](const std::string& what) {
        SCOPED_TRACE(what);
        double seconds = 0;
        EXPECT_EQ(RunQuietly(QuoteArg(exe) + " -q", seconds, env), 10u);
        EXPECT_TRUE(Seen.empty()) << Joined(Seen);
        EXPECT_TRUE(ListDirectory(temp).empty());
        EXPECT_FALSE(FileExists(GetSystemDir() + "\\" + kSaver));
        return seconds;
    };
    struct Case {
        const char* what;
        size_t at;
    };
    // The loading program's at its DOS message, which it does not need to run.
    const Case cases[] = {{"a byte of the loading program", 0x50},
                          {"a byte of setup.1", static_cast<size_t>(info.Setup1Start + info.Setup1End) / 2},
                          {"a byte of files.1", static_cast<size_t>(info.Files1Start + info.Files1End) / 2}};
    for (const Case& c : cases) {
        std::string bad = good;
        bad[c.at] = static_cast<char>(bad[c.at] ^ 0x10);
        WriteTextFile(exe, bad);
        refused(c.what);
    }

    // Without the checksum (a file built before it) the same file installs.
    std::string unchecked = good;
    unchecked.replace(unchecked.size() - kExtractionInfoSize + kChecksumFieldAt, kChecksumFieldSize,
                      std::string(kChecksumFieldSize, '\0'));
    WriteTextFile(exe, unchecked);
    double seconds = 0;
    EXPECT_EQ(RunQuietly(QuoteArg(exe) + " -q", seconds), 0u);
    EXPECT_TRUE(InPlace());
    Cleanup();

    // Signed afterwards, as every distribution is before it ships.
    WriteTextFile(exe, good);
    const std::string signedExe = Work.Path() + "signed\\setup.exe";
    ForceDirectory(Work.Path() + "signed");
    const std::string why = E2E::SignAfterTheBuild(Work.Path() + "signer", exe, signedExe);
    ASSERT_EQ(why, "");
    const std::string signedBytes = ReadWholeFile(signedExe);
    ASSERT_GT(signedBytes.size(), good.size());
    // The signature went behind the record, with no padding before it.
    EXPECT_TRUE(signedBytes.substr(info.Setup1Start, good.size() - info.Setup1Start) ==
                good.substr(info.Setup1Start));
    EXPECT_EQ(RunQuietly(QuoteArg(signedExe) + " -q", seconds), 0u);
    EXPECT_TRUE(Seen.empty()) << Joined(Seen);
    EXPECT_TRUE(InPlace());
    std::printf("signed self-extracting unattended install: %.2f s\n", seconds);
    Cleanup();

    // The signature itself changed (its last bytes are the signer's digest,
    // which neither the checksum nor the seal covers): refused by the check
    // of the signature on the held file.
    std::string forged = signedBytes;
    forged[forged.size() - 100] ^= 0x01;
    WriteTextFile(exe, forged);
    refused("a byte of the signature");

    // Changed after the signing: refused.
    std::string changed = signedBytes;
    changed[static_cast<size_t>(info.Files1End) - 3] ^= 0x01;
    WriteTextFile(exe, changed);
    const double refusedSeconds = refused("a byte of files.1 after the signing");
    std::printf("refused damaged distribution: %.2f s\n", refusedSeconds);
}

TEST_F(QuietSetup, TheCommandOfTheUninstallEntryRemovesTheProductFromTheSystemsList) {
    auto fast = FastWindowsUnderWine("setup.exe");
    // The screen saver current before the setup is current again after the uninstall.
    TSaverPutBack putBack;
    const TSaverSetting earlier = EarlierSaver();
    ASSERT_NO_FATAL_FAILURE(InstallOverAnEarlierSaver());
    EXPECT_EQ(CurrentSaverSetting().WinIni, kSaver);
    EXPECT_NE(InstalledProgramsList(Work.Path()).find(kProductName), std::string::npos)
        << InstalledProgramsList(Work.Path());

    // The entry starts the installed uninstaller with the product's name.
    const std::string key = E2E::UninstallKeyOf(kProductName);
    const std::string command = ReadRegString(rkLocalMachine, key, "UninstallString", "");
    const auto [program, rest] = SplitProgram(command);
    EXPECT_TRUE(SameText(program, GetSystemDir() + "\\" + kUninstaller)) << command;
    EXPECT_EQ(rest, std::string("\"") + kProductName + "\"") << command;
    {
        // Exactly as the list starts it: the installed uninstaller asks about this product.
        auto fastUninstall = FastWindowsUnderWine(kUninstaller);
        TProcess asked(command);
        TWindowHandle box = FindTopWindow(std::string("Uninstall ") + kProductName, asked.Id(), 15000);
        ASSERT_NE(box, 0u) << command;
        EXPECT_EQ(MessageBoxText(box), std::string("Remove ") + kProductName + " and all of its components?");
        ASSERT_TRUE(PressButton(box, "No"));
        ASSERT_TRUE(asked.WaitForExit(15000));
        EXPECT_EQ(asked.ExitCode(), 2u);
        ASSERT_TRUE(InPlace()) << "No removes nothing";
    }
    // Then unattended, with -q after the program.
    TProcess uninstall((command[0] == '"' ? QuoteArg(program) : program) + " -q " + rest);
    ASSERT_TRUE(uninstall.WaitForExit(30000));
    EXPECT_EQ(uninstall.ExitCode(), 0u);
    // The uninstaller goes too, a moment after its end (no other product uses it).
    const auto ended = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitFor([&] { return !FileExists(GetSystemDir() + "\\" + kUninstaller); }, 10000));
    std::printf("installed uninstaller gone %.2f s after its end\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - ended).count());
    EXPECT_FALSE(FileExists(GetSystemDir() + "\\" + kSaver));
    EXPECT_FALSE(FileExists(GetSystemDir() + "\\" + kSecond));
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, key));
    EXPECT_EQ(InstalledProgramsList(Work.Path()).find(kProductName), std::string::npos);
    EXPECT_EQ(CurrentSaverSetting().WinIni, earlier.WinIni);
    EXPECT_EQ(CurrentSaverSetting().SystemIni, earlier.SystemIni);
}

// The distribution an author builds with -b is a program of the width of the
// setup program that built it. Installed unattended (a 32-bit one on 64-bit
// Windows too), its screen saver lands in the system folder of its width (on
// 64-bit Windows the 32-bit SysWOW64, where the display settings find 32-bit
// screen savers), its uninstall entry lies in the machine's own registry
// view, where the system's list and an uninstaller of either width find it,
// and that entry's command removes it again.
TEST_F(QuietSetup, TheBuiltDistributionOfThisWidthInstallsWhereItsWidthBelongsAndItsEntryRemovesIt) {
    auto fast = FastWindowsUnderWine("setup.exe");
    struct TPutBack {
        TSaverSetting Saved = CurrentSaverSetting();
        ~TPutBack() { SetSaverSetting(Saved); }
    } putBack;
    const std::string exe = BuildDistribution();
    ASSERT_FALSE(HasFailure());
    const uint16_t machine = ThisProgramMachine();
    EXPECT_EQ(machine, sizeof(void*) == 4 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(ProgramMachine(exe), machine);

    double seconds = 0;
    ASSERT_EQ(RunQuietly("cmd.exe /c start \"\" /wait " + QuoteArg(exe) + " -q", seconds), 0u)
        << NewLogText(LogsBefore);
    EXPECT_TRUE(Seen.empty()) << Joined(Seen);

    // The folder, asked of the system itself: on 64-bit Windows the 32-bit
    // system folder for a 32-bit program, else the system folder.
    wchar_t dir[MAX_PATH + 1] = {};
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    const UINT n = wow64 ? GetSystemWow64DirectoryW(dir, MAX_PATH) : GetSystemDirectoryW(dir, MAX_PATH);
    ASSERT_GT(n, 0u);
    const std::string folder = Narrow(dir, n) + "\\";
    // Read without redirection, as a 64-bit program (the display settings of
    // 64-bit Windows) reads the path.
    EXPECT_EQ(ProgramMachine(folder + "kernel32.dll", true), machine) << folder;
    EXPECT_TRUE(SameText(GetSystemDir() + "\\", folder)) << GetSystemDir();
    ASSERT_TRUE(InPlace());
    EXPECT_TRUE(ExistsWithoutRedirection(folder + kSaver));
    if (wow64) {
        EXPECT_FALSE(ExistsWithoutRedirection(GetWindowsDir() + "\\system32\\" + kSaver))
            << "in the 64-bit system folder";
    }
    // SYSTEM.INI names the saver by its path in that folder.
    const std::optional<std::string> current = CurrentSaverSetting().SystemIni;
    ASSERT_TRUE(current.has_value());
    EXPECT_TRUE(SameText(ExtractFilePath(*current), folder)) << *current;

    const std::string key = E2E::UninstallKeyOf(kProductName);
    EXPECT_TRUE(MachineKeyInView(key.substr(1), true));
    EXPECT_EQ(MachineKeyInView(key.substr(1), false), !wow64 && sizeof(void*) == 4)
        << "an entry in the 32-bit view of 64-bit Windows";
    EXPECT_NE(InstalledProgramsList(Work.Path()).find(kProductName), std::string::npos)
        << InstalledProgramsList(Work.Path());
    const std::string command = ReadRegString(rkLocalMachine, key, "UninstallString", "");
    const auto [program, rest] = SplitProgram(command);
    EXPECT_TRUE(SameText(program, folder + kUninstaller)) << command;
    EXPECT_EQ(ProgramMachine(program, true), machine) << program;

    TProcess uninstall((command[0] == '"' ? QuoteArg(program) : program) + " -q " + rest);
    ASSERT_TRUE(uninstall.WaitForExit(30000));
    EXPECT_EQ(uninstall.ExitCode(), 0u);
    EXPECT_TRUE(WaitFor([&] { return !FileExists(folder + kUninstaller); }, 10000));
    EXPECT_FALSE(FileExists(folder + kSaver));
    EXPECT_FALSE(FileExists(folder + kSecond));
    EXPECT_FALSE(MachineKeyInView(key.substr(1), true));
    EXPECT_EQ(InstalledProgramsList(Work.Path()).find(kProductName), std::string::npos);
    std::printf("self-extracting setup.exe of machine 0x%x: installed in %.2f s into %s\n", machine, seconds,
                folder.c_str());
}

// What a setup of one width installed, the uninstaller of the other width
// finds (one registry view, real folder names) and removes.
TEST_F(QuietSetup, TheUninstallerOfTheOtherWidthRemovesWhatThisWidthInstalled) {
    const std::string built = E2E::OtherWidthProgram("uninstall\\uninstall.exe");
    if (!FileExists(built))
        GTEST_SKIP() << "no uninstaller of the other width: " << built;
    // A copy: an uninstaller that is not the product's own removes itself
    // after its run.
    const std::string other = Work.Path() + "other width\\uninstall.exe";
    ForceDirectory(ExtractFileDir(other));
    ASSERT_TRUE(CopyFileTo(built, other, false));
    ASSERT_NE(ProgramMachine(other), ThisProgramMachine());
    auto fast = FastWindowsUnderWine("setup.exe");
    TSaverPutBack putBack;
    const TSaverSetting earlier = EarlierSaver();
    ASSERT_NO_FATAL_FAILURE(InstallOverAnEarlierSaver());
    const std::string key = E2E::UninstallKeyOf(kProductName);
    TProcess uninstall(QuoteArg(other) + " -q " + QuoteArg(kProductName));
    ASSERT_TRUE(uninstall.WaitForExit(30000));
    EXPECT_EQ(uninstall.ExitCode(), 0u);
    const std::string sys = GetSystemDir() + "\\";
    // The product's files go; its own uninstaller is no file of its log (it
    // removes itself when it is the one that runs) and stays for the cleanup.
    EXPECT_FALSE(FileExists(sys + kSaver));
    EXPECT_FALSE(FileExists(sys + kSecond));
    EXPECT_FALSE(MachineKeyInView(key.substr(1), true));
    // The saver current before is current again.
    EXPECT_EQ(CurrentSaverSetting().WinIni, earlier.WinIni);
    EXPECT_EQ(CurrentSaverSetting().SystemIni, earlier.SystemIni);
}

} // namespace

namespace {

// Every log of the programs ("Setup Log …", "Uninstall Log …") in the
// temporary folder, by name.
std::set<std::string> AllLogs() {
    std::set<std::string> logs;
    for (const std::string& n : ListDirectory(TempDirectory()))
        if (n.rfind("Setup Log ", 0) == 0 || n.rfind("Uninstall Log ", 0) == 0)
            logs.insert(n);
    return logs;
}

std::string TextOfNewLogs(const std::set<std::string>& before) {
    std::string all;
    for (const std::string& n : AllLogs())
        if (!before.count(n))
            all += n + "\n" + ReadWholeFile(TempDirectory() + n) + "\n";
    return all;
}

std::string HexOfWide(const std::string& text) {
    std::string hex;
    const std::wstring w = Wide(text);
    for (wchar_t c : w + L'\0')
        for (int b = 0; b < 2; ++b)
            hex += Format("%.2X", {static_cast<int>((c >> (8 * b)) & 0xFF)});
    return hex;
}

// What a journal planted by a user names, and everything it would change;
// put back and taken away when it goes.
struct TPlantedJournal {
    const std::string Windows = AddBackslash(GetWindowsDir());
    const std::string Victim = Windows + "qfd_planted_victim.txt";
    const std::string Moved = Windows + "qfd_planted_moved.exe";
    const std::string Ini = Windows + "qfd_planted.ini";
    const std::string Outside = Windows + "qfd_planted_folder";
    const std::string UsersFile;
    static constexpr const char* kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const char* kSethc =
        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\sethc.exe";
    static constexpr const char* kKept = "SOFTWARE\\QfdPlantedVictim";

    explicit TPlantedJournal(const std::string& work) : UsersFile(work + "users program.exe") {
        WriteTextFile(Victim, "a file of Windows");
        WriteTextFile(UsersFile, "the user's program");
        ForceDirectory(Outside);
        WriteTextFile(Outside + "\\keep.txt", "stays");
        TRegKey k;
        k.Create(RegLocalMachine, kKept);
    }
    ~TPlantedJournal() {
        RemoveFile(Victim);
        RemoveFile(Moved);
        RemoveFile(Ini);
        RemoveFile(Outside + "\\keep.txt");
        RemoveDir(Outside);
        TRegKey run;
        if (run.Open(RegLocalMachine, kRun))
            run.DeleteValue("QfdPlanted");
        DeleteKeyTree(RegLocalMachine, kSethc);
        DeleteKeyTree(RegLocalMachine, kKept);
        // The planted folders, set aside by the runs, go with their journals.
        const std::string machine = MachineFolder();
        for (const std::string& name : ListDirectory(machine)) {
            if (name.rfind("Journal", 0) != 0)
                continue;
            const std::string folder = AddBackslash(machine) + RemoveBackslash(name);
            for (const std::string& f : ListDirectory(folder))
                if (ExtractFileExt(f).rfind(".jnl", 0) == 0 || f.find(".untrusted-") != std::string::npos)
                    RemoveFile(AddBackslash(folder) + f);
            RemoveDir(folder);
        }
        RemoveDir(machine);
    }

    // The journal, in the journals' folder made as any user may make it.
    void Plant() {
        const std::string folder = AddBackslash(CommonApplicationData()) + "Quenfold\\Journal";
        ForceDirectory(folder);
        std::string up;
        for (char c : TempDirectory().substr(3))
            if (c == '\\')
                up += "..\\";
        const std::string text = std::string("QFDJOURNAL1\n") + "F\t" + Victim + "\n" + "K\t" + Moved + "\t" +
                                 UsersFile + "\n" + "V\t80000002\t" + kRun + "\tQfdPlanted\t1\t1\t" +
                                 HexOfWide(UsersFile) + "\n" + "V\t80000002\t" + kSethc +
                                 "\tDebugger\t1\t1\t" + HexOfWide(UsersFile) + "\n" + "C\t80000002\t" +
                                 kKept + "\n" + "P\t" + Ini + "\tboot\tshell\t1\t" + UsersFile + "\n" +
                                 "M\t" + TempDirectory() + up + "windows\\" + ExtractFileName(Outside) + "\n";
        WriteTextFile(AddBackslash(folder) + "0123456789abcdef.jnl", text);
    }

    // Empty when nothing the journal names has changed.
    std::string Changed() const {
        std::string d;
        if (!FileExists(Victim))
            d += "the file in the Windows folder was deleted\n";
        if (FileExists(Moved) || !FileExists(UsersFile))
            d += "the user's file was moved into the Windows folder\n";
        TRegKey run;
        if (run.Open(RegLocalMachine, kRun, TRegAccess::raRead) && run.ValueExists("QfdPlanted"))
            d += "a Run value was written\n";
        if (RegKeyExists(RegLocalMachine, kSethc))
            d += "a Debugger of sethc.exe was written\n";
        if (!RegKeyExists(RegLocalMachine, kKept))
            d += "an HKLM key was deleted\n";
        if (FileExists(Ini))
            d += "an INI line was written\n";
        if (!FileExists(Outside + "\\keep.txt"))
            d += "a folder outside the temporary folder was removed\n";
        return d;
    }
};

} // namespace

// A journal any user could have written, planted where the journals lie, is
// obeyed neither by the uninstaller nor by the setup, and the logs say why.
// A process that holds the old name of the lock keeps no setup from running;
// a setup that runs still keeps a second one out.
TEST_F(QuietSetup, NothingAUserPlantsIsObeyedAndOnlyASetupHoldsTheLock) {
    auto fast = FastWindowsUnderWine("setup.exe");
    TSaverPutBack saver;
    TPlantedJournal planted(Work.Path());
    std::set<std::string> logs = AllLogs();
    double seconds = 0;

    planted.Plant();
    RunQuietly(QuoteArg(BuiltProgram("uninstall\\uninstall.exe")) + " -q NoSuchProduct", seconds);
    EXPECT_EQ(planted.Changed(), "");
    std::string text = TextOfNewLogs(logs);
    EXPECT_NE(text.find("are not obeyed"), std::string::npos) << text;

    logs = AllLogs();
    planted.Plant();
    E2E::MakeArchive(Product + "files.1",
                     {{Product + kSecond, 0}, {Product + kSaver, 1}, {Product + kUninstaller, 5}});
    const std::string setup = QuoteArg(BuiltProgram("setup\\setup.exe"));
    const std::string source = QuoteArg("-s" + RemoveBackslash(Product));
    {
        // The lock of earlier versions: a name any user may create.
        HANDLE old =
            CreateMutexW(nullptr, TRUE, Wide("Global\\QuenfoldSetup-" + ProductRunId(kProductName)).c_str());
        ASSERT_NE(old, nullptr);
        EXPECT_EQ(RunQuietly(setup + " -q " + source, seconds), 0u);
        CloseHandle(old);
    }
    EXPECT_TRUE(InPlace());
    EXPECT_EQ(planted.Changed(), "");
    text = TextOfNewLogs(logs);
    EXPECT_NE(text.find("are not obeyed"), std::string::npos) << text;

    // A real setup, waiting on its last page, holds the lock.
    TProcess first(setup + " " + source);
    TWindowHandle page = FindTopWindow("Setup complete", first.Id(), 15000);
    ASSERT_NE(page, 0u) << "no good-installation page";
    {
        // Not watched for windows: the watch would close the first one's page.
        TProcess second(setup + " -q " + source);
        ASSERT_TRUE(second.WaitForExit(kTimeLimitMs));
        EXPECT_EQ(second.ExitCode(), 1u) << "a second setup ran beside the first";
        // Nor does its uninstaller remove what the running setup put in place.
        TProcess removal(QuoteArg(BuiltProgram("uninstall\\uninstall.exe")) + " -q " +
                         QuoteArg(kProductName));
        ASSERT_TRUE(removal.WaitForExit(kTimeLimitMs));
        EXPECT_EQ(removal.ExitCode(), 1u) << "the uninstaller ran beside the setup";
        EXPECT_TRUE(InPlace());
    }
    EXPECT_TRUE(PressButton(page, "Finish"));
    EXPECT_TRUE(first.WaitForExit(15000));
    EXPECT_EQ(planted.Changed(), "");
}
