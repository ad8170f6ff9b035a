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
#include <map>
#include <set>
#include <stdexcept>
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
    // The loading program as it was, but for its seal of what follows it.
    std::string sealedLoader = all.substr(0, loader.size());
    TMemoryStream image;
    image.WriteBuffer(loader.data(), static_cast<int64_t>(loader.size()));
    const int64_t sealAt = FindPayloadSeal(image);
    ASSERT_GT(sealAt, 0) << "the loading program has no seal";
    const TPayloadSeal seal =
        DecodePayloadSeal(reinterpret_cast<const uint8_t*>(all.data()) + sealAt, kPayloadSealSize);
    EXPECT_TRUE(seal.Sealed);
    EXPECT_EQ(seal.InfoEnd, static_cast<int64_t>(all.size()));
    TMemoryStream whole;
    whole.WriteBuffer(all.data(), static_cast<int64_t>(all.size()));
    TSha256Digest digest{};
    ASSERT_TRUE(ComputePayloadDigest(whole, seal.InfoEnd, digest));
    EXPECT_EQ(DigestToHex(seal.Digest), DigestToHex(digest));
    sealedLoader.replace(static_cast<size_t>(sealAt), kPayloadSealSize, loader, static_cast<size_t>(sealAt),
                         kPayloadSealSize);
    EXPECT_EQ(sealedLoader, loader);
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

// Anyone who may write the folder of a running program may rename its file
// and put another there. The distribution started (elevated) must not unpack
// and run the one put in its place: another -b distribution, whose record
// and checksum are right for it.
TEST_F(BuildCycle, ADistributionSwappedAfterItsStartInstallsNothing) {
    auto fast = FastWindowsUnderWine("setup.exe");
    const std::string product = Work.Path() + "product\\", prog = Work.Path() + "prog\\";
    ForceDirectory(RemoveBackslash(product));
    ForceDirectory(RemoveBackslash(prog));
    ASSERT_TRUE(CopyFileTo(BuiltProgram("setup\\setup.exe"), prog + "setup.exe", false));
    ASSERT_TRUE(CopyFileTo(BuiltProgram("loader\\loader.exe"), prog + "loader.exe", false));
    auto build = [&](const std::string& folder, const std::string& saver) {
        WriteTextFile(product + kSaver, saver);
        WriteTextFile(product + kSecond, "the second file");
        WriteTextFile(product + kUninstaller, "an uninstaller");
        WriteTextFile(FilesInfPath(), product + kSaver + "\r\n" + product + kSecond + "\r\n" + product +
                                          kUninstaller + "\r\n");
        WriteTextFile(prog + "BUILD.INF", folder + "\r\n");
        TProcess b(QuoteArg(prog + "setup.exe") + " -b");
        ASSERT_TRUE(b.WaitForExit(60000));
        ASSERT_TRUE(FileExists(folder + "\\setup.exe"));
    };
    const std::string genuine = Work.Path() + "genuine", planted = Work.Path() + "planted";
    build(genuine, "the genuine saver");
    build(planted, "the planted saver");
    RemoveFile(FilesInfPath());
    const std::string download = Work.Path() + "download\\";
    ForceDirectory(RemoveBackslash(download));
    ASSERT_TRUE(CopyFileTo(genuine + "\\setup.exe", download + "setup.exe", false));

    const std::vector<std::string> copiesBefore = TemporaryCopies();
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring line = Wide(QuoteArg(download + "setup.exe") + " -q");
    ASSERT_TRUE(CreateProcessW(Wide(download + "setup.exe").c_str(), line.data(), nullptr, nullptr, FALSE,
                               CREATE_SUSPENDED, nullptr, Wide(RemoveBackslash(download)).c_str(), &si, &pi));
    const bool swapped = RenameFile(download + "setup.exe", download + "renamed.exe") &&
                         CopyFileTo(planted + "\\setup.exe", download + "setup.exe", false);
    ResumeThread(pi.hThread);
    const DWORD waited = WaitForSingleObject(pi.hProcess, 60000);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ASSERT_TRUE(swapped);
    ASSERT_EQ(waited, WAIT_OBJECT_0);
    EXPECT_EQ(code, 10u) << "the damaged-file exit code";
    EXPECT_FALSE(FileExists(GetSystemDir() + "\\" + kSaver)) << "the planted distribution was installed";
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, E2E::UninstallKeyOf(kProductName)));
    EXPECT_EQ(TemporaryCopies(), copiesBefore);
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

namespace {

// The libraries a program imports, each with the names it takes from it,
// read from its import directory.
std::map<std::string, std::vector<std::string>> ImportsOf(const std::string& path) {
    const std::string bytes = ReadWholeFile(path);
    std::map<std::string, std::vector<std::string>> imports;
    auto at = [&bytes](size_t offset, size_t size) {
        if (offset + size > bytes.size())
            throw std::runtime_error("the import table runs past the end of the file");
        return bytes.data() + offset;
    };
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(at(0, sizeof(IMAGE_DOS_HEADER)));
    const size_t nt = static_cast<size_t>(dos->e_lfanew);
    const auto* file = reinterpret_cast<const IMAGE_FILE_HEADER*>(at(nt + 4, sizeof(IMAGE_FILE_HEADER)));
    const size_t optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
    const bool wide = *reinterpret_cast<const WORD*>(at(optional, 2)) == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    const IMAGE_DATA_DIRECTORY dir =
        wide ? reinterpret_cast<const IMAGE_OPTIONAL_HEADER64*>(at(optional, sizeof(IMAGE_OPTIONAL_HEADER64)))
                   ->DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT]
             : reinterpret_cast<const IMAGE_OPTIONAL_HEADER32*>(at(optional, sizeof(IMAGE_OPTIONAL_HEADER32)))
                   ->DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
        at(optional + file->SizeOfOptionalHeader, sizeof(IMAGE_SECTION_HEADER) * file->NumberOfSections));
    auto offsetOf = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < file->NumberOfSections; ++i)
            if (rva >= sections[i].VirtualAddress &&
                rva < sections[i].VirtualAddress +
                          std::max(sections[i].Misc.VirtualSize, sections[i].SizeOfRawData))
                return rva - sections[i].VirtualAddress + sections[i].PointerToRawData;
        throw std::runtime_error("an address of the import table lies in no section");
    };
    for (size_t d = offsetOf(dir.VirtualAddress);; d += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* desc =
            reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(at(d, sizeof(IMAGE_IMPORT_DESCRIPTOR)));
        if (desc->Name == 0)
            break;
        std::vector<std::string>& names = imports[UpperCase(at(offsetOf(desc->Name), 1))];
        const DWORD thunks = desc->OriginalFirstThunk ? desc->OriginalFirstThunk : desc->FirstThunk;
        for (size_t t = offsetOf(thunks);; t += wide ? 8 : 4) {
            const uint64_t entry = wide ? *reinterpret_cast<const uint64_t*>(at(t, 8))
                                        : *reinterpret_cast<const uint32_t*>(at(t, 4));
            if (entry == 0)
                break;
            const bool byOrdinal = wide ? (entry >> 63) != 0 : (entry >> 31) != 0;
            if (!byOrdinal)
                names.push_back(at(offsetOf(static_cast<DWORD>(entry)) + 2, 1));
        }
    }
    return imports;
}

} // namespace

// A library a program imports is looked for beside it first (a download
// folder), unless it is one of the system's known libraries, and so is a
// library that an imported function is handed on to. The shipped programs
// import only known ones; comctl32 comes from the side-by-side store the
// manifest names.
TEST(ShippedPrograms, ImportOnlyLibrariesTheSystemLoadsFromItsOwnFolder) {
    // The KnownDLLs of Windows 10 and 11 that a program of ours may need.
    const std::set<std::string> known = {"ADVAPI32.DLL", "COMDLG32.DLL", "GDI32.DLL",  "IMM32.DLL",
                                         "KERNEL32.DLL", "MSVCRT.DLL",   "OLE32.DLL",  "OLEAUT32.DLL",
                                         "SHELL32.DLL",  "SHLWAPI.DLL",  "USER32.DLL", "WS2_32.DLL",
                                         "SETUPAPI.DLL"};
    // What ADVAPI32 hands on to cryptbase.dll and cryptsp.dll.
    auto forwarded = [](const std::string& name) {
        return name.rfind("SystemFunction0", 0) == 0 || name.rfind("Crypt", 0) == 0;
    };
    for (const char* program : {"setup\\setup.exe", "loader\\loader.exe", "uninstall\\uninstall.exe"}) {
        SCOPED_TRACE(program);
        const auto imports = ImportsOf(BuiltProgram(program));
        EXPECT_TRUE(imports.count("KERNEL32.DLL")) << "the import table was not read";
        for (const auto& [library, names] : imports) {
            if (library == "COMCTL32.DLL") {
                EXPECT_NE(ReadWholeFile(BuiltProgram(program)).find("Microsoft.Windows.Common-Controls"),
                          std::string::npos)
                    << "comctl32 without the manifest that takes it from the side-by-side store";
                continue;
            }
            EXPECT_TRUE(known.count(library)) << library << " is not a known library";
            for (const std::string& name : names)
                EXPECT_FALSE(library == "ADVAPI32.DLL" && forwarded(name))
                    << name << " is handed on to a library that is not a known one";
        }
    }
}

// The manifest's own identity names the program's processor (x86 for the
// 32-bit programs, amd64 for the 64-bit ones): Windows checks it.
TEST(ShippedPrograms, TheirManifestsNameTheirOwnProcessor) {
    const std::string expected = sizeof(void*) == 4 ? "x86" : "amd64";
    for (const char* program : {"setup\\setup.exe", "loader\\loader.exe", "uninstall\\uninstall.exe"}) {
        SCOPED_TRACE(program);
        HMODULE m = LoadLibraryExW(Wide(BuiltProgram(program)).c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(m, nullptr);
        HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)); // RT_MANIFEST
        std::string manifest;
        if (r && LoadResource(m, r))
            manifest.assign(static_cast<const char*>(LockResource(LoadResource(m, r))), SizeofResource(m, r));
        FreeLibrary(m);
        ASSERT_FALSE(manifest.empty()) << "no manifest resource";
        const size_t own = manifest.find("<assemblyIdentity");
        ASSERT_NE(own, std::string::npos) << manifest;
        const std::string identity = manifest.substr(own, manifest.find("/>", own) - own);
        EXPECT_NE(identity.find("processorArchitecture=\"" + expected + "\""), std::string::npos) << identity;
    }
}
