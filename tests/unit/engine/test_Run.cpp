// The installation run with a project of test doubles: the order of its
// events, how a failure, an abort and a veto end it, the remote list of files
// and the run's log.
#include "EngineTestSupport.h"
#include "engine/routines_RemoteFileList.h"
#include "objects/cmp_TNetInstallLocation.h"
#include "objects/routines_DownloadDigests.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_Journal.h"
#include "unit/net/LocalServer.h"
#include <algorithm>
#include <gtest/gtest.h>

namespace {

const std::string kTwoFiles =
    "  object File1: TTraceFile\n    Container = Install1\n    DestDirType = psContainerDestDir\n"
    "    DestName = 'one.exe'\n  end\n"
    "  object File2: TTraceFile\n    Container = Install1\n    DestDirType = psContainerDestDir\n"
    "    DestName = 'two.dat'\n  end\n"
    "  object Dialog1: TTraceDialog\n    Container = Install1\n  end\n";

class Run : public Engine {
protected:
    // A project with two files and a dialog, started from the test's folder.
    TTestInstall* LoadProject(std::vector<std::string> args = {}, const std::string& props = "",
                              const std::string& more = "") {
        TTestInstall::ProgramFile = TempPath("setup.exe");
        WriteTextFile(TTestInstall::ProgramFile, "the setup program");
        args.push_back("-s" + TempDir());
        TTestInstall* install = Load(
            args, "    DestDir = '" + TempDir() + "'\n    DestDirType = nil\n" + props, kTwoFiles + more);
        // Each event of the component writes its name to the trace.
        auto note = [](const char* name) { return [name](TObject*) { Trace().push_back(name); }; };
        install->OnBeforeReadArchiveInfo = note("OnBeforeReadArchiveInfo");
        install->OnAfterReadArchiveInfo = note("OnAfterReadArchiveInfo");
        install->OnAfterInitialized = note("OnAfterInitialized");
        install->OnBeforeNotifyGoodInstall = note("OnBeforeNotifyGoodInstall");
        install->OnAfterNotifyGoodInstall = note("OnAfterNotifyGoodInstall");
        install->OnBeforeNotifyBadInstall = note("OnBeforeNotifyBadInstall");
        install->OnAfterNotifyBadInstall = note("OnAfterNotifyBadInstall");
        install->OnBeforeShutdown = [](TCustomInstall*, bool&) { Trace().push_back("OnBeforeShutdown"); };
        install->OnBeforeInstallObjects = [](TInstallContainer*) {
            Trace().push_back("OnBeforeInstallObjects");
        };
        install->OnAfterInstallObjects = [](TInstallContainer*, bool aborted) {
            Trace().push_back(std::string("OnAfterInstallObjects ") + (aborted ? "aborted" : "done"));
        };
        install->OnBeforeRunFile = [](TCustomInstall*, TCustomInstallFile* f, bool&) {
            Trace().push_back("OnBeforeRunFile " + f->Name());
        };
        return install;
    }
    TTraceFile* File(const char* name) { return static_cast<TTraceFile*>(Form->FindComponent(name)); }
    TTraceDialog* Dialog() { return static_cast<TTraceDialog*>(Form->FindComponent("Dialog1")); }

    // Runs the installation as the message loop would: a failure goes to the
    // application's exception handler, which is the component's.
    void RunInstall(TTestInstall* install) {
        try {
            install->Install();
        } catch (const Exception& e) {
            Application()->HandleException(install, e);
        }
    }
    bool RecordExists() { return RegKeyExists(RegLocalMachine, "\\SOFTWARE\\Quenfold\\Install\\Install0"); }
};

const std::vector<std::string> kReading = {"OnBeforeReadArchiveInfo",
                                           "ie -974 Reading file information...",
                                           "read File1",
                                           "read File2",
                                           "ie -973",
                                           "OnAfterReadArchiveInfo",
                                           "OnAfterInitialized",
                                           "ie -980",
                                           "OnBeforeInstallObjects",
                                           "install File1",
                                           "install File2",
                                           "OnAfterInstallObjects done"};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(Run, AGoodRunRaisesItsEventsInOrderAndLeavesNoRecord) {
    TTestInstall* install = LoadProject({"-c"});
    File("File2")->SetRunAfterInstall(true);
    install->OnBeforeCleanup = [](TCustomInstall*, bool& cont) {
        Trace().push_back("OnBeforeCleanup");
        cont = false; // no batch that erases the test program
    };
    RunInstall(install);
    EXPECT_EQ(Trace(), Concat(kReading, {"OnBeforeNotifyGoodInstall", "ie -995", "ie -979",
                                         "OnAfterNotifyGoodInstall", "OnBeforeCleanup", "OnBeforeShutdown",
                                         "end", "OnBeforeRunFile File2", "start " + TempDir() + "two.dat"}));
    EXPECT_FALSE(install->Running());
    EXPECT_FALSE(RecordExists());
    EXPECT_EQ(InstallRecordKey(), "\\SOFTWARE\\Quenfold\\Install\\Install0"); // the record was made and used
    EXPECT_TRUE(install->Shown.empty());
    EXPECT_NE(RunStartTime(), 0);
    EXPECT_FALSE(RaiseRegistrationErrors()) << "the run collects registration failures";
}

TEST_F(Run, ARunThatNeedsARestartShowsTheRestartPageBeforeTheCompletionPages) {
    // A file that waits for the restart, and a project that sets Reboot itself.
    for (bool fileInUse : {true, false}) {
        Application()->SetExitCode(99);
        TTestInstall* install = LoadProject({}, fileInUse ? "" : "    Reboot = True\n");
        File("File2")->WaitForRestart = fileInUse;
        // The person answers No: the work still needs the restart.
        Dialog()->Answer = [install](Integer code) {
            if (code == ieReboot)
                install->SetReboot(false);
        };
        const std::string log = NewLogFileName(TempDir());
        RunInstall(install);
        const auto& t = Trace();
        auto done = std::find(t.begin(), t.end(), "OnAfterInstallObjects done");
        ASSERT_NE(done, t.end()) << fileInUse;
        EXPECT_EQ(std::vector<std::string>(done + 1, t.end()),
                  (std::vector<std::string>{"ie -987", "OnBeforeNotifyGoodInstall", "ie -995", "ie -979",
                                            "OnAfterNotifyGoodInstall", "OnBeforeShutdown", "end"}))
            << fileInUse;
        EXPECT_EQ(Application()->ExitCode(), secRestartNeeded) << fileInUse;
        EXPECT_FALSE(install->Reboot());
        const std::string text = ReadWholeFile(log);
        for (const char* line : {"Run: restart dialogs: Windows must restart to finish",
                                 "Run: Reboot = False", "Run: exit code 3: Windows must restart to finish"})
            EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
        Unload();
        Trace().clear();
        for (const std::string& name : ListDirectory(TempDir()))
            if (name.rfind("Setup Log ", 0) == 0)
                RemoveFile(TempPath(name));
    }
}

TEST_F(Run, ARestartChosenOnACompletionPageAlsoEndsWithRestartNeeded) {
    Application()->SetExitCode(99);
    TTestInstall* install = LoadProject();
    Dialog()->Answer = [install](Integer code) {
        if (code == ieAfterGoodInstall)
            install->SetReboot(true);
    };
    RunInstall(install);
    EXPECT_EQ(std::count(Trace().begin(), Trace().end(), "ie -987"), 0)
        << "nothing needed the restart before";
    EXPECT_EQ(Application()->ExitCode(), secRestartNeeded);
}

TEST_F(Run, AFailedRunReportsTheBadInstallationAndLeavesTheRecordAsItWas) {
    TTestInstall* install = LoadProject({}, "    RunAutomatic = False\n");
    File("File1")->Fail = true;
    InstallRecordKey() = install->FindInstallRecord(true);
    install->AddUnfinished("File1", 0); // an earlier run's leftovers are cleared first
    RunInstall(install);
    const std::string message = "File1 failed on purpose";
    EXPECT_EQ(Trace(), (std::vector<std::string>{
                           "OnBeforeReadArchiveInfo", "ie -974 Reading file information...", "read File1",
                           "read File2", "ie -973", "OnAfterReadArchiveInfo", "OnAfterInitialized", "ie -980",
                           "OnBeforeInstallObjects", "install File1", "OnAfterInstallObjects done",
                           "OnBeforeNotifyBadInstall", "ie -994", "ie -978", "OnAfterNotifyBadInstall",
                           "show " + message, "OnBeforeShutdown", "end"}));
    // The program ends after a failure even without RunAutomatic.
    EXPECT_EQ(install->Ends, 1);
    EXPECT_FALSE(install->Running());
    // Undone: the record and the earlier run's business are back as they were.
    EXPECT_TRUE(RegKeyExists(RegLocalMachine, InstallRecordKey()));
    TStringList unfinished;
    install->ReadUnfinished(unfinished);
    EXPECT_EQ(unfinished.Count(), 1);
    // A failure outside a run is only shown.
    Trace().clear();
    Application()->HandleException(install, IEInstall("later"));
    EXPECT_EQ(Trace(), (std::vector<std::string>{"show later"}));
}

TEST_F(Run, ARegistrationThatFailedDuringTheRunIsTriedAgainAndThenFailsIt) {
    TTestInstall* install = LoadProject();
    File("File2")->RegistrationFailed = true; // its file is not there: registering fails again
    RunInstall(install);
    ASSERT_EQ(install->Shown.size(), 1u);
    EXPECT_NE(install->Shown[0].find("File is :File2"), std::string::npos) << install->Shown[0];
    std::vector<std::string> expected = kReading;
    for (const char* s : {"OnBeforeNotifyBadInstall", "ie -994", "ie -978", "OnAfterNotifyBadInstall"})
        expected.push_back(s);
    expected.push_back("show " + install->Shown[0]);
    expected.push_back("OnBeforeShutdown");
    expected.push_back("end");
    EXPECT_EQ(Trace(), expected);
}

TEST_F(Run, AnAbortEndsWithoutAMessageAndLeavesNoRecord) {
    // Once in the objects, once in the before-install wizard.
    for (bool inWizard : {false, true}) {
        TTestInstall* install = LoadProject();
        if (inWizard)
            Dialog()->AbortOn = ieBeforeInstall;
        else
            File("File2")->Abort = true;
        RunInstall(install);
        const auto& t = Trace();
        EXPECT_EQ(std::count(t.begin(), t.end(), "install File1"), inWizard ? 0 : 1);
        auto bad = std::find(t.begin(), t.end(), "OnBeforeNotifyBadInstall");
        ASSERT_NE(bad, t.end());
        EXPECT_EQ(std::vector<std::string>(bad, t.end()),
                  (std::vector<std::string>{"OnBeforeNotifyBadInstall", "ie -994", "ie -978",
                                            "OnAfterNotifyBadInstall", "OnBeforeShutdown", "end"}));
        EXPECT_TRUE(install->Shown.empty());
        EXPECT_FALSE(RecordExists()) << "aborted in the wizard: " << inWizard;
        Unload();
        Trace().clear();
    }
}

TEST_F(Run, TheObjectsHearOfACancelWhereverItCameFrom) {
    // A Cancel confirmed between two files reaches no archive: the objects'
    // last event must still say that the installation was aborted.
    TTestInstall* install = LoadProject();
    File("File2")->Abort = true;
    RunInstall(install);
    const auto& t = Trace();
    EXPECT_NE(std::find(t.begin(), t.end(), "OnAfterInstallObjects aborted"), t.end());
    EXPECT_EQ(std::find(t.begin(), t.end(), "OnAfterInstallObjects done"), t.end());
}

TEST_F(Run, ASecondSetupOfTheProductEndsWithoutTouchingAnything) {
    TTestInstall* install = LoadProject();
    TRunJournal running;
    ASSERT_TRUE(running.Lock(install->Information().ProductName()));
    Application()->SetExitCode(0);
    RunInstall(install);
    ASSERT_EQ(install->Shown.size(), 1u);
    EXPECT_NE(install->Shown[0].find("is already running"), std::string::npos) << install->Shown[0];
    EXPECT_EQ(Application()->ExitCode(), secFailed);
    EXPECT_EQ(install->Ends, 1);
    const auto& t = Trace();
    EXPECT_EQ(std::find(t.begin(), t.end(), "OnBeforeReadArchiveInfo"), t.end()) << "the run began";
    EXPECT_FALSE(RecordExists());
    EXPECT_FALSE(install->Running());
    // Once the other run has ended, this one may go.
    running.Unlock();
    Trace().clear();
    RunInstall(install);
    EXPECT_EQ(std::count(Trace().begin(), Trace().end(), "install File2"), 1);
}

TEST_F(Run, ShutdownAndRunFileCanBeVetoed) {
    TTestInstall* install = LoadProject();
    File("File1")->SetRunAfterInstall(true);
    File("File2")->SetRunAfterInstall(true);
    install->OnBeforeShutdown = [](TCustomInstall*, bool& quitOut) { quitOut = false; };
    install->OnBeforeRunFile = [](TCustomInstall*, TCustomInstallFile* f, bool& defaultAction) {
        defaultAction = f->Name() != "File1";
    };
    RunInstall(install);
    EXPECT_EQ(install->Ends, 0);
    EXPECT_EQ(install->Started, (std::vector<std::string>{TempDir() + "two.dat"}));
    EXPECT_TRUE(install->Shutdown()) << "vetoed";
    install->OnBeforeShutdown = nullptr;
    EXPECT_FALSE(install->Shutdown());
    EXPECT_EQ(install->Ends, 1);
    // A handler may also take the run-after flag away.
    install->Started.clear();
    install->OnBeforeRunFile = [](TCustomInstall*, TCustomInstallFile* f, bool&) {
        f->SetRunAfterInstall(false);
    };
    install->RunFilesAfterInstall();
    EXPECT_TRUE(install->Started.empty());
}

TEST_F(Run, TheUserMayAbortUnlessOnUserAbortSaysNo) {
    TTestInstall* install = LoadProject();
    EXPECT_TRUE(install->QueryUserAbort());
    install->OnUserAbort = [](TCustomInstall*, bool& quitOut) { quitOut = false; };
    EXPECT_FALSE(install->QueryUserAbort());
}

TEST_F(Run, AFailingDialogDoesNotHideWhyTheRunFailed) {
    TTestInstall* install = LoadProject();
    // The good-installation page fails, then the failed-installation page too.
    Dialog()->FailOn = ieGoodInstall;
    RunInstall(install);
    EXPECT_EQ(install->Shown, (std::vector<std::string>{"Dialog1 needs a window, which is not built yet"}));
    EXPECT_EQ(install->Ends, 1);
    Unload();

    install = LoadProject();
    File("File1")->Fail = true;
    Dialog()->FailOn = ieAfterBadInstall;
    RunInstall(install);
    EXPECT_EQ(install->Shown, (std::vector<std::string>{"File1 failed on purpose"}));
    EXPECT_EQ(install->Ends, 1);
}

TEST_F(Run, WithoutTheLoadingProgramsFolderTheRunStopsAtOnce) {
    TTestInstall::ProgramFile = TempPath("setup.exe");
    WriteTextFile(TTestInstall::ProgramFile, "the setup program");
    TTestInstall* install = Load({}, "", kTwoFiles);
    RunInstall(install);
    ASSERT_EQ(install->Shown.size(), 1u);
    EXPECT_NE(install->Shown[0].find("-s and the folder of the distribution"), std::string::npos);
    EXPECT_EQ(std::count(Trace().begin(), Trace().end(), "read File1"), 0);
    EXPECT_FALSE(RecordExists());
}

TEST_F(Run, TheInformationIsReadOncePerProgram) {
    TTestInstall* install = LoadProject({}, "    RunAutomatic = False\n");
    install->ReadInfoFromArchive();
    install->ReadInfoFromArchive();
    EXPECT_EQ(std::count(Trace().begin(), Trace().end(), "read File1"), 1);
    EXPECT_TRUE(install->InfoRead());
}

TEST_F(Run, LongArchiveLoopsLetWindowsWorkAndACancelReachTheArchive) {
    LoadProject(); // the installation component hands the archive its message hook
    std::string source = TempPath("big.bin");
    {
        std::string bytes(4 << 20, '\0');
        uint32_t x = 12345;
        for (char& c : bytes)
            c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
        WriteTextFile(source, bytes);
    }
    // A window whose work is waiting in the queue: it goes away while the
    // archive compresses, and on its way out it cancels, as a Cancel button would.
    auto* window = new TForm(Application());
    window->OnDestroy = [](TObject*) { SharedArchive().Abort = true; };
    Application()->ReleaseForm(window);
    TQnfdCompress& archive = SharedArchive();
    bool aborted = false;
    archive.OnAborted = [&](TQnfdCompress&) { aborted = true; };
    archive.SetCompressedFile(TempPath("files.1"));
    TStringList files{source};
    archive.SetFilesToProcess(files);
    archive.Compress(false, 0);
    archive.OnAborted = nullptr;
    EXPECT_TRUE(aborted) << "the cancel did not reach the archive";

    // Gone with the component, the hook no longer runs window messages.
    Unload();
    window = new TForm(Application());
    window->OnDestroy = [](TObject*) { SharedArchive().Abort = true; };
    Application()->ReleaseForm(window);
    aborted = false;
    archive.OnAborted = [&](TQnfdCompress&) { aborted = true; };
    archive.SetCompressedFile(TempPath("files2.1"));
    archive.SetFilesToProcess(files);
    archive.Compress(false, 0);
    archive.OnAborted = nullptr;
    EXPECT_FALSE(aborted);
    Application()->ProcessMessages();
}

// --- the remote list of files ---

std::string ListBytes(int32_t count, const std::vector<TRemoteFileRecord>& records) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>(static_cast<uint32_t>(count) >> (8 * i) & 0xFF);
    for (const TRemoteFileRecord& r : records)
        s += RemoteFileRecordBytes(r);
    return s;
}

TEST_F(Run, TheRemoteListSetsSizesDatesAndVersionsByName) {
    LoadProject();
    std::string list = TempPath("filelist.lst");
    WriteTextFile(list, ListBytes(0, {}));
    ApplyRemoteFileList(list); // empty: nothing changes
    EXPECT_EQ(File("File1")->FileSize(), 0);

    const TDateTime when = EncodeDateTime(2001, 2, 3, 4, 5, 6);
    WriteTextFile(list, ListBytes(2, {{1234, when, "file2", "1.2.3.4"}, {99, when, "NoSuchFile", "9"}}));
    ApplyRemoteFileList(list);
    EXPECT_EQ(File("File2")->FileSize(), 1234);
    EXPECT_DOUBLE_EQ(File("File2")->FileDate(), when);
    EXPECT_EQ(File("File2")->FileVersion(), "1.2.3.4");
    EXPECT_EQ(File("File1")->FileSize(), 0);

    // Cut short: an error that names the file, and nothing applied.
    std::string bytes = ListBytes(2, {{5, when, "File1", "5"}, {6, when, "File2", "6"}});
    for (size_t size : {size_t{0}, size_t{3}, bytes.size() - 1}) {
        WriteTextFile(list, bytes.substr(0, size));
        try {
            ApplyRemoteFileList(list);
            ADD_FAILURE() << size << " bytes were accepted";
        } catch (const IEInstall& e) {
            EXPECT_EQ(e.Message(), "Cannot read the remote list of files: " + list);
        }
        EXPECT_EQ(File("File1")->FileSize(), 0);
    }
}

TEST(RemoteFileRecords, FieldsKeepTheirPlacesAndLimits) {
    TRemoteFileRecord r{-1, 36892.5, std::string(60, 'n'), std::string(30, 'v')};
    std::string bytes = RemoteFileRecordBytes(r);
    ASSERT_EQ(bytes.size(), 72u);
    EXPECT_EQ(bytes.substr(0, 4), std::string(4, '\xFF'));
    EXPECT_EQ(bytes[12 + 39], '\0');
    EXPECT_EQ(bytes[52 + 19], '\0');
    TMemoryStream s;
    std::string all = std::string("\x01\0\0\0", 4) + bytes;
    s.Write(all.data(), static_cast<int64_t>(all.size()));
    s.SetPosition(0);
    auto records = ReadRemoteFileRecords(s, "x");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].FileSize, -1);
    EXPECT_DOUBLE_EQ(records[0].FileDate, 36892.5);
    EXPECT_EQ(records[0].Name, std::string(39, 'n'));
    EXPECT_EQ(records[0].Version, std::string(19, 'v'));
    // Fields without their terminator keep all but their last byte.
    std::string raw =
        std::string("\x01\0\0\0", 4) + bytes.substr(0, 12) + std::string(40, 'N') + std::string(20, 'V');
    TMemoryStream unterminated;
    unterminated.Write(raw.data(), static_cast<int64_t>(raw.size()));
    unterminated.SetPosition(0);
    records = ReadRemoteFileRecords(unterminated, "x");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Name, std::string(39, 'N'));
    EXPECT_EQ(records[0].Version, std::string(19, 'V'));
    // A count far beyond the bytes, or below zero, is refused before anything is read.
    for (uint32_t count : {0x7FFFFFFFu, 0xFFFFFFFFu}) {
        TMemoryStream big;
        std::string head(4, '\0');
        for (int i = 0; i < 4; ++i)
            head[static_cast<size_t>(i)] = static_cast<char>(count >> (8 * i) & 0xFF);
        big.Write(head.data(), 4);
        big.SetPosition(0);
        EXPECT_THROW(ReadRemoteFileRecords(big, "x"), IEInstall) << count;
    }
}

// --- the log ---

TEST_F(Run, TheLogNamesEveryStepAndANewRunGetsTheNextNumber) {
    TTestInstall* install = LoadProject();
    File("File1")->SetRunAfterInstall(true);
    std::string first = NewLogFileName(TempDir());
    RunInstall(install);
    ASSERT_TRUE(FileExists(first)) << first;
    EXPECT_FALSE(LogIsOpen());
    std::string log = ReadWholeFile(first);
    for (const char* step :
         {"Setup: installation of My product", "Run: install record HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenfold",
          "Event: OnBeforeReadArchiveInfo", "Run: reading file information", "Event: OnAfterInitialized",
          "Run: installing the objects", "Run: good installation", "Event: OnAfterNotifyGoodInstall",
          "Registry: removed the install record", "Event: OnBeforeShutdown", "Event: OnBeforeRunFile",
          "Run: ended"})
        EXPECT_NE(log.find(step), std::string::npos) << step << "\n" << log;

    Unload();
    install = LoadProject();
    File("File2")->Fail = true;
    std::string second = NewLogFileName(TempDir());
    EXPECT_NE(second, first);
    RunInstall(install);
    log = ReadWholeFile(second);
    EXPECT_NE(log.find("Run: failed. IECustomInstallFile: File2 failed on purpose"), std::string::npos)
        << log;
}

} // namespace

// A web distribution fetches "filelist.lst" through its net install location.
TEST_F(Run, AWebDistributionReadsTheRemoteListFromItsServer) {
    TTempFolder served, serverWork;
    const TDateTime when = EncodeDateTime(2002, 3, 4, 5, 6, 8);
    WriteTextFile(served / "filelist.lst", ListBytes(1, {{4321, when, "File1", "2.0.0.1"}}));
    std::unique_ptr<TLocalServer> http;
    try {
        http = std::make_unique<TLocalServer>("http", served.Path(), serverWork.Path());
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    // Stored as an author would: the location and the distribution type.
    const std::string web = "    NetLocation = Net1\n    DistributeType = dtWeb\n";
    const std::string net =
        "  object Net1: TNetInstallLocation\n    LoginInformation.Hostname = '" + http->Host() + "'\n  end\n";
    TTestInstall* install = LoadProject({}, web, net);
    DownloadAborted = true; // left over from a cancelled download: a new run starts afresh

    RunInstall(install);
    EXPECT_EQ(File("File1")->FileSize(), 4321);
    EXPECT_DOUBLE_EQ(File("File1")->FileDate(), when);
    EXPECT_EQ(File("File1")->FileVersion(), "2.0.0.1");
    EXPECT_TRUE(install->Shown.empty()) << install->Shown.front();

    // Without the list on the server the run fails with the server's word.
    RemoveFile(served / "filelist.lst");
    Unload();
    TTestInstall* again = LoadProject({}, web, net);
    RunInstall(again);
    ASSERT_EQ(again->Shown.size(), 1u);
    EXPECT_NE(again->Shown[0].find("Could not find the file"), std::string::npos) << again->Shown[0];
    EXPECT_EQ(File("File1")->FileSize(), 0);
}

namespace {
TDownloadDigest DigestOf(const std::string& name, const std::string& bytes) {
    TSha256 sha;
    sha.Update(bytes.data(), bytes.size());
    return {name, sha.Finish()};
}

} // namespace

// The remote list is read only when it is the one the build recorded, and an
// archive kept from an earlier run is checked before anything reads it.
TEST_F(Run, AWebDistributionChecksWhatItFetchesAgainstTheBuildsDigests) {
    TTempFolder served, serverWork;
    const TDateTime when = EncodeDateTime(2002, 3, 4, 5, 6, 8);
    const std::string list = ListBytes(1, {{4321, when, "File1", "2.0.0.1"}});
    WriteTextFile(served / "filelist.lst", list);
    std::unique_ptr<TLocalServer> http;
    try {
        http = std::make_unique<TLocalServer>("http", served.Path(), serverWork.Path());
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    const std::string web = "    NetLocation = Net1\n    DistributeType = dtWeb\n";
    const std::string net =
        "  object Net1: TNetInstallLocation\n    LoginInformation.Hostname = '" + http->Host() + "'\n  end\n";
    // digests.lst beside the setup program, as the loading program unpacks it.
    const std::string archive = "the archive Install1.1 as it was built";
    WriteTextFile(TempPath("digests.lst"),
                  DownloadDigestsText({DigestOf("filelist.lst", list), DigestOf("Install1.1", archive)}));

    TTestInstall* install = LoadProject({}, web, net);
    // A copy of Install1.1 kept from an earlier run of this program, changed since.
    const std::string record = install->FindInstallRecord(true);
    ASSERT_FALSE(record.empty());
    const std::string kept = TempPath("bat1234.1");
    std::string changed = archive;
    changed[4] = 'A';
    WriteTextFile(kept, changed);
    {
        TRegKey k;
        ASSERT_TRUE(k.Create(RegLocalMachine, record + "\\Install1"));
        ASSERT_TRUE(k.WriteString("LocalFile", kept));
    }
    std::string log = NewLogFileName(TempDir());
    RunInstall(install);
    EXPECT_TRUE(install->Shown.empty()) << install->Shown.front();
    EXPECT_EQ(File("File1")->FileVersion(), "2.0.0.1");
    EXPECT_FALSE(FileExists(kept)) << "the changed copy goes before anything reads it";
    EXPECT_TRUE(install->LocalArchive().empty());
    log = ReadWholeFile(log);
    for (const char* line : {"Digest: downloads are checked against the 2 SHA-256 digests of the build",
                             "Digest: the copy of Install1.1 kept in", "is removed and downloaded again",
                             "Digest: filelist.lst is the build's"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;

    // A list of the same size whose versions differ is refused before they count.
    WriteTextFile(served / "filelist.lst", ListBytes(1, {{4321, when, "File1", "9.9.9.9"}}));
    Unload();
    TTestInstall* again = LoadProject({}, web, net);
    log = NewLogFileName(TempDir());
    RunInstall(again);
    ASSERT_EQ(again->Shown.size(), 1u);
    EXPECT_EQ(again->Shown[0], "The file filelist.lst downloaded from " + http->Host() +
                                   " is not the one this distribution was built with. It was removed.");
    EXPECT_EQ(File("File1")->FileVersion(), "");
    EXPECT_NE(ReadWholeFile(log).find("the build recorded " + DigestToHex(DigestOf("", list).Digest)),
              std::string::npos);

    // A distribution built before the digests takes the list as it comes, and says so.
    RemoveFile(TempPath("digests.lst"));
    Unload();
    TTestInstall* old = LoadProject({}, web, net);
    log = NewLogFileName(TempDir());
    RunInstall(old);
    EXPECT_TRUE(old->Shown.empty()) << old->Shown.front();
    EXPECT_EQ(File("File1")->FileVersion(), "9.9.9.9");
    EXPECT_NE(ReadWholeFile(log).find("Digest: the distribution carries no digests of its downloads"),
              std::string::npos);

    // A damaged list fails the run before anything is fetched.
    WriteTextFile(TempPath("digests.lst"), "not a digest  filelist.lst\r\n");
    Unload();
    http->ClearRequests();
    TTestInstall* damaged = LoadProject({}, web, net);
    RunInstall(damaged);
    ASSERT_EQ(damaged->Shown.size(), 1u);
    EXPECT_EQ(damaged->Shown[0], "The list of download digests " + TempPath("digests.lst") +
                                     " is damaged: line 1 is not a digest and a file name");
    EXPECT_TRUE(http->Requests().empty());
}
