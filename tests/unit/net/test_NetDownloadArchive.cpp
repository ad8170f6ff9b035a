// File containers and install files fetch their archive through their
// network install location: from a local HTTP server, with the progress
// relayed to the dialogs, the copy registered for the rest of the
// installation, and a cancel or a failure leaving nothing behind.
#include "LocalServer.h"
#include "objects/cmp_TNetInstallLocation.h"
#include "objects/routines_Downloads.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_Journal.h"
#include "platform/routines_TrustedFolder.h"
#include "support/IsolatedTest.h"
#include "support/TrustedListCheck.h"
#include "unit/objects/ObjectTestSupport.h"
#include <set>

namespace {
const char* const RecordKey = "SOFTWARE\\Quenfold\\Install\\NetTest";

std::string Bytes(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    for (char& c : s) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return s;
}
const std::string BoxArchive = Bytes(30000, 7);
const std::string FileArchive = "the file's own archive";

// Records the progress calls the location makes.
class TWatchedContainer : public TFileContainer {
public:
    using TFileContainer::TFileContainer;
    void DownloadStatus(const std::string& RemoteFile, Integer ChunkSize, Integer DownloadedBytes,
                        Integer DownloadSize, const void* Buffer) override {
        Calls.push_back({RemoteFile, ChunkSize, DownloadedBytes, DownloadSize});
        if (CancelAtCall && static_cast<int>(Calls.size()) == CancelAtCall)
            DownloadAborted = true; // the progress window's Cancel
        TFileContainer::DownloadStatus(RemoteFile, ChunkSize, DownloadedBytes, DownloadSize, Buffer);
    }
    struct Call {
        std::string remote;
        Integer chunk, done, size;
    };
    std::vector<Call> Calls;
    int CancelAtCall = 0;
};
} // namespace

class NetDownloadArchive : public TIsolatedTest, protected TObjectTreeFixture {
protected:
    static void SetUpTestSuite() {
        Root = std::make_unique<TTempFolder>();
        Work = std::make_unique<TTempFolder>();
        WriteTextFile(*Root / "Box.1", BoxArchive);
        WriteTextFile(*Root / "File.1", FileArchive);
        try {
            Http = std::make_unique<TLocalServer>("http", Root->Path(), Work->Path());
        } catch (const std::exception& e) {
            StartFailure = e.what();
        }
    }
    static void TearDownTestSuite() {
        Http.reset();
        Work.reset();
        Root.reset();
    }
    void SetUp() override {
        TIsolatedTest::SetUp();
        ASSERT_TRUE(StartFailure.empty()) << StartFailure;
        MakeOwner();
        RunState().InstallRecordKey = RecordKey;
        DownloadAborted = false;
        ForgetDownloadDigests();
        Http->ClearRequests();
        Box = Make<TWatchedContainer>("Box");
        Dialog = Make<TTestDialog>("Dialog", Box);
        Location = new TNetInstallLocation(Owner);
        Location->SetName("Net1");
        Location->LoginInformation().SetHostname(Http->Host());
        Box->SetNetLocation(Location);
    }
    void TearDown() override {
        // Downloaded archives are kept until the run ends.
        ReleaseAllDownloads();
        for (const std::string& path : Downloaded)
            RemoveFile(path);
        ForgetDownloadDigests();
        RemoveDownloadFolderIfEmpty();
        FreeOwner();
        TIsolatedTest::TearDown();
    }
    std::string Registered(const std::string& name) {
        return ReadRegString(rkLocalMachine, std::string(RecordKey) + "\\" + name, "LocalFile", "");
    }

    static inline std::unique_ptr<TTempFolder> Root, Work;
    static inline std::unique_ptr<TLocalServer> Http;
    static inline std::string StartFailure;
    TWatchedContainer* Box = nullptr;
    TTestDialog* Dialog = nullptr;
    TNetInstallLocation* Location = nullptr;
    std::vector<std::string> Downloaded;
};

TEST_F(NetDownloadArchive, DownloadsOnceRelaysProgressAndRegistersTheCopy) {
    Box->DownloadArchive();
    const std::string local = Box->LocalArchive();
    Downloaded.push_back(local);
    EXPECT_EQ(ExtractFileExt(local), ".1");
    EXPECT_TRUE(ReadWholeFile(local) == BoxArchive);
    EXPECT_EQ(Registered("Box"), local);
    EXPECT_EQ(Http->Requests(), std::vector<std::string>{"/Box.1"});

    ASSERT_FALSE(Box->Calls.empty());
    EXPECT_EQ(Box->Calls.front().remote, "Box.1");
    EXPECT_EQ(Box->Calls.back().done, 30000);
    EXPECT_EQ(Box->Calls.back().size, 30000);
    EXPECT_LE(Box->Calls.front().chunk, 8192);
    EXPECT_EQ(Dialog->Codes, std::vector<Integer>(Box->Calls.size(), ieDownloadStatus));
    EXPECT_FALSE(Location->OnObjectProgress) << "the callback is taken back";

    // Once per installation: the registered copy is used from now on.
    Box->DownloadArchive();
    EXPECT_EQ(Box->LocalArchive(), local);
    EXPECT_EQ(Http->Requests().size(), 1u);

    // An install file with a location of its own fetches its own archive.
    auto* file = Make<TInstallFile>("File", Box);
    auto* own = new TNetInstallLocation(Owner);
    own->LoginInformation().SetHostname(Http->Host());
    file->SetNetLocation(own);
    file->DownloadArchive();
    Downloaded.push_back(file->LocalArchive());
    EXPECT_EQ(ReadWholeFile(file->LocalArchive()), FileArchive);
    EXPECT_NE(file->LocalArchive(), local);

    // Kept in a new folder of the run's own in the machine's application
    // data, which only administrators can change, and held from its check
    // on: nobody writes, renames or removes it until the run lets go.
    const std::string folder = ExtractFileDir(local);
    EXPECT_EQ(ExtractFileName(folder).rfind("Downloads-", 0), 0u) << local;
    EXPECT_TRUE(SameText(ExtractFileDir(folder), MachineFolder())) << local;
    EXPECT_TRUE(SameText(ExtractFileDir(file->LocalArchive()), folder)) << file->LocalArchive();
    if (RunningElevated()) {
        EXPECT_EQ(TrustedListMismatch(SecurityDescriptorText(folder)), "");
    }
    EXPECT_TRUE(DownloadHeld(local));
    EXPECT_THROW(TFileStream(local, fmOpenWrite), EStreamError);
    EXPECT_FALSE(RenameFile(local, local + ".moved"));
    EXPECT_FALSE(RemoveFile(local));
    ReleaseAllDownloads();
    EXPECT_NO_THROW(TFileStream(local, fmOpenReadWrite));
    // The last copy removed takes the folder with it.
    EXPECT_TRUE(RemoveDownload(local));
    EXPECT_TRUE(DirectoryExists(folder));
    EXPECT_TRUE(RemoveDownload(file->LocalArchive()));
    EXPECT_FALSE(DirectoryExists(folder));
}

TEST_F(NetDownloadArchive, IncompleteLoginDataIsRefusedBeforeAnythingIsFetched) {
    auto* file = Make<TInstallFile>("File", Box);
    Location->LoginInformation().SetHostname(" ");
    EXPECT_EQ(RaisedBy<IEFileRelated>([&] { file->DownloadArchive(); }),
              "File could not install itself because the LoginInformation property of the TInstall component "
              "has not been properly filled in");
    auto* own = new TNetInstallLocation(Owner);
    own->LoginInformation().SetAnonymous(false);
    file->SetNetLocation(own);
    EXPECT_EQ(RaisedBy<IEFileRelated>([&] { file->DownloadArchive(); }),
              "File could not install itself because the TNetLocation component's properties, in the "
              "NetLocation property, have not been filled in");
    Box->SetNetLocation(nullptr);
    EXPECT_EQ(MessageOf([&] { Box->DownloadArchive(); }), "Could not find a net install location for Box");
    EXPECT_TRUE(Http->Requests().empty());
    EXPECT_TRUE(Box->LocalArchive().empty());
}

TEST_F(NetDownloadArchive, CancelRemovesThePartialArchiveAndEndsAsTheUsersAbort) {
    Box->CancelAtCall = 2;
    EXPECT_THROW(Box->DownloadArchive(), EAIUserAbort);
    EXPECT_EQ(Box->Calls.size(), 2u) << "the download stopped at the cancel";
    EXPECT_TRUE(Box->LocalArchive().empty());
    EXPECT_EQ(Registered("Box"), "");

    // The next try is a new download, not the old cancel.
    Box->CancelAtCall = 0;
    Box->DownloadArchive();
    Downloaded.push_back(Box->LocalArchive());
    EXPECT_TRUE(ReadWholeFile(Box->LocalArchive()) == BoxArchive);
}

TEST_F(NetDownloadArchive, AFailedDownloadPassesOnAndLeavesNoName) {
    auto* missing = Make<TWatchedContainer>("Missing");
    missing->SetNetLocation(Location);
    std::string message = RaisedBy<ENIL_FileNotFound>([&] { missing->DownloadArchive(); });
    EXPECT_EQ(message.rfind("Could not find the file Missing.1 on the server. Error message . Server " +
                                Http->Host() + ". ",
                            0),
              0u)
        << message;
    EXPECT_TRUE(missing->LocalArchive().empty());
    EXPECT_EQ(Registered("Missing"), "");
}

namespace {
TDownloadDigest DigestOf(const std::string& name, const std::string& bytes) {
    TSha256 sha;
    sha.Update(bytes.data(), bytes.size());
    return {name, sha.Finish()};
}

std::set<std::string> ArchivesKept() {
    std::set<std::string> found;
    if (ChosenDownloadFolder().empty())
        return found;
    for (const std::string& name : ListDirectory(ChosenDownloadFolder()))
        if (SameText(ExtractFileExt(name), ".1"))
            found.insert(name);
    return found;
}
} // namespace

TEST_F(NetDownloadArchive, OnlyTheArchiveTheBuildRecordedIsKept) {
    const std::set<std::string> before = ArchivesKept();
    // Other bytes of the same size than those served.
    std::string other = BoxArchive;
    other[12345] ^= 0x20;
    SetDownloadDigests({DigestOf("Box.1", other)});
    std::string message = RaisedBy<ENIL_NotAuthentic>([&] { Box->DownloadArchive(); });
    EXPECT_EQ(message, "The file Box.1 downloaded from " + Http->Host() +
                           " is not the one this distribution was built with. It was removed.");
    EXPECT_TRUE(Box->LocalArchive().empty());
    EXPECT_EQ(Registered("Box"), "") << "nothing names the refused download";
    EXPECT_EQ(ArchivesKept(), before) << "the refused download is gone";

    // An archive the build did not record is refused as well.
    auto* file = Make<TInstallFile>("File", Box);
    auto* own = new TNetInstallLocation(Owner);
    own->LoginInformation().SetHostname(Http->Host());
    file->SetNetLocation(own);
    message = RaisedBy<ENIL_NotAuthentic>([&] { file->DownloadArchive(); });
    EXPECT_EQ(message.rfind("The file File.1 downloaded from ", 0), 0u) << message;
    EXPECT_EQ(ArchivesKept(), before);

    // The build's own bytes are taken and registered.
    SetDownloadDigests({DigestOf("box.1", BoxArchive), DigestOf("File.1", FileArchive)});
    Box->DownloadArchive();
    Downloaded.push_back(Box->LocalArchive());
    EXPECT_TRUE(ReadWholeFile(Box->LocalArchive()) == BoxArchive);
    EXPECT_EQ(Registered("Box"), Box->LocalArchive());
    file->DownloadArchive();
    Downloaded.push_back(file->LocalArchive());
    EXPECT_EQ(ReadWholeFile(file->LocalArchive()), FileArchive);
}

TEST_F(NetDownloadArchive, AKeptCopyThatDiffersFromTheBuildsIsFetchedAgain) {
    SetDownloadDigests({DigestOf("Box.1", BoxArchive)});
    Box->DownloadArchive();
    const std::string first = Box->LocalArchive();
    Downloaded.push_back(first);
    // Changed where it is kept, same size; a later run (new digests, nothing checked yet) uses it.
    std::string changed = BoxArchive;
    changed[100] ^= 0x01;
    ReleaseAllDownloads();
    WriteTextFile(first, changed);
    SetDownloadDigests({DigestOf("Box.1", BoxArchive)});
    Box->DownloadArchive();
    Downloaded.push_back(Box->LocalArchive());
    EXPECT_FALSE(FileExists(first)) << "the changed copy is removed";
    EXPECT_TRUE(ReadWholeFile(Box->LocalArchive()) == BoxArchive);
    EXPECT_EQ(Registered("Box"), Box->LocalArchive());
    EXPECT_EQ(Http->Requests(), (std::vector<std::string>{"/Box.1", "/Box.1"}));

    // The copy as it was downloaded is used again, without a request.
    SetDownloadDigests({DigestOf("Box.1", BoxArchive)});
    EXPECT_TRUE(Box->CheckKeptArchive());
    Box->DownloadArchive();
    EXPECT_EQ(Http->Requests().size(), 2u);

    // One that differs is forgotten before anything reads it.
    ReleaseAllDownloads();
    WriteTextFile(Box->LocalArchive(), changed);
    SetDownloadDigests({DigestOf("Box.1", BoxArchive)});
    const std::string kept = Box->LocalArchive();
    EXPECT_FALSE(Box->CheckKeptArchive());
    EXPECT_TRUE(Box->LocalArchive().empty());
    EXPECT_EQ(Registered("Box"), "");
    EXPECT_FALSE(FileExists(kept));

    // Without digests (a distribution built before them) a kept copy is used as it is.
    Box->DownloadArchive();
    Downloaded.push_back(Box->LocalArchive());
    ReleaseAllDownloads();
    WriteTextFile(Box->LocalArchive(), changed);
    ForgetDownloadDigests();
    EXPECT_TRUE(Box->CheckKeptArchive());
    EXPECT_EQ(ReadWholeFile(Box->LocalArchive()), changed);
}
