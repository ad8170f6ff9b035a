// Unfinished business, the command line registered for the run after a
// restart, and that run itself (-r).
#include "EngineTestSupport.h"
#include "platform/routines_InstallInfo.h"
#include "platform/types_TemporaryCopy.h"
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

const char* const kRunOnce = "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

const std::string kObjects = "  object InstallFile7: TTraceFile\n    Container = Install1\n  end\n"
                             "  object Dialog1: TTraceDialog\n    Container = Install1\n  end\n";

class Unfinished : public Engine {
protected:
    // The setup program of these tests, with its record made by a first run.
    TTestInstall* LoadWithRecord(std::vector<std::string> args = {}) {
        TTestInstall::ProgramFile = TempPath("setup.exe");
        if (!FileExists(TTestInstall::ProgramFile))
            WriteTextFile(TTestInstall::ProgramFile, "the setup program");
        TTestInstall* install = Load(args, "", kObjects);
        if (InstallRecordKey().empty())
            InstallRecordKey() = install->FindInstallRecord(true);
        return install;
    }
    std::string UnfinishedKey() const { return InstallRecordKey() + "\\Unfinished"; }
};

TEST_F(Unfinished, EntriesAreWrittenReadAndClearedUnderTheRecord) {
    TTestInstall* install = LoadWithRecord();
    std::string batch = TempPath("qfd1.bat");
    install->AddUnfinished(batch, 1);
    install->AddUnfinished("InstallFile7", 0);
    EXPECT_EQ(install->UnfinishedCount(), 2);
    EXPECT_EQ(ReadRegString(rkLocalMachine, UnfinishedKey(), batch, ""), "1");
    EXPECT_EQ(ReadRegString(rkLocalMachine, UnfinishedKey(), "InstallFile7", ""), "0");
    TStringList lines{"stale"};
    install->ReadUnfinished(lines);
    std::vector<std::string> items = lines.Items();
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (std::vector<std::string>{batch + ";1", "InstallFile7;0"}));
    install->ClearUnfinished();
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, UnfinishedKey()));
    install->ReadUnfinished(lines);
    EXPECT_EQ(lines.Count(), 0);
    EXPECT_TRUE(RegKeyExists(RegLocalMachine, InstallRecordKey())) << "only the list goes";

    // Without a record nothing is written or read.
    InstallRecordKey().clear();
    const std::string refused =
        "The TInstall could not either write or read unfinished business from the registry";
    for (auto step : std::initializer_list<std::function<void()>>{[&] { install->AddUnfinished("x", 0); },
                                                                  [&] { install->ReadUnfinished(lines); },
                                                                  [&] { install->ClearUnfinished(); }}) {
        try {
            step();
            ADD_FAILURE() << "accepted without a record";
        } catch (const IEInstall& e) {
            EXPECT_EQ(e.Message(), refused);
        }
    }
}

TEST(RunOnceCommandLine, QuotesEachPartAndAddsTheCleanupSwitch) {
    EXPECT_EQ(RunOnceCommandLine("C:\\Temp\\setup.exe", "D:\\Dist\\Setup.exe", true, false),
              "\"C:\\Temp\\setup.exe\" -r \"-eSetup.exe\" \"-sD:\\Dist\"");
    EXPECT_EQ(RunOnceCommandLine("C:\\Temp\\setup.exe", "D:\\Dist\\Setup.exe", true, true),
              "\"C:\\Temp\\setup.exe\" -r \"-eSetup.exe\" \"-sD:\\Dist\" -c");
    EXPECT_EQ(RunOnceCommandLine("C:\\My Setup\\setup.exe", "D:\\My Dist\\loader.exe", false, false),
              "\"C:\\My Setup\\setup.exe\" -r \"-sD:\\My Dist\"");
    EXPECT_EQ(RunOnceCommandLine("C:\\setup.exe", "D:\\loader.exe", false, true),
              "\"C:\\setup.exe\" -r \"-sD:\" -c");
}

TEST_F(Unfinished, RunOnceTakesTheNextFreeName) {
    // The loading program's folder is the -s folder.
    TTestInstall* install = LoadWithRecord({"-sD:\\Dist", "-c"});
    const std::string expected = "\"" + ProgramPath() + "\" -r \"-sD:\\Dist\" -c";
    install->RegisterRunOnce();
    EXPECT_EQ(ReadRegString(rkLocalMachine, kRunOnce, "QuenfoldUnfinished", ""), expected);
    install->RegisterRunOnce();
    EXPECT_EQ(ReadRegString(rkLocalMachine, kRunOnce, "QuenfoldUnfinished1", ""), expected);
    Unload();

    // Started by the self-extractor: its file comes with -e.
    install = LoadWithRecord({"-sD:\\Dist", "-eSetup.exe"});
    DeleteRegKeyTree(rkLocalMachine, kRunOnce);
    install->RegisterRunOnce();
    EXPECT_EQ(ReadRegString(rkLocalMachine, kRunOnce, "QuenfoldUnfinished", ""),
              "\"" + ProgramPath() + "\" -r \"-eSetup.exe\" \"-sD:\\Dist\"");
}

TEST_F(Unfinished, TheRunAfterARestartCompletesTheListAndEnds) {
    TTestInstall* install = LoadWithRecord();
    std::string batch = TempPath("qfd1.bat");
    WriteTextFile(batch, "move a b");
    install->AddUnfinished(batch, 1);
    install->AddUnfinished("installfile7", 0); // names match without regard to case
    install->AddUnfinished("NoSuchObject", 0);
    install->AddUnfinished("Install1", 0); // the component itself would start over
    install->AddUnfinished("Other", 5);    // an unknown kind is ignored
    Unload();
    Trace().clear();

    install = LoadWithRecord({"-r"});
    EXPECT_FALSE(FileExists(batch));
    EXPECT_EQ(std::count(Trace().begin(), Trace().end(), "complete InstallFile7"), 1);
    EXPECT_NE(std::find(Trace().begin(), Trace().end(), "ie -995"), Trace().end());
    EXPECT_EQ(Trace().back(), "end");
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, "\\SOFTWARE\\Quenfold")) << "the record went with the list";
    EXPECT_FALSE(install->Running());
    EXPECT_EQ(install->Installs, 0) << "no installation run";
}

TEST_F(Unfinished, AGoodRunKeepsItsRecordWhileWorkWaitsForTheRestart) {
    TTestInstall::ProgramFile = TempPath("setup.exe");
    WriteTextFile(TTestInstall::ProgramFile, "the setup program");
    TTestInstall* install = Load({"-s" + TempDir()}, "", kObjects);
    static_cast<TTraceFile*>(Form->FindComponent("InstallFile7"))->WaitForRestart = true;
    install->Install();
    EXPECT_FALSE(install->Running());
    EXPECT_EQ(install->UnfinishedCount(), 1);
    ASSERT_TRUE(RegKeyExists(RegLocalMachine, UnfinishedKey()));
    EXPECT_EQ(ReadRegString(rkLocalMachine, UnfinishedKey(), "InstallFile7", ""), "0");
    Unload();

    // The run after the restart finds it, completes the file and removes the record.
    Trace().clear();
    InstallRecordKey().clear();
    Load({"-r"}, "", kObjects);
    EXPECT_EQ(std::count(Trace().begin(), Trace().end(), "complete InstallFile7"), 1);
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, "\\SOFTWARE\\Quenfold"));
}

TEST_F(Unfinished, ALoadingProgramThatRemovesTheCopyIsToldToKeepItForTheRestart) {
    ForceDirectory(TempPath("copy"));
    TTestInstall::ProgramFile = TempPath("copy\\setup.exe");
    WriteTextFile(TTestInstall::ProgramFile, "the setup program");
    const std::string marker = TempPath("copy\\") + kKeepCopyMarker;
    for (bool waits : {false, true}) {
        SCOPED_TRACE(waits ? "work waits for the restart" : "nothing waits");
        TTestInstall* install = Load({"-s" + RemoveBackslash(TempDir()), "-cl"}, "", kObjects);
        static_cast<TTraceFile*>(Form->FindComponent("InstallFile7"))->WaitForRestart = waits;
        install->Install();
        EXPECT_FALSE(install->Running());
        EXPECT_EQ(install->CleanupBatch(), "");
        EXPECT_EQ(FileExists(marker), waits);
        // The run after the restart has no loading program: it removes the copy with its batch.
        if (waits) {
            EXPECT_EQ(ReadRegString(rkLocalMachine, kRunOnce, "QuenfoldUnfinished", ""),
                      "\"" + ProgramPath() + "\" -r \"-s" + RemoveBackslash(TempDir()) + "\" -c");
        }
        Unload();
        RemoveFile(marker);
    }
}

TEST_F(Unfinished, AnEmptyListGoesStraightToTheGoodInstallation) {
    LoadWithRecord();
    Unload();
    Trace().clear();
    LoadWithRecord({"-r"});
    EXPECT_EQ(Trace(), (std::vector<std::string>{"ie -995", "ie -979", "end"}));
}

TEST_F(Unfinished, AnInvalidEntryStopsTheRunAfterTheListWasCleared) {
    TTestInstall* install = LoadWithRecord();
    install->AddUnfinished("InstallFile7", 0);
    WriteRegString(rkLocalMachine, UnfinishedKey(), "Broken", "zero");
    Unload();
    try {
        LoadWithRecord({"-r"});
        ADD_FAILURE() << "the invalid entry was accepted";
    } catch (const IEInstall& e) {
        EXPECT_EQ(e.Message(), "There is an invalid entry for the unfinished install list Broken;zero");
    }
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, UnfinishedKey()));
}

TEST_F(Unfinished, ABatchPathWithASemicolonIsStillOneEntry) {
    TTestInstall* install = LoadWithRecord();
    ForceDirectory(TempPath("a;b"));
    std::string batch = TempPath("a;b\\qfd2.bat");
    WriteTextFile(batch, "move a b");
    install->AddUnfinished(batch, 1);
    Unload();
    LoadWithRecord({"-r"});
    EXPECT_FALSE(FileExists(batch));
}

} // namespace
