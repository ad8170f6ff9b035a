// The unattended run (-q): it starts without the main form's activation, no
// window of the framework appears, what a person would have been shown goes
// to the log, and the exit code tells the result.
#include "EngineTestSupport.h"
#include "dialogs/dlgcmp_TBaseDlg.h"
#include "platform/routines_WinText.h"
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <thread>
#include <windows.h>
#undef MessageBox

namespace {

// Every visible top-level window of this process, by caption.
std::vector<std::string> VisibleWindows() {
    std::vector<std::string> found;
    EnumWindows(
        [](HWND h, LPARAM lp) CALLBACK -> BOOL {
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid == GetCurrentProcessId() && IsWindowVisible(h)) {
                wchar_t text[256] = {};
                // No WM_GETTEXT: the window's thread may be the one waiting for the watch.
                int n = InternalGetWindowText(h, text, 256);
                reinterpret_cast<std::vector<std::string>*>(lp)->push_back(
                    Narrow(text, static_cast<size_t>(n)));
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Looks for windows from a second thread while a run goes, also inside a
// modal loop, and closes what it finds. A window that will not close (a
// wizard waits for its buttons) ends the test program: a failing test ends
// instead of waiting for a person.
class TWindowWatch {
public:
    TWindowWatch()
        : FThread([this] {
              while (!FStop) {
                  Look();
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
          }) {}
    ~TWindowWatch() {
        FStop = true;
        FThread.join();
    }
    TWindowWatch(const TWindowWatch&) = delete;
    TWindowWatch& operator=(const TWindowWatch&) = delete;
    void Look() {
        std::vector<std::string> found = VisibleWindows();
        if (found.empty()) {
            FOpenSince.reset();
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!FOpenSince)
            FOpenSince = now;
        if (now - *FOpenSince > std::chrono::seconds(3)) {
            std::fprintf(stderr, "FAILED: the window \"%s\" stays open; nobody would close it\n",
                         found.front().c_str());
            std::_Exit(1);
        }
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FSeen.insert(FSeen.end(), found.begin(), found.end());
        }
        EnumWindows(
            [](HWND h, LPARAM) CALLBACK -> BOOL {
                DWORD pid = 0;
                GetWindowThreadProcessId(h, &pid);
                if (pid == GetCurrentProcessId() && IsWindowVisible(h))
                    PostMessageW(h, WM_CLOSE, 0, 0);
                return TRUE;
            },
            0);
    }
    std::vector<std::string> Seen() {
        std::lock_guard<std::mutex> lock(FMutex);
        return FSeen;
    }

private:
    std::atomic<bool> FStop{false};
    std::optional<std::chrono::steady_clock::time_point> FOpenSince;
    std::mutex FMutex;
    std::vector<std::string> FSeen;
    std::thread FThread;
};

// One install file; then a wizard with a page, a good-installation page of
// its own, the status window and a copy-progress window: everything this
// framework can show.
const std::string kFile = "  object File1: TTraceFile\n    Container = Install1\n"
                          "    DestDirType = psContainerDestDir\n    DestName = 'one.exe'\n  end\n";
const std::string kWindows = kFile +
                             "  object BeforeManager: TDialogManager\n    Container = Install1\n"
                             "    ManagerType = dmBeforeInstall\n  end\n"
                             "  object WelcomeDlg: TWelcomeDlg\n    Container = Install1\n"
                             "    DialogManager = BeforeManager\n  end\n"
                             "  object GoodInstallationDlg: TGoodInstallationDlg\n    Container = Install1\n"
                             "    Order = 10\n  end\n"
                             "  object InstallStatusDlg: TInstallStatusDlg\n    Container = Install1\n  end\n"
                             "  object CopyManager: TDialogManager\n    Container = Install1\n"
                             "    ManagerType = dmDuringCopyFiles\n  end\n"
                             "  object CopyFileDlg: TCopyFileDlg\n    Container = Install1\n"
                             "    DialogManager = CopyManager\n  end\n";

class Quiet : public Engine {
protected:
    void SetUp() override {
        Engine::SetUp();
        RegisterDialogClasses();
    }
    void TearDown() override {
        Engine::TearDown();
        Application()->SetQuiet(false);
        Application()->OnQuietReport = nullptr;
        Application()->SetExitCode(0);
    }
    TTestInstall* LoadProject(std::vector<std::string> args, const std::string& more = kWindows) {
        TTestInstall::ProgramFile = TempPath("setup.exe");
        WriteTextFile(TTestInstall::ProgramFile, "the setup program");
        args.push_back("-s" + TempDir());
        TTestInstall* install =
            Load(args, "    DestDir = '" + TempDir() + "'\n    DestDirType = nil\n", more);
        Application()->SetMainForm(Form);
        return install;
    }
    TTraceFile* File1() { return static_cast<TTraceFile*>(Form->FindComponent("File1")); }
    // Lets the message loop run what the start of the program queued.
    void RunMessageLoop() {
        for (int i = 0; i < 5; ++i)
            Application()->ProcessMessages();
    }
    std::string Log() {
        std::string all;
        for (const std::string& name : ListDirectory(TempDir()))
            if (name.rfind("Setup Log ", 0) == 0)
                all += ReadWholeFile(TempPath(name));
        return all;
    }
};

TEST(QuietSwitch, IsMinusQInEitherCaseAnywhereAfterTheProgram) {
    EXPECT_TRUE(QuietRequested({"setup.exe", "-q"}));
    EXPECT_TRUE(QuietRequested({"setup.exe", "-sC:\\dist", "-Q"}));
    EXPECT_TRUE(QuietRequested({"setup.exe", "-qlater"}));
    EXPECT_FALSE(QuietRequested({"-q"})) << "the program's own name is no switch";
    EXPECT_FALSE(QuietRequested({"setup.exe", "q", "-", "-sC:\\q"}));
    // The run after a restart stays unattended.
    EXPECT_EQ(RunOnceCommandLine("C:\\setup.exe", "D:\\loader.exe", false, true, true),
              "\"C:\\setup.exe\" -r \"-sD:\" -c -q");
}

TEST_F(Quiet, TheRunStartsFromTheMessageLoopAndShowsNoWindow) {
    TTestInstall* install = LoadProject({"-q"});
    EXPECT_TRUE(install->Quiet());
    EXPECT_TRUE(Application()->Quiet());
    EXPECT_EQ(install->Installs, 0) << "nothing runs while the program starts";
    // Progress as an install file reports it: unattended, no window opens for it.
    install->OnAfterInitialized = [install](TObject*) {
        TFileStatusParameter status;
        status.FileName = "one.exe";
        install->SendInformationEvent(install, ieFileStatus, &status);
    };
    TWindowWatch watch;
    RunMessageLoop();
    watch.Look();
    EXPECT_EQ(install->Installs, 1);
    EXPECT_EQ(Form->Activations, 1) << "the form's own activation handler runs first";
    EXPECT_TRUE(File1()->Installed());
    EXPECT_FALSE(Form->Visible());
    EXPECT_TRUE(watch.Seen().empty()) << watch.Seen().front();
    EXPECT_EQ(Application()->ExitCode(), secInstalled);
    EXPECT_EQ(install->Ends, 1);
    const std::string log = Log();
    for (const char* line :
         {"Setup: unattended installation", "Status: Reading file information...",
          "Dialog: BeforeManager: wizard not shown, unattended; its pages keep their defaults",
          "Dialog: GoodInstallationDlg not shown, unattended", "Run: exit code 0"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

// A project that leaves the start to its own code (RunAutomatic False) would
// otherwise stay hidden for good: nobody is there to start it or end it.
TEST_F(Quiet, AProjectThatDoesNotRunByItselfStillRunsAndEndsUnattended) {
    TTestInstall::ProgramFile = TempPath("setup.exe");
    WriteTextFile(TTestInstall::ProgramFile, "the setup program");
    TTestInstall* install = Load(
        {"-q", "-s" + TempDir()},
        "    DestDir = '" + TempDir() + "'\n    DestDirType = nil\n    RunAutomatic = False\n", kWindows);
    Application()->SetMainForm(Form);
    ASSERT_FALSE(install->RunAutomatic());
    RunMessageLoop();
    EXPECT_EQ(install->Installs, 1);
    EXPECT_TRUE(File1()->Installed());
    EXPECT_EQ(install->Ends, 1);
    EXPECT_EQ(Application()->ExitCode(), secInstalled);
}

TEST_F(Quiet, TheExitCodeTellsRestartFailureAndAbort) {
    struct TCase {
        const char* Name;
        std::function<void(TTraceFile*)> Prepare;
        int32_t Code;
    };
    const std::vector<TCase> cases = {
        {"restart", [](TTraceFile* f) { f->WaitForRestart = true; }, secRestartNeeded},
        {"failure", [](TTraceFile* f) { f->Fail = true; }, secFailed},
        {"abort", [](TTraceFile* f) { f->Abort = true; }, secAborted},
    };
    for (const TCase& c : cases) {
        Application()->SetExitCode(99);
        TTestInstall* install = LoadProject({"-q"});
        c.Prepare(File1());
        TWindowWatch watch;
        RunMessageLoop();
        EXPECT_EQ(Application()->ExitCode(), c.Code) << c.Name;
        EXPECT_EQ(install->Ends, 1) << c.Name;
        EXPECT_TRUE(watch.Seen().empty()) << c.Name;
        EXPECT_NE(Log().find("Run: exit code " + std::to_string(c.Code)), std::string::npos) << c.Name;
        Unload();
        for (const std::string& name : ListDirectory(TempDir()))
            if (name.rfind("Setup Log ", 0) == 0)
                RemoveFile(TempPath(name));
    }
}

TEST_F(Quiet, AFailureBeforeTheRunEndsTheProgramOnlyWhenNobodyIsThere) {
    for (bool quiet : {false, true}) {
        Application()->SetExitCode(0);
        TTestInstall* install =
            LoadProject(quiet ? std::vector<std::string>{"-q"} : std::vector<std::string>{});
        Form->FailActivation = true;
        if (quiet) {
            RunMessageLoop();
        } else {
            try {
                Form->OnActivate(Form);
            } catch (const Exception& e) {
                Application()->HandleException(install, e);
            }
        }
        EXPECT_EQ(install->Installs, 0);
        EXPECT_EQ(install->Shown, std::vector<std::string>{"files.inf file not found"});
        EXPECT_EQ(Application()->ExitCode(), secFailed);
        // Attended, the form stays with its message; unattended, nobody would end the program.
        EXPECT_EQ(install->Ends, quiet ? 1 : 0) << quiet;
        Unload();
    }
    EXPECT_NE(Log().find("Error: IEInstall: files.inf file not found"), std::string::npos) << Log();
}

TEST_F(Quiet, AVetoedShutdownStillEndsAnUnattendedProgram) {
    for (bool quiet : {false, true}) {
        // Attended, the project has no windows: nobody would press their buttons here.
        TTestInstall* install =
            LoadProject(quiet ? std::vector<std::string>{"-q"} : std::vector<std::string>{}, kFile);
        install->OnBeforeShutdown = [](TCustomInstall*, bool& quitOut) { quitOut = false; };
        if (quiet)
            RunMessageLoop();
        else
            install->Install();
        EXPECT_EQ(install->Ends, quiet ? 1 : 0) << quiet;
        EXPECT_EQ(Application()->ExitCode(), secInstalled);
        Unload();
    }
}

TEST_F(Quiet, WhatWouldBeShownGoesToTheLogAndMessageBoxesTakeTheirDefaultButton) {
    LoadProject({"-q"}, "");
    TWindowWatch watch;
    Application()->ShowException(IEInstall("The disk is full"));
    EXPECT_EQ(Application()->MessageBox("Please insert disk #2", "Setup", MB_OKCANCEL), IDOK);
    EXPECT_EQ(Application()->MessageBox("Replace it?", "Setup", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(Application()->MessageBox("Locked", "Setup", MB_ABORTRETRYIGNORE | MB_DEFBUTTON3), IDIGNORE);
    EXPECT_EQ(Application()->MessageBox("Go on?", "Setup", MB_YESNOCANCEL), IDYES);
    ShowFatalException(IException("Invalid parameter <-x>"));
    watch.Look();
    EXPECT_TRUE(watch.Seen().empty()) << watch.Seen().front();
    CloseLog();
    const std::string log = Log();
    for (const char* line :
         {"Setup: unattended; command line", "Error: not shown, unattended: The disk is full.",
          "Message: not shown, unattended: Please insert disk #2 (answered OK)",
          "Message: not shown, unattended: Replace it? (answered No)",
          "Message: not shown, unattended: Locked (answered Ignore)",
          "Error: not shown, unattended: Exception IException in module"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

} // namespace
