// Install files at work: the overwrite modes against the version fixtures, a
// destination in use replaced at the restart (NT, the Windows 95 family and
// the batch file), a damaged archive that leaves the old file alone, help
// files, shared DLL counts, ActiveX registration and the uninstall log.
#include "InstallTestSupport.h"
#include "platform/cmp_TVersion.h"
#include "platform/routines_API.h"
#include "platform/routines_Batch.h"
#include "platform/routines_TrustedFolder.h"
#include "support/TrustedListCheck.h"

namespace {
const char* const SharedDLLs = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

std::string VersionAt(const std::string& path) {
    TVersionResource v;
    v.SetFileName(path);
    return v.VersionInfo().FileVersion;
}
} // namespace

using InstallFiles = InstallFixture;

TEST_F(InstallFiles, WritesTheFileLogsItAndCountsItsBytes) {
    auto* f = AddFile("Readme", "readme.txt", "hello, world");
    BuildArchive();
    Integer lastTotal = -1;
    Root->OnStatus = [&](TCustomInstallFile*, Integer, Integer total) { lastTotal = total; };
    Root->Install();

    EXPECT_EQ(ReadWholeFile(Dest("readme.txt")), "hello, world");
    EXPECT_TRUE(f->Installed());
    EXPECT_EQ(lastTotal, 100);
    EXPECT_EQ(Root->DoneSize(), 12);
    EXPECT_EQ(MachineString(std::string(UninstallDemo) + "\\Files", "Entries"), "1");
    EXPECT_EQ(MachineString(std::string(UninstallDemo) + "\\Files", "File1"), Dest("readme.txt"));
    EXPECT_TRUE(Logged("File", "wrote 12 bytes to " + Dest("readme.txt"))) << LogText();
    EXPECT_TRUE(Logged("Registry", "File1 = " + Dest("readme.txt"))) << LogText();
    // Nothing of the scratch file stays beside it.
    EXPECT_EQ(ListDirectory(TempPath("dest")), std::vector<std::string>{"readme.txt"});
}

TEST_F(InstallFiles, OverwriteModesAgainstTheVersionFixtures) {
    // The archive holds version 1.2.10; the destination holds older, the same, newer, or nothing.
    auto* f = AddFixture("Lib", "v1_2_10/qfdver.dll");
    BuildArchive();
    ASSERT_FALSE(f->ActiveX());
    struct Case {
        TOverwriteType mode;
        const char* existing; // fixture at the destination, or nullptr
        bool written;
    };
    const Case cases[] = {
        {owVersion, "v1_2_9/qfdver.dll", true},    {owVersion, "v1_2_10/qfdver.dll", false},
        {owVersion, "v2_0/qfdver.dll", false},     {owVersion, nullptr, true},
        {owVersionDate, "v2_0/qfdver.dll", false}, {owVersionDate, "v1_2_9/qfdver.dll", true},
        {owNever, "v1_2_9/qfdver.dll", false},     {owNever, nullptr, true},
        {owAlways, "v2_0/qfdver.dll", true},
    };
    ForceDirectory(TempPath("dest"));
    const std::string incoming = ReadWholeFile(VersionFixture("v1_2_10/qfdver.dll"));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("mode ") + std::to_string(c.mode) + ", existing " +
                     (c.existing ? c.existing : "none"));
        RemoveFile(Dest("qfdver.dll"));
        if (c.existing) {
            ASSERT_TRUE(CopyFileTo(VersionFixture(c.existing), Dest("qfdver.dll"), false));
        }
        const std::string before = c.existing ? ReadWholeFile(Dest("qfdver.dll")) : std::string();
        f->SetOverwriteMode(c.mode);
        Root->Install();
        EXPECT_EQ(f->WillReplace(), c.written);
        EXPECT_EQ(ReadWholeFile(Dest("qfdver.dll")), c.written ? incoming : before);
        EXPECT_EQ(VersionAt(Dest("qfdver.dll")),
                  c.written ? "1.2.10.0" : VersionAt(VersionFixture(c.existing)));
    }
    // Logged once as somebody else's (the first run wrote over a file that was
    // there), and once as the product's own when a run wrote it where none was;
    // kept runs log nothing.
    EXPECT_EQ(MachineString(std::string(UninstallDemo) + "\\Existed", "Entries"), "1");
    EXPECT_EQ(MachineString(std::string(UninstallDemo) + "\\Files", "Entries"), "1");
}

// By date, the date the archive holds for the member decides, not the date
// of its source now: an older installed file is replaced, one of the same
// date or newer kept.
TEST_F(InstallFiles, ByDateTheArchivesDateDecides) {
    auto* f = AddFile("Saver", "saver.scr", "new saver");
    f->SetOverwriteMode(owDate);
    const TDateTime built = EncodeDateTime(2005, 6, 7, 8, 9, 10), second = 1.0 / 86400;
    ASSERT_TRUE(FileSetModified(Src("saver.scr"), built));
    BuildArchive();
    // The source changes after the build: later than every installed file.
    ASSERT_TRUE(FileSetModified(Src("saver.scr"), EncodeDateTime(2010, 1, 1)));
    ForceDirectory(TempPath("dest"));
    for (const auto& [installed, replaced] : {std::pair{built - 10 * second, true}, std::pair{built, false},
                                              std::pair{built + 10 * second, false}}) {
        SCOPED_TRACE(replaced ? "older" : "same or newer");
        WriteTextFile(Dest("saver.scr"), "installed saver");
        ASSERT_TRUE(FileSetModified(Dest("saver.scr"), installed));
        Root->Install();
        EXPECT_EQ(f->WillReplace(), replaced);
        EXPECT_EQ(ReadWholeFile(Dest("saver.scr")), replaced ? "new saver" : "installed saver");
    }
}

// Kept, it is not the product's file: the uninstall must not take it.
TEST_F(InstallFiles, AKeptFileCountsAsDoneButIsNotLogged) {
    auto* f = AddFile("Conf", "app.ini", "new settings");
    f->SetOverwriteMode(owNever);
    BuildArchive();
    ForceDirectory(TempPath("dest"));
    WriteTextFile(Dest("app.ini"), "the user's settings");
    std::vector<Integer> filePercents;
    Root->OnStatus = [&](TCustomInstallFile*, Integer file, Integer) { filePercents.push_back(file); };
    Root->Install();

    EXPECT_EQ(ReadWholeFile(Dest("app.ini")), "the user's settings");
    EXPECT_EQ(filePercents, std::vector<Integer>{100});
    EXPECT_EQ(Root->DoneSize(), 12);
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, UninstallDemo));
    EXPECT_TRUE(Logged("File", "kept " + Dest("app.ini"))) << LogText();
    EXPECT_TRUE(Logged("Registry", Dest("app.ini") + " was kept, so it is not logged")) << LogText();
}

TEST_F(InstallFiles, ADamagedArchiveLeavesTheEarlierFileUntouched) {
    AddFile("Data", "data.bin", std::string(5000, 'x') + "end");
    BuildArchive();
    // Spoil the zlib stream of the member (its data follows the headers).
    std::string bytes = ReadWholeFile(TempPath("files.1"));
    for (size_t i = bytes.size() - 12; i < bytes.size() - 4; ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    WriteTextFile(TempPath("files.1"), bytes);
    ForceDirectory(TempPath("dest"));
    WriteTextFile(Dest("data.bin"), "earlier version");

    // The failure names the member; the log keeps why its data did not inflate.
    EXPECT_EQ(MessageOf([&] { Root->Install(); }),
              "The data of the file data.bin in the archive " + TempPath("files.1") + " are damaged");
    EXPECT_EQ(ReadWholeFile(Dest("data.bin")), "earlier version");
    EXPECT_EQ(ListDirectory(TempPath("dest")), std::vector<std::string>{"data.bin"});
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, std::string(UninstallDemo) + "\\Files"));
    EXPECT_TRUE(Logged("File", "are damaged: ")) << LogText();
    EXPECT_TRUE(Logged("File", "the file there is unchanged")) << LogText();
    EXPECT_EQ(Root->Operation(), 0);
}

TEST_F(InstallFiles, ADestinationInUseIsReplacedAtTheRestart) {
    auto* f = AddFile("Saver", "saver.scr", "new saver");
    f->SetUpdateDLLCounter(true);
    BuildArchive();
    ForceDirectory(TempPath("dest"));
    WriteTextFile(Dest("saver.scr"), "running saver");
    WriteTextFile(Dest("saver.1"), "a file that has the first candidate name");
    {
        // Held open without sharing: a sharing violation for anyone else.
        TFileStream held(Dest("saver.scr"), fmOpenReadWrite | fmShareExclusive);
        Root->Install();
    }
    EXPECT_TRUE(f->ReplacedAtRestart());
    EXPECT_EQ(f->DestName(), "saver.2");
    EXPECT_EQ(ReadWholeFile(Dest("saver.scr")), "running saver");
    EXPECT_EQ(ReadWholeFile(Dest("saver.2")), "new saver");
    EXPECT_TRUE(RunState().Reboot);
    EXPECT_EQ(DelayedMoves, std::vector<std::string>{Dest("saver.2") + " -> " + Dest("saver.scr")});
    EXPECT_TRUE(WinInitLines.empty());
    // The object completes its work after the restart.
    EXPECT_EQ(Unfinished, std::vector<std::string>{"Saver;0"});
    // Logged and counted under the name the file has after the restart; as
    // one that was there before, since no earlier run of the product logged it.
    EXPECT_EQ(MachineString(std::string(UninstallDemo) + "\\Existed", "File1"), Dest("saver.scr"));
    EXPECT_EQ(MachineInteger(SharedDLLs, Dest("saver.scr")), 2);
    EXPECT_TRUE(Logged("File", "cannot be replaced now: CreateFile failed, code 32")) << LogText();
    EXPECT_TRUE(Logged("Restart", "MoveFileEx " + Dest("saver.2"))) << LogText();
}

// The paths of a replacement at the restart fit the system's buffers of 400
// characters: the file in use and the new file beside it may each have 400,
// and one of 401 is refused before anything is written.
TEST_F(InstallFiles, RestartPathsOf400CharactersAreTakenAndOf401Refused) {
    auto* f = AddFile("Saver", "saver.scr", "new saver");
    BuildArchive();
    // A folder of the given length in characters, made of parts short enough for any system.
    auto folderOf = [](std::string folder, size_t chars) {
        while (Utf8Length(folder) < chars) {
            const size_t left = chars - Utf8Length(folder);
            folder += "\\" + std::string(left > 200 ? 100 : left - 1, 'd');
        }
        return folder;
    };
    struct Case {
        const char* destName;
        size_t longest; // of the two paths: "s" has the longer new name "s.1", "s.txt" the longer target
        bool taken;
    };
    int n = 0;
    for (const Case& c :
         {Case{"s", 400, true}, Case{"s", 401, false}, Case{"s.txt", 400, true}, Case{"s.txt", 401, false}}) {
        SCOPED_TRACE(std::string(c.destName) + ", " + std::to_string(c.longest) + " characters");
        const std::string longName = std::string(c.destName) == "s" ? "s.1" : "s.txt";
        const std::string folder =
            folderOf(TempPath("long" + std::to_string(++n)), c.longest - 1 - longName.size());
        ForceDirectory(folder);
        ASSERT_TRUE(DirectoryExists(folder));
        const std::string target = folder + "\\" + c.destName, candidate = folder + "\\s.1";
        ASSERT_EQ(Utf8Length(folder + "\\" + longName), c.longest);
        Root->SetDestDir(folder);
        f->SetDestName(c.destName);
        DelayedMoves.clear();
        WriteTextFile(target, "running saver");
        std::string message;
        {
            TFileStream held(target, fmOpenReadWrite | fmShareExclusive);
            message = MessageOf([&] { Root->Install(); });
        }
        EXPECT_EQ(ReadWholeFile(target), "running saver");
        if (c.taken) {
            EXPECT_EQ(message, "(nothing raised)");
            EXPECT_TRUE(f->ReplacedAtRestart());
            EXPECT_EQ(FileExists(candidate) ? ReadWholeFile(candidate) : "(no file)", "new saver");
            EXPECT_EQ(DelayedMoves, std::vector<std::string>{candidate + " -> " + target});
        } else {
            EXPECT_EQ(message, "Saver cannot replace the file " +
                                   (c.longest == Utf8Length(target) ? target : candidate) +
                                   " at the next restart: its path is longer than 400 characters");
            EXPECT_FALSE(FileExists(candidate));
            EXPECT_TRUE(DelayedMoves.empty());
        }
    }
}

TEST_F(InstallFiles, InUseOnTheWindows95FamilyWritesOneRenameLine) {
    Windows = wvWindows95;
    auto* f = AddFile("Saver", "saver.scr", "new saver");
    BuildArchive();
    ForceDirectory(TempPath("dest"));
    WriteTextFile(Dest("saver.scr"), "running saver");
    {
        TFileStream held(Dest("saver.scr"), fmOpenReadWrite | fmShareExclusive);
        Root->Install();
    }
    EXPECT_EQ(f->DestName(), "saver.1");
    const std::string shortTarget = GetShortPath(Dest("saver.scr"));
    EXPECT_EQ(WinInitLines, std::vector<std::string>{"[Rename] " + shortTarget + "=" +
                                                     ExtractFilePath(shortTarget) + "saver.1"});
    EXPECT_TRUE(DelayedMoves.empty());
    EXPECT_TRUE(RunState().Reboot);
}

TEST_F(InstallFiles, WithoutDelayedMovesABatchFileRunsOnce) {
    MoveAtRestartWorks = false;
    auto* a = AddFile("A", "a.dll", "new a");
    auto* b = AddFile("B", "b.dll", "new b");
    // A "%" in a folder's name: cmd would read "%...%" in the batch as a variable.
    b->SetDestDir("\\100%");
    BuildArchive();
    ForceDirectory(TempPath("dest\\100%"));
    WriteTextFile(Dest("a.dll"), "old a");
    WriteTextFile(Dest("100%\\b.dll"), "old b");
    {
        TFileStream heldA(Dest("a.dll"), fmOpenReadWrite | fmShareExclusive);
        TFileStream heldB(Dest("100%\\b.dll"), fmOpenReadWrite | fmShareExclusive);
        Root->Install();
    }
    EXPECT_TRUE(a->ReplacedAtRestart());
    EXPECT_TRUE(b->ReplacedAtRestart());
    const std::string runOnce = "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    std::optional<std::string> first = MachineString(runOnce, "QuenfoldBatFile");
    std::optional<std::string> second = MachineString(runOnce, "QuenfoldBatFile1");
    ASSERT_TRUE(first && second);
    // Each batch file is unfinished business (deleted after the restart) and holds its two lines.
    std::vector<std::string> batches;
    for (const std::string& u : Unfinished)
        if (u.size() > 2 && u.substr(u.size() - 2) == ";1")
            batches.push_back(u.substr(0, u.size() - 2));
    ASSERT_EQ(batches.size(), 2u);
    // Each waits in a folder of its own that only administrators can change,
    // and runs by the system's cmd without AutoRun commands, which then
    // removes that folder.
    EXPECT_EQ(*first, SystemBatchCommand(batches[0], ExtractFileDir(batches[0])));
    EXPECT_EQ(*second, SystemBatchCommand(batches[1], ExtractFileDir(batches[1])));
    EXPECT_NE(ExtractFileDir(batches[0]), ExtractFileDir(batches[1]));
    if (RunningElevated()) {
        EXPECT_EQ(TrustedListMismatch(SecurityDescriptorText(ExtractFileDir(batches[0]))), "");
    }
    const std::string shortA = GetShortPath(Dest("a.dll"));
    TStringList lines;
    lines.LoadFromFile(batches[0]);
    ASSERT_EQ(lines.Count(), 2);
    auto q = [](const std::string& s) { return s.find(' ') == std::string::npos ? s : "\"" + s + "\""; };
    EXPECT_EQ(lines[0], "erase " + q(shortA));
    EXPECT_EQ(lines[1], "move " + q(ExtractFilePath(shortA) + "a.1") + " " + q(shortA));
    lines.LoadFromFile(batches[1]);
    ASSERT_EQ(lines.Count(), 2);
    const std::string shortB = StringReplaceAll(GetShortPath(Dest("100%\\b.dll")), "%", "%%");
    EXPECT_NE(shortB.find("%%"), std::string::npos) << shortB;
    EXPECT_EQ(lines[0], "erase " + q(shortB));
    for (const std::string& batch : batches)
        EXPECT_TRUE(RemoveTrustedBatch(batch, kRestartBatchPrefix));
    for (const std::string& batch : batches)
        EXPECT_FALSE(DirectoryExists(ExtractFileDir(batch))) << batch;
}

TEST_F(InstallFiles, SharedDLLCounts) {
    auto* fresh = AddFile("Fresh", "fresh.dll", "fresh");
    auto* counted = AddFile("Counted", "counted.dll", "counted");
    auto* uncounted = AddFile("Uncounted", "uncounted.dll", "uncounted");
    for (TInstallFile* f : {fresh, counted, uncounted})
        f->SetUpdateDLLCounter(true);
    BuildArchive();
    ForceDirectory(TempPath("dest"));
    WriteTextFile(Dest("counted.dll"), "earlier");
    WriteTextFile(Dest("uncounted.dll"), "earlier, of another program");
    {
        TRegKey k;
        ASSERT_TRUE(k.Create(RegLocalMachine, SharedDLLs));
        ASSERT_TRUE(k.WriteInteger(GetShortPath(Dest("counted.dll")), 3));
    }
    Root->Install();
    EXPECT_EQ(MachineInteger(SharedDLLs, Dest("fresh.dll")), 1);
    EXPECT_EQ(MachineInteger(SharedDLLs, GetShortPath(Dest("counted.dll"))), 4);
    // The earlier owner counts too: an uninstall of this product must not take the file away.
    EXPECT_EQ(MachineInteger(SharedDLLs, Dest("uncounted.dll")), 2);
    // A second install of the same product counts nothing more: its log names each file once.
    Root->Install();
    EXPECT_EQ(MachineInteger(SharedDLLs, Dest("fresh.dll")), 1);
    EXPECT_EQ(MachineInteger(SharedDLLs, GetShortPath(Dest("counted.dll"))), 4);
    EXPECT_EQ(MachineInteger(SharedDLLs, Dest("uncounted.dll")), 2);
    EXPECT_TRUE(Logged("Registry", "SharedDLLs " + Dest("fresh.dll") + " = 1 counts this product already"))
        << LogText();
    EXPECT_EQ(MachineString(std::string(UninstallDemo) + "\\Files", "Entries"), "1");
    EXPECT_EQ(MachineString(std::string(UninstallDemo) + "\\Existed", "Entries"), "2");
}

TEST_F(InstallFiles, HelpFilesAreRegisteredUnderTheirName) {
    auto* f = AddFile("Help", "tool.hlp", "help text");
    EXPECT_TRUE(f->RegisterAsHelp());
    BuildArchive();
    Root->Install();
    EXPECT_EQ(MachineString("\\SOFTWARE\\Microsoft\\Windows\\Help", "TOOL.HLP"), TempPath("dest"));
}

TEST_F(InstallFiles, OnBeforeInstallSkipsAFileThatStillCountsAsDone) {
    auto* skipped = AddFile("Skipped", "skipped.txt", "0123456789");
    AddFile("Written", "written.txt", "abc");
    BuildArchive();
    skipped->OnBeforeInstall = [](TCustomInstallFile*) { throw EAbort(); };
    std::vector<std::pair<std::string, Integer>> reports;
    Root->OnStatus = [&](TCustomInstallFile* f, Integer file, Integer) {
        reports.push_back({f->Name(), file});
    };
    Root->Install();
    EXPECT_FALSE(FileExists(Dest("skipped.txt")));
    EXPECT_EQ(ReadWholeFile(Dest("written.txt")), "abc");
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), (std::pair<std::string, Integer>{"Skipped", 100}));
    EXPECT_EQ(Root->DoneSize(), 13);
    EXPECT_EQ(MachineString(std::string(UninstallDemo) + "\\Files", "Entries"), "1");
}

// Cancel confirmed while the copy window's messages run between two files:
// the archive component forgets its own request when the next extraction
// starts, so the run's request must end the run before the next file.
TEST_F(InstallFiles, ACancelBetweenTwoFilesEndsTheRunBeforeTheNextOne) {
    ForceDirectory(TempPath("dest"));
    WriteTextFile(Dest("second.txt"), "old second");
    TInstallFile* first = AddFile("First", "first.txt", "new first");
    AddFile("Second", "second.txt", "new second");
    BuildArchive();
    first->OnAfterInstall = [](TCustomInstallFile*) { RunState().CancelRequested = true; };
    EXPECT_THROW(Root->Install(), EAIUserAbort);
    RunState().CancelRequested = false;
    EXPECT_EQ(ReadWholeFile(Dest("first.txt")), "new first");
    EXPECT_EQ(ReadWholeFile(Dest("second.txt")), "old second");
}

TEST_F(InstallFiles, TheUninstallLogMovesOnWhenAKeyIsSpoiled) {
    AddFile("One", "one.txt", "1");
    BuildArchive();
    const std::string files = std::string(UninstallDemo) + "\\Files";
    WriteRegString(rkLocalMachine, files, "Entries", "not a number");
    Root->Install();
    EXPECT_EQ(MachineString(files, "Entries"), "not a number");
    EXPECT_EQ(MachineString(files + "1", "File1"), Dest("one.txt"));
    EXPECT_EQ(MachineString(files + "1", "Entries"), "1");
}

// The uninstall log names each file once, whatever the case of an earlier
// entry and however often the product is installed; a file that was there
// before is logged apart, as somebody else's, and so is a kept one that is
// counted as shared.
TEST_F(InstallFiles, TheLogNamesEachFileOnceAndSomebodyElsesApart) {
    AddFile("Fresh", "fresh.txt", "fresh");
    AddFile("Earlier", "earlier.txt", "earlier, logged by an older run");
    AddFile("Over", "over.txt", "ours now");
    AddFile("Conf", "conf.ini", "new settings")->SetOverwriteMode(owNever);
    auto* shared = AddFile("Shared", "shared.dll", "shared");
    shared->SetOverwriteMode(owNever);
    shared->SetUpdateDLLCounter(true);
    BuildArchive();
    ForceDirectory(TempPath("dest"));
    WriteTextFile(Dest("over.txt"), "another program's");
    WriteTextFile(Dest("conf.ini"), "the user's settings");
    WriteTextFile(Dest("shared.dll"), "another program's library");
    // An older run of the product logged this one, in another case.
    const std::string files = std::string(UninstallDemo) + "\\Files";
    WriteRegString(rkLocalMachine, files, "File1", UpperCase(Dest("earlier.txt")));
    WriteRegString(rkLocalMachine, files, "Entries", "1");
    for (int run = 0; run < 3; ++run)
        Root->Install();

    EXPECT_EQ(MachineString(files, "Entries"), "2");
    EXPECT_EQ(MachineString(files, "File2"), Dest("fresh.txt"));
    const std::string existed = std::string(UninstallDemo) + "\\Existed";
    EXPECT_EQ(MachineString(existed, "Entries"), "2");
    EXPECT_EQ(MachineString(existed, "File1"), Dest("over.txt"));
    EXPECT_EQ(MachineString(existed, "File2"), Dest("shared.dll"));
    // Its earlier owner and this product, once.
    EXPECT_EQ(MachineInteger(SharedDLLs, Dest("shared.dll")), 2);
    EXPECT_EQ(ReadWholeFile(Dest("conf.ini")), "the user's settings");
    EXPECT_TRUE(Logged("Registry", Dest("fresh.txt") + " is in the uninstall log already")) << LogText();
}

TEST_F(InstallFiles, ActiveXServersRegisterOrAreCollected) {
    // A library with DllRegisterServer registers itself (here under the redirected HKCU).
    auto* server = AddFixture("Server", "olereg/qfdole.dll");
    EXPECT_TRUE(server->ActiveX());
    // Outside the system folder for the test.
    server->SetFileType(iftNormal);
    server->SetDestDirType(Standard(TpsContainerDestDir::StaticClass()));
    auto* broken = AddFixture("Broken", "plain/qfdplain.dll");
    broken->SetActiveX(true);
    broken->SetFileType(iftNormal);
    broken->SetDestDirType(Standard(TpsContainerDestDir::StaticClass()));
    auto* program = AddFixture("Program", "app/qfdapp.exe");
    program->SetActiveX(true);
    program->SetFileType(iftNormal);
    program->SetDestDirType(Standard(TpsContainerDestDir::StaticClass()));
    // In a folder with a blank, which must not split its command line.
    program->SetDestDir("\\Program Folder");
    const std::string programPath = Dest("Program Folder\\qfdapp.exe");
    for (TInstallFile* f : {server, broken, program})
        f->SetUpdateDLLCounter(false);
    BuildArchive();

    RunState().RaiseRegistrationErrors = false;
    Root->Install();
    TRegKey fixture;
    ASSERT_TRUE(fixture.Open(RegCurrentUser, "Software\\Quenfold\\Fixtures", TRegAccess::raRead));
    EXPECT_EQ(fixture.ReadInteger("OleSelfRegister"), 1);
    ASSERT_EQ(FailedRegistrationList().Count(), 1);
    EXPECT_EQ(FailedRegistrationList().Items(0), broken);
    EXPECT_EQ(Started, std::vector<std::string>{"\"" + programPath + "\" /REGSERVER"});
    // Logged under "ActiveX" with the kind of server.
    const std::string activeX = std::string(UninstallDemo) + "\\ActiveX";
    EXPECT_EQ(MachineString(activeX, "Entries"), "3");
    EXPECT_EQ(MachineString(activeX, "File1"), Dest("qfdole.dll") + ";0");
    EXPECT_EQ(MachineString(activeX, "File3"), programPath + ";1");
    EXPECT_TRUE(Logged("Register", "DllRegisterServer function could not be found")) << LogText();

    // After a restart the server registers again (the run after the restart calls it).
    ASSERT_TRUE(fixture.Open(RegCurrentUser, "Software\\Quenfold\\Fixtures"));
    ASSERT_TRUE(fixture.DeleteValue("OleSelfRegister"));
    server->CompleteAfterRestart();
    EXPECT_EQ(fixture.ReadInteger("OleSelfRegister"), 1);

    // Raised at once while the run does not collect them.
    RunState().RaiseRegistrationErrors = true;
    FailedRegistrationList().Clear();
    EXPECT_EQ(
        RaisedBy<IECustomInstallFile>([&] { broken->RegisterAfterInstall(); }),
        "Could not register the ActiveX component, " + Dest("qfdplain.dll") +
            ", because the DllRegisterServer function could not be found. The file component is Broken. "
            "The following value is the value of the GetLastError function: 127");
}

TEST_F(InstallFiles, ANestedContainerReportsItsShareOfTheWhole) {
    auto* group = Make<TFileContainer>("Group", Root);
    group->SetDestDir("\\Sub");
    AddFile("Top", "top.txt", std::string(300, 't'));
    AddFile("Inner", "inner.txt", std::string(100, 'i'), group);
    BuildArchive();
    std::vector<Integer> rootTotals, groupTotals;
    Root->OnStatus = [&](TCustomInstallFile*, Integer, Integer total) { rootTotals.push_back(total); };
    group->OnStatus = [&](TCustomInstallFile*, Integer, Integer total) { groupTotals.push_back(total); };
    Root->Install();
    EXPECT_EQ(ReadWholeFile(TempPath("dest\\Sub\\inner.txt")), std::string(100, 'i'));
    // File containers install first: the group's file is the whole of the group but a quarter of the root.
    ASSERT_FALSE(groupTotals.empty());
    EXPECT_EQ(groupTotals.back(), 100);
    ASSERT_GE(rootTotals.size(), 2u);
    EXPECT_EQ(rootTotals[groupTotals.size() - 1], 25);
    EXPECT_EQ(rootTotals.back(), 100);
}

TEST_F(InstallFiles, OnReplacingCanKeepTheExistingFile) {
    auto* f = AddFile("Conf", "app.ini", "new settings");
    BuildArchive();
    ForceDirectory(TempPath("dest"));
    WriteTextFile(Dest("app.ini"), "the user's settings");
    std::vector<std::string> events;
    f->OnReplacing = [&](TCustomInstallFile*) {
        events.push_back("replacing");
        throw EAbort();
    };
    f->OnAfterInstall = [&](TCustomInstallFile*) { events.push_back("after"); };
    Root->Install();
    EXPECT_EQ(events, (std::vector<std::string>{"replacing", "after"}));
    EXPECT_EQ(ReadWholeFile(Dest("app.ini")), "the user's settings");
    EXPECT_FALSE(f->WillReplace());
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, UninstallDemo));
    EXPECT_TRUE(Logged("File", "replacing it was cancelled by the project")) << LogText();
}

TEST_F(InstallFiles, AReplacementThatCannotBeScheduledLeavesNothingBehind) {
    Windows = wvWindows95;
    RunSeams().WriteWinInit = [](const std::string&, const std::string&, const std::string&) {
        return false;
    };
    auto* f = AddFile("Saver", "saver.scr", "new saver");
    BuildArchive();
    ForceDirectory(TempPath("dest"));
    WriteTextFile(Dest("saver.scr"), "running saver");
    {
        TFileStream held(Dest("saver.scr"), fmOpenReadWrite | fmShareExclusive);
        EXPECT_EQ(
            RaisedBy<IECustomInstallFile>([&] { Root->Install(); }),
            "Saver cannot register a routine in the register to move the files after the computer is reboot");
    }
    EXPECT_EQ(ListDirectory(TempPath("dest")), std::vector<std::string>{"saver.scr"});
    EXPECT_EQ(ReadWholeFile(Dest("saver.scr")), "running saver");
    EXPECT_EQ(f->DestName(), "saver.scr");
    EXPECT_FALSE(f->ReplacedAtRestart());
    EXPECT_FALSE(RunState().Reboot);
}
