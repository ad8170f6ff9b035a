// setup.exe as a person meets it, and as Windows sees its file.
#include "platform/routines_Files.h"
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/WindowDriver.h"
#include <gtest/gtest.h>
#include <windows.h>

using namespace WindowDriver;

namespace {

std::string SetupExe() {
    return ThisProgramFolder() + "..\\..\\src\\setup\\setup.exe";
}

TEST(SetupProgram, ShowsItsMainFormFromTheStoredLayoutAndEndsWhenClosed) {
    auto fast = FastWindowsUnderWine("setup.exe");
    TProcess setup(QuoteArg(SetupExe()));
    TWindowHandle main = FindTopWindow("Screen Saver Setup", setup.Id());
    ASSERT_NE(main, 0u) << "the main form did not appear";
    TWindowHandle memo = FindChild(main, "", "Edit");
    ASSERT_NE(memo, 0u);
    // The activation handler ran and said plainly what the program cannot do yet.
    EXPECT_TRUE(WaitFor([&] { return ControlText(memo).find("cannot install yet") != std::string::npos; }))
        << ControlText(memo);
    ASSERT_TRUE(CloseWindow(main));
    ASSERT_TRUE(setup.WaitForExit());
    EXPECT_EQ(setup.ExitCode(), 0u);
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
    // The main form's layout travels in the program as RCDATA.
    EXPECT_NE(FindResourceW(m, L"TSETUPMAINFORM", MAKEINTRESOURCEW(10)), nullptr);
    FreeLibrary(m);
}

} // namespace
