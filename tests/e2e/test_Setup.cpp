// setup.exe as a person meets it, and as Windows sees its file.
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
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

TEST(SetupProgram, WithFilesInfItReadsTheFilesAndReachesTheInstallationRun) {
    auto fast = FastWindowsUnderWine("setup.exe");
    std::string text =
        "C:\\build\\My Screen Saver.scr\r\nC:\\build\\readme.txt\r\nC:\\build\\uninstall.exe\r\n";
    FilesInf three(&text);
    TProcess setup(QuoteArg(SetupExe()));
    TWindowHandle box = 0;
    // The files are read; then the run starts, which is a later stage.
    EXPECT_EQ(MessageOf(setup, "setup", &box),
              "The installation run is not built into this setup program yet.");
    TWindowHandle main = FindTopWindow("Screen Saver Setup", setup.Id());
    ASSERT_NE(main, 0u);
    // The form was maximised on its first activation.
    EXPECT_TRUE(WaitFor([&] { return IsZoomed(reinterpret_cast<HWND>(main)) != 0; }));
    setup.Kill();
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
