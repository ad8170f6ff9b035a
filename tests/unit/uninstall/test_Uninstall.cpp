// The uninstaller at work on an isolated registry: every logged file and the
// folders it leaves empty go, shared files go with their last user, servers
// are unregistered before they go, a file in use waits for the restart, and
// what fails stays in the log for a second run that counts nothing twice.
#include "UninstallTestSupport.h"
#include "platform/routines_API.h"
#include "platform/routines_InstallSteps.h"
#include "support/SystemHelpers.h"
#include <algorithm>

using namespace UninstallTest;

namespace {
std::string VersionFixture(const std::string& relative) {
    return BuildTreePath(QFD_VERSION_FIXTURES, relative);
}

std::optional<int32_t> FixtureValue(const std::string& name) {
    TRegKey k;
    if (!k.Open(RegCurrentUser, "Software\\Quenfold\\Fixtures", TRegAccess::raRead))
        return std::nullopt;
    return k.ReadInteger(name);
}
} // namespace

using Uninstall = UninstallFixture;

TEST_F(Uninstall, RemovesEveryLoggedFileTheFoldersItEmptiedAndFinallyTheEntry) {
    Install("Demo");
    const std::string saver = MakeFile("Demo\\saver.scr");
    const std::string readme = MakeFile("Demo\\docs\\deep\\readme.txt");
    const std::string cache = MakeFile("Demo\\data\\cache.bin");
    const std::string userData = MakeFile("Demo\\data\\user.dat", "the user's, never logged");
    const std::string help = MakeFile("Demo\\help\\tool.hlp");
    const std::string guide = MakeFile("Demo\\help2\\guide.hlp");
    const std::string readOnly = MakeFile("Demo\\readonly.txt");
    ASSERT_TRUE(SetFileReadOnly(readOnly, true));
    const std::string neighbour = MakeFile("Neighbour\\file.txt", "another program's");
    WriteString(HelpKey, "TOOL.HLP", M("Demo\\help"));
    // Another product's guide.hlp lives elsewhere: its registration is not ours.
    WriteString(HelpKey, "GUIDE.HLP", M("Neighbour"));
    for (const std::string& f : {saver, readme, cache, help, guide})
        LogFile("Demo", f);
    // Installed twice: named twice.
    LogFile("Demo", saver);
    // A later log key, and a file somebody removed already.
    LogFile("Demo", readOnly, "Files1");
    LogFile("Demo", M("Demo\\gone.txt"), "Files1");

    EXPECT_EQ(Run("Demo"), 0) << Log;
    for (const std::string& f : {saver, readme, cache, help, guide, readOnly})
        EXPECT_FALSE(FileExists(f)) << f;
    EXPECT_EQ(ReadWholeFile(userData), "the user's, never logged");
    EXPECT_EQ(ReadWholeFile(neighbour), "another program's");
    // Emptied folders go; the product's folder keeps its uninstaller.
    EXPECT_FALSE(DirectoryExists(M("Demo\\docs")));
    EXPECT_FALSE(DirectoryExists(M("Demo\\help")));
    EXPECT_TRUE(DirectoryExists(M("Demo\\data")));
    EXPECT_TRUE(FileExists(M("Demo\\uninstall.exe")));
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, ProductKey("Demo")));
    EXPECT_EQ(MachineString(HelpKey, "TOOL.HLP"), std::nullopt);
    EXPECT_EQ(MachineString(HelpKey, "GUIDE.HLP"), M("Neighbour"));
    EXPECT_TRUE(AtRestart.empty());

    // The log file of the run, named like the setup's.
    const std::vector<std::string> logs = ListDirectory(TempPath("logs"));
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].rfind("Uninstall Log ", 0), 0u) << logs[0];
    const std::string text = LogFileText();
    EXPECT_NE(text.find("File: removed " + saver), std::string::npos) << text;
    EXPECT_NE(text.find("File: " + M("Demo\\gone.txt") + " was already gone"), std::string::npos) << text;
    EXPECT_NE(text.find("Folder: removed " + M("Demo\\docs\\deep")), std::string::npos) << text;
    EXPECT_NE(text.find("Registry: removed HKLM" + ProductKey("Demo")), std::string::npos) << text;
    EXPECT_NE(text.find("exit code 0: Demo was removed."), std::string::npos) << text;
    // The count names what this run removed; the file gone before is told apart.
    EXPECT_NE(text.find("6 files were removed:"), std::string::npos) << text;
    EXPECT_NE(text.find("1 file was already gone:\r\n        " + M("Demo\\gone.txt")), std::string::npos)
        << text;
}

TEST_F(Uninstall, ASharedFileSurvivesTheFirstProductAndGoesWithTheSecond) {
    Install("First");
    Install("Second");
    const std::string shared = MakeFile("Common\\shared.dll");
    LogFile("First", shared);
    LogFile("Second", shared);
    Count(shared, 2);
    // Counted under its short name, as the install files do when that is counted.
    const std::string longName = MakeFile("Common\\A Long Library Name.dll");
    LogFile("First", longName);
    Count(GetShortPath(longName), 1);
    // Installed twice by First and counted for both.
    const std::string twice = MakeFile("Common\\twice.dll");
    LogFile("First", twice);
    LogFile("First", twice);
    Count(twice, 2);

    EXPECT_EQ(Run("First"), 0) << Log;
    EXPECT_TRUE(FileExists(shared));
    EXPECT_EQ(MachineInteger(SharedDLLs, shared), 1);
    EXPECT_FALSE(FileExists(longName));
    EXPECT_FALSE(FileExists(twice));
    TRegKey counts;
    ASSERT_TRUE(counts.Open(RegLocalMachine, SharedDLLs, TRegAccess::raRead));
    EXPECT_EQ(counts.ValueNames(), std::vector<std::string>{shared});
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, ProductKey("First")));
    // A folder outside the product's own stays, even when it is empty.
    EXPECT_TRUE(DirectoryExists(M("Common")));

    EXPECT_EQ(Run("Second"), 0) << Log;
    EXPECT_FALSE(FileExists(shared));
    EXPECT_TRUE(counts.ValueNames().empty());
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, ProductKey("Second")));
    EXPECT_TRUE(DirectoryExists(M("Common")));
}

// "Existed": files that were there before the product wrote them.
TEST_F(Uninstall, FilesThatWereThereBeforeStayUnlessTheirCountEndsWithThisProduct) {
    Install("Demo");
    Install("Other");
    const std::string own = MakeFile("Demo\\own.txt");
    const std::string before = MakeFile("Common\\before.txt", "overwritten, another program's name");
    const std::string last = MakeFile("Common\\last.dll");
    const std::string still = MakeFile("Common\\still.dll");
    const std::string both = MakeFile("Common\\both.txt");
    const std::string server = MakeFile("Common\\server.exe", "another program's server");
    LogFile("Demo", own);
    LogFile("Demo", both);
    for (const std::string& f : {before, last, still, both})
        LogFile("Demo", f, "Existed");
    LogServer("Demo", server, true, "ExistedActiveX");
    // Counted: this product its last user, or not.
    Count(last, 1);
    Count(still, 2);
    // Another product's log naming a file that stays is no reason to refuse.
    LogFile("Other", before);

    // A first run stopped by a file in use keeps them named with what is left.
    RestartResult = 5;
    {
        TFileStream hold(own, fmOpenRead | fmShareExclusive);
        EXPECT_EQ(Run("Demo"), 1) << Log;
    }
    EXPECT_EQ(MachineString(ProductKey("Demo") + "\\Files", "File1"), own);
    EXPECT_EQ(MachineString(ProductKey("Demo") + "\\Existed", "Entries"), "1");
    EXPECT_EQ(MachineString(ProductKey("Demo") + "\\Existed", "File1"), before);
    EXPECT_EQ(MachineString(ProductKey("Demo") + "\\ExistedActiveX", "File1"), server + ";1");

    Shown.clear();
    EXPECT_EQ(Run("Demo", false), 0) << Log;
    EXPECT_EQ(ReadWholeFile(before), "overwritten, another program's name");
    EXPECT_EQ(ReadWholeFile(server), "another program's server");
    EXPECT_TRUE(Programs.empty()) << Programs.front();
    EXPECT_TRUE(FileExists(still));
    EXPECT_EQ(MachineInteger(SharedDLLs, still), 1);
    for (const std::string& f : {own, last, both})
        EXPECT_FALSE(FileExists(f)) << f;
    EXPECT_EQ(MachineInteger(SharedDLLs, last), std::nullopt);
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, ProductKey("Demo")));
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_NE(Shown[0].find("Kept because they were there before Demo was installed:\n    " + server +
                            "\n    " + before),
              std::string::npos)
        << Shown[0];
    EXPECT_NE(Log.find("File: " + before + " stays: it was there before Demo was installed"),
              std::string::npos)
        << Log;
}

TEST_F(Uninstall, ServersAreUnregisteredBeforeTheyGo) {
    Install("Servers");
    const std::string library = M("Servers\\qfdole.dll");
    ASSERT_TRUE(CopyFileTo(VersionFixture("olereg/qfdole.dll"), library, false));
    ASSERT_EQ(RegisterServerLibrary(library).Step, TServerStep::ssDone);
    ASSERT_EQ(FixtureValue("OleSelfRegister"), 1);
    const std::string program = MakeFile("Servers\\bin\\server.exe", "a server program");
    LogServer("Servers", library, false);
    LogServer("Servers", program, true);
    bool programThere = false;
    SetProgramRunHook([&](const std::string& command, const std::string& folder, uint32_t timeout) {
        programThere = FileExists(program);
        Programs.push_back(command + " in " + folder + " within " + IntToStr(timeout));
        return ProgramResult;
    });

    EXPECT_EQ(Run("Servers"), 0) << Log;
    EXPECT_EQ(FixtureValue("OleSelfRegister"), std::nullopt);
    EXPECT_EQ(Programs,
              std::vector<std::string>{program + " /UNREGSERVER in " + M("Servers\\bin") + " within 60000"});
    EXPECT_TRUE(programThere);
    EXPECT_FALSE(FileExists(library));
    EXPECT_FALSE(FileExists(program));
    EXPECT_FALSE(DirectoryExists(M("Servers\\bin")));
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, ProductKey("Servers")));
}

TEST_F(Uninstall, AServerThatCannotBeUnregisteredStaysForASecondRun) {
    Install("Servers");
    const std::string program = MakeFile("Servers\\server.exe");
    const std::string notAServer = MakeFile("Servers\\broken.dll", "no library at all");
    const std::string plain = MakeFile("Servers\\readme.txt");
    LogServer("Servers", program, true);
    LogServer("Servers", notAServer, false);
    LogFile("Servers", plain);
    ProgramResult.ExitCode = 7;

    EXPECT_EQ(Run("Servers"), 1) << Log;
    EXPECT_TRUE(FileExists(program));
    EXPECT_TRUE(FileExists(notAServer));
    EXPECT_FALSE(FileExists(plain));
    // The entry stays in the list, its log naming just what is left.
    const std::string key = ProductKey("Servers");
    EXPECT_EQ(MachineString(key, "DisplayName"), "Servers");
    EXPECT_EQ(MachineString(key + "\\ActiveX", "Entries"), "2");
    EXPECT_EQ(MachineString(key + "\\ActiveX", "File1"), program + ";1");
    EXPECT_EQ(MachineString(key + "\\ActiveX", "File2"), notAServer + ";0");
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, key + "\\Files"));
    const std::string text = LogFileText();
    EXPECT_NE(
        text.find("The server " + program +
                  " could not be unregistered with /UNREGSERVER: it ended with the code 7. It was kept."),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("The server " + notAServer + " could not be unregistered: LoadLibrary failed, code "),
              std::string::npos)
        << text;

    // Once the program unregisters and the broken file is gone by hand, a second run finishes.
    ProgramResult.ExitCode = 0;
    ASSERT_TRUE(RemoveFile(notAServer));
    EXPECT_EQ(Run("Servers"), 0) << Log;
    EXPECT_FALSE(FileExists(program));
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, key));
}

TEST_F(Uninstall, AServerAnotherProductStillCountsStaysRegistered) {
    Install("Servers");
    Install("Other");
    const std::string library = M("Common\\qfdole.dll");
    ForceDirectory(M("Common"));
    ASSERT_TRUE(CopyFileTo(VersionFixture("olereg/qfdole.dll"), library, false));
    ASSERT_EQ(RegisterServerLibrary(library).Step, TServerStep::ssDone);
    LogServer("Servers", library, false);
    LogServer("Other", library, false);
    Count(library, 2);

    EXPECT_EQ(Run("Servers"), 0) << Log;
    EXPECT_EQ(FixtureValue("OleSelfRegister"), 1);
    EXPECT_TRUE(FileExists(library));
    EXPECT_EQ(MachineInteger(SharedDLLs, library), 1);

    EXPECT_EQ(Run("Other"), 0) << Log;
    EXPECT_EQ(FixtureValue("OleSelfRegister"), std::nullopt);
    EXPECT_FALSE(FileExists(library));
}

TEST_F(Uninstall, AFileInUseWaitsForTheRestartAndIsReported) {
    Install("Busy");
    const std::string free = MakeFile("Busy\\free.txt");
    const std::string held = MakeFile("Busy\\held.dll");
    LogFile("Busy", free);
    LogFile("Busy", held);
    WriteString(HelpKey, "HELD.DLL", M("Busy"));
    {
        TFileStream hold(held, fmOpenRead | fmShareExclusive);
        EXPECT_EQ(Run("Busy", false), 3) << Log;
    }
    EXPECT_EQ(AtRestart, std::vector<std::string>{held});
    EXPECT_FALSE(FileExists(free));
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, ProductKey("Busy")));
    // Its registrations go now: the file goes at the restart.
    EXPECT_EQ(MachineString(HelpKey, "HELD.DLL"), std::nullopt);
    ASSERT_EQ(Questions, std::vector<std::string>{"Uninstall Busy: Remove Busy and all of its components?"});
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0], "Busy was removed.\n\n1 file was removed:\n    " + free +
                            "\n\nRemoved when Windows restarts:\n    " + held +
                            "\n\nRestart Windows to finish the removal.");
    EXPECT_EQ(ShownKinds[0], TMessageKind::mkInformation);
    EXPECT_NE(Log.find("DeleteFile(" + held + ") failed, code 32"), std::string::npos) << Log;
}

TEST_F(Uninstall, WhatFailsStaysInTheLogAndASecondRunCountsNothingTwice) {
    Install("Stuck");
    const std::string free = MakeFile("Stuck\\free.txt");
    const std::string held = MakeFile("Stuck\\held.dll");
    const std::string counted = MakeFile("Common\\counted.dll");
    LogFile("Stuck", free);
    LogFile("Stuck", held);
    LogFile("Stuck", counted);
    Count(counted, 3);
    Count(held, 1);
    // Not a key of the log: the rewrite leaves it alone.
    WriteString(ProductKey("Stuck") + "\\Files02", "Note", "somebody's");
    // Without the rights to the restart removal.
    RestartResult = 5;
    {
        TFileStream hold(held, fmOpenRead | fmShareExclusive);
        EXPECT_EQ(Run("Stuck", false), 1) << Log;
    }
    EXPECT_FALSE(FileExists(free));
    EXPECT_TRUE(FileExists(held));
    EXPECT_EQ(MachineInteger(SharedDLLs, counted), 2);
    EXPECT_EQ(MachineInteger(SharedDLLs, held), 1);
    const std::string key = ProductKey("Stuck");
    EXPECT_EQ(MachineString(key, "UninstallString"), M("Stuck\\uninstall.exe") + " Stuck");
    EXPECT_EQ(MachineString(key + "\\Files", "Entries"), "1");
    EXPECT_EQ(MachineString(key + "\\Files", "File1"), held);
    EXPECT_EQ(MachineString(key + "\\Files02", "Note"), "somebody's");
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].rfind("Stuck could not be removed completely:\n    " + held +
                                 " is in use and could not be marked for removal at the restart (",
                             0),
              0u)
        << Shown[0];
    EXPECT_NE(Shown[0].find("Kept because other programs still use them:\n    " + counted),
              std::string::npos);
    EXPECT_NE(Shown[0].find("start the uninstall again"), std::string::npos);
    EXPECT_EQ(ShownKinds[0], TMessageKind::mkWarning);

    EXPECT_EQ(Run("Stuck"), 0) << Log;
    EXPECT_FALSE(FileExists(held));
    EXPECT_EQ(MachineInteger(SharedDLLs, held), std::nullopt);
    EXPECT_EQ(MachineInteger(SharedDLLs, counted), 2);
    EXPECT_TRUE(FileExists(counted));
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, key));
}

TEST_F(Uninstall, NoKeepsEverythingAndTheLogIsCheckedAgainAfterYes) {
    Install("Demo");
    const std::string a = MakeFile("Demo\\a.txt");
    LogFile("Demo", a);
    const std::string before = Picture();
    Answer = false;
    EXPECT_EQ(Run("Demo", false), 2);
    EXPECT_EQ(Picture(), before);
    EXPECT_TRUE(Shown.empty());
    EXPECT_NE(LogFileText().find("not confirmed; nothing was removed"), std::string::npos);

    // Damaged while the question waited: refused after Yes all the same.
    Answer = true;
    OnAsk = [&] { WriteString(ProductKey("Demo") + "\\Files", "Entries", "many"); };
    EXPECT_EQ(Run("Demo", false), 1);
    EXPECT_TRUE(FileExists(a));
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0],
              "The uninstall information of Demo is damaged: the \"Entries\" value of the key Files is "
              "not a count of files. Nothing was removed.");
}

TEST(UninstallReportText, LongListsAreCutAndFailuresComeFirst) {
    TUninstallResult r;
    for (int i = 1; i <= 12; ++i)
        r.Removed.push_back("C:\\P\\f" + IntToStr(i) + ".txt");
    std::string text = UninstallReport("P", r);
    EXPECT_EQ(text.rfind("P was removed.\n\n12 files were removed:\n    C:\\P\\f1.txt\n", 0), 0u) << text;
    EXPECT_NE(text.find("    C:\\P\\f10.txt\n    ... and 2 more"), std::string::npos) << text;
    EXPECT_EQ(text.find("f11"), std::string::npos);
    EXPECT_EQ(UninstallExitCode(r), 0);
    r.AtRestart.push_back("C:\\P\\busy.dll");
    EXPECT_EQ(UninstallExitCode(r), 3);
    r.Failures.push_back("Something failed.");
    EXPECT_EQ(UninstallExitCode(r), 1);
    EXPECT_EQ(
        UninstallReport("P", r).rfind("P could not be removed completely:\n    Something failed.\n\n", 0),
        0u);
}

// What the setup recorded before it made its screen saver current, put back
// by the uninstall in each file that still names the product's saver.
TEST_F(Uninstall, TheEarlierScreenSaverIsCurrentAgainWhereTheProductsIsStillCurrent) {
    const TSaverSetting earlier{"Earlier.scr", "C:\\Windows\\system32\\Earlie~1.scr"};
    const TSaverSetting ours{"Demo Saver.scr", "C:\\Windows\\system32\\DemoSa~1.scr"};
    const TSaverSetting none;
    // As the setup does it: record, then make its own current; a reinstall too.
    auto install = [&](const TSaverSetting& current, int times) {
        Install("Demo");
        ASSERT_TRUE(SetSaverSetting(current));
        for (int i = 0; i < times; ++i) {
            ASSERT_TRUE(RecordSaverChange(ProductKey("Demo"), ours));
            ASSERT_TRUE(SetSaverSetting(ours));
        }
    };
    auto current = [] {
        const TSaverSetting s = CurrentSaverSetting();
        return s.WinIni.value_or("(none)") + " | " + s.SystemIni.value_or("(none)");
    };

    install(earlier, 2);
    EXPECT_EQ(Run("Demo", false), 0) << Log;
    EXPECT_EQ(current(), "Earlier.scr | C:\\Windows\\system32\\Earlie~1.scr");
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0],
              "Demo was removed.\n\nThe screen saver Earlier.scr is current again, as before Demo was "
              "installed.");

    // None before: none after, the keys gone from both files.
    install(none, 1);
    EXPECT_EQ(Run("Demo", false), 0) << Log;
    EXPECT_EQ(current(), "(none) | (none)");
    EXPECT_EQ(ReadWholeFile(TempPath("win.ini")).find("SCRNSAVE"), std::string::npos);
    EXPECT_EQ(Shown.back(),
              "Demo was removed.\n\nNo screen saver is set any more, as before Demo was installed.");

    // The person chose another since in WIN.INI: theirs stays there.
    install(earlier, 1);
    ASSERT_TRUE(SetSaverSetting({"Mine.scr", ours.SystemIni}));
    EXPECT_EQ(Run("Demo"), 0) << Log;
    EXPECT_EQ(current(), "Mine.scr | C:\\Windows\\system32\\Earlie~1.scr");
    EXPECT_NE(Log.find("Saver: WIN.INI [boot] SCRNSAVE.EXE left as it is: \"Mine.scr\" is current now"),
              std::string::npos)
        << Log;

    // An uninstall that fails leaves the product's saver current.
    install(earlier, 1);
    const std::string held = MakeFile("Demo\\held.scr");
    LogFile("Demo", held);
    RestartResult = 5;
    {
        TFileStream hold(held, fmOpenRead | fmShareExclusive);
        EXPECT_EQ(Run("Demo"), 1) << Log;
    }
    EXPECT_EQ(current(), "Demo Saver.scr | C:\\Windows\\system32\\DemoSa~1.scr");
}
