#include "EngineTestSupport.h"
#include "engine/cmp_TInstall.h"
#include "objects/cmp_TPathSpecifier.h"
#include "platform/routines_API.h"
#include "platform/routines_AdminFolder.h"
#include "platform/routines_Batch.h"
#include "platform/routines_Files.h"
#include "platform/routines_Journal.h"
#include "platform/routines_Locale.h"
#include "platform/routines_Process.h"
#include "platform/routines_TrustedFolder.h"
#include "platform/types_TemporaryCopy.h"
#include "support/IsolatedTest.h"
#include "support/SystemHelpers.h"
#include "toolkit/classes_Publish.h"
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

TEST_F(Engine, SwitchesAreReadInEitherCaseWithTheirArguments) {
    TTestInstall* install = Load({"-S" + TempDir() + "src", "-c", "-sC:\\My Build"});
    EXPECT_TRUE(install->HasSwitch(swSourcePath));
    EXPECT_TRUE(install->HasSwitch(swCleanup));
    EXPECT_FALSE(install->HasSwitch(swDebug));
    // A later repetition wins.
    EXPECT_EQ(install->SourceDir(), "C:\\My Build");
    EXPECT_EQ(install->SwitchArg(swCleanup), "");
}

TEST_F(Engine, WithoutSourceSwitchTheSourceIsTheProgramFolder) {
    TTestInstall* install = Load({});
    EXPECT_EQ(install->SourceDir(), RemoveBackslash(ExtractFilePath(ProgramPath())));
    EXPECT_EQ(install->SourceDir().back() == '\\', false);
}

std::string InvalidMessage(const std::string& p) {
    return "Invalid parameter <" + p +
           ">. Valid command line parameters are: -b (Build), -d (Debug), -f (Transfer to floppies), -e "
           "(Called "
           "by self-extractor), -r (After reboot)";
}

TEST_F(Engine, InvalidParametersAreRefusedWithTheirText) {
    for (std::string p : {"-x", "-", "abc", "/s"}) {
        OverrideCommandLineParams(std::vector<std::string>{"setup.exe", p});
        auto* form = new TEngineForm(Application());
        try {
            form->InitFromText(
                "object EngineForm: TEngineForm\n  object Install1: TTestInstall\n  end\nend\n");
            ADD_FAILURE() << p << " was accepted";
        } catch (const IException& e) {
            EXPECT_STREQ(e.ClassName(), "IException");
            EXPECT_EQ(e.Message(), InvalidMessage(p));
        }
        form->Free();
        EXPECT_EQ(CurrentInstall(), nullptr);
    }
}

TEST_F(Engine, DebugNeedsASourceFolderAndTheModesStartFromLoaded) {
    auto failure = [&](std::vector<std::string> args) -> std::string {
        args.insert(args.begin(), "setup.exe");
        OverrideCommandLineParams(args);
        auto* form = new TEngineForm(Application());
        std::string msg;
        try {
            form->InitFromText(
                "object EngineForm: TEngineForm\n  object Install1: TTestInstall\n  end\nend\n");
        } catch (const IEInstall& e) {
            msg = e.Message();
        }
        // Build and floppy modes show their own failure and end.
        if (auto* i = dynamic_cast<TTestInstall*>(form->FindComponent("Install1")); i && !i->Shown.empty())
            msg = i->Shown[0] + (i->Ends == 1 ? "" : " (not ended once)");
        form->Free();
        return msg;
    };
    EXPECT_NE(failure({"-d"}).find("-d switch needs the folder of the build"), std::string::npos);
    EXPECT_NE(failure({"-d", "-s  "}).find("-d switch needs the folder of the build"), std::string::npos);
    EXPECT_EQ(failure({"-d", "-s" + TempDir()}), "");
    // Build mode wins over the run after a restart.
    EXPECT_EQ(failure({"-r", "-b"}), "Need to have a BUILD.INF file in this directory with the first line "
                                     "specifying the build directory");
    // Without the record of an earlier run, the run after a restart has
    // nothing to do and ends quietly.
    EXPECT_EQ(failure({"-r"}), "");
    EXPECT_EQ(failure({"-f"}), "Sorry... You can only transfer this installation to floppies through the "
                               "self-extracting file. Usage example: setup.exe *TODISK");
}

TEST_F(Engine, DefaultsAndSetterRules) {
    TTestInstall* install = Load({});
    EXPECT_EQ(CurrentInstall(), install);
    EXPECT_EQ(install->GroupName(), "Main");
    EXPECT_TRUE(install->DestDirType() &&
                install->DestDirType()->InheritsFrom(TpsProgramFiles::StaticClass()));
    EXPECT_TRUE(install->ArchiveFileType() &&
                install->ArchiveFileType()->InheritsFrom(TpsMainArchiveFile::StaticClass()));
    EXPECT_EQ(install->BuildInfo().BuildDirectory, "c:\\build");
    EXPECT_EQ(install->BuildInfo().OCXName, "qwsetup");
    EXPECT_EQ(install->Information().ProductName(), "My product");
    EXPECT_EQ(install->DialogThemeBitmap().Width(), 117);
    EXPECT_EQ(install->DialogThemeBitmap().Height(), 290);
    EXPECT_TRUE(install->UseLoadingProgram());

    install->SetHideMainForm(true);
    EXPECT_FALSE(install->AutoMaximizeWindow());
    install->SetAutoMaximizeWindow(true);
    EXPECT_FALSE(install->HideMainForm());
    EXPECT_THROW(install->SetDistributeType(dtWeb), IEInstall);

    TStringList files{"a.dll", "  ", "", "B.DLL"};
    install->SetPresetupFiles(files);
    EXPECT_EQ(files, (TStringList{"a.dll", "B.DLL"})); // the caller's list loses its blank lines
    install->AddPresetupFile("C:\\other\\b.dll", true);
    EXPECT_EQ(install->PresetupFiles().Count(), 2);
    install->AddPresetupFile("C:\\other\\b.dll", false);
    install->AddPresetupFile("c.dll", true);
    EXPECT_EQ(install->PresetupFiles().Count(), 4);

    // One installation component per program, and only on a form.
    EXPECT_THROW(new TInstall(Form), IEInstall);
    TComponent plain(nullptr);
    EXPECT_THROW(TInstall{&plain}, IEInstall);
}

TEST_F(Engine, FirstActivationRunsTheFormsHandlerThenTheInstallation) {
    TTestInstall* install = Load({}, "    AutoMaximizeWindow = False\n");
    ASSERT_TRUE(Form->OnActivate);
    Application()->OnException = nullptr;
    // The form's own handler fails: no run, and the next activation tries again.
    Form->FailActivation = true;
    EXPECT_THROW(Form->OnActivate(Form), IEInstall);
    EXPECT_EQ(install->Installs, 0);
    Form->FailActivation = false;
    // Then the run starts; started without -s it cannot find its distribution.
    try {
        Form->OnActivate(Form);
        ADD_FAILURE() << "the installation did not start";
    } catch (const IEInstall& e) {
        EXPECT_NE(e.Message().find("The path of the loading program was not passed"), std::string::npos)
            << e.Message();
    }
    EXPECT_EQ(Form->Activations, 2);
    EXPECT_EQ(install->Installs, 1);
    // The form has its own handler back; later activations no longer start a run.
    Form->OnActivate(Form);
    EXPECT_EQ(Form->Activations, 3);
    EXPECT_EQ(install->Installs, 1);
}

TEST_F(Engine, WithoutRunAutomaticTheActivationOnlyCallsTheForm) {
    TTestInstall* install = Load({}, "    AutoMaximizeWindow = False\n    RunAutomatic = False\n");
    Form->OnActivate(Form);
    Form->OnActivate(Form);
    EXPECT_EQ(Form->Activations, 1); // still taken over, and done after the first
    EXPECT_EQ(install->Installs, 0);
}

TEST_F(Engine, AGoneInstallationLeavesNoActivationHandlerBehind) {
    // A form without an activation handler of its own is still taken over.
    OverrideCommandLineParams(std::vector<std::string>{"setup.exe"});
    Form = new TEngineForm(Application());
    Form->InitFromText("object EngineForm: TEngineForm\n  object Install1: TTestInstall\n  end\nend\n");
    auto* install = static_cast<TTestInstall*>(Form->FindComponent("Install1"));
    ASSERT_TRUE(Form->OnActivate);
    install->Free();
    EXPECT_FALSE(Form->OnActivate);
    EXPECT_EQ(CurrentInstall(), nullptr);
    EXPECT_FALSE(Application()->OnException);
}

TEST_F(Engine, HiddenMainFormIsMovedOutOfSight) {
    Load({}, "    HideMainForm = True\n");
    EXPECT_EQ(Form->Left(), -2 * Form->Width());
    EXPECT_EQ(Form->Top(), -2 * Form->Height());
}

TEST_F(Engine, TheLoadingProgramIsFoundFromTheSwitches) {
    TTestInstall* install = Load({"-sC:\\dist", "-eSetup.exe"});
    EXPECT_EQ(install->GetLoadingProgramPath(), "C:\\dist\\Setup.exe");
    // Without -e and without a loading program, the program itself.
    Form->Free();
    Form = nullptr;
    install = Load({}, "    UseLoadingProgram = False\n");
    EXPECT_EQ(install->GetLoadingProgramPath(), ProgramPath());
}

TEST_F(Engine, TheInstallLanguageComesFromTheRecord) {
    TTestInstall* install = Load({});
    EXPECT_EQ(install->ReadInstallLanguage(), 15); // qlUser: no record, no translator
    TTestInstall::ProgramFile = TempPath("setup.exe");
    WriteTextFile(TTestInstall::ProgramFile, "program");
    InstallRecordKey() = install->FindInstallRecord(true);
    TRegKey k;
    ASSERT_TRUE(k.Open(RegLocalMachine, InstallRecordKey()));
    k.WriteInteger("Language", 5);
    EXPECT_EQ(install->ReadInstallLanguage(), 5);
    k.WriteString("Language", "five");
    EXPECT_EQ(install->ReadInstallLanguage(), 15);
}

TEST_F(Engine, CleanupOfATemporaryCopyNeedsItsSwitchesAndMayBeVetoed) {
    std::string presetup = ExtractFilePath(ProgramPath()) + "qfd_presetup_test.dll";
    // Without -c, or with -d, nothing is done.
    for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"-c", "-d", "-s" + TempDir()}}) {
        TTestInstall* install = Load(args);
        install->CleanupLoadingProgram();
        EXPECT_EQ(install->CleanupBatch(), "");
        Form->Free();
        Form = nullptr;
    }
    TTestInstall* install = Load({"-c"});
    bool asked = false;
    install->OnBeforeCleanup = [&](TCustomInstall*, bool& cont) {
        asked = true;
        cont = false;
    };
    install->CleanupLoadingProgram();
    EXPECT_TRUE(asked);
    EXPECT_EQ(install->CleanupBatch(), "");

    // Allowed: the presetup files beside the program go, and a batch is written.
    install->OnBeforeCleanup = nullptr;
    WriteTextFile(presetup, "x");
    TStringList files{"C:\\elsewhere\\qfd_presetup_test.dll"};
    install->SetPresetupFiles(files);
    install->CleanupLoadingProgram();
    install->ForgetCleanupBatch();
    EXPECT_FALSE(FileExists(presetup));
    ASSERT_NE(install->CleanupBatch(), "");
    std::string batch = CodePageToUtf8(ReadWholeFile(install->CleanupBatch()), OemCodePage());
    // An unguessable name in a folder of its own, which goes with it: elevated,
    // one that only administrators can have made, else in the temporary folder.
    const std::string batchFolder = RemoveBackslash(ExtractFilePath(install->CleanupBatch()));
    if (RunningElevated()) {
        TAdminChain chain;
        EXPECT_TRUE(chain.Open(MachineFolderTop(), batchFolder)) << chain.Why();
    } else {
        EXPECT_EQ(ExtractFilePath(batchFolder), TempDirectory());
    }
    EXPECT_EQ(ExtractFileName(batchFolder).rfind("qfdclean", 0), 0u) << batchFolder;
    EXPECT_EQ(ExtractFileName(batchFolder).size(), 8u + 16u) << batchFolder;
    RemoveFile(install->CleanupBatch());
    RemoveDir(batchFolder);
    EXPECT_NE(batch.find("ERASE \"" + ProgramPath() + "\""), std::string::npos);
    EXPECT_NE(batch.find("ERASE \"" + install->CleanupBatch() + "\"\r\n"), std::string::npos) << batch;
    // The test program does not live in the temporary folder: its folder stays.
    EXPECT_EQ(batch.find("RMDIR"), std::string::npos);
    EXPECT_EQ(batch.find("DELTREE"), std::string::npos);
    // Started by the system's own command processor, without AutoRun
    // commands; the batch's folder goes once the batch has ended.
    const std::string cmd = "\"" + GetSystemDir() + "\\cmd.exe\" /D /C ";
    EXPECT_EQ(SystemBatchCommand("C:\\T\\q1\\a b.bat", "C:\\T\\q1"),
              cmd + "\"CALL \"C:\\T\\q1\\a b.bat\" & RMDIR \"C:\\T\\q1\"\"");
    EXPECT_EQ(SystemBatchCommand("C:\\T\\a b.bat", ""), cmd + "\"CALL \"C:\\T\\a b.bat\"\"");
}

TEST_F(Engine, ACopyItsLoadingProgramRemovesWritesNoBatchAndSaysWhenItMustStay) {
    // As the loading program starts it: -cl, from a folder of its own in the temporary folder.
    std::string copy = TempPath("Temp\\qfdsetup0123456789abcdef");
    ForceDirectory(copy);
    TScopedEnvVar tmp("TMP", TempPath("Temp"));
    TTestInstall::ProgramFile = copy + "\\setup.exe";
    WriteTextFile(TTestInstall::ProgramFile, "the copy");
    const std::string marker = copy + "\\" + kKeepCopyMarker;
    std::string presetup = ExtractFilePath(ProgramPath()) + "qfd_presetup_test.dll";
    WriteTextFile(presetup, "x");
    TTestInstall* install = Load({"-cl", "-s" + TempDir()});
    EXPECT_TRUE(install->HasSwitch(swCleanup));
    TStringList files{"C:\\elsewhere\\qfd_presetup_test.dll"};
    install->SetPresetupFiles(files);
    install->CleanupLoadingProgram();
    // No batch, nothing removed: the loading program does it once this program has ended.
    EXPECT_EQ(install->CleanupBatch(), "");
    EXPECT_TRUE(FileExists(presetup));
    RemoveFile(presetup);
    EXPECT_FALSE(FileExists(marker));
    // A veto keeps the copy, and the loading program learns so.
    install->OnBeforeCleanup = [](TCustomInstall*, bool& cont) { cont = false; };
    install->CleanupLoadingProgram();
    EXPECT_TRUE(FileExists(marker));
    EXPECT_EQ(install->CleanupBatch(), "");
    RemoveFile(marker);
    Unload();
    // A debug run keeps it from the start.
    Load({"-cl", "-d", "-s" + TempDir()});
    EXPECT_TRUE(FileExists(marker));
    RemoveFile(marker);
    Unload();
    // A plain -c (an older loading program) keeps the batch, and never a marker.
    install = Load({"-c", "-s" + TempDir()});
    install->CleanupLoadingProgram();
    install->ForgetCleanupBatch();
    EXPECT_NE(install->CleanupBatch(), "");
    EXPECT_FALSE(FileExists(marker));
    RemoveFile(install->CleanupBatch());
    RemoveDir(RemoveBackslash(ExtractFilePath(install->CleanupBatch())));
}

// The text of the clean-up batch that a temporary copy at program writes
// while the system's temporary folder is temp.
std::string CleanupBatchOf(const std::string& temp, const std::string& program,
                           const std::function<TTestInstall*()>& load) {
    TScopedEnvVar tmp("TMP", temp);
    ForceDirectory(RemoveBackslash(ExtractFilePath(program)));
    WriteTextFile(program, "copy");
    TTestInstall::ProgramFile = program;
    TTestInstall* install = load();
    install->CleanupLoadingProgram();
    install->ForgetCleanupBatch();
    std::string batch = install->CleanupBatch();
    std::string text = batch.empty() ? "" : CodePageToUtf8(ReadWholeFile(batch), OemCodePage());
    RemoveFile(batch);
    return text;
}

TEST_F(Engine, OnlyAFolderOfItsOwnInsideTheTemporaryFolderGoesWithTheCopy) {
    auto batchOf = [&](const std::string& temp, const std::string& program) {
        if (Form)
            Form->Free();
        Form = nullptr;
        return CleanupBatchOf(temp, program, [&] { return Load({"-c"}); });
    };
    // Directly in the temporary folder: the copy goes, the temporary folder stays.
    std::string text = batchOf(TempPath("Temp"), TempPath("Temp\\setup.exe"));
    EXPECT_NE(text.find("ERASE \"" + TempPath("Temp\\setup.exe") + "\""), std::string::npos);
    EXPECT_EQ(text.find("RMDIR"), std::string::npos) << text;
    // The same with the temporary folder given with a trailing backslash.
    text = batchOf(TempPath("Temp\\"), TempPath("Temp\\setup.exe"));
    EXPECT_EQ(text.find("RMDIR"), std::string::npos) << text;
    // In a folder of its own there, that folder goes too.
    text = batchOf(TempPath("Temp"), TempPath("Temp\\Q1\\setup.exe"));
    EXPECT_NE(text.find("RMDIR /S /Q \"" + TempPath("Temp\\Q1") + "\""), std::string::npos) << text;
    // A folder beside the temporary folder whose name only begins like it stays.
    text = batchOf(TempPath("Temp"), TempPath("Temp2\\setup.exe"));
    EXPECT_EQ(text.find("RMDIR"), std::string::npos) << text;
}

TEST_F(Engine, ACopyInANonAsciiTemporaryFolderGoesWithItsFolder) {
    // José has a form in the Western OEM code pages, Копия in the Russian
    // one; 临时 (Chinese) with Копия has none in any OEM code page. A path
    // without a form goes in its short form. ctest runs this test on a
    // Russian machine as well.
    if (GetEnvVar("LC_ALL").value_or("").rfind("ru_", 0) == 0 && RunningUnderWine()) {
        ASSERT_EQ(OemCodePage(), 866u) << "Wine did not start as the Russian machine asked for";
    }
    for (std::string name : {"Jos\xC3\xA9", "\xD0\x9A\xD0\xBE\xD0\xBF\xD0\xB8\xD1\x8F",
                             "\xE4\xB8\xB4\xE6\x97\xB6 \xD0\x9A\xD0\xBE\xD0\xBF\xD0\xB8\xD1\x8F"}) {
        std::string temp = TempPath("Temp " + name);
        ForceDirectory(temp);
        TScopedEnvVar tmp("TMP", temp);
        std::string copy = temp + "\\" + name + " setup";
        ForceDirectory(copy);
        TTestInstall::ProgramFile = copy + "\\setup.exe";
        WriteTextFile(TTestInstall::ProgramFile, "the copy");
        WriteTextFile(copy + "\\setup.1", "its archive");
        TTestInstall* install = Load({"-c"});
        install->CleanupLoadingProgram();
        std::string batch = install->CleanupBatch();
        const std::string batchFolder = RemoveBackslash(ExtractFilePath(batch));
        // Elevated, only administrators and the system may write the batch while cmd reads it.
        if (RunningElevated()) {
            TAdminChain chain;
            EXPECT_TRUE(chain.Open(MachineFolderTop(), batchFolder)) << chain.Why();
        } else {
            EXPECT_EQ(ExtractFilePath(batchFolder), AddBackslash(temp));
        }
        std::string text = CodePageToUtf8(ReadWholeFile(batch), OemCodePage());
        std::string named = Utf8ToCodePage(copy, OemCodePage()) ? copy : GetShortPath(copy);
        EXPECT_NE(text.find("RMDIR /S /Q \"" + named + "\""), std::string::npos) << text;
        // Destroying the component starts the batch.
        Form->Free();
        Form = nullptr;
        bool gone = false;
        for (int i = 0; i < 100 && !gone; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            gone = !DirectoryExists(copy) && !DirectoryExists(batchFolder);
        }
        EXPECT_TRUE(gone) << "the batch did not remove the copy in " << temp << ", itself and its folder";
        EXPECT_TRUE(DirectoryExists(temp));
    }
}

TEST_F(Engine, APathTheCommandProcessorCannotReadIsRefusedNotGuessed) {
    // A best-fit look-alike would name another file: "ś" is not "s".
    EXPECT_EQ(Utf8ToCodePage("\xC5\x9B", 437), std::nullopt);
    EXPECT_EQ(Utf8ToCodePage("caf\xC3\xA9", 437), std::optional<std::string>("caf\x82"));
    EXPECT_EQ(Utf8ToCodePage("\xD0\x94", 866), std::optional<std::string>("\x84"));
    EXPECT_EQ(Utf8ToCodePage("\xD0\x94", 65001), std::optional<std::string>("\xD0\x94"));
    // Chinese with Hebrew: no OEM code page has both, and a folder that does
    // not exist has no short form.
    std::string name = "\xE4\xB8\xB4\xE6\x97\xB6\xD7\x90";
    ASSERT_EQ(Utf8ToCodePage(name, OemCodePage()), std::nullopt);
    std::string program = TempPath(name + "\\setup.exe");
    std::string batch = TempPath("bat1.bat");
    try {
        WriteCleanupBatch(batch, program, "", false);
        ADD_FAILURE() << "a batch was written";
    } catch (const IEInstall& e) {
        EXPECT_NE(e.Message().find("<" + program + ">"), std::string::npos) << e.Message();
    }
    EXPECT_FALSE(FileExists(batch));
}

// --- the install record ---

class InstallRecord : public Engine {
protected:
    std::string Copy(const std::string& dir, const std::string& content, TDateTime when) {
        ForceDirectory(TempPath(dir));
        std::string path = TempPath(dir + "\\setup.exe");
        WriteTextFile(path, content);
        FileSetModified(path, when);
        return path;
    }
    TDateTime When = EncodeDateTime(2001, 5, 6, 7, 8, 10);
};

TEST_F(InstallRecord, CopiesOfOneSetupShareOneRecordThatFollowsTheLastRun) {
    TTestInstall* install = Load({});
    TTestInstall::ProgramFile = Copy("one", "same bytes", When);
    EXPECT_EQ(install->FindInstallRecord(false), "");
    std::string key = install->FindInstallRecord(true);
    EXPECT_EQ(key, "\\SOFTWARE\\Quenfold\\Install\\Install0");
    TTestInstall::ProgramFile = Copy("two", "same bytes", When);
    EXPECT_EQ(install->FindInstallRecord(false), key);
    TRegKey k;
    ASSERT_TRUE(k.Open(RegLocalMachine, key));
    EXPECT_EQ(k.ReadString("Path").value_or(""), TTestInstall::ProgramFile);
    EXPECT_EQ(k.ReadInteger("Size").value_or(0), 10);
    EXPECT_NEAR(k.ReadFloat("CreationDate").value_or(0), When, 1e-6);
    EXPECT_FALSE(k.ValueExists("SelfExtract"));
}

TEST_F(InstallRecord, AChangedSetupGetsTheLowestFreeNumber) {
    TTestInstall* install = Load({});
    TTestInstall::ProgramFile = Copy("a", "first", When);
    ASSERT_EQ(install->FindInstallRecord(true), "\\SOFTWARE\\Quenfold\\Install\\Install0");
    TTestInstall::ProgramFile = Copy("a", "first, longer", When);
    ASSERT_EQ(install->FindInstallRecord(true), "\\SOFTWARE\\Quenfold\\Install\\Install1");
    TTestInstall::ProgramFile = Copy("a", "first, longer", When + 1);
    ASSERT_EQ(install->FindInstallRecord(true), "\\SOFTWARE\\Quenfold\\Install\\Install2");
    DeleteKeyTree(RegLocalMachine, "\\SOFTWARE\\Quenfold\\Install\\Install0");
    TTestInstall::ProgramFile = Copy("a", "another", When);
    EXPECT_EQ(install->FindInstallRecord(true), "\\SOFTWARE\\Quenfold\\Install\\Install0");
}

TEST_F(InstallRecord, ACopyOneSecondNewerOrOlderGetsItsOwnRecord) {
    TTestInstall* install = Load({});
    const TDateTime second = 1.0 / 86400;
    TTestInstall::ProgramFile = Copy("a", "same bytes", When);
    std::string first = install->FindInstallRecord(true);
    ASSERT_EQ(first, "\\SOFTWARE\\Quenfold\\Install\\Install0");
    // The tolerance only absorbs the rounding of a stored date: half a
    // millisecond apart is the same file, a tenth of a second is not.
    TTestInstall::ProgramFile = Copy("b", "same bytes", When + second / 2000);
    EXPECT_EQ(install->FindInstallRecord(false), first);
    TTestInstall::ProgramFile = Copy("c", "same bytes", When + second / 10);
    EXPECT_EQ(install->FindInstallRecord(false), "");
    TTestInstall::ProgramFile = Copy("c", "same bytes", When + second);
    EXPECT_EQ(install->FindInstallRecord(false), "");
    EXPECT_EQ(install->FindInstallRecord(true), "\\SOFTWARE\\Quenfold\\Install\\Install1");
    TTestInstall::ProgramFile = Copy("d", "same bytes", When - second);
    EXPECT_EQ(install->FindInstallRecord(true), "\\SOFTWARE\\Quenfold\\Install\\Install2");
    // The first record still describes the first copy only.
    TRegKey k;
    ASSERT_TRUE(k.Open(RegLocalMachine, first));
    EXPECT_NEAR(k.ReadFloat("CreationDate").value_or(0), When, 1e-8);
}

TEST_F(InstallRecord, SelfExtractedRunsRecordTheSelfExtractingFile) {
    TTestInstall* install = Load({"-sC:\\dist", "-eSetup.exe"});
    TTestInstall::ProgramFile = Copy("x", "bytes", When);
    std::string key = install->FindInstallRecord(true);
    TRegKey k;
    ASSERT_TRUE(k.Open(RegLocalMachine, key));
    EXPECT_EQ(k.ReadString("SelfExtract").value_or(""), "C:\\dist\\Setup.exe");
}

TEST_F(InstallRecord, RemovalDeletesLocalFilesAndEmptyParents) {
    TTestInstall* install = Load({});
    TTestInstall::ProgramFile = Copy("a", "program", When);
    InstallRecordKey() = install->FindInstallRecord(true);
    std::string local = TempPath("files.1");
    WriteTextFile(local, "archive");
    {
        TRegKey obj;
        ASSERT_TRUE(obj.Create(RegLocalMachine, InstallRecordKey() + "\\InstallFile2"));
        obj.WriteString("LocalFile", local);
        TRegKey unfinished;
        ASSERT_TRUE(unfinished.Create(RegLocalMachine, InstallRecordKey() + "\\Unfinished\\deep"));
    }
    install->RemoveInstallRecord();
    EXPECT_FALSE(FileExists(local));
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, "\\SOFTWARE\\Quenfold"));

    // Another program's record keeps the parents.
    InstallRecordKey() = install->FindInstallRecord(true);
    TTestInstall::ProgramFile = Copy("b", "other program", When);
    std::string other = install->FindInstallRecord(true);
    install->RemoveInstallRecord();
    EXPECT_TRUE(RegKeyExists(RegLocalMachine, other));
}

// --- clean-up of a temporary copy ---

TEST(CleanupBatch, WindowsNinetyFiveLinesAsTheyAlwaysWere) {
    auto lines = CleanupBatchLines("C:\\TEMP\\Q1\\SETUP.EXE", "C:\\TEMP\\Q1", "C:\\TEMP\\BAT1.bat", true);
    EXPECT_EQ(lines, (std::vector<std::string>{"ERASE C:\\TEMP\\Q1\\SETUP.EXE", "DELTREE /Y C:\\TEMP\\Q1",
                                               "ERASE C:\\TEMP\\BAT1.PIF", "ERASE C:\\TEMP\\BAT1.bat"}));
    auto keepFolder = CleanupBatchLines("C:\\Apps\\SETUP.EXE", "", "C:\\TEMP\\BAT1.bat", true);
    EXPECT_EQ(keepFolder.size(), 3u);
}

TEST(CleanupBatch, NtLinesQuotePathsAndKeepPercentSignsLiteral) {
    auto lines = CleanupBatchLines("C:\\50%off\\setup.exe", "", "C:\\TEMP\\BAT1.bat", false);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "ERASE \"C:\\50%%off\\setup.exe\""), lines.end());
    EXPECT_EQ(
        std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.find("RMDIR") == 0; }),
        lines.end());
}

TEST_F(Engine, TheNtBatchWaitsForTheRunningProgramThenRemovesItsFolder) {
    // A stand-in for the running program: held open, so it cannot be erased yet.
    std::string folder = TempPath("copy");
    ForceDirectory(folder);
    std::string program = folder + "\\setup.exe";
    WriteTextFile(program, "running");
    WriteTextFile(folder + "\\setup.1", "presetup");
    std::string batch = TempPath("bat1.bat");
    WriteCleanupBatch(batch, program, folder, false);
    auto held = std::make_unique<TFileStream>(program, fmOpenRead | fmShareExclusive);
    ASSERT_TRUE(StartHidden("cmd /c \"" + batch + "\""));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(FileExists(program)); // still held
    held.reset();
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        gone = !DirectoryExists(folder) && !FileExists(batch);
    }
    EXPECT_TRUE(gone) << "the batch did not remove the copy's folder and itself";
}

} // namespace
