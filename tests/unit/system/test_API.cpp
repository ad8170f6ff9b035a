// Windows version, temporary files, system folders, short paths and the trial of a folder.
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_API.h"
#include "platform/routines_FolderProbe.h"
#include "platform/routines_WinText.h"
#include "support/IsolatedTest.h"
#include "support/SystemHelpers.h"
#include "support/WindowDriver.h"
#include <gtest/gtest.h>
#include <windows.h>

namespace {

using WindowDriver::QuoteArg;
using WindowDriver::TProcess;

// Wine fixes a program's Windows version when the program starts, so the
// other versions are seen through a child program started with the setting.
int ProbeVersion(const std::string& version) {
    TWineAppDefault setting("qfd_winver_probe.exe", "", "Version", version);
    TProcess probe(QuoteArg(ThisProgramFolder() + "qfd_winver_probe.exe"));
    EXPECT_TRUE(probe.WaitForExit()) << version;
    return static_cast<int>(probe.ExitCode());
}

} // namespace

TEST(WindowsVersion, ReportsTheFamilyOfTheSystem) {
    if (!RunningUnderWine()) {
        EXPECT_EQ(WindowsVersion(), wvWindowsNT);
        GTEST_SKIP() << "other versions are emulated only by Wine";
    }
    EXPECT_EQ(ProbeVersion("win98"), wvWindows95);
    EXPECT_EQ(ProbeVersion("win95"), wvWindows95);
    // 3.51 counts as 3.5.
    EXPECT_EQ(ProbeVersion("nt351"), wvWindowsNT35);
    EXPECT_EQ(ProbeVersion("win31"), wvWin32s);
    EXPECT_EQ(ProbeVersion("win7"), wvWindowsNT);
}

class TempFileTest : public TIsolatedTest {};

TEST_F(TempFileTest, IsMadeInTheTemporaryFolderAndKeptOnRequest) {
    TScopedEnvVar tmp("TMP", TempDir()), temp("TEMP", TempDir());
    std::string kept = GetTempFile(true);
    std::string other = GetTempFile(true);
    std::string gone = GetTempFile(false);
    for (const std::string& f : {kept, other, gone}) {
        EXPECT_TRUE(SameText(ExtractFilePath(f), TempDir())) << f;
        EXPECT_TRUE(SameText(ExtractFileName(f).substr(0, 3), "bat")) << f;
    }
    EXPECT_TRUE(FileExists(kept));
    EXPECT_TRUE(FileExists(other));
    EXPECT_NE(kept, other);
    EXPECT_FALSE(FileExists(gone));
}

TEST_F(TempFileTest, FailsWhenTheTemporaryFolderIsMissing) {
    TScopedEnvVar tmp("TMP", TempPath("gone")), temp("TEMP", TempPath("gone"));
    try {
        GetTempFile(true);
        FAIL() << "no exception";
    } catch (const EAPIRoutines& e) {
        EXPECT_EQ(e.Message(), "Cannot create a temporary file");
    }
    EXPECT_TRUE(ListDirectory(TempDir()).empty());
}

TEST(SystemFolders, AreTheWindowsFolderAndItsSystemFolder) {
    std::string win = GetWindowsDir(), sys = GetSystemDir();
    ASSERT_FALSE(win.empty());
    EXPECT_NE(win.back(), '\\');
    EXPECT_TRUE(DirectoryExists(win));
    EXPECT_TRUE(FileExists(sys + "\\kernel32.dll")) << sys;
    EXPECT_TRUE(SameText(sys.substr(0, win.size() + 1), win + "\\")) << sys;
    if (std::optional<std::string> root = GetEnvVar("SystemRoot")) {
        EXPECT_TRUE(SameText(*root, win)) << *root;
    }
}

// A 32-bit program on 64-bit Windows gets the 32-bit system folder under the
// name every program, of either width, reads as that folder: the kernel32.dll
// there is of this program's width even with the file-system redirection off.
TEST(SystemFolders, NameTheFolderOfThisWidthAsEveryProgramSeesIt) {
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_EQ(RunsUnderWow64(), wow64 != FALSE);
    const std::string sys = GetSystemDir();
    EXPECT_EQ(ProgramMachine(sys + "\\kernel32.dll", true), ThisProgramMachine()) << sys;
    if (sizeof(void*) == 4 && wow64) {
        // The 64-bit folder is another one, with the 64-bit system in it.
        const std::string native = GetWindowsDir() + "\\system32";
        EXPECT_FALSE(SameText(sys, native)) << sys;
        EXPECT_EQ(ProgramMachine(native + "\\kernel32.dll", true), IMAGE_FILE_MACHINE_AMD64);
    }
}

// The 64-bit system folder's files, as this program reaches them: under WoW64
// through the alias the system does not redirect, else as they are named.
TEST(SystemFolders, NativeFilePathReachesTheFileA64BitProgramMeans) {
    const std::string win = GetWindowsDir();
    const std::string kernel = win + "\\SYSTEM32\\kernel32.dll";
    const std::string native = NativeFilePath(kernel);
    EXPECT_EQ(ProgramMachine(native), ProgramMachine(kernel, true)) << native;
    EXPECT_EQ(native == kernel, !RunsUnderWow64()) << native;
    // Only the folder itself and what lies in it.
    for (const std::string& other :
         {win + "\\System32x\\a.dll", win + "\\SysWOW64\\a.dll", std::string("D:\\System32\\a")})
        EXPECT_EQ(NativeFilePath(other), other);
    EXPECT_EQ(NativeFilePath(win + "\\system32"),
              RunsUnderWow64() ? win + "\\Sysnative" : win + "\\system32");
}

class ShortPathTest : public TIsolatedTest {};

TEST_F(ShortPathTest, ShortensExistingPathsAndLeavesOthersAlone) {
    ForceDirectory(TempPath("Folder with spaces"));
    std::string longPath = TempPath("Folder with spaces\\A long file name.text");
    WriteTextFile(longPath, "content");

    std::string shortPath = GetShortPath(longPath);
    EXPECT_NE(shortPath, longPath);
    for (const std::string& part : {ExtractFileName(shortPath), ExtractFileName(ExtractFileDir(shortPath))}) {
        std::string ext = ExtractFileExt(part);
        EXPECT_EQ(part.find(' '), std::string::npos) << part;
        EXPECT_LE(part.size() - ext.size(), 8u) << part;
        EXPECT_LE(ext.size(), 4u) << part;
    }
    EXPECT_EQ(ReadWholeFile(shortPath), "content");

    std::string missing = TempPath("Not there at all.text");
    EXPECT_EQ(GetShortPath(missing), missing);
    EXPECT_EQ(GetShortPath(""), "");
}

namespace {
// The last-write time of a folder, in the system's units.
uint64_t FolderWritten(const std::string& dir) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Wide(dir).c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
}

bool SetFolderWritten(const std::string& dir, uint64_t when) {
    HANDLE h = CreateFileW(Wide(dir).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FILETIME ft{static_cast<DWORD>(when), static_cast<DWORD>(when >> 32)};
    const bool ok = SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    return ok;
}
} // namespace

// The check before an installation tries a folder by making a file in it:
// nothing of the trial may stay, not even the folder's time.
TEST(FolderProbe, ATrialLeavesNoFileAndNoNewFolderTime) {
    TTempFolder dir;
    const std::string folder = RemoveBackslash(dir.Path());
    const uint64_t old = 126227808000000000ull; // 1 January 2001
    ASSERT_TRUE(SetFolderWritten(folder, old));
    for (bool newFolder : {false, true}) {
        EXPECT_EQ(TestFolderWritable(folder, newFolder), 0u) << newFolder;
        EXPECT_TRUE(ListDirectory(folder).empty()) << newFolder;
        EXPECT_EQ(FolderWritten(folder), old) << newFolder;
    }

    // What cannot take a file gives the system's reason, and nothing is made.
    EXPECT_NE(TestFolderWritable(dir / "missing"), 0u);
    EXPECT_NE(TestFolderWritable(dir / "missing", true), 0u);
    WriteTextFile(dir / "plain.txt", "a file, not a folder");
    EXPECT_NE(TestFolderWritable(dir / "plain.txt"), 0u);
    EXPECT_EQ(ListDirectory(folder), std::vector<std::string>{"plain.txt"});
}
