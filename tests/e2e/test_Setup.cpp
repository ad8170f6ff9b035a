// setup.exe as a person meets it, and as Windows sees its file.
#include "E2ESupport.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "support/WindowDriver.h"
#include <gtest/gtest.h>
#include <windows.h>

using namespace WindowDriver;

namespace {

std::string SetupExe() {
    return ThisProgramFolder() + "..\\..\\src\\setup\\setup.exe";
}

// files.inf lives in the system folder; each test puts the one it needs there
// and takes it away again.
class FilesInf {
public:
    explicit FilesInf(const std::string* text) {
        if (FileExists(Path()))
            FSaved = ReadWholeFile(Path());
        RemoveFile(Path());
        if (text)
            WriteTextFile(Path(), *text);
    }
    ~FilesInf() {
        RemoveFile(Path());
        if (!FSaved.empty())
            WriteTextFile(Path(), FSaved);
    }
    static std::string Path() { return GetSystemDir() + "\\files.inf"; }

private:
    std::string FSaved;
};

// The text of the message box with this caption that the program shows.
std::string MessageOf(const TProcess& p, const std::string& caption, TWindowHandle* box = nullptr) {
    TWindowHandle w = FindTopWindow(caption, p.Id());
    if (box)
        *box = w;
    return w ? MessageBoxText(w) : std::string("<no window \"" + caption + "\">");
}

TEST(SetupProgram, AnInvalidSwitchEndsWithTheApplicationErrorReport) {
    E2E::TRunLogsRemoved logs;
    auto fast = FastWindowsUnderWine("setup.exe");
    FilesInf none(nullptr);
    TProcess setup(QuoteArg(SetupExe()) + " -x");
    TWindowHandle box = 0;
    std::string text = MessageOf(setup, "Application Error", &box);
    EXPECT_NE(text.find("IException"), std::string::npos) << text;
    EXPECT_NE(text.find("Invalid parameter <-x>. Valid command line parameters are: -b (Build)"),
              std::string::npos)
        << text;
    ASSERT_TRUE(PressButton(box, "OK"));
    ASSERT_TRUE(setup.WaitForExit());
    EXPECT_NE(setup.ExitCode(), 0u);
    // The main form never came up.
    EXPECT_EQ(FindTopWindow("Screen Saver Setup", setup.Id(), 200), 0u);
}

TEST(SetupProgram, WithoutFilesInfTheActivationSaysSoAndTheFormStays) {
    E2E::TRunLogsRemoved logs;
    auto fast = FastWindowsUnderWine("setup.exe");
    FilesInf none(nullptr);
    TProcess setup(QuoteArg(SetupExe()));
    TWindowHandle box = 0;
    EXPECT_EQ(MessageOf(setup, "setup", &box), "files.inf file not found.");
    ASSERT_TRUE(PressButton(box, "OK"));
    TWindowHandle main = FindTopWindow("Screen Saver Setup", setup.Id());
    ASSERT_NE(main, 0u);
    // The user cannot close it.
    CloseWindow(main);
    EXPECT_FALSE(setup.WaitForExit(300));
    EXPECT_TRUE(IsWindowAlive(main));
    setup.Kill();
}

TEST(SetupProgram, WithoutItsDistributionFolderTheRunSaysSoAndEnds) {
    E2E::TRunLogsRemoved logs;
    auto fast = FastWindowsUnderWine("setup.exe");
    std::string text =
        "C:\\build\\My Screen Saver.scr\r\nC:\\build\\readme.txt\r\nC:\\build\\uninstall.exe\r\n";
    FilesInf three(&text);
    TProcess setup(QuoteArg(SetupExe()));
    TWindowHandle box = 0;
    // The files are read, the form maximised; then the run needs -s. The
    // failed-installation page comes first, then the message.
    TWindowHandle page = FindTopWindow("Setup incomplete", setup.Id());
    ASSERT_NE(page, 0u) << "no failed-installation page";
    ASSERT_TRUE(PressButton(page, "Finish"));
    EXPECT_EQ(MessageOf(setup, "setup", &box),
              "The path of the loading program was not passed to the setup "
              "program: start it with -s and the folder of the distribution.");
    TWindowHandle main = FindTopWindow("Screen Saver Setup", setup.Id());
    ASSERT_NE(main, 0u);
    EXPECT_TRUE(WaitFor([&] { return IsZoomed(reinterpret_cast<HWND>(main)) != 0; }));
    ASSERT_TRUE(PressButton(box, "OK"));
    EXPECT_TRUE(setup.WaitForExit()) << "a failed run ends the program";
}

// The current screen saver in WIN.INI (file "") or SYSTEM.INI, put back as it
// was when the test ends.
class TSaverSetting {
public:
    TSaverSetting() : FWin(Profile("")), FSystem(Profile("SYSTEM.INI")) {}
    ~TSaverSetting() {
        Write("", FWin);
        Write("SYSTEM.INI", FSystem);
    }
    static std::string Profile(const std::string& file) {
        wchar_t buf[512] = {};
        DWORD n = file.empty()
                      ? GetProfileStringW(L"boot", L"SCRNSAVE.EXE", L"", buf, 512)
                      : GetPrivateProfileStringW(L"boot", L"SCRNSAVE.EXE", L"", buf, 512, Wide(file).c_str());
        return Narrow(buf, n);
    }

private:
    static void Write(const std::string& file, const std::string& value) {
        std::wstring w = Wide(value);
        const wchar_t* v = value.empty() ? nullptr : w.c_str();
        if (file.empty())
            WriteProfileStringW(L"boot", L"SCRNSAVE.EXE", v);
        else
            WritePrivateProfileStringW(L"boot", L"SCRNSAVE.EXE", v, Wide(file).c_str());
    }
    std::string FWin, FSystem;
};

// Installs for real into the system folder of the prefix, and takes it all away again.
class SetupInstall : public ::testing::Test {
protected:
    void SetUp() override {
        Dist = std::make_unique<TTempFolder>();
        LogsBefore = E2E::SetupLogs();
        Cleanup();
    }
    void TearDown() override {
        Cleanup();
        for (const std::string& log : E2E::SetupLogs())
            if (!LogsBefore.count(log))
                RemoveFile(log);
    }
    void Cleanup() {
        for (const char* name : {kSaver, kSecond, kUninstaller})
            RemoveFile(GetSystemDir() + "\\" + name);
        DeleteKeyTree(RegLocalMachine, E2E::UninstallKeyOf(kProductName));
        E2E::RemoveRecordsOf(SetupExePath());
    }
    static std::string SetupExePath() {
        wchar_t full[MAX_PATH];
        DWORD n = GetFullPathNameW(Wide(SetupExe()).c_str(), MAX_PATH, full, nullptr);
        return n && n < MAX_PATH ? Narrow(full, n) : SetupExe();
    }

    static constexpr const char* kSaver = "Qfd Test Saver.scr";
    static constexpr const char* kSecond = "qfd_test_second.txt";
    static constexpr const char* kUninstaller = "qfd_test_uninstall.exe";
    static constexpr const char* kProductName = "Qfd Test Saver";
    std::unique_ptr<TTempFolder> Dist;
    std::set<std::string> LogsBefore;
};

TEST_F(SetupInstall, InstallsTheThreeFilesEndsOnTheGoodInstallationPageAndMakesTheSaverCurrent) {
    auto fast = FastWindowsUnderWine("setup.exe");
    const std::string dir = Dist->Path();
    WriteTextFile(dir + kSaver, "a screen saver");
    WriteTextFile(dir + kSecond, "the second file");
    WriteTextFile(dir + kUninstaller, "an uninstaller");
    std::string text = dir + kSaver + "\r\n" + dir + kSecond + "\r\n" + dir + kUninstaller + "\r\n";
    FilesInf three(&text);
    // The identifiers of the stored project: second file 0, screen saver 1, uninstaller 5.
    E2E::MakeArchive(dir + "files.1", {{dir + kSecond, 0}, {dir + kSaver, 1}, {dir + kUninstaller, 5}});

    TSaverSetting saver;
    TProcess setup(QuoteArg(SetupExe()) + " " + QuoteArg("-s" + RemoveBackslash(dir)));
    // The run ends on the good-installation page.
    TWindowHandle page = FindTopWindow("Setup complete", setup.Id(), 15000);
    ASSERT_NE(page, 0u) << "no good-installation page";
    TWindowHandle back = FindChild(page, "< Previous");
    EXPECT_TRUE(back && !IsWindowVisible(reinterpret_cast<HWND>(back))) << "a page shown alone has no Back";
    EXPECT_EQ(ShownButtons(page), std::vector<std::string>{"Finish"})
        << "a page shown alone ends with Finish";
    const std::string sys = GetSystemDir() + "\\";
    EXPECT_EQ(ReadWholeFile(sys + kSaver), "a screen saver");
    EXPECT_EQ(ReadWholeFile(sys + kSecond), "the second file");
    EXPECT_EQ(ReadWholeFile(sys + kUninstaller), "an uninstaller");
    const std::string key = E2E::UninstallKeyOf(kProductName);
    EXPECT_EQ(ReadRegString(rkLocalMachine, key, "DisplayName", ""), kProductName);
    EXPECT_EQ(ReadRegString(rkLocalMachine, key, "UninstallString", ""),
              sys + kUninstaller + " \"" + kProductName + "\"");
    EXPECT_EQ(ReadRegString(rkLocalMachine, key + "\\Files", "Entries", ""), "2");
    // After Finish the new screen saver is the current one and the program
    // ends by itself.
    ASSERT_TRUE(PressButton(page, "Finish"));
    EXPECT_TRUE(setup.WaitForExit(15000));
    EXPECT_EQ(setup.ExitCode(), 0u);
    EXPECT_EQ(TSaverSetting::Profile(""), kSaver);
    EXPECT_EQ(TSaverSetting::Profile("SYSTEM.INI"), sys + "QfdTes~1.scr");

    // The log names every file and registry value written.
    std::string log = E2E::NewSetupLog(LogsBefore);
    ASSERT_FALSE(log.empty()) << "no log of the run in " << TempDirectory();
    std::string lines = ReadWholeFile(log);
    for (const std::string& step : std::vector<std::string>{
             "File: wrote 15 bytes to " + sys + kSecond, "File: wrote 14 bytes to " + sys + kSaver,
             "File: wrote 14 bytes to " + sys + kUninstaller,
             "Registry: wrote HKLM" + key + "\\Files File1 = " + sys + kSecond,
             "Registry: wrote HKLM" + key + "\\Files File2 = " + sys + kSaver,
             "Registry: wrote HKLM" + key + " DisplayName = " + kProductName,
             "Registry: wrote HKLM" + key + " UninstallString = ", "Run: good-installation dialogs",
             "Event: OnAfterNotifyGoodInstall", "Run: ended"})
        EXPECT_NE(lines.find(step), std::string::npos) << step << "\n" << lines;
}

// A file big enough that its extraction lasts while a person looks and presses.
void WriteBigFile(const std::string& path, size_t bytes) {
    std::string data;
    data.reserve(bytes);
    uint32_t x = 12345;
    while (data.size() < bytes) {
        x = x * 1103515245u + 12345u;
        data += "line " + std::to_string(x % 100000) + " of the big product file\r\n";
    }
    data.resize(bytes);
    WriteTextFile(path, data);
}

TEST_F(SetupInstall, CancelInTheCopyProgressWindowEndsOnTheFailedInstallationPage) {
    auto fast = FastWindowsUnderWine("setup.exe");
    const std::string dir = Dist->Path();
    const std::string sys = GetSystemDir() + "\\";
    WriteTextFile(dir + kSaver, "a screen saver");
    WriteBigFile(dir + kSecond, 160u << 20);
    WriteTextFile(dir + kUninstaller, "an uninstaller");
    // A screen saver of the same name from before: the cancelled run leaves it.
    WriteTextFile(sys + kSaver, "the saver from before");
    std::string text = dir + kSaver + "\r\n" + dir + kSecond + "\r\n" + dir + kUninstaller + "\r\n";
    FilesInf three(&text);
    E2E::MakeArchive(dir + "files.1", {{dir + kSecond, 0}, {dir + kSaver, 1}, {dir + kUninstaller, 5}});

    TProcess setup(QuoteArg(SetupExe()) + " " + QuoteArg("-s" + RemoveBackslash(dir)));
    TWindowHandle copying = FindTopWindow("Copying installation files", setup.Id(), 20000);
    ASSERT_NE(copying, 0u) << "no copy-progress window";
    // Its two bars move while the big file is written.
    std::vector<TWindowHandle> bars;
    EnumChildWindows(
        reinterpret_cast<HWND>(copying),
        [](HWND h, LPARAM lp) CALLBACK -> BOOL {
            if (ClassNameOf(reinterpret_cast<TWindowHandle>(h)) == "msctls_progress32")
                reinterpret_cast<std::vector<TWindowHandle>*>(lp)->push_back(
                    reinterpret_cast<TWindowHandle>(h));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&bars));
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_TRUE(WaitFor([&] {
        return SendMessageW(reinterpret_cast<HWND>(bars[0]), WM_USER + 8 /* PBM_GETPOS */, 0, 0) > 0;
    })) << "the file bar never moved";
    ASSERT_TRUE(PressButton(copying, "Cancel"));

    TWindowHandle page = FindTopWindow("Setup incomplete", setup.Id(), 15000);
    ASSERT_NE(page, 0u) << "no failed-installation page after the cancel";
    ASSERT_TRUE(PressButton(page, "Finish"));
    EXPECT_TRUE(setup.WaitForExit(15000)) << "a cancelled run ends the program";
    EXPECT_EQ(ReadWholeFile(sys + kSaver), "the saver from before");
    EXPECT_EQ(E2E::RecordOf(SetupExePath()), "") << "no install record stays behind";
}

std::string VersionString(const std::string& file, const std::string& name) {
    std::wstring w = Wide(file);
    DWORD handle = 0, size = GetFileVersionInfoSizeW(w.c_str(), &handle);
    if (!size)
        return "";
    std::vector<char> data(size);
    if (!GetFileVersionInfoW(w.c_str(), 0, size, data.data()))
        return "";
    wchar_t* value = nullptr;
    UINT len = 0;
    std::wstring path = L"\\StringFileInfo\\040904B0\\" + Wide(name);
    if (!VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &len) || !len)
        return "";
    return Narrow(value, wcslen(value));
}

TEST(SetupProgram, CarriesVersionAndAManifestAskingForAdministratorRights) {
    std::string exe = SetupExe();
    ASSERT_TRUE(FileExists(exe));
    EXPECT_EQ(VersionString(exe, "FileDescription"), "Screen Saver Setup");
    EXPECT_EQ(VersionString(exe, "OriginalFilename"), "setup.exe");
    EXPECT_FALSE(VersionString(exe, "FileVersion").empty());

    HMODULE m = LoadLibraryExW(Wide(exe).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m, nullptr);
    HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(r, nullptr);
    std::string manifest(static_cast<const char*>(LockResource(LoadResource(m, r))), SizeofResource(m, r));
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("supportedOS"), std::string::npos);
    // The installation project travels in the program as RCDATA, and so does
    // the default theme picture.
    EXPECT_NE(FindResourceW(m, L"TSETUPMAINFORM", MAKEINTRESOURCEW(10)), nullptr);
    EXPECT_NE(FindResourceW(m, L"INSTALLTHEME1", MAKEINTRESOURCEW(2)), nullptr);
    FreeLibrary(m);
}

} // namespace
