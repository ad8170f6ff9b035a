// The self-extracting setup.exe as build mode appends to it and the floppy
// transfer takes it apart again.
#include "EngineTestSupport.h"
#include "archive/types_ExtractionInfo.h"
#include "objects/routines_DownloadDigests.h"
#include "support/FakePeImage.h"
#include <gtest/gtest.h>
#include <tuple>

namespace {

class Build : public Engine {
protected:
    TExtractionInfoBytes Trailer(const std::string& path) {
        TExtractionInfoBytes bytes;
        TCustomInstall::ReadExtractionInfo(path, bytes);
        return bytes;
    }
    static Integer At(const TExtractionInfoBytes& b, size_t i) {
        return static_cast<Integer>(b[i] | b[i + 1] << 8 | b[i + 2] << 16 |
                                    static_cast<uint32_t>(b[i + 3]) << 24);
    }
};

TEST_F(Build, WithoutFilesOneTheTrailerHoldsZerosAndAFailedAppendCutsSetupExeBack) {
    TTestInstall* install = Load({});
    const std::string exe = TempPath("setup.exe"), s1 = TempPath("setup.1"), f1 = TempPath("files.1");
    WriteTextFile(exe, "LOADER");
    WriteTextFile(s1, "SETUP-ONE");
    install->MakeSelfExtractor(exe, s1, f1, std::string(90, 'N'));
    TExtractionInfoBytes b = Trailer(exe);
    EXPECT_EQ(At(b, 16), 6);
    EXPECT_EQ(At(b, 20), 14);
    EXPECT_EQ(At(b, 24), 0);
    EXPECT_EQ(At(b, 28), 0);
    EXPECT_EQ(b[53], 80); // the title cut to 80 characters
    EXPECT_EQ(ReadWholeFile(exe).substr(0, 15), "LOADERSETUP-ONE");

    // files.1 cannot be read while another program holds it alone: setup.1
    // was appended already, and goes again.
    WriteTextFile(f1, "FILES-ONE");
    const int64_t before = FileSizeOf(exe);
    {
        TFileStream held(f1, fmOpenReadWrite | fmShareExclusive);
        EXPECT_THROW(install->MakeSelfExtractor(exe, s1, f1, "N"), Exception);
    }
    EXPECT_EQ(FileSizeOf(exe), before);
    // A second build appends; the newest trailer is the one read.
    install->MakeSelfExtractor(exe, s1, f1, "Saver");
    b = Trailer(exe);
    EXPECT_EQ(At(b, 16), before);
    EXPECT_EQ(At(b, 24), before + 9);
    EXPECT_EQ(At(b, 28), before + 17);
    EXPECT_EQ(std::string(b.begin() + 54, b.begin() + 54 + b[53]), "Saver Screen Saver");
}

TEST_F(Build, TheFloppyTransferCopiesTheLoaderAndASetupOneOfWholeBlocks) {
    const std::string exe = TempPath("setup.exe"), s1 = TempPath("setup.1"), disk = TempPath("disk");
    WriteTextFile(exe, "LOADER");
    std::string setup1(2 * 8192, '\0');
    for (size_t i = 0; i < setup1.size(); ++i)
        setup1[i] = static_cast<char>(i * 7);
    WriteTextFile(s1, setup1);
    TTestInstall* install = Load({"-eSetup.exe", "-s" + RemoveBackslash(TempDir())});
    install->MakeSelfExtractor(exe, s1, TempPath("none.1"), "Saver");
    ForceDirectory(disk);
    struct TExitCodeBack {
        ~TExitCodeBack() { Application()->SetExitCode(0); }
    } exitCodeBack;
    Application()->SetExitCode(0);
    install->TransferToFloppies(disk);
    EXPECT_TRUE(install->Shown.empty()) << install->Shown[0];
    EXPECT_EQ(install->Ends, 1);
    EXPECT_EQ(Application()->ExitCode(), 0);
    EXPECT_EQ(ReadWholeFile(disk + "\\setup.exe"), "LOADER");
    EXPECT_EQ(ReadWholeFile(disk + "\\setup.1"), setup1);

    // A trailer whose positions lie outside the file is refused before a byte is copied.
    std::string bytes = ReadWholeFile(exe);
    bytes[bytes.size() - kExtractionInfoSize + 22] = 0x7f;
    WriteTextFile(exe, bytes);
    RemoveFile(disk + "\\setup.1");
    install->TransferToFloppies(disk);
    ASSERT_EQ(install->Shown.size(), 1u);
    EXPECT_NE(install->Shown[0].find("is damaged"), std::string::npos) << install->Shown[0];
    EXPECT_FALSE(FileExists(disk + "\\setup.1"));
    // A transfer that failed ends the program with exit code 1.
    EXPECT_EQ(install->Ends, 2);
    EXPECT_EQ(Application()->ExitCode(), secFailed);
}

TEST_F(Build, TheRunFindsTheProductArchiveOnlyBehindAnIntactTrailer) {
    const std::string exe = TempPath("Setup.exe"), s1 = TempPath("setup.1"), f1 = TempPath("files.1");
    WriteTextFile(s1, "SETUP-ONE");
    WriteTextFile(f1, "FILES-ONE");
    const std::vector<std::string> args = {"-eSetup.exe", "-s" + RemoveBackslash(TempDir())};
    auto offsetAfterRun = [&](const std::string& props, const std::string& more) {
        TTestInstall* install = Load(args, props, more);
        SharedArchive().Offset = 0;
        std::string failure;
        try {
            install->SetExtractionOffset();
        } catch (const Exception& e) {
            failure = e.Message();
        }
        const int64_t offset = SharedArchive().Offset;
        SharedArchive().Offset = 0;
        Unload();
        return std::make_pair(offset, failure);
    };

    WriteTextFile(exe, "LOADER");
    Load({})->MakeSelfExtractor(exe, s1, f1, "Saver");
    Unload();
    const std::string good = ReadWholeFile(exe);
    EXPECT_EQ(offsetAfterRun("", ""), (std::pair<int64_t, std::string>(15, "")));

    // A trailer that points past the file, or a file too short to hold one.
    std::string outside = good;
    outside[outside.size() - kExtractionInfoSize + 30] = 0x40;
    WriteTextFile(exe, outside);
    auto [offset, failure] = offsetAfterRun("", "");
    EXPECT_EQ(offset, 0);
    EXPECT_NE(failure.find("is damaged"), std::string::npos) << failure;
    WriteTextFile(exe, good.substr(0, 100));
    std::tie(offset, failure) = offsetAfterRun("", "");
    EXPECT_NE(failure.find("Could not read the extraction info from the archive file"), std::string::npos)
        << failure;

    // Without files.1 only a web distribution, whose files are all on its server, runs.
    WriteTextFile(exe, "LOADER");
    Load({})->MakeSelfExtractor(exe, s1, TempPath("none.1"), "Saver");
    Unload();
    std::tie(offset, failure) = offsetAfterRun("", "");
    EXPECT_NE(failure.find("holds no product archive"), std::string::npos) << failure;
    const std::string web = "    NetLocation = Net1\n    DistributeType = dtWeb\n";
    const std::string net = "  object Net1: TNetInstallLocation\n  end\n";
    EXPECT_EQ(offsetAfterRun(web, net), (std::pair<int64_t, std::string>(0, "")));
}

TEST_F(Build, TheChecksumIsWrittenAndASignedLoadingProgramLosesItsStaleEntry) {
    const std::string exe = TempPath("setup.exe"), s1 = TempPath("setup.1"), f1 = TempPath("files.1");
    WriteTextFile(s1, "SETUP-ONE");
    WriteTextFile(f1, "FILES-ONE");
    // A signed loading program (or an earlier signed build) is appended to.
    std::string loader = FakePeImage(3001);
    FakeSign(loader);
    WriteTextFile(exe, loader);
    TTestInstall* install = Load({});

    // A build that fails puts the file back as it was, its signature entry too.
    {
        TFileStream held(f1, fmOpenReadWrite | fmShareExclusive);
        EXPECT_THROW(install->MakeSelfExtractor(exe, s1, f1, "N"), Exception);
    }
    EXPECT_TRUE(ReadWholeFile(exe) == loader);

    install->MakeSelfExtractor(exe, s1, f1, "Saver");
    const std::string built = ReadWholeFile(exe);
    std::string expected = loader;
    expected.replace(FakeCheckSumAt(0x80), 4, std::string(4, '\0'));
    expected.replace(FakeCertEntryAt(kPe32Plus, 0x80), 8, std::string(8, '\0'));
    EXPECT_TRUE(built.substr(0, loader.size()) == expected);
    // Zeros after files.1 up to where the record ends on 8 bytes.
    const size_t parts = loader.size() + 18;
    ASSERT_EQ(built.size(), (parts + kExtractionInfoSize + 7) / 8 * 8);
    EXPECT_EQ(built.substr(parts, built.size() - kExtractionInfoSize - parts),
              std::string(built.size() - kExtractionInfoSize - parts, '\0'));
    TExtractionInfo info;
    {
        TFileStream f(exe, fmOpenRead);
        TExtractionInfoBytes bytes;
        int64_t end = 0;
        ASSERT_TRUE(ReadExtractionInfoBytes(f, bytes, end));
        ASSERT_EQ(CheckExtractionInfo(bytes, end, info), TExtractionInfoState::eiValid);
        EXPECT_TRUE(info.HasChecksum);
        EXPECT_EQ(VerifyExtractionChecksum(f, end, bytes), TExtractionInfoState::eiValid);
    }
    EXPECT_EQ(info.Setup1Start, static_cast<Integer>(loader.size()));
    EXPECT_EQ(info.Files1End, static_cast<Integer>(parts) - 1);
}

TEST_F(Build, ASignedDistributionIsReadBeforeItsTableAndGoesOntoDisksUnsigned) {
    const std::string exe = TempPath("Setup.exe"), s1 = TempPath("setup.1"), disk = TempPath("disk");
    std::string setup1(3 * 8192 + 5, '\0');
    for (size_t i = 0; i < setup1.size(); ++i)
        setup1[i] = static_cast<char>(i * 13);
    WriteTextFile(s1, setup1);
    WriteTextFile(TempPath("files.1"), "FILES-ONE");
    const std::string loader = FakePeImage(5000, kPe32);
    // Built, then signed as an author signs it.
    auto buildAndSign = [&](const std::string& files1) {
        WriteTextFile(exe, loader);
        Load({})->MakeSelfExtractor(exe, s1, files1, "Saver");
        Unload();
        std::string image = ReadWholeFile(exe);
        FakeSign(image, kPe32);
        WriteTextFile(exe, image);
    };
    const std::vector<std::string> args = {"-eSetup.exe", "-s" + RemoveBackslash(TempDir())};

    // The run finds files.1 by the record before the table.
    buildAndSign(TempPath("files.1"));
    TTestInstall* install = Load(args);
    SharedArchive().Offset = 0;
    install->SetExtractionOffset();
    EXPECT_EQ(SharedArchive().Offset, static_cast<int64_t>(loader.size() + setup1.size()));
    SharedArchive().Offset = 0;
    Unload();

    // The disk gets the loading program without the whole file's signature entry.
    buildAndSign(TempPath("none.1"));
    install = Load(args);
    ForceDirectory(disk);
    install->TransferToFloppies(disk);
    EXPECT_TRUE(install->Shown.empty()) << install->Shown[0];
    std::string expected = loader;
    expected.replace(FakeCheckSumAt(0x80), 4, std::string(4, '\0'));
    EXPECT_TRUE(ReadWholeFile(disk + "\\setup.exe") == expected);
    EXPECT_TRUE(ReadWholeFile(disk + "\\setup.1") == setup1);
}

} // namespace

namespace {
TDownloadDigest DigestOf(const std::string& name, const std::string& bytes) {
    TSha256 sha;
    sha.Update(bytes.data(), bytes.size());
    return {name, sha.Finish()};
}
} // namespace

TEST(DownloadDigests, TheListReadsWhatTheBuildWritesAndNothingElse) {
    const std::vector<TDownloadDigest> written = {DigestOf("filelist.lst", "list"),
                                                  DigestOf("Install1.1", "one")};
    const std::vector<TDownloadDigest> read = ParseDownloadDigests(DownloadDigestsText(written), "d.lst");
    ASSERT_EQ(read.size(), 2u);
    for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].Name, written[i].Name);
        EXPECT_EQ(read[i].Digest, written[i].Digest);
    }
    ASSERT_NE(FindDownloadDigest(read, "INSTALL1.1"), nullptr) << "names as the server is asked, any case";
    EXPECT_EQ(FindDownloadDigest(read, "INSTALL1.1")->Digest, written[1].Digest);
    EXPECT_EQ(FindDownloadDigest(read, "Other.1"), nullptr);
    // What sha256sum writes, in either mode, reads the same.
    const std::string hex = DigestToHex(written[1].Digest);
    EXPECT_EQ(ParseDownloadDigests(hex + "  Install1.1\n\n# a note\n", "d.lst").size(), 1u);
    EXPECT_EQ(ParseDownloadDigests(hex + " *Install1.1", "d.lst").at(0).Name, "Install1.1");
    EXPECT_TRUE(ParseDownloadDigests("", "d.lst").empty());

    const std::pair<std::string, std::string> damaged[] = {
        {hex.substr(1) + "  Install1.1", "line 1 is not a digest and a file name"},
        {hex + " Install1.1", "line 1 is not a digest and a file name"},
        {"# note\r\n" + hex + "  ", "line 2 is not a digest and a file name"},
        {hex + "   Install1.1", "line 1 names its file with blanks around it or a zero byte"},
        {hex + "  Install1.1\n" + hex + "  install1.1", "line 2 names install1.1 a second time"},
        {std::string(kMaxDownloadDigestsSize + 1, '#'), "it is larger than 1048576 bytes"},
    };
    for (const auto& [text, why] : damaged) {
        try {
            ParseDownloadDigests(text, "d.lst");
            ADD_FAILURE() << "read: " << text.substr(0, 100);
        } catch (const IEInstall& e) {
            EXPECT_EQ(e.Message(), "The list of download digests d.lst is damaged: " + why);
        }
    }
}

TEST_F(Build, TheDigestsOfANetworkBuildTravelInSetupOne) {
    const std::string web = "    NetLocation = Net1\n    DistributeType = dtWeb\n";
    const std::string more = "  object Net1: TNetInstallLocation\n  end\n"
                             "  object File1: TInstallFile\n    Container = Install1\n  end\n"
                             "  object File2: TInstallFile\n    Container = Install1\n  end\n";
    TTestInstall* install = Load({}, web, more);
    const std::string dir = TempPath("build");
    ForceDirectory(dir);
    WriteTextFile(dir + "\\filelist.lst", "the list");
    WriteTextFile(dir + "\\Install1.1", "the container's archive");
    WriteTextFile(dir + "\\File2.1", "the second file's own archive");
    WriteTextFile(dir + "\\Other.1", "an archive of no object of the project");
    install->WriteDownloadDigests(dir);
    const std::vector<TDownloadDigest> digests =
        ParseDownloadDigests(ReadWholeFile(dir + "\\digests.lst"), "digests.lst");
    ASSERT_EQ(digests.size(), 3u);
    EXPECT_EQ(digests[0].Name, "filelist.lst");
    EXPECT_EQ(digests[0].Digest, DigestOf("", "the list").Digest);
    EXPECT_EQ(digests[1].Name, "Install1.1");
    EXPECT_EQ(digests[1].Digest, DigestOf("", "the container's archive").Digest);
    EXPECT_EQ(digests[2].Name, "File2.1");
    EXPECT_EQ(digests[2].Digest, DigestOf("", "the second file's own archive").Digest);
    // Beside the setup program in setup.1, which the loading program unpacks.
    TQnfdCompress setup1;
    setup1.SetCompressedFile(dir + "\\setup.1");
    ASSERT_EQ(setup1.FileCount(), 1);
    EXPECT_EQ(setup1.FileStats(0).FileName, "digests.lst");
    // A compression leaves the shared archive component marked aborted (a build then ends the
    // program); the tests after this one must not inherit the mark.
    SharedArchive().Abort = false;

    // A traditional build downloads nothing: an old list goes.
    Unload();
    Load({})->WriteDownloadDigests(dir);
    EXPECT_FALSE(FileExists(dir + "\\digests.lst"));
}
