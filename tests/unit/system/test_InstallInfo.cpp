// Registry routines and folder lookups of the install engine, on the
// redirected registry.
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_API.h"
#include "platform/routines_InstallInfo.h"
#include "support/IsolatedTest.h"
#include <gtest/gtest.h>

namespace {

const char* const ShellFolders = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const CurrentVersion = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char* const RunOnce = "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::string RaisedMessage(Byte root, const std::string& key, const std::string& name,
                          const std::string& value) {
    try {
        WriteRegString(root, key, name, value);
    } catch (const EIRCannotWriteValue& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

} // namespace

class InstallInfoTest : public TIsolatedTest {};

TEST_F(InstallInfoTest, RootKeysMapBothWays) {
    const TRegHandle handles[] = {RegClassesRoot, RegCurrentConfig, RegCurrentUser,
                                  RegDynData,     RegLocalMachine,  RegUsers};
    for (Byte k = rkClassesRoot; k <= rkUsers; ++k) {
        EXPECT_EQ(RootKeyHandle(k), handles[k]);
        EXPECT_EQ(RootKeyOf(handles[k], rkUsers), k);
        // Only the low seven bits count.
        EXPECT_EQ(RootKeyHandle(k | 0x80), handles[k]);
    }
    EXPECT_EQ(RootKeyHandle(6), RegCurrentUser);
    EXPECT_EQ(RootKeyHandle(0x7F), RegCurrentUser);
    EXPECT_EQ(RootKeyOf(ScratchUser(), rkLocalMachine), rkLocalMachine);
    EXPECT_EQ(RootKeyOf(0, rkClassesRoot), rkClassesRoot);

    WriteRegString(0x80 | rkLocalMachine, "\\SOFTWARE\\Bits", "v", "machine");
    WriteRegString(0xC8, "\\Software\\Bits", "v", "user");
    EXPECT_EQ(ReadRegString(rkLocalMachine, "\\SOFTWARE\\Bits", "v", "none"), "machine");
    EXPECT_EQ(ReadRegString(rkCurrentUser, "\\Software\\Bits", "v", "none"), "user");
}

TEST_F(InstallInfoTest, ReadsFallBackToTheDefault) {
    WriteRegString(rkLocalMachine, "\\SOFTWARE\\Quenfold\\Install\\Install0", "Path", "C:\\setup.exe");
    TRegKey k;
    ASSERT_TRUE(k.Open(RegLocalMachine, "SOFTWARE\\Quenfold\\Install\\Install0"));
    k.WriteInteger("Size", 1234);

    const char* key = "\\SOFTWARE\\Quenfold\\Install\\Install0";
    EXPECT_EQ(ReadRegString(rkLocalMachine, key, "Path", "d"), "C:\\setup.exe");
    EXPECT_EQ(ReadRegInteger(rkLocalMachine, key, "Size", -1), 1234);
    // Wrong type, missing value, missing key, other root.
    EXPECT_EQ(ReadRegInteger(rkLocalMachine, key, "Path", -1), -1);
    EXPECT_EQ(ReadRegString(rkLocalMachine, key, "Size", "d"), "d");
    EXPECT_EQ(ReadRegInteger(rkLocalMachine, key, "Nothing", 42), 42);
    EXPECT_EQ(ReadRegString(rkLocalMachine, "\\SOFTWARE\\Nowhere", "Path", "d"), "d");
    EXPECT_EQ(ReadRegString(rkCurrentUser, key, "Path", "d"), "d");
}

TEST_F(InstallInfoTest, WriteCreatesKeysAndOverwrites) {
    WriteRegString(rkCurrentUser, "\\Software\\A\\B\\C", "Name", "first");
    WriteRegString(rkCurrentUser, "\\Software\\A\\B\\C", "Name", "second");
    EXPECT_EQ(ReadRegString(rkCurrentUser, "\\Software\\A\\B\\C", "Name", "d"), "second");
}

TEST_F(InstallInfoTest, FailedWritesRaiseWithKeyNameAndValue) {
    // Below a volatile key the system creates no ordinary key.
    ASSERT_TRUE(CreateVolatileKey(RegCurrentUser, "Software\\Volatile"));
    EXPECT_EQ(RaisedMessage(rkCurrentUser, "\\Software\\Volatile\\Sub", "Ident", "Val"),
              "Cannot install into registry. Key: \\Software\\Volatile\\Sub Ident: Ident Value Val");
    EXPECT_FALSE(RegKeyExists(RegCurrentUser, "Software\\Volatile\\Sub"));

    // The key opens but the value cannot be written: its name is too long.
    std::string longName(20000, 'n');
    EXPECT_EQ(RaisedMessage(rkCurrentUser, "\\Software\\Fine", longName, "v"),
              "Cannot install into registry. Key: \\Software\\Fine Ident: " + longName + " Value v");
}

TEST_F(InstallInfoTest, DeleteRegKeyTreeRemovesEverythingBelowAndIgnoresMissingKeys) {
    for (const char* key :
         {"\\Software\\Del\\a\\x\\y\\z", "\\Software\\Del\\b", "\\Software\\Del\\a\\w", "\\Software\\Delta"})
        WriteRegString(rkCurrentUser, key, "v", key);
    WriteRegString(rkCurrentUser, "\\Software\\Del", "top", "1");

    EXPECT_NO_THROW(DeleteRegKeyTree(rkCurrentUser, "\\Software\\Missing\\Key"));
    DeleteRegKeyTree(rkCurrentUser, "\\Software\\Del");
    EXPECT_FALSE(RegKeyExists(RegCurrentUser, "Software\\Del"));
    EXPECT_EQ(ReadRegString(rkCurrentUser, "\\Software\\Delta", "v", "gone"), "\\Software\\Delta");
    // An empty key would be the whole root: nothing happens.
    EXPECT_NO_THROW(DeleteRegKeyTree(rkCurrentUser, ""));
    EXPECT_TRUE(RegKeyExists(RegCurrentUser, "Software\\Delta"));
}

TEST_F(InstallInfoTest, RunOnceEntriesTakeTheFirstFreeNameWhenUnique) {
    const std::string name = "QuenfoldUnfinished";
    ASSERT_TRUE(AddRunOnceEntry(name, "first.exe -r", true));
    ASSERT_TRUE(AddRunOnceEntry(name, "second.exe", true));
    // Name and Name1 are taken now.
    ASSERT_TRUE(AddRunOnceEntry(name, "third.exe", true));
    EXPECT_EQ(ReadRegString(rkLocalMachine, RunOnce, name, ""), "first.exe -r");
    EXPECT_EQ(ReadRegString(rkLocalMachine, RunOnce, name + "1", ""), "second.exe");
    EXPECT_EQ(ReadRegString(rkLocalMachine, RunOnce, name + "2", ""), "third.exe");

    // Not unique: the name is overwritten.
    ASSERT_TRUE(AddRunOnceEntry(name, "fourth.exe", false));
    EXPECT_EQ(ReadRegString(rkLocalMachine, RunOnce, name, ""), "fourth.exe");
    EXPECT_EQ(ReadRegString(rkLocalMachine, RunOnce, name + "3", "none"), "none");
}

TEST_F(InstallInfoTest, RunOnceEntryReportsAKeyThatCannotBeMade) {
    ASSERT_TRUE(CreateVolatileKey(RegLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion"));
    EXPECT_FALSE(AddRunOnceEntry("QuenfoldBatFile", "x.bat", false));
}

TEST_F(InstallInfoTest, ShellFoldersFallBackToTheOldLayout) {
    std::string win = GetWindowsDir();
    EXPECT_EQ(GetStartMenuDir(), win + "\\Startmen");
    EXPECT_EQ(GetProgramsDir(), win + "\\Startmen\\Programs");
    EXPECT_EQ(GetDesktopDir(), win + "\\Desktop");
    EXPECT_EQ(GetStartupDir(), win + "\\Startup");

    // Programs follows the Start Menu value while it has none of its own.
    WriteRegString(rkCurrentUser, ShellFolders, "Start Menu", "C:\\Menu\\");
    EXPECT_EQ(GetStartMenuDir(), "C:\\Menu");
    EXPECT_EQ(GetProgramsDir(), "C:\\Menu\\Programs");

    WriteRegString(rkCurrentUser, ShellFolders, "Programs", "D:\\Progs\\");
    WriteRegString(rkCurrentUser, ShellFolders, "Desktop", "D:\\Desk");
    WriteRegString(rkCurrentUser, ShellFolders, "Startup", "D:\\Auto\\");
    EXPECT_EQ(GetProgramsDir(), "D:\\Progs");
    EXPECT_EQ(GetDesktopDir(), "D:\\Desk");
    EXPECT_EQ(GetStartupDir(), "D:\\Auto");

    // An empty value counts as missing.
    WriteRegString(rkCurrentUser, ShellFolders, "Desktop", "");
    EXPECT_EQ(GetDesktopDir(), win + "\\Desktop");
    // Only HKEY_CURRENT_USER holds the shell folders.
    WriteRegString(rkLocalMachine, ShellFolders, "Startup", "E:\\Machine");
    EXPECT_EQ(GetStartupDir(), "D:\\Auto");
}

TEST_F(InstallInfoTest, ProgramFilesFoldersFallBackToTheCurrentDrive) {
    std::string drive = GetCurrentDir().substr(0, 2);
    ASSERT_EQ(drive[1], ':');
    EXPECT_EQ(GetProgramFilesDir(), drive + "\\Program Files");
    EXPECT_EQ(GetCommonFilesDir(), drive + "\\Program Files\\Common Files");

    WriteRegString(rkLocalMachine, CurrentVersion, "ProgramFilesDir", "E:\\Apps\\");
    WriteRegString(rkLocalMachine, CurrentVersion, "CommonFilesDir", "E:\\Shared");
    EXPECT_EQ(GetProgramFilesDir(), "E:\\Apps");
    EXPECT_EQ(GetCommonFilesDir(), "E:\\Shared");
    // A 32-bit program on 64-bit Windows takes the folders of 32-bit programs.
    WriteRegString(rkLocalMachine, CurrentVersion, "ProgramFilesDir (x86)", "E:\\Apps32");
    WriteRegString(rkLocalMachine, CurrentVersion, "CommonFilesDir (x86)", "E:\\Shared32\\");
    EXPECT_EQ(GetProgramFilesDir(), RunsUnderWow64() ? "E:\\Apps32" : "E:\\Apps");
    EXPECT_EQ(GetCommonFilesDir(), RunsUnderWow64() ? "E:\\Shared32" : "E:\\Shared");
    // Looked up at each call.
    DeleteRegKeyTree(rkLocalMachine, CurrentVersion);
    EXPECT_EQ(GetProgramFilesDir(), drive + "\\Program Files");
}
