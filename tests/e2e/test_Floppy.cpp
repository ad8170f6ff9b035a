// The self-extracting setup.exe copied onto floppies under Wine: drive A: is
// a small tmpfs linked into the prefix, and the test changes disks at every
// prompt as a person would, keeping each disk's files in a folder of its own.
#include "E2ESupport.h"
#include "archive/cmp_TQnfdCompress.h"
#include "archive/types_ExtractionInfo.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "support/WindowDriver.h"
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>

using namespace WindowDriver;

namespace {

using E2E::BuiltProgram;
using E2E::FilesInfPath;
using E2E::NoiseBytes;

const char* const kDrive = "A:\\";

// Drive A: of the prefix as a disk of Size bytes, for as long as it lives.
class TFloppyDrive {
public:
    TFloppyDrive(const std::string& mountFolder, int64_t size) : FFolder(RemoveBackslash(mountFolder)) {
        ForceDirectory(FFolder);
        FReason = Run("attach", {std::to_string(size)});
        FAttached = FReason == "ok";
    }
    ~TFloppyDrive() {
        if (FAttached)
            Run("detach", {});
    }
    bool Attached() const { return FAttached; }
    const std::string& Reason() const { return FReason; }

private:
    std::string Run(const std::string& step, std::vector<std::string> args) {
        const std::string done = FFolder + "." + step;
        RemoveFile(done);
        std::vector<std::string> all = {QFD_FLOPPY_SCRIPT, step, GetEnvVar("WINEPREFIX").value_or(""),
                                        UnixPathUnderWine(FFolder)};
        all.insert(all.end(), args.begin(), args.end());
        all.push_back(UnixPathUnderWine(done));
        if (all[2].empty() || !StartUnixProgram("/bin/sh", all))
            return "cannot run the drive script (the test needs Wine and its prefix)";
        if (!WaitFor([&] { return FileExists(done); }, 20000))
            return "the drive script did not finish";
        std::string reason = ReadWholeFile(done);
        RemoveFile(done);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
            reason.pop_back();
        return reason;
    }

    std::string FFolder, FReason;
    bool FAttached = false;
};

class FloppyTransfer : public ::testing::Test {
protected:
    E2E::TRunLogsRemoved FLogs;
    void SetUp() override {
        if (FileExists(FilesInfPath()))
            FSavedFilesInf = ReadWholeFile(FilesInfPath());
    }
    void TearDown() override {
        RemoveFile(FilesInfPath());
        if (!FSavedFilesInf.empty())
            WriteTextFile(FilesInfPath(), FSavedFilesInf);
    }

    // The sample's distribution built with -b, its screen saver too large
    // for one disk.
    void BuildDistribution() {
        const std::string product = Work / "product\\", prog = Work / "prog\\";
        ForceDirectory(RemoveBackslash(product));
        ForceDirectory(RemoveBackslash(prog));
        Saver = NoiseBytes(2300 * 1024, 7);
        WriteTextFile(product + "Floppy Saver.scr", Saver);
        WriteTextFile(product + "floppy_second.txt", "the second file");
        WriteTextFile(product + "floppy_uninstall.exe", "an uninstaller");
        WriteTextFile(FilesInfPath(), product + "Floppy Saver.scr\r\n" + product + "floppy_second.txt\r\n" +
                                          product + "floppy_uninstall.exe\r\n");
        ASSERT_TRUE(CopyFileTo(BuiltProgram("setup\\setup.exe"), prog + "setup.exe", false));
        ASSERT_TRUE(CopyFileTo(BuiltProgram("loader\\loader.exe"), prog + "loader.exe", false));
        WriteTextFile(prog + "BUILD.INF", Build + "\r\n");
        TProcess b(QuoteArg(prog + "setup.exe") + " -b");
        ASSERT_TRUE(b.WaitForExit(120000));
        ASSERT_TRUE(FileExists(Build + "\\setup.exe") && FileExists(Build + "\\files.1"));
    }

    // Room for the loading program and setup.1 and a little of files.1.
    int64_t DiskSize() const {
        const int64_t first =
            FileSizeOf(BuiltProgram("loader\\loader.exe")) + FileSizeOf(Build + "\\setup.1");
        return (first + 96 * 1024 + 4095) / 4096 * 4096;
    }

    std::string DiskFolder(int disk) const { return Work / ("disk" + std::to_string(disk) + "\\"); }

    // Takes the disk in the drive out (its files into its folder) and puts
    // disk in (its files, if it has any yet, onto the drive).
    void ChangeDisk(int disk) {
        MoveAll(kDrive, DiskFolder(InDrive));
        InDrive = disk;
        MoveAll(DiskFolder(disk), kDrive);
    }
    static void MoveAll(const std::string& from, const std::string& to) {
        ForceDirectory(RemoveBackslash(to));
        for (const std::string& name : ListDirectory(from)) {
            ASSERT_TRUE(CopyFileTo(from + name, to + name, false)) << from + name;
            ASSERT_TRUE(RemoveFile(from + name)) << from + name;
        }
    }

    // Runs setup.exe *TODISK and answers the disk prompts: OK to each, or
    // Cancel to the one numbered cancelAt. Returns the prompts' disk numbers.
    std::vector<int> Transfer(int cancelAt, std::string& lastMessage) {
        TProcess run(QuoteArg(Build + "\\setup.exe") + " *TODISK");
        std::vector<int> asked;
        for (;;) {
            TWindowHandle box = 0;
            // Each disk is written in seconds: a minute without a prompt or an
            // end leaves the test time to say so (the program goes with run).
            WaitFor([&] { return (box = FindTopWindow("setup", 0, 0)) != 0 || !run.Running(); }, 60000);
            if (!box)
                break;
            lastMessage = MessageBoxText(box);
            const std::string prompt = "Please insert disk ";
            if (lastMessage.rfind(prompt, 0) != 0) {
                PressButton(box, "OK");
                break;
            }
            const int disk = std::stoi(lastMessage.substr(prompt.size()));
            asked.push_back(disk);
            if (static_cast<int>(asked.size()) == cancelAt) {
                PressButton(box, "Cancel");
            } else {
                ChangeDisk(disk);
                PressButton(box, "OK");
            }
            WaitFor([&] { return !IsWindowAlive(box); }, 10000);
        }
        EXPECT_TRUE(run.WaitForExit(60000));
        TransferExitCode = run.ExitCode();
        MoveAll(kDrive, DiskFolder(InDrive));
        return asked;
    }

    // Extracts the set of disks into a new folder, as the setup program
    // reads it, asking for each disk; the folder.
    std::string ExtractFromDisks() {
        const std::string out = Work / "out";
        ForceDirectory(out);
        TQnfdCompress set;
        set.OnNewDisk = [this](TQnfdCompress&, int disk, std::string& dir) {
            dir = RemoveBackslash(DiskFolder(disk));
        };
        set.SetCompressedFile(DiskFolder(1) + "files.1");
        set.ExtractDirectory = out;
        set.Overwrite = owAlways;
        TStringList all;
        for (int i = 0; i < set.FileCount(); ++i)
            all.Add(set.FileStats(i).FileName);
        set.SetFilesToProcess(all);
        set.Extract();
        return out;
    }

    TTempFolder Work;
    std::string Build = Work / "build";
    std::string Saver;
    int InDrive = 1;
    uint32_t TransferExitCode = 0; // of the last Transfer's program (259: still running)
    std::string FSavedFilesInf;
    TWineAppDefault FFast = FastWindowsUnderWine("setup.exe");
};

TEST_F(FloppyTransfer, SpreadsTheDistributionOverDisksThatJoinedGiveBackItsArchive) {
    BuildDistribution();
    TFloppyDrive drive(Work / "drive", DiskSize());
    if (!drive.Attached())
        GTEST_SKIP() << "no floppy drive for the test: " << drive.Reason();
    ASSERT_LT(DiskFreeBytes(kDrive), DiskSize() + 4096) << "drive A: is not the small disk";

    std::string message;
    std::vector<int> asked = Transfer(0, message);
    // Disks 2 and 3 for the archive, then disk 1 again for its final headers.
    ASSERT_GE(asked.size(), 3u) << message;
    for (size_t i = 0; i + 1 < asked.size(); ++i)
        EXPECT_EQ(asked[i], static_cast<int>(i) + 2);
    EXPECT_EQ(asked.back(), 1);
    EXPECT_EQ(TransferExitCode, 0u);
    const int disks = asked[asked.size() - 2];
    std::printf("files.1 over %d disks of %lld bytes\n", disks, static_cast<long long>(DiskSize()));

    // The first disk: the loading program and setup.1 as they lie in the build.
    const std::string exe = ReadWholeFile(Build + "\\setup.exe");
    TExtractionInfoBytes bytes;
    std::copy(exe.end() - kExtractionInfoSize, exe.end(), bytes.begin());
    TExtractionInfo info;
    ASSERT_EQ(CheckExtractionInfo(bytes, static_cast<int64_t>(exe.size()), info),
              TExtractionInfoState::eiValid);
    EXPECT_EQ(ReadWholeFile(DiskFolder(1) + "setup.exe"),
              exe.substr(0, static_cast<size_t>(info.Setup1Start)));
    EXPECT_EQ(ReadWholeFile(DiskFolder(1) + "setup.1"), ReadWholeFile(Build + "\\setup.1"));
    for (int d = 2; d <= disks; ++d)
        EXPECT_EQ(ListDirectory(DiskFolder(d)), std::vector<std::string>{"files." + std::to_string(d)}) << d;

    // Joined, the disks hold the members' data of files.1 byte for byte
    // behind the header block, which the set writes with its own positions.
    const std::string files1 = ReadWholeFile(Build + "\\files.1");
    std::string joined;
    for (int d = 1; d <= disks; ++d)
        joined += ReadWholeFile(DiskFolder(d) + "files." + std::to_string(d));
    TQnfdCompress single;
    single.SetCompressedFile(Build + "\\files.1");
    std::string data;
    for (int i = 0; i < single.FileCount(); ++i) {
        const TlzhFileStats& st = single.FileStats(i);
        const size_t start = st.Header[132] | st.Header[133] << 8 | st.Header[134] << 16 |
                             static_cast<size_t>(st.Header[135]) << 24;
        data += files1.substr(start, static_cast<size_t>(st.CompressedSize));
    }
    const size_t headerBlock = 5 + 172 * static_cast<size_t>(single.FileCount());
    ASSERT_EQ(joined.size(), headerBlock + data.size());
    EXPECT_TRUE(joined.substr(headerBlock) == data) << "the members' data differ";

    // And the set extracts to the product's files, asking for its disks.
    const std::string out = ExtractFromDisks();
    EXPECT_TRUE(ReadWholeFile(out + "\\Floppy Saver.scr") == Saver) << "the screen saver differs";
    EXPECT_EQ(ReadWholeFile(out + "\\floppy_second.txt"), "the second file");
}

TEST_F(FloppyTransfer, ASignedDistributionGoesOntoTheDisksWithAnUnsignedLoadingProgram) {
    BuildDistribution();
    const std::string built = Build + "\\setup.exe", signedCopy = Work / "signed.exe";
    ASSERT_EQ(E2E::SignAfterTheBuild(Work / "signer", built, signedCopy), "");
    ASSERT_TRUE(CopyFileTo(signedCopy, built, false));
    TFloppyDrive drive(Work / "drive", DiskSize());
    if (!drive.Attached())
        GTEST_SKIP() << "no floppy drive for the test: " << drive.Reason();
    std::string message;
    std::vector<int> asked = Transfer(0, message);
    ASSERT_GE(asked.size(), 3u) << message;

    // Disk 1: the loading program as built, without the entry of a signature
    // that covered the whole distribution, and setup.1.
    TFileStream exe(built, fmOpenRead);
    TExtractionInfo info;
    ASSERT_EQ(ReadExtractionInfo(exe, info), TExtractionInfoState::eiValid);
    const TPeSignatureFields pe = ReadPeSignatureFields(exe);
    ASSERT_TRUE(pe.Signed());
    std::string expected = ReadWholeFile(built).substr(0, static_cast<size_t>(info.Setup1Start));
    expected.replace(static_cast<size_t>(pe.CheckSumAt), kPeCheckSumSize, std::string(kPeCheckSumSize, '\0'));
    expected.replace(static_cast<size_t>(pe.CertEntryAt), kPeCertEntrySize,
                     std::string(kPeCertEntrySize, '\0'));
    EXPECT_TRUE(ReadWholeFile(DiskFolder(1) + "setup.exe") == expected) << "the loading program differs";
    EXPECT_EQ(ReadWholeFile(DiskFolder(1) + "setup.1"), ReadWholeFile(Build + "\\setup.1"));
    EXPECT_TRUE(ReadWholeFile(ExtractFromDisks() + "\\Floppy Saver.scr") == Saver)
        << "the screen saver differs";
}

TEST_F(FloppyTransfer, CancelAtTheSecondPromptEndsWithAbortedByUser) {
    BuildDistribution();
    TFloppyDrive drive(Work / "drive", DiskSize());
    if (!drive.Attached())
        GTEST_SKIP() << "no floppy drive for the test: " << drive.Reason();
    std::string message;
    std::vector<int> asked = Transfer(2, message);
    EXPECT_EQ(asked, (std::vector<int>{2, 3}));
    // The message box ends the sentence with its full stop.
    EXPECT_TRUE(message == "Aborted by user" || message == "Aborted by user.") << message;
    EXPECT_EQ(TransferExitCode, 1u); // a transfer that did not finish failed
    // Disk 2 was written before the transfer stopped; nothing went further.
    EXPECT_TRUE(FileExists(DiskFolder(2) + "files.2"));
    EXPECT_FALSE(FileExists(DiskFolder(3) + "files.3"));
}

TEST_F(FloppyTransfer, ADiskTooSmallForTheLoaderOrSetup1SaysSo) {
    BuildDistribution();
    const int64_t loader = FileSizeOf(BuiltProgram("loader\\loader.exe"));
    struct Case {
        int64_t size;
        const char* message;
    };
    for (const Case& c : {Case{64 * 1024, "Cannot create setup.exe on the A drive. Probably not enough room"},
                          Case{(loader + 64 * 1024 + 4095) / 4096 * 4096,
                               "Cannot create setup.1 on the A drive. Probably not enough room"}}) {
        SCOPED_TRACE(c.message);
        TFloppyDrive drive(Work / ("drive" + std::to_string(c.size)), c.size);
        if (!drive.Attached())
            GTEST_SKIP() << "no floppy drive for the test: " << drive.Reason();
        std::string message;
        EXPECT_TRUE(Transfer(0, message).empty()) << "no disk prompt before the first disk is full";
        EXPECT_EQ(message.substr(0, std::string(c.message).size()), c.message) << message;
        EXPECT_EQ(TransferExitCode, 1u);
        for (const std::string& name : ListDirectory(DiskFolder(1)))
            RemoveFile(DiskFolder(1) + name);
    }
}

} // namespace
