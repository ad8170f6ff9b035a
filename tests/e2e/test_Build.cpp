// The whole cycle of a distribution under Wine: setup.exe -b builds the
// self-extracting setup.exe, which, copied alone to another folder, installs
// the screen saver on a machine without files.inf. A build that signs its
// setup.exe, checked by osslsigncode with credentials openssl made.
#include "E2ESupport.h"
#include "archive/types_ExtractionInfo.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_WinText.h"
#include "support/CodeSignPeer.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "support/WindowDriver.h"
#include <gtest/gtest.h>
#include <tuple>
#include <windows.h>

using namespace WindowDriver;

namespace {

using E2E::BuiltProgram;
using E2E::FilesInfPath;
using E2E::TemporaryCopies;

class BuildCycle : public ::testing::Test {
protected:
    E2E::TRunLogsRemoved FLogs;
    void SetUp() override {
        if (FileExists(FilesInfPath()))
            FSavedFilesInf = ReadWholeFile(FilesInfPath());
        Cleanup();
    }
    void TearDown() override {
        Cleanup();
        RemoveFile(FilesInfPath());
        if (!FSavedFilesInf.empty())
            WriteTextFile(FilesInfPath(), FSavedFilesInf);
    }
    void Cleanup() {
        for (const char* name : {kSaver, kSecond, kUninstaller})
            RemoveFile(GetSystemDir() + "\\" + name);
        DeleteKeyTree(RegLocalMachine, E2E::UninstallKeyOf(kProductName));
    }

    static constexpr const char* kSaver = "Qfd Build Saver.scr";
    static constexpr const char* kSecond = "qfd_build_second.txt";
    static constexpr const char* kUninstaller = "qfd_build_uninstall.exe";
    static constexpr const char* kProductName = "Qfd Build Saver";
    TTempFolder Work;
    std::string FSavedFilesInf;
};

TEST_F(BuildCycle, BuildsTheSelfExtractingSetupWhichInstallsAloneOnAMachineWithoutFilesInf) {
    auto fast = FastWindowsUnderWine("setup.exe");
    const std::string product = Work.Path() + "product\\", prog = Work.Path() + "prog\\",
                      build = Work.Path() + "build dir", other = Work.Path() + "other\\";
    ForceDirectory(RemoveBackslash(product));
    ForceDirectory(RemoveBackslash(prog));
    ForceDirectory(RemoveBackslash(other));
    WriteTextFile(product + kSaver, "a screen saver");
    WriteTextFile(product + kSecond, "the second file");
    WriteTextFile(product + kUninstaller, "an uninstaller");
    WriteTextFile(FilesInfPath(),
                  product + kSaver + "\r\n" + product + kSecond + "\r\n" + product + kUninstaller + "\r\n");
    // As an author has them: the setup program, the loading program beside
    // it, and BUILD.INF naming the build folder.
    ASSERT_TRUE(CopyFileTo(BuiltProgram("setup\\setup.exe"), prog + "setup.exe", false));
    ASSERT_TRUE(CopyFileTo(BuiltProgram("loader\\loader.exe"), prog + "loader.exe", false));
    WriteTextFile(prog + "BUILD.INF", build + "\r\n");

    {
        TProcess b(QuoteArg(prog + "setup.exe") + " -b");
        ASSERT_TRUE(b.WaitForExit(60000));
    }
    const std::string exe = build + "\\setup.exe", setup1 = build + "\\setup.1", files1 = build + "\\files.1";
    ASSERT_TRUE(FileExists(exe) && FileExists(setup1) && FileExists(files1));
    // setup.1 names the setup program and files.inf by their file names: the
    // author's folders do not travel with the distribution.
    {
        TQnfdCompress archive;
        archive.SetCompressedFile(setup1);
        std::vector<std::string> names;
        for (int i = 0; i < archive.FileCount(); ++i)
            names.push_back(archive.FileStats(i).FileName);
        EXPECT_EQ(names, (std::vector<std::string>{"setup.exe", "files.inf"}));
    }

    // The trailer, field by field, against the files it was built from.
    const std::string all = ReadWholeFile(exe), loader = ReadWholeFile(prog + "loader.exe"),
                      s1 = ReadWholeFile(setup1), f1 = ReadWholeFile(files1);
    // Zeros after files.1 make the record end on 8 bytes, where a signer puts its table.
    const size_t parts = loader.size() + s1.size() + f1.size();
    ASSERT_EQ(all.size(), (parts + kExtractionInfoSize + 7) / 8 * 8);
    const size_t pad = all.size() - kExtractionInfoSize - parts;
    EXPECT_EQ(all.substr(parts, pad), std::string(pad, '\0'));
    TExtractionInfoBytes bytes;
    std::copy(all.end() - kExtractionInfoSize, all.end(), bytes.begin());
    EXPECT_EQ(bytes[0], 14);
    EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + 15), "SELFEXTRACTING");
    TExtractionInfo info;
    ASSERT_EQ(CheckExtractionInfo(bytes, static_cast<int64_t>(all.size()), info),
              TExtractionInfoState::eiValid);
    EXPECT_EQ(info.Setup1Start, static_cast<Integer>(loader.size()));
    EXPECT_EQ(info.Setup1End, info.Setup1Start + static_cast<Integer>(s1.size()) - 1);
    EXPECT_EQ(info.Files1Start, info.Setup1End + 1);
    EXPECT_EQ(info.Files1End, info.Files1Start + static_cast<Integer>(f1.size()) - 1);
    EXPECT_EQ(info.ProductTitle, std::string(kProductName) + " Screen Saver");
    EXPECT_EQ(all.substr(0, loader.size()), loader);
    EXPECT_EQ(all.substr(static_cast<size_t>(info.Setup1Start), s1.size()), s1);
    EXPECT_EQ(all.substr(static_cast<size_t>(info.Files1Start), f1.size()), f1);
    for (int i : {15, 45, 52, 134, 135})
        EXPECT_EQ(bytes[static_cast<size_t>(i)], 0) << "byte " << i;
    // The checksum of everything up to the record, true to the file.
    EXPECT_EQ(std::string(bytes.begin() + 32, bytes.begin() + 37), "QCRC\x01");
    ASSERT_TRUE(info.HasChecksum);
    EXPECT_EQ(info.ChecksumLength, static_cast<Integer>(all.size()) - kExtractionInfoSize);
    {
        TFileStream f(exe, fmOpenRead);
        EXPECT_EQ(VerifyExtractionChecksum(f, static_cast<int64_t>(all.size()), bytes),
                  TExtractionInfoState::eiValid);
    }

    // Another machine: no files.inf, no product files but in the archive.
    RemoveFile(FilesInfPath());
    ASSERT_TRUE(CopyFileTo(exe, other + "setup.exe", false));
    const std::vector<std::string> copiesBefore = TemporaryCopies();
    TProcess run(QuoteArg(other + "setup.exe"));
    // The run ends on the page after a good installation.
    TWindowHandle page = FindTopWindow("Setup complete", 0, 60000);
    ASSERT_NE(page, 0u) << "no good-installation page";
    const std::string sys = GetSystemDir() + "\\";
    EXPECT_EQ(ReadWholeFile(sys + kSaver), "a screen saver");
    EXPECT_EQ(ReadWholeFile(sys + kSecond), "the second file");
    EXPECT_EQ(ReadWholeFile(sys + kUninstaller), "an uninstaller");
    EXPECT_EQ(ReadRegString(rkLocalMachine, E2E::UninstallKeyOf(kProductName), "DisplayName", ""),
              kProductName);
    ASSERT_TRUE(PressButton(page, "Finish"));
    EXPECT_TRUE(run.WaitForExit(60000));
    // The temporary copy of the setup program and its folder go with the run.
    EXPECT_TRUE(WaitFor([&] { return TemporaryCopies() == copiesBefore; }, 20000))
        << TemporaryCopies().size() << " temporary copies, " << copiesBefore.size() << " before";
}

TEST_F(BuildCycle, ABuildWithoutTheLoadingProgramSaysWhereItIsMissingAndBuildsNothing) {
    auto fast = FastWindowsUnderWine("setup.exe");
    const std::string product = Work.Path() + "product\\", prog = Work.Path() + "prog\\",
                      build = Work.Path() + "build";
    ForceDirectory(RemoveBackslash(product));
    ForceDirectory(RemoveBackslash(prog));
    WriteTextFile(product + kSaver, "a screen saver");
    WriteTextFile(product + kSecond, "the second file");
    WriteTextFile(FilesInfPath(), product + kSaver + "\r\n" + product + kSecond + "\r\n");
    ASSERT_TRUE(CopyFileTo(BuiltProgram("setup\\setup.exe"), prog + "setup.exe", false));
    WriteTextFile(prog + "BUILD.INF", build + "\r\n");
    TProcess b(QuoteArg(prog + "setup.exe") + " -b");
    TWindowHandle box = 0;
    WaitFor([&] { return (box = FindTopWindow("setup", b.Id())) != 0; }, 30000);
    ASSERT_NE(box, 0u);
    EXPECT_NE(MessageBoxText(box).find("the loading program is missing"), std::string::npos)
        << MessageBoxText(box);
    ASSERT_TRUE(PressButton(box, "OK"));
    EXPECT_TRUE(b.WaitForExit());
    EXPECT_FALSE(FileExists(build + "\\setup.exe"));
    EXPECT_FALSE(FileExists(build + "\\files.1"));
}

TEST_F(BuildCycle, ABlankFirstLineOfBuildInfBuildsIntoTheCurrentFolder) {
    auto fast = FastWindowsUnderWine("setup.exe");
    const std::string product = Work.Path() + "product\\", prog = Work.Path() + "prog\\",
                      current = Work.Path() + "current\\";
    for (const std::string& dir : {product, prog, current})
        ForceDirectory(RemoveBackslash(dir));
    WriteTextFile(product + kSaver, "a screen saver");
    WriteTextFile(product + kSecond, "the second file");
    WriteTextFile(product + kUninstaller, "an uninstaller");
    WriteTextFile(FilesInfPath(),
                  product + kSaver + "\r\n" + product + kSecond + "\r\n" + product + kUninstaller + "\r\n");
    ASSERT_TRUE(CopyFileTo(BuiltProgram("setup\\setup.exe"), prog + "setup.exe", false));
    ASSERT_TRUE(CopyFileTo(BuiltProgram("loader\\loader.exe"), prog + "loader.exe", false));
    WriteTextFile(prog + "BUILD.INF", "\r\nC:\\not here\r\n");
    TProcess b(QuoteArg(prog + "setup.exe") + " -b", RemoveBackslash(current));
    // A failed build shows why; a good one ends without a window.
    TWindowHandle box = 0;
    WaitFor([&] { return (box = FindTopWindow("setup", b.Id(), 0)) != 0 || !b.Running(); }, 60000);
    ASSERT_EQ(box, 0u) << MessageBoxText(box);
    ASSERT_TRUE(b.WaitForExit(10000));
    EXPECT_FALSE(DirectoryExists("C:\\not here"));
    // The three files under their bare names, in the folder the build ran in.
    const std::string all = ReadWholeFile(current + "setup.exe"), s1 = ReadWholeFile(current + "setup.1"),
                      f1 = ReadWholeFile(current + "files.1");
    TExtractionInfoBytes bytes;
    ASSERT_GT(all.size(), kExtractionInfoSize);
    std::copy(all.end() - kExtractionInfoSize, all.end(), bytes.begin());
    TExtractionInfo info;
    ASSERT_EQ(CheckExtractionInfo(bytes, static_cast<int64_t>(all.size()), info),
              TExtractionInfoState::eiValid);
    EXPECT_EQ(all.substr(static_cast<size_t>(info.Setup1Start), s1.size()), s1);
    EXPECT_EQ(all.substr(static_cast<size_t>(info.Files1Start), f1.size()), f1);
    EXPECT_FALSE(FileExists(prog + "setup.1"));
}

// Builds by a setup program whose project signs its setup.exe (the
// end-to-end program, told by QFD_E2E_SIGN_* which files to sign with).
class SignedBuild : public ::testing::Test {
protected:
    E2E::TRunLogsRemoved FLogs;
    static void SetUpTestSuite() { Peer = new TCodeSignPeer(); }
    static void TearDownTestSuite() {
        delete Peer;
        Peer = nullptr;
    }
    void SetUp() override {
        ASSERT_EQ(Peer->Error(), "") << "no test credentials";
        ForceDirectory(Prog + "src");
        ASSERT_TRUE(
            CopyFileTo(ThisProgramFolder() + "qfd_e2e_install.exe", Prog + "qfd_e2e_install.exe", false));
        ASSERT_TRUE(CopyFileTo(BuiltProgram("loader\\loader.exe"), Prog + "loader.exe", false));
        WriteTextFile(Prog + "src\\one.txt", "the first file");
        WriteTextFile(Prog + "src\\two.dat", "the second file");
        WriteTextFile(Prog + "src\\uninstall.exe", "an uninstaller");
        WriteTextFile(Prog + "BUILD.INF", Build + "\r\n");
    }

    // Runs the build; the text of the message box it showed, empty when none.
    std::string RunBuild(const std::string& credentials, const std::string& key) {
        TProcess b(QuoteArg(Prog + "qfd_e2e_install.exe") + " -b", "",
                   {{"QFD_E2E_SIGN_CREDENTIALS", credentials},
                    {"QFD_E2E_SIGN_KEY", key},
                    {"QFD_E2E_SRC", Prog + "src"}});
        TWindowHandle box = 0;
        WaitFor([&] { return (box = FindTopWindow("qfd_e2e_install", b.Id(), 0)) != 0 || !b.Running(); },
                60000);
        std::string text;
        if (box) {
            text = MessageBoxText(box);
            PressButton(box, "OK");
        }
        EXPECT_TRUE(b.WaitForExit(10000));
        return text;
    }

    static TCodeSignPeer* Peer;
    TTempFolder Work;
    const std::string Prog = Work / "prog\\", Build = Work / "Build Ördner", Exe = Build + "\\setup.exe";
    TWineAppDefault FFast = FastWindowsUnderWine("qfd_e2e_install.exe");
};
TCodeSignPeer* SignedBuild::Peer = nullptr;

uint32_t Le32At(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
           static_cast<uint8_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

TEST_F(SignedBuild, SignsTheSelfExtractingSetupSoThatOsslsigncodeAcceptsItAndItStillLoads) {
    ASSERT_EQ(RunBuild(Peer->File("chain.spc"), Peer->File("signer.pvk")), "");
    const std::string copy = Work / "verified.exe";
    ASSERT_TRUE(CopyFileTo(Exe, copy, false));
    EXPECT_EQ(Peer->Verify(copy), "");

    // Before the certificate table (and the zeros that pad to it) lies the
    // finished self-extracting file: its trailer and the archives it names.
    const std::string all = ReadWholeFile(Exe), s1 = ReadWholeFile(Build + "\\setup.1"),
                      f1 = ReadWholeFile(Build + "\\files.1");
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(all.data());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(all.data() + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY table = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    ASSERT_EQ(static_cast<size_t>(table.VirtualAddress) + table.Size, all.size());
    EXPECT_EQ(Le32At(all, table.VirtualAddress + 4), 0x00020200u);
    bool found = false;
    for (size_t pad = 0; pad < 8 && !found; ++pad) {
        const size_t end = table.VirtualAddress - pad;
        if (all.substr(end, pad) != std::string(pad, '\0'))
            break;
        TExtractionInfoBytes bytes;
        std::copy(all.begin() + static_cast<std::ptrdiff_t>(end - kExtractionInfoSize),
                  all.begin() + static_cast<std::ptrdiff_t>(end), bytes.begin());
        TExtractionInfo info;
        found =
            CheckExtractionInfo(bytes, static_cast<int64_t>(end), info) == TExtractionInfoState::eiValid &&
            all.substr(static_cast<size_t>(info.Setup1Start), s1.size()) == s1 &&
            all.substr(static_cast<size_t>(info.Files1Start), f1.size()) == f1;
    }
    EXPECT_TRUE(found) << "no trailer before the certificate table";

    // The system still maps the signed file as a program.
    HMODULE image = LoadLibraryExW(Wide(Exe).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    EXPECT_NE(image, nullptr) << GetLastError();
    if (image)
        FreeLibrary(image);

    // The loading program finds its trailer before the signature, its
    // checksum holds, and the unattended install completes.
    const std::set<std::string> logs = E2E::SetupLogs();
    struct TUndo {
        std::set<std::string> Logs;
        ~TUndo() {
            DeleteKeyTree(RegLocalMachine, E2E::UninstallKeyOf("Quenfold E2E Product"));
            for (const std::string& log : E2E::SetupLogs())
                if (!Logs.count(log))
                    RemoveFile(log);
        }
    } undo{logs};
    TProcess run(QuoteArg(Exe) + " -q", "", {{"QFD_E2E_SRC", Prog + "src"}});
    ASSERT_TRUE(run.WaitForExit(60000));
    EXPECT_EQ(run.ExitCode(), 0u) << ReadWholeFile(E2E::NewSetupLog(logs));
    EXPECT_EQ(ReadWholeFile(Build + "\\Dest\\one.txt"), "the first file");
    EXPECT_EQ(ReadWholeFile(Build + "\\Dest\\two.dat"), "the second file");
}

TEST_F(SignedBuild, AMissingKeyOrUnusableCredentialsStopTheBuildBeforeItBuildsAnything) {
    const std::string garbage = Work / "garbage.spc", missing = Work / "kein Schlüssel.pvk";
    WriteTextFile(garbage, std::string(2000, '\x5a'));
    for (const auto& [credentials, key, named] : {std::tuple{garbage, Peer->File("signer.pvk"), garbage},
                                                  std::tuple{Peer->File("chain.spc"), missing, missing}}) {
        SCOPED_TRACE(named);
        const std::string message = RunBuild(credentials, key);
        EXPECT_NE(message.find(named), std::string::npos) << message;
        EXPECT_FALSE(FileExists(Exe));
        EXPECT_FALSE(FileExists(Build + "\\files.1"));
    }
}

TEST_F(SignedBuild, ASetupExeThatCannotBeSignedGoesBackToTheLoadingProgramItWas) {
    // The build folder's setup.exe is taken as the loading program; it is
    // none, so the finished file cannot be signed.
    const std::string notALoader = "an author's file that is no program";
    ForceDirectory(Build);
    WriteTextFile(Exe, notALoader);
    const std::string message = RunBuild(Peer->File("chain.spc"), Peer->File("signer.pvk"));
    EXPECT_NE(message.find(Exe + " is not finished"), std::string::npos) << message;
    EXPECT_EQ(ReadWholeFile(Exe), notALoader);
}

} // namespace
