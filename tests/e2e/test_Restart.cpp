// A reinstall while the screen saver is in use: the self-extracting setup.exe
// leaves the new file for the restart, registers the run after it under
// RunOnce with the temporary copy it keeps, and ends with exit code 3;
// attended, the restart page says so first. Then the prefix restarts: the file
// is replaced, the run after the restart completes by itself and takes the
// copy and the install record away. setup.exe -r with nothing unfinished ends
// well.
//
// The restart is Wine's "wineboot -r". Found by trying it under Wine 8: it
// performs the renames of PendingFileRenameOperations, then runs every HKLM
// RunOnce entry, waiting for each program, and removes the values; programs
// that are running (this test) go on. So that it runs only this test's
// entries, the test takes every pending rename and RunOnce value of the
// prefix away first and puts them back at its end.
#include "E2ESupport.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_ScreenSaver.h"
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "support/WindowDriver.h"
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <windows.h>

using namespace WindowDriver;

namespace {

using E2E::BuiltProgram;
using E2E::FilesInfPath;
using E2E::TemporaryCopies;

const char* const kRunOnce = "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char* const kSessionManager = "\\System\\CurrentControlSet\\Control\\Session Manager";
const char* const kRenames = "PendingFileRenameOperations";
constexpr uint32_t kRunLimitMs = 60000;

// The values of a key as they were, taken away while the test runs and put
// back afterwards, whatever the test left there meanwhile.
class TParkedValues {
public:
    TParkedValues(const std::string& key, std::vector<std::string> only = {}) : FKey(key) {
        TRegKey k;
        if (!k.Open(RegLocalMachine, key))
            return;
        for (const std::string& name : k.ValueNames()) {
            if (!only.empty() && std::find(only.begin(), only.end(), name) == only.end())
                continue;
            uint32_t type = 0;
            if (auto data = k.ReadRaw(name, type)) {
                FValues.push_back({name, type, *data});
                k.DeleteValue(name);
            }
        }
        FOnly = std::move(only);
    }
    ~TParkedValues() {
        TRegKey k;
        if (!k.Open(RegLocalMachine, FKey))
            return;
        for (const std::string& name : k.ValueNames())
            if (FOnly.empty() || std::find(FOnly.begin(), FOnly.end(), name) != FOnly.end())
                k.DeleteValue(name);
        for (const TValue& v : FValues)
            k.WriteRaw(v.Name, v.Type, v.Data.data(), v.Data.size());
    }
    TParkedValues(const TParkedValues&) = delete;
    TParkedValues& operator=(const TParkedValues&) = delete;

private:
    struct TValue {
        std::string Name;
        uint32_t Type;
        std::vector<uint8_t> Data;
    };
    std::string FKey;
    std::vector<std::string> FOnly;
    std::vector<TValue> FValues;
};

// The moves recorded for the restart, as text (names separated by '|').
std::string PendingRenames() {
    TRegKey k;
    if (!k.Open(RegLocalMachine, kSessionManager, TRegAccess::raRead))
        return "";
    const std::vector<uint8_t> raw = k.ReadBinary(kRenames).value_or(std::vector<uint8_t>{});
    std::wstring text;
    for (size_t i = 0; i + 1 < raw.size(); i += 2)
        text += static_cast<wchar_t>(raw[i] | (raw[i + 1] << 8));
    std::string s = Narrow(text.data(), text.size());
    std::replace(s.begin(), s.end(), '\0', '|');
    return UpperCase(s);
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

// The record of a program names its full path.
std::string FullPath(const std::string& path) {
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(Wide(path).c_str(), MAX_PATH, full, nullptr);
    return n && n < MAX_PATH ? Narrow(full, n) : path;
}

// Ends every setup.exe that still shows a window: a failed attended case
// would otherwise leave its page waiting for a person.
void EndSetupWindows() {
    EnumWindows(
        [](HWND h, LPARAM) CALLBACK -> BOOL {
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
            if (!p)
                return TRUE;
            wchar_t path[MAX_PATH * 2] = {};
            DWORD n = MAX_PATH * 2;
            if (QueryFullProcessImageNameW(p, 0, path, &n) &&
                SameText(ExtractFileName(Narrow(path, n)), "setup.exe"))
                TerminateProcess(p, 99);
            CloseHandle(p);
            return TRUE;
        },
        0);
}

class RestartCase : public ::testing::Test {
protected:
    void SetUp() override {
        if (FileExists(FilesInfPath()))
            FSavedFilesInf = ReadWholeFile(FilesInfPath());
        LogsAtStart = E2E::SetupLogs();
        CopiesAtStart = TemporaryCopies();
        Cleanup();
        Product = Work.Path() + "product\\";
        ForceDirectory(RemoveBackslash(Product));
    }
    void TearDown() override {
        FHeld.reset();
        EndSetupWindows();
        Cleanup();
        // The copy the run kept for a restart that never came, and its record.
        for (const std::string& copy : NewCopies()) {
            const std::string& folder = copy;
            E2E::RemoveRecordsOf(AddBackslash(folder) + "setup.exe");
            TTempFolder::RemoveTree(folder);
        }
        RemoveFile(FilesInfPath());
        if (!FSavedFilesInf.empty())
            WriteTextFile(FilesInfPath(), FSavedFilesInf);
        for (const std::string& log : E2E::SetupLogs())
            if (!LogsAtStart.count(log))
                RemoveFile(log);
    }
    void Cleanup() {
        for (const char* name : {kSaver, kCandidate, kSecond, kUninstaller})
            RemoveFile(Sys(name));
        DeleteKeyTree(RegLocalMachine, E2E::UninstallKeyOf(kProductName));
        E2E::RemoveRecordsOf(FullPath(BuiltProgram("setup\\setup.exe")));
    }

    static std::string Sys(const std::string& name) { return GetSystemDir() + "\\" + name; }
    static std::string SaverText(const std::string& version) { return "the screen saver, " + version; }

    // The product's three files of this version, and files.inf naming them.
    void WriteProduct(const std::string& version) {
        WriteTextFile(Product + kSaver, SaverText(version));
        WriteTextFile(Product + kSecond, "the second file, " + version);
        WriteTextFile(Product + kUninstaller, "the uninstaller, " + version);
        WriteTextFile(FilesInfPath(), Product + kSaver + "\r\n" + Product + kSecond + "\r\n" + Product +
                                          kUninstaller + "\r\n");
    }

    // The first version, installed directly from its archive.
    void InstallFirstVersion() {
        WriteProduct("v1");
        E2E::MakeArchive(Product + "files.1",
                         {{Product + kSecond, 0}, {Product + kSaver, 1}, {Product + kUninstaller, 5}});
        EXPECT_EQ(Run(QuoteArg(BuiltProgram("setup\\setup.exe")) + " -q " +
                      QuoteArg("-s" + RemoveBackslash(Product))),
                  0u);
        EXPECT_EQ(ReadWholeFile(Sys(kSaver)), SaverText("v1"));
    }

    // The second version as the author builds it (setup.exe -b); returns the
    // self-extracting setup.exe, alone in a folder. The machine then has no
    // files.inf: the distribution carries its own.
    std::string BuildSecondVersion() {
        WriteProduct("v2");
        const std::string prog = Work.Path() + "prog\\", build = Work.Path() + "build",
                          other = Work.Path() + "other\\";
        ForceDirectory(RemoveBackslash(prog));
        ForceDirectory(RemoveBackslash(other));
        EXPECT_TRUE(CopyFileTo(BuiltProgram("setup\\setup.exe"), prog + "setup.exe", false));
        EXPECT_TRUE(CopyFileTo(BuiltProgram("loader\\loader.exe"), prog + "loader.exe", false));
        WriteTextFile(prog + "BUILD.INF", build + "\r\n");
        EXPECT_EQ(Run(QuoteArg(prog + "setup.exe") + " -b -q"), 0u);
        EXPECT_TRUE(CopyFileTo(build + "\\setup.exe", other + "setup.exe", false));
        RemoveFile(FilesInfPath());
        return other + "setup.exe";
    }

    // Another program holds the installed screen saver open: it cannot be
    // replaced or removed while the run lasts.
    void HoldSaver() { FHeld = std::make_unique<TFileStream>(Sys(kSaver), fmOpenRead | fmShareExclusive); }
    void ReleaseSaver() { FHeld.reset(); }

    // Runs command to its end (within the limit); its exit code.
    uint32_t Run(const std::string& command) {
        TProcess p(command);
        EXPECT_TRUE(p.WaitForExit(kRunLimitMs)) << command << " did not end within " << kRunLimitMs << " ms";
        return p.ExitCode();
    }

    std::vector<std::string> NewCopies() const {
        std::vector<std::string> fresh;
        for (const std::string& c : TemporaryCopies())
            if (std::find(CopiesAtStart.begin(), CopiesAtStart.end(), c) == CopiesAtStart.end())
                fresh.push_back(c);
        return fresh;
    }

    // The log written by the runs since before was taken, all of them.
    static std::string LogsSince(const std::set<std::string>& before) {
        std::string text;
        for (const std::string& log : E2E::SetupLogs())
            if (!before.count(log))
                text += ReadWholeFile(log);
        return text;
    }

    static constexpr const char* kSaver = "Qfd Restart Saver.scr";
    // The name the new saver waits under until the restart.
    static constexpr const char* kCandidate = "Qfd Restart Saver.1";
    static constexpr const char* kSecond = "qfd_restart_second.txt";
    static constexpr const char* kUninstaller = "qfd_restart_uninstall.exe";
    static constexpr const char* kProductName = "Qfd Restart Saver";

    // Only this test's entries meet the restart; the others come back after it.
    TParkedValues FRunOnceValues{kRunOnce};
    TParkedValues FRenameValues{kSessionManager, {kRenames}};
    // The current screen saver, which every good run changes.
    struct TPutBackSaver {
        TSaverSetting Saved = CurrentSaverSetting();
        ~TPutBackSaver() { SetSaverSetting(Saved); }
    } FSaverBefore;
    TTempFolder Work;
    std::string Product;
    std::string FSavedFilesInf;
    std::set<std::string> LogsAtStart;
    std::vector<std::string> CopiesAtStart;
    std::unique_ptr<TFileStream> FHeld;
};

TEST_F(RestartCase, AFileInUseIsReplacedAtTheRestartAndTheRunAfterItCompletesByItself) {
    const auto started = std::chrono::steady_clock::now();
    auto fast = FastWindowsUnderWine("setup.exe");
    InstallFirstVersion();
    const std::string exe = BuildSecondVersion();
    ASSERT_FALSE(HasFailure());

    std::set<std::string> logsBefore = E2E::SetupLogs();
    HoldSaver();
    EXPECT_EQ(Run(QuoteArg(exe) + " -q"), 3u) << "installed; Windows must restart to finish";
    EXPECT_EQ(ReadWholeFile(Sys(kSecond)), "the second file, v2") << "a file not in use is replaced at once";
    EXPECT_EQ(ReadWholeFile(Sys(kCandidate)), SaverText("v2")) << "the new saver waits beside the old one";
    const std::string log = LogsSince(logsBefore);
    for (const char* line :
         {"Run: restart dialogs: Windows must restart to finish",
          "DialogManager4: wizard not shown, unattended", "Run: exit code 3: Windows must restart to finish"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;

    // The run after the restart: registered with the temporary copy, which stays for it.
    const std::string command = ReadRegString(rkLocalMachine, kRunOnce, "QuenfoldUnfinished", "");
    ASSERT_FALSE(command.empty()) << "no RunOnce QuenfoldUnfinished";
    const auto [program, args] = SplitProgram(command);
    EXPECT_TRUE(FileExists(program)) << command;
    const std::vector<std::string> kept = NewCopies();
    ASSERT_EQ(kept.size(), 1u) << "the temporary copy stays for the run after the restart";
    const std::string copyFolder = RemoveBackslash(kept[0]);
    EXPECT_TRUE(SameText(ExtractFileDir(program), copyFolder)) << command;
    for (const char* arg : {"-r", "-c", "-q"})
        EXPECT_NE((" " + args + " ").find(std::string(" ") + arg + " "), std::string::npos) << command;
    const std::string record = E2E::RecordOf(program);
    ASSERT_FALSE(record.empty()) << "the install record waits for the restart";
    EXPECT_EQ(ReadRegString(rkLocalMachine, record + "\\Unfinished", "InstallFile", ""), "0");
    const std::string renames = PendingRenames();
    EXPECT_NE(renames.find(UpperCase(Sys(kSaver))), std::string::npos) << renames;
    EXPECT_NE(renames.find(UpperCase(Sys(kCandidate))), std::string::npos) << renames;

    ReleaseSaver();
    logsBefore = E2E::SetupLogs();
    const auto restart = std::chrono::steady_clock::now();
    {
        TProcess boot(QuoteArg(Sys("wineboot.exe")) + " -r");
        ASSERT_TRUE(boot.WaitForExit(kRunLimitMs)) << "wineboot -r did not end";
        EXPECT_EQ(boot.ExitCode(), 0u);
    }
    const double bootSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - restart).count();
    EXPECT_EQ(ReadWholeFile(Sys(kSaver)), SaverText("v2")) << "replaced at the restart";
    EXPECT_FALSE(FileExists(Sys(kCandidate)));
    EXPECT_EQ(PendingRenames().find(UpperCase(Sys(kSaver))), std::string::npos);
    EXPECT_EQ(ReadRegString(rkLocalMachine, kRunOnce, "QuenfoldUnfinished", "<gone>"), "<gone>");
    EXPECT_EQ(E2E::RecordOf(program), "") << "completed: the record is gone";
    // The copy goes by its clean-up batch, a moment after the run has ended.
    EXPECT_TRUE(WaitFor([&] { return !DirectoryExists(copyFolder); }, 20000)) << copyFolder;
    const std::string after = LogsSince(logsBefore);
    for (const char* line : {"Setup: completion after a restart", "Run: completed after the restart",
                             "Run: exit code 0", "Run: ended"})
        EXPECT_NE(after.find(line), std::string::npos) << line << "\n" << after;
    EXPECT_EQ(after.find("restart dialogs"), std::string::npos) << after;
    EXPECT_EQ(ReadRegString(rkLocalMachine, E2E::UninstallKeyOf(kProductName), "DisplayName", ""),
              kProductName);

    // Started again by hand, the run after the restart finds nothing to do.
    EXPECT_EQ(Run(QuoteArg(exe) + " -r -q"), 0u);
    EXPECT_TRUE(WaitFor([&] { return NewCopies().empty(); }, 20000)) << "its temporary copy stays";
    std::printf("restart case: %.1f s in all; wineboot -r %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                bootSeconds);
}

TEST_F(RestartCase, AttendedTheRestartPageTellsThePersonBeforeTheCompletionPage) {
    auto fast = FastWindowsUnderWine("setup.exe");
    InstallFirstVersion();
    const std::string exe = BuildSecondVersion();
    ASSERT_FALSE(HasFailure());

    const std::set<std::string> logsBefore = E2E::SetupLogs();
    HoldSaver();
    TProcess setup(QuoteArg(exe));
    // The page belongs to the temporary copy, a process of its own.
    TWindowHandle wizard = FindTopWindow("Reboot windows", 0, 30000);
    ASSERT_NE(wizard, 0u) << "no restart page";
    EXPECT_EQ(FindTopWindow("Setup complete", 0, 0), 0u) << "the restart page comes first";
    // Its only page: Finish, no Back, no Next.
    const std::vector<std::string> shown = ShownButtons(wizard);
    auto shows = [&shown](const char* caption) {
        return std::find(shown.begin(), shown.end(), caption) != shown.end();
    };
    EXPECT_TRUE(shows("Finish") && !shows("Next >") && !shows("< Previous"));
    // A file in use set Reboot: the page offers the restart.
    TWindowHandle yes = FindChild(wizard, "Yes, I would like to reboot windows", "Button");
    TWindowHandle no = FindChild(wizard, "No, I would not like to reboot windows", "Button");
    ASSERT_TRUE(yes && no);
    EXPECT_EQ(SendMessageW(reinterpret_cast<HWND>(yes), BM_GETCHECK, 0, 0), BST_CHECKED);
    ASSERT_TRUE(PressButton(wizard, "No, I would not like to reboot windows"));
    EXPECT_TRUE(
        WaitFor([&] { return SendMessageW(reinterpret_cast<HWND>(no), BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    ASSERT_TRUE(PressButton(wizard, "Finish"));

    TWindowHandle page = FindTopWindow("Setup complete", 0, 15000);
    ASSERT_NE(page, 0u) << "no good-installation page after the restart page";
    ASSERT_TRUE(PressButton(page, "Finish"));
    ASSERT_TRUE(setup.WaitForExit(kRunLimitMs));
    EXPECT_EQ(setup.ExitCode(), 3u) << "No now does not take the restart's need away";
    const std::string log = LogsSince(logsBefore);
    for (const char* line : {"Run: restart dialogs: Windows must restart to finish", "Run: Reboot = False",
                             "Run: exit code 3: Windows must restart to finish"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_LT(log.find("Run: Reboot = False"), log.find("Run: good-installation dialogs")) << log;
}

TEST_F(RestartCase, WithNothingUnfinishedMinusREndsWithZeroAndSaysSo) {
    auto fast = FastWindowsUnderWine("setup.exe");
    const std::set<std::string> logsBefore = E2E::SetupLogs();
    EXPECT_EQ(Run(QuoteArg(BuiltProgram("setup\\setup.exe")) + " -r"), 0u);
    const std::string log = LogsSince(logsBefore);
    EXPECT_NE(log.find("Restart: nothing is unfinished"), std::string::npos) << log;
    EXPECT_NE(log.find("Run: exit code 0"), std::string::npos) << log;
}

} // namespace
