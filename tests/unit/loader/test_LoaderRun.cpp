// The loading program's run with a stand-in for the system: what it unpacks
// where, what it starts, what it says about damaged files, and that a
// failure leaves nothing behind.
#include "LoaderTestSupport.h"
#include "loader/loader_Run.h"
#include "platform/routines_CommandLine.h"
#include "platform/types_TemporaryCopy.h"
#include <set>

namespace {

struct TStarted {
    std::string Program, Line;
    std::vector<std::string> Files; // of the program's folder, when it started
    std::string ProgramBytes;
    std::vector<std::string> Held; // what the loader held while it waited
};

// A file the loader holds, as the fake host sees it: known by path while it lives.
class TTrackedStream : public TStream {
public:
    TTrackedStream(std::unique_ptr<TStream> inner, std::multiset<std::string>& held, const std::string& path)
        : FInner(std::move(inner)), FHeld(held), FPath(path) {
        FHeld.insert(FPath);
    }
    ~TTrackedStream() override { FHeld.erase(FHeld.find(FPath)); }
    int64_t Read(void* buffer, int64_t count) override { return FInner->Read(buffer, count); }
    int64_t Write(const void* buffer, int64_t count) override { return FInner->Write(buffer, count); }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override { return FInner->Seek(offset, origin); }

private:
    std::unique_ptr<TStream> FInner;
    std::multiset<std::string>& FHeld;
    std::string FPath;
};

class TFakeHost : public TLoaderHost {
public:
    std::vector<std::pair<std::string, std::string>> Errors; // caption, text
    std::vector<TStarted> Started;
    uint32_t ExitCode = 0;
    bool CanStart = true;
    // What the setup program does while the loader waits (its folder given).
    std::function<void(const std::string&)> WhileRunning;
    // Called before each hold of a file: may change it first, or refuse it.
    std::function<void(const std::string&)> BeforeHold;
    std::multiset<std::string> HeldNow;
    std::vector<std::string> Folders; // made by MakeFolder
    int Pauses = 0;
    std::function<void(int)> OnPause;
    std::function<std::unique_ptr<TStream>(const std::string&)> Open;

    void ShowError(const std::string& caption, const std::string& text) override {
        Errors.emplace_back(caption, text);
    }
    bool RunAndWait(const std::string& program, const std::string& line, uint32_t& code,
                    std::string& why) override {
        if (!CanStart) {
            why = "The system cannot start it.";
            return false;
        }
        Started.push_back({program, line, ListDirectory(ExtractFilePath(program)), ReadWholeFile(program),
                           std::vector<std::string>(HeldNow.begin(), HeldNow.end())});
        if (WhileRunning)
            WhileRunning(ExtractFilePath(program));
        code = ExitCode;
        return true;
    }
    void Pause(uint32_t) override {
        if (OnPause)
            OnPause(Pauses);
        ++Pauses;
    }
    std::unique_ptr<TStream> OpenShared(const std::string& path) override {
        return Open ? Open(path) : TLoaderHost::OpenShared(path);
    }
    std::unique_ptr<TStream> OpenHeld(const std::string& path) override {
        if (BeforeHold)
            BeforeHold(path);
        return std::make_unique<TTrackedStream>(TLoaderHost::OpenHeld(path), HeldNow, path);
    }
    bool MakeFolder(const std::string& path) override {
        Folders.push_back(path);
        return TLoaderHost::MakeFolder(path);
    }
};

struct LoaderRun : ::testing::Test {
    TTempFolder dir;
    std::string temp = dir / "temp\\";
    std::string dist = dir / "My Dist\\";
    std::string loader = dist + "setup.exe";
    std::string stub = std::string(3000, 'L');
    std::string program = "program bytes of the setup " + std::string(5000, 'p');
    std::string filesInf = "C:\\WINDOWS\\SYSTEM\\saver.scr\r\n";
    TFakeHost host;
    TPayloadSeal seal;

    LoaderRun() {
        ForceDirectory(dist);
        ForceDirectory(temp);
        ForceDirectory(dir / "src");
        WriteTextFile(loader, stub);
    }

    std::string Setup1(const std::string& programName, const std::string& content) {
        std::string folder = dir / ("src\\" + programName + ".d\\");
        ForceDirectory(folder);
        WriteTextFile(folder + programName, content);
        WriteTextFile(folder + "files.inf", filesInf);
        std::string archive = folder + "setup.1";
        MakeArchive(archive, {folder + programName, folder + "files.inf"});
        return archive;
    }
    std::string Files1() {
        WriteTextFile(dir / "src\\saver.scr", std::string(20000, 's'));
        MakeArchive(dir / "src\\files.1", {dir / "src\\saver.scr"});
        return dir / "src\\files.1";
    }
    // The distribution as the build makes it; the running image carries its seal.
    TExtractionInfo Distribution(const std::string& title = "SaverName Screen Saver", bool checksum = true) {
        TExtractionInfo info =
            AppendDistribution(loader, Setup1("setup.exe", program), Files1(), title, checksum);
        seal = SealFor(loader);
        return info;
    }
    uint32_t Run(std::vector<std::string> args = {}) {
        TLoaderRequest r;
        r.LoaderPath = loader;
        r.Args = std::move(args);
        r.TempDir = temp;
        r.Seal = seal;
        return RunLoader(r, host);
    }
    std::vector<std::string> TempContent() { return ListDirectory(temp); }
    std::vector<std::string> StartedParams(size_t i = 0) { return SplitCommandLine(host.Started.at(i).Line); }
};

TEST_F(LoaderRun, UnpacksSetup1IntoAFolderOfItsOwnAndPassesOnTheExitCode) {
    Distribution();
    host.ExitCode = 3;
    EXPECT_EQ(Run(), 3u);
    ASSERT_EQ(host.Started.size(), 1u);
    EXPECT_TRUE(host.Errors.empty());
    const TStarted& s = host.Started[0];
    // A new folder directly in the temporary folder, holding every file of setup.1.
    std::string folder = ExtractFilePath(s.Program);
    EXPECT_EQ(ExtractFilePath(RemoveBackslash(folder)), temp);
    EXPECT_EQ(host.Folders, std::vector<std::string>{RemoveBackslash(folder)});
    // Named "qfdsetup" and 16 random hexadecimal digits: no blank in it.
    const std::string name = ExtractFileName(RemoveBackslash(folder));
    EXPECT_EQ(name.size(), 24u) << name;
    EXPECT_EQ(name.rfind("qfdsetup", 0), 0u) << name;
    EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 8), std::string::npos) << name;
    EXPECT_EQ(ExtractFileName(s.Program), "setup.exe");
    EXPECT_EQ(s.ProgramBytes, program);
    std::vector<std::string> files = s.Files;
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"files.inf", "setup.exe"}));
    EXPECT_EQ(StartedParams(),
              (std::vector<std::string>{s.Program, "-s" + RemoveBackslash(dist), "-esetup.exe", "-cl"}));
    // Once the setup program has ended, the loader takes the folder away itself.
    EXPECT_TRUE(TempContent().empty());
    EXPECT_TRUE(host.HeldNow.empty());
    EXPECT_EQ(host.Pauses, 0);
}

TEST_F(LoaderRun, ToDiskAndOtherArgumentsReachTheSetupProgram) {
    Distribution();
    EXPECT_EQ(Run({"*TODISK", "-q"}), 0u);
    ASSERT_EQ(host.Started.size(), 1u);
    std::vector<std::string> p = StartedParams();
    EXPECT_EQ(std::vector<std::string>(p.begin() + 1, p.end()),
              (std::vector<std::string>{"-s" + RemoveBackslash(dist), "-esetup.exe", "-cl", "-f", "-q"}));
}

TEST_F(LoaderRun, WhileItWaitsItHoldsWhatTheSetupProgramReads) {
    Distribution();
    std::vector<std::string> refused;
    host.WhileRunning = [&](const std::string& folder) {
        // What another program of the user would try meanwhile.
        for (const std::string& path : {loader, folder + "setup.exe", folder + "files.inf"}) {
            try {
                TFileStream writer(path, fmOpenReadWrite | fmShareDenyNone);
            } catch (const Exception&) {
                refused.push_back(path);
            }
        }
    };
    EXPECT_EQ(Run(), 0u);
    ASSERT_EQ(host.Started.size(), 1u);
    std::string folder = ExtractFilePath(host.Started[0].Program);
    std::vector<std::string> held = host.Started[0].Held;
    std::sort(held.begin(), held.end());
    EXPECT_EQ(held, (std::vector<std::string>{loader, folder + "files.inf", folder + "setup.exe"}));
#ifdef _WIN32
    // Windows enforces the sharing: no writer gets in.
    EXPECT_EQ(refused.size(), 3u);
#endif
    // Afterwards it lets go of everything and removes the folder.
    EXPECT_TRUE(host.HeldNow.empty());
    EXPECT_TRUE(TempContent().empty());
}

TEST_F(LoaderRun, TheCopyStaysWhenTheSetupProgramAsksForIt) {
    // The run after a restart starts the copy again.
    Distribution();
    host.ExitCode = 3;
    host.WhileRunning = [](const std::string& folder) { WriteTextFile(folder + kKeepCopyMarker, ""); };
    EXPECT_EQ(Run(), 3u);
    ASSERT_EQ(TempContent().size(), 1u);
    std::string folder = temp + TempContent()[0];
    std::vector<std::string> files = ListDirectory(folder);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"files.inf", "setup.exe", kKeepCopyMarker}));
    // Nothing is held any more: the setup program may go after the restart.
    EXPECT_TRUE(host.HeldNow.empty());
    EXPECT_TRUE(RemoveFile(folder + "\\setup.exe"));
}

TEST_F(LoaderRun, AnUnpackedFileChangedBeforeItIsHeldIsRefused) {
    Distribution();
    struct Case {
        const char* what;
        std::function<void(const std::string&)> change; // before the hold of this path
        std::string detail;
    };
    auto inFolder = [&](const std::string& path, const char* name) {
        return ExtractFilePath(RemoveBackslash(ExtractFilePath(path))) == temp &&
               ExtractFileName(path) == name;
    };
    const Case cases[] = {
        {"same size, other bytes",
         [&](const std::string& path) {
             if (inFolder(path, "files.inf"))
                 WriteTextFile(path, std::string(filesInf.size(), 'X'));
         },
         Format("holds %d bytes now; %d were unpacked",
                {static_cast<long long>(filesInf.size()), static_cast<long long>(filesInf.size())})},
        {"longer",
         [&](const std::string& path) {
             if (inFolder(path, "setup.exe"))
                 WriteTextFile(path, program + "and more");
         },
         "were unpacked"},
        {"a file planted beside the program",
         [&](const std::string& path) {
             if (inFolder(path, "setup.exe"))
                 WriteTextFile(ExtractFilePath(path) + "version.dll", "planted");
         },
         "This program did not unpack it."},
        {"held by another program",
         [&](const std::string& path) {
             if (inFolder(path, "files.inf"))
                 throw EFOpenError("Cannot open file. The process cannot access the file.");
         },
         "The process cannot access the file."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.Errors.clear();
        host.BeforeHold = c.change;
        EXPECT_EQ(Run(), lecChanged);
        EXPECT_TRUE(host.Started.empty());
        ASSERT_EQ(host.Errors.size(), 1u);
        const std::string& text = host.Errors[0].second;
        EXPECT_NE(text.find("Another program changed " + temp), std::string::npos) << text;
        EXPECT_NE(text.find("the setup does not start it"), std::string::npos) << text;
        EXPECT_NE(text.find(c.detail), std::string::npos) << text;
        EXPECT_TRUE(TempContent().empty());
        EXPECT_TRUE(host.HeldNow.empty());
    }
}

TEST_F(LoaderRun, RemovalWaitsBrieflyWhileTheSystemStillHoldsTheProgram) {
#ifndef _WIN32
    GTEST_SKIP() << "only Windows keeps a file that is open from being removed";
#else
    Distribution();
    std::unique_ptr<TFileStream> image;
    host.WhileRunning = [&](const std::string& folder) {
        image = std::make_unique<TFileStream>(folder + "setup.exe", fmOpenRead | fmShareDenyNone);
    };
    host.OnPause = [&](int n) {
        if (n == 2)
            image.reset();
    };
    EXPECT_EQ(Run(), 0u);
    EXPECT_EQ(host.Pauses, 3);
    EXPECT_TRUE(TempContent().empty());

    // Held for good: a bounded wait; the folder stays and the setup's code still comes back.
    host.OnPause = nullptr;
    host.Pauses = 0;
    host.ExitCode = 1;
    EXPECT_EQ(Run(), 1u);
    EXPECT_EQ(host.Pauses, kRemoveAttempts - 1);
    EXPECT_EQ(TempContent().size(), 1u);
    image.reset();
#endif
}

TEST_F(LoaderRun, TheNewestOfSeveralBuildsRuns) {
    AppendDistribution(loader, Setup1("old.exe", "old program"), Files1(), "Old Screen Saver");
    AppendDistribution(loader, Setup1("new.exe", "new program"), "", "New Screen Saver");
    seal = SealFor(loader);
    EXPECT_EQ(Run(), 0u);
    ASSERT_EQ(host.Started.size(), 1u);
    EXPECT_EQ(ExtractFileName(host.Started[0].Program), "new.exe");
    EXPECT_EQ(host.Started[0].ProgramBytes, "new program");
}

TEST_F(LoaderRun, DamagedFilesGetTheirMessageAndWriteNothing) {
    TExtractionInfo info = Distribution();
    std::string good = ReadWholeFile(loader);
    int64_t size = static_cast<int64_t>(good.size());
    int64_t record = size - kExtractionInfoSize;
    struct Case {
        const char* what;
        std::function<void()> damage;
        const char* caption;
        const char* reason;
    };
    const Case cases[] = {
        {"cut in files.1", [&] { CutFile(loader, info.Files1Start + 100); }, "Setup", "SELFEXTRACTING"},
        {"cut in the stub", [&] { CutFile(loader, 1000); }, "Setup", "no setup.1 beside it"},
        {"record zeroed", [&] { PatchFile(loader, record, std::string(136, '\0')); }, "Setup",
         "SELFEXTRACTING"},
        {"setup.1 past the end",
         [&] { PatchFile(loader, record + 20, Int32Bytes(static_cast<int32_t>(size))); },
         "SaverName Screen Saver", "do not lie inside the file"},
        {"files.1 past the end",
         [&] { PatchFile(loader, record + 28, Int32Bytes(static_cast<int32_t>(size))); },
         "SaverName Screen Saver", "product archive"},
        {"setup.1 at the last offset of 32 bits", [&] { PatchFile(loader, record + 16, Int32Bytes(-1)); },
         "SaverName Screen Saver", "bytes 4294967295 to"},
    };
    const TPayloadSeal sealed = seal;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A loading program of this version is sealed: whatever the damage,
        // the file is not the one it was built with.
        for (bool withSeal : {true, false}) {
            WriteTextFile(loader, good);
            c.damage();
            seal = withSeal ? sealed : TPayloadSeal{};
            host.Errors.clear();
            EXPECT_EQ(Run(), lecDamaged);
            EXPECT_TRUE(host.Started.empty());
            ASSERT_EQ(host.Errors.size(), 1u);
            EXPECT_EQ(host.Errors[0].first, withSeal ? "Setup" : c.caption);
            const std::string& text = host.Errors[0].second;
            EXPECT_NE(text.find("The setup file " + loader + " is damaged and cannot be run."),
                      std::string::npos)
                << text;
            EXPECT_NE(text.find(withSeal ? "replaced or changed after it was built" : c.reason),
                      std::string::npos)
                << text;
            EXPECT_TRUE(TempContent().empty());
        }
    }
}

TEST_F(LoaderRun, AChangedByteAnywhereBeforeTheRecordIsRefusedBeforeAnythingIsUnpacked) {
    TExtractionInfo info = Distribution("Checked Screen Saver");
    const std::string good = ReadWholeFile(loader);
    const int64_t record = static_cast<int64_t>(good.size()) - kExtractionInfoSize;
    struct Case {
        const char* what;
        int64_t at;
    };
    const Case cases[] = {
        {"in the loading program", 1500},
        {"in setup.1", (info.Setup1Start + info.Setup1End) / 2},
        {"in files.1", info.Files1End},
        {"in the record's title", record + 60},
    };
    // Without a temporary folder a run that got as far as making its folder
    // ends with lecNoFolder: the refusal comes before that.
    const std::string realTemp = temp;
    temp = dir / "no temporary folder\\";
    EXPECT_EQ(Run({"-q"}), lecNoFolder);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bad = good;
        bad[static_cast<size_t>(c.at)] ^= 0x01;
        WriteTextFile(loader, bad);
        host.Errors.clear();
        EXPECT_EQ(Run(), lecDamaged);
        EXPECT_TRUE(host.Started.empty());
        ASSERT_EQ(host.Errors.size(), 1u);
        const std::string& text = host.Errors[0].second;
        EXPECT_NE(text.find("The setup file " + loader + " is damaged and cannot be run."), std::string::npos)
            << text;
        EXPECT_NE(text.find("does not match the checksum written when it was built"), std::string::npos)
            << text;
        EXPECT_NE(text.find("Please get a new copy of it."), std::string::npos) << text;
    }
    EXPECT_FALSE(DirectoryExists(temp));
    temp = realTemp;
    // A record without a checksum or seal was not appended by this version's build.
    WriteTextFile(loader, stub);
    Distribution("Unchecked Screen Saver", false);
    seal = TPayloadSeal{};
    host.Errors.clear();
    EXPECT_EQ(Run(), lecDamaged);
    EXPECT_TRUE(host.Started.empty());
    ASSERT_EQ(host.Errors.size(), 1u);
    EXPECT_NE(host.Errors[0].second.find("was not appended by a build"), std::string::npos)
        << host.Errors[0].second;
}

// The attack the seal is for: a record and a checksum anyone can compute
// again. Another setup.1 put in, the record and its checksum made anew to
// match: the file checks out by itself, but it is not the one the running
// program was built with.
TEST_F(LoaderRun, AForgedRecordWithItsChecksumMadeAnewIsRefused) {
    Distribution("Genuine Screen Saver");
    const TPayloadSeal genuine = seal;
    WriteTextFile(loader, stub);
    AppendDistribution(loader, Setup1("setup.exe", "another program"), Files1(), "Genuine Screen Saver");
    seal = genuine;
    EXPECT_EQ(Run({"-q"}), lecDamaged);
    EXPECT_TRUE(host.Started.empty());
    EXPECT_TRUE(TempContent().empty());
    // The same file with the seal its own build gives it runs.
    seal = SealFor(loader);
    EXPECT_EQ(Run({"-q"}), 0u);
    ASSERT_EQ(host.Started.size(), 1u);
    EXPECT_EQ(host.Started[0].ProgramBytes, "another program");
}

TEST_F(LoaderRun, ASignedDistributionRunsAndIsRefusedWhenItsBodyChangesAfterTheSigning) {
    WriteTextFile(loader, FakePeImage(4000));
    TExtractionInfo info = Distribution();
    std::string image = ReadWholeFile(loader);
    ASSERT_EQ(image.size() % 8, 0u);
    FakeSign(image);
    WriteTextFile(loader, image);
    EXPECT_EQ(Run(), 0u);
    EXPECT_TRUE(host.Errors.empty());
    ASSERT_EQ(host.Started.size(), 1u);
    EXPECT_EQ(host.Started[0].ProgramBytes, program);
    for (const std::string& n : ListDirectory(temp)) {
        for (const std::string& f : ListDirectory(temp + n))
            RemoveFile(temp + n + "\\" + f);
        RemoveDir(temp + n);
    }

    image[static_cast<size_t>(info.Files1Start) + 10] ^= 0x40;
    WriteTextFile(loader, image);
    EXPECT_EQ(Run(), lecDamaged);
    EXPECT_EQ(host.Started.size(), 1u);
    EXPECT_TRUE(TempContent().empty());
    ASSERT_EQ(host.Errors.size(), 1u);
    EXPECT_EQ(host.Errors[0].first, "SaverName Screen Saver");
    EXPECT_NE(host.Errors[0].second.find("does not match the checksum"), std::string::npos)
        << host.Errors[0].second;
}

TEST_F(LoaderRun, QuietShowsNothingButKeepsTheExitCode) {
    CutFile(loader, 1000);
    EXPECT_EQ(Run({"-Q"}), lecDamaged);
    EXPECT_TRUE(host.Errors.empty());
    EXPECT_TRUE(TempContent().empty());
}

TEST_F(LoaderRun, ADamagedSetup1IsTakenAwayAgain) {
    // A loading program without a record runs the setup.1 beside it: only
    // the archive's own checks find the damage.
    const std::string setup1 = Setup1("setup.exe", program);
    CopyFileTo(setup1, dist + "setup.1", false);
    PatchFile(dist + "setup.1", 5 + 172 + 20, std::string(64, '\x55'));
    EXPECT_EQ(Run(), lecExtractFail);
    EXPECT_TRUE(host.Started.empty());
    ASSERT_EQ(host.Errors.size(), 1u);
    EXPECT_NE(host.Errors[0].second.find("Cannot unpack the setup program from " + dist + "setup.1"),
              std::string::npos)
        << host.Errors[0].second;
    EXPECT_TRUE(TempContent().empty());
}

TEST_F(LoaderRun, TheArchiveIsReadOnlyInsideSetup1) {
    // A member whose data would run on into files.1 is refused, not read from there.
    const std::string setup1 = Setup1("setup.exe", program);
    const auto setup1Size = static_cast<int32_t>(FileSizeOf(setup1));
    PatchFile(setup1, 5 + 16, Int32Bytes(setup1Size + 100)); // EndOffset of the first member
    AppendDistribution(loader, setup1, Files1(), "SaverName Screen Saver");
    seal = SealFor(loader);
    EXPECT_EQ(Run(), lecExtractFail);
    EXPECT_TRUE(host.Started.empty());
    EXPECT_TRUE(TempContent().empty());
}

TEST_F(LoaderRun, Setup1MustStartWithAProgram) {
    WriteTextFile(dir / "src\\readme.txt", "text");
    MakeArchive(dir / "src\\text.1", {dir / "src\\readme.txt"});
    AppendDistribution(loader, dir / "src\\text.1", "", "T");
    seal = SealFor(loader);
    EXPECT_EQ(Run(), lecExtractFail);
    ASSERT_EQ(host.Errors.size(), 1u);
    EXPECT_NE(host.Errors[0].second.find("holds no setup program: its first file is readme.txt"),
              std::string::npos)
        << host.Errors[0].second;
    EXPECT_TRUE(TempContent().empty());

    MakeArchive(dir / "src\\empty.1", {});
    AppendDistribution(loader, dir / "src\\empty.1", "", "T");
    seal = SealFor(loader);
    host.Errors.clear();
    EXPECT_EQ(Run(), lecExtractFail);
    ASSERT_EQ(host.Errors.size(), 1u);
    EXPECT_NE(host.Errors[0].second.find("holds no files"), std::string::npos) << host.Errors[0].second;
    EXPECT_TRUE(TempContent().empty());
}

TEST_F(LoaderRun, AProgramThatCannotStartIsReportedAndTakenAway) {
    Distribution();
    host.CanStart = false;
    EXPECT_EQ(Run(), lecStartFail);
    ASSERT_EQ(host.Errors.size(), 1u);
    EXPECT_NE(host.Errors[0].second.find("Cannot start the setup program " + temp), std::string::npos)
        << host.Errors[0].second;
    EXPECT_NE(host.Errors[0].second.find("The system cannot start it."), std::string::npos);
    EXPECT_TRUE(TempContent().empty());
}

TEST_F(LoaderRun, NoTemporaryFolderIsReported) {
    Distribution();
    temp = dir / "missing\\";
    EXPECT_EQ(Run(), lecNoFolder);
    ASSERT_EQ(host.Errors.size(), 1u);
    EXPECT_NE(host.Errors[0].second.find("in the temporary folder " + temp), std::string::npos);
    EXPECT_FALSE(DirectoryExists(temp));
}

TEST_F(LoaderRun, AFileStillBeingWrittenIsAwaited) {
    // The download is not complete when the program starts: while it writes,
    // the file cannot be held; once it is done, the loader holds it and runs.
    Distribution();
    std::string whole = ReadWholeFile(loader);
    WriteTextFile(loader, whole.substr(0, whole.size() - 500));
    bool writing = true;
    host.BeforeHold = [&](const std::string& path) {
        if (writing && path == loader)
            throw EFOpenError("Cannot open file. The process cannot access the file.");
    };
    host.OnPause = [&](int n) {
        if (n == 0)
            WriteTextFile(loader, whole.substr(0, whole.size() - 200));
        else if (n == 1) {
            WriteTextFile(loader, whole);
            writing = false;
        }
    };
    EXPECT_EQ(Run(), 0u);
    EXPECT_EQ(host.Pauses, 2);
    EXPECT_TRUE(host.Errors.empty());
    ASSERT_EQ(host.Started.size(), 1u);
    EXPECT_EQ(host.Started[0].ProgramBytes, program);

    // Written for good: a bounded wait, then the system's reason.
    writing = true;
    host.OnPause = nullptr;
    host.Pauses = 0;
    EXPECT_EQ(Run(), lecDamaged);
    EXPECT_EQ(host.Pauses, kOpenAttempts - 1);
    ASSERT_EQ(host.Errors.size(), 1u);
    EXPECT_NE(host.Errors[0].second.find("Cannot read the setup file " + loader), std::string::npos);
    EXPECT_NE(host.Errors[0].second.find("The process cannot access the file."), std::string::npos);

    // A file that stops short of its record is damaged: one look again, then the message.
    writing = false;
    WriteTextFile(loader, whole.substr(0, whole.size() - 500));
    host.Pauses = 0;
    EXPECT_EQ(Run(), lecDamaged);
    EXPECT_EQ(host.Pauses, 1);
    EXPECT_TRUE(TempContent().empty());
}

TEST_F(LoaderRun, AFileHeldByAnotherProgramIsOpenedOnceItIsFree) {
    Distribution();
    int refusals = 3;
    host.Open = [&](const std::string& path) -> std::unique_ptr<TStream> {
        if (refusals > 0) {
            --refusals;
            throw EFOpenError("Cannot open file \"" + path + "\". The process cannot access the file.");
        }
        return std::make_unique<TFileStream>(path, fmOpenRead | fmShareDenyNone);
    };
    EXPECT_EQ(Run(), 0u);
    EXPECT_EQ(host.Pauses, 3);
    ASSERT_EQ(host.Started.size(), 1u);

    // Held for good: a bounded wait, then the system's reason.
    refusals = 1000;
    host.Pauses = 0;
    EXPECT_EQ(Run(), lecDamaged);
    EXPECT_EQ(host.Pauses, kOpenAttempts - 1);
    ASSERT_EQ(host.Errors.size(), 1u);
    EXPECT_NE(host.Errors[0].second.find("Cannot read the setup file " + loader), std::string::npos);
    EXPECT_NE(host.Errors[0].second.find("The process cannot access the file."), std::string::npos);
    EXPECT_TRUE(TempContent().empty());
}

} // namespace
