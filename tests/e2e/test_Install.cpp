// A setup program built from the framework (qfd_e2e_install.exe, a project
// without dialogs) installs from its archive under Wine: the good run, a file
// held open by another process and the run after the restart, a damaged
// archive.
#include "E2ESupport.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/WindowDriver.h"
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <windows.h>

using namespace WindowDriver;
using namespace E2E;

namespace {

const char* const kProduct = "Quenfold E2E Product";
const char* const kSessionManager = "System\\CurrentControlSet\\Control\\Session Manager";

std::string App() {
    return ThisProgramFolder() + "qfd_e2e_install.exe";
}

// The delayed moves that MoveFileEx records for the restart, as text.
std::optional<std::vector<uint8_t>> PendingRenames() {
    TRegKey k;
    if (!k.Open(RegLocalMachine, kSessionManager, TRegAccess::raRead))
        return std::nullopt;
    return k.ReadBinary("PendingFileRenameOperations");
}

std::string AsText(const std::vector<uint8_t>& utf16) {
    std::string s;
    for (size_t i = 0; i + 1 < utf16.size(); i += 2)
        s += utf16[i] ? static_cast<char>(utf16[i]) : '|';
    return s;
}

class InstallApp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FileExists(App())) << App();
        Dist = std::make_unique<TTempFolder>();
        ForceDirectory(Dist->Path() + "src");
        FSavedRenames = PendingRenames();
        FLogsBefore = SetupLogs();
        Cleanup();
    }
    void TearDown() override {
        Cleanup();
        // Moves recorded by a test must not happen at the prefix's next start.
        HKEY k = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(kSessionManager).c_str(), 0, KEY_SET_VALUE, &k) == 0) {
            if (FSavedRenames)
                RegSetValueExW(k, L"PendingFileRenameOperations", 0, REG_MULTI_SZ, FSavedRenames->data(),
                               static_cast<DWORD>(FSavedRenames->size()));
            else
                RegDeleteValueW(k, L"PendingFileRenameOperations");
            RegCloseKey(k);
        }
        for (const std::string& log : SetupLogs())
            if (!FLogsBefore.count(log))
                RemoveFile(log);
    }
    void Cleanup() {
        RemoveRecordsOf(App());
        DeleteKeyTree(RegLocalMachine, UninstallKeyOf(kProduct));
        // A batch file registered to move files at the next start of the prefix.
        TRegKey runOnce;
        if (runOnce.Open(RegLocalMachine, "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"))
            for (const std::string& name : runOnce.ValueNames())
                if (name.rfind("QuenfoldBatFile", 0) == 0 || name.rfind("QuenfoldUnfinished", 0) == 0)
                    runOnce.DeleteValue(name);
    }

    std::string Src(const std::string& name) const { return Dist->Path() + "src\\" + name; }
    std::string Dest(const std::string& name) const { return Dist->Path() + "Dest\\" + name; }
    std::string Archive() const { return Dist->Path() + "files.1"; }
    std::string SourceSwitch() const { return "-s" + RemoveBackslash(Dist->Path()); }

    // The product's files with a version mark, and their archive.
    void MakeProduct(const std::string& version, TCompressionLevel level = colMax) {
        WriteTextFile(Src("one.txt"), "first file, " + version);
        WriteTextFile(Src("two.dat"), "second file, " + version);
        WriteTextFile(Src("uninstall.exe"), "the uninstaller, " + version);
        MakeArchive(Archive(), {{Src("one.txt"), 1}, {Src("two.dat"), 2}, {Src("uninstall.exe"), 3}}, level);
    }

    // Runs the program to its end; the trace of this run only.
    std::vector<std::string> RunApp(const std::string& extra = "") {
        RemoveFile(Dist->Path() + "trace.txt");
        auto fast = FastWindowsUnderWine("qfd_e2e_install.exe");
        TProcess app(QuoteArg(App()) + " " + QuoteArg(SourceSwitch()) + extra);
        EXPECT_TRUE(app.WaitForExit(20000)) << "the program did not end by itself";
        ExitCode = app.ExitCode();
        return ReadLines(Dist->Path() + "trace.txt");
    }

    std::unique_ptr<TTempFolder> Dist;
    uint32_t ExitCode = 0;

private:
    std::optional<std::vector<uint8_t>> FSavedRenames;
    std::set<std::string> FLogsBefore;
};

const std::vector<std::string> kGoodRun = {"FormActivate",
                                           "OnBeforeReadArchiveInfo",
                                           "OnAfterReadArchiveInfo",
                                           "OnAfterInitialized",
                                           "OnBeforeInstallObjects",
                                           "OnAfterInstall File1",
                                           "OnAfterInstall File2",
                                           "OnAfterInstall UninstallEXE",
                                           "OnAfterInstallObjects done",
                                           "OnBeforeNotifyGoodInstall",
                                           "OnAfterNotifyGoodInstall Reboot=False",
                                           "OnBeforeShutdown"};

TEST_F(InstallApp, InstallsItsFilesLogsThemAndEndsByItself) {
    MakeProduct("v1");
    EXPECT_EQ(RunApp(), kGoodRun);
    EXPECT_EQ(ExitCode, 0u);
    EXPECT_EQ(ReadWholeFile(Dest("one.txt")), "first file, v1");
    EXPECT_EQ(ReadWholeFile(Dest("two.dat")), "second file, v1");
    EXPECT_EQ(ReadWholeFile(Dest("uninstall.exe")), "the uninstaller, v1");

    // The uninstall entry and its log of files; no install record left.
    const std::string key = UninstallKeyOf(kProduct);
    EXPECT_EQ(ReadRegString(rkLocalMachine, key, "DisplayName", ""), kProduct);
    const std::string uninstaller = Dest("uninstall.exe");
    EXPECT_EQ(ReadRegString(rkLocalMachine, key, "UninstallString", ""),
              (uninstaller.find(' ') != std::string::npos ? "\"" + uninstaller + "\"" : uninstaller) + " \"" +
                  kProduct + "\"");
    TRegKey files;
    ASSERT_TRUE(files.Open(RegLocalMachine, key + "\\Files", TRegAccess::raRead));
    std::vector<std::string> logged;
    for (const std::string& name : files.ValueNames())
        if (name != "Entries")
            logged.push_back(files.ReadString(name).value_or(""));
    std::sort(logged.begin(), logged.end());
    EXPECT_EQ(logged, (std::vector<std::string>{Dest("one.txt"), Dest("two.dat")}));
    EXPECT_EQ(RecordOf(App()), "");

    // The run's log names what it wrote.
    std::string log;
    for (const std::string& l : SetupLogs())
        if (ReadWholeFile(l).find(Dest("one.txt")) != std::string::npos)
            log = l;
    ASSERT_FALSE(log.empty());
    std::string text = ReadWholeFile(log);
    for (const std::string& step : std::vector<std::string>{
             "File: wrote 14 bytes to " + Dest("one.txt"), "Run: good installation",
             std::string("Registry: wrote HKLM") + key + " DisplayName", std::string("Run: ended")})
        EXPECT_NE(text.find(step), std::string::npos) << step << "\n" << text;
}

TEST_F(InstallApp, AFileInUseWaitsForTheRestartAndTheRunAfterItCompletes) {
    MakeProduct("v1");
    ASSERT_EQ(RunApp(), kGoodRun);
    MakeProduct("v2");
    {
        // Another program holds the installed file open.
        TFileStream held(Dest("one.txt"), fmOpenRead | fmShareExclusive);
        std::vector<std::string> trace = RunApp();
        EXPECT_NE(std::find(trace.begin(), trace.end(), "OnAfterNotifyGoodInstall Reboot=True"), trace.end());
        EXPECT_EQ(trace.back(), "OnBeforeShutdown");
        EXPECT_EQ(ReadWholeFile(Dest("one.1")), "first file, v2") << "the candidate file";
        EXPECT_EQ(ReadWholeFile(Dest("two.dat")), "second file, v2");
    }
    EXPECT_EQ(ReadWholeFile(Dest("one.txt")), "first file, v1");
    // The move at the restart is recorded, and so is the unfinished business.
    auto renames = PendingRenames();
    ASSERT_TRUE(renames);
    EXPECT_NE(AsText(*renames).find(Dest("one.1")), std::string::npos) << AsText(*renames);
    const std::string record = RecordOf(App());
    ASSERT_NE(record, "") << "the record waits for the restart";
    EXPECT_EQ(ReadRegString(rkLocalMachine, record + "\\Unfinished", "File1", ""), "0");
    // The uninstaller finds the file under the name it will have.
    TRegKey files;
    ASSERT_TRUE(files.Open(RegLocalMachine, UninstallKeyOf(kProduct) + "\\Files", TRegAccess::raRead));
    std::string logged;
    for (const std::string& name : files.ValueNames())
        logged += files.ReadString(name).value_or("") + "|";
    EXPECT_NE(logged.find(Dest("one.txt") + "|"), std::string::npos) << logged;
    EXPECT_EQ(logged.find(Dest("one.1")), std::string::npos) << logged;

    // After the restart: started with -r, as RunOnce would start it.
    std::vector<std::string> after = RunApp(" -r");
    EXPECT_EQ(after, (std::vector<std::string>{"OnBeforeNotifyGoodInstall",
                                               "OnAfterNotifyGoodInstall Reboot=False", "OnBeforeShutdown"}));
    EXPECT_EQ(ExitCode, 0u);
    EXPECT_EQ(RecordOf(App()), "") << "completed: the record is gone";
}

TEST_F(InstallApp, ADamagedArchiveEndsBadlyShowsWhyAndKeepsTheEarlierFile) {
    MakeProduct("v1");
    ASSERT_EQ(RunApp(), kGoodRun);
    MakeProduct("v2 with a longer text", colNone);
    ASSERT_TRUE(DamageArchive(Archive(), "first file, v2 with a longer text"));

    RemoveFile(Dist->Path() + "trace.txt");
    auto fast = FastWindowsUnderWine("qfd_e2e_install.exe");
    TProcess app(QuoteArg(App()) + " " + QuoteArg(SourceSwitch()));
    TWindowHandle box = FindTopWindow("qfd_e2e_install", app.Id(), 15000);
    ASSERT_NE(box, 0u) << "no error shown";
    // It names the damaged member, not a bare "error."
    std::string message = MessageBoxText(box);
    EXPECT_NE(message.find("The data of the file one.txt in the archive " + Archive() + " are damaged"),
              std::string::npos)
        << message;
    ASSERT_TRUE(PressButton(box, "OK"));
    ASSERT_TRUE(app.WaitForExit(15000));
    std::vector<std::string> trace = ReadLines(Dist->Path() + "trace.txt");
    // The message box takes the activation from the main form and gives it
    // back: the form's own handler runs again then.
    trace.erase(std::remove(trace.begin() + 1, trace.end(), "FormActivate"), trace.end());
    ASSERT_GE(trace.size(), 3u);
    EXPECT_EQ(
        std::vector<std::string>(trace.end() - 3, trace.end()),
        (std::vector<std::string>{"OnBeforeNotifyBadInstall", "OnAfterNotifyBadInstall", "OnBeforeShutdown"}))
        << message;
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "OnBeforeNotifyGoodInstall"), 0);
    EXPECT_EQ(ReadWholeFile(Dest("one.txt")), "first file, v1") << "the user's earlier file";
    EXPECT_EQ(RecordOf(App()), "") << "the failed run is undone, its record with it";
}

} // namespace
