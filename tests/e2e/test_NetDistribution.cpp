// Distributions whose files lie on a server, end to end under Wine: a setup
// program built from the framework (qfd_e2e_install.exe with a web or a
// traditional-net project) builds its self-extracting setup.exe with -b;
// the archive of its network files and filelist.lst go onto a local HTTP,
// HTTPS or FTP server, and setup.exe copied alone to another folder installs
// from there, taking only the bytes the build recorded.
#include "../unit/net/LocalServer.h"
#include "E2ESupport.h"
#include "archive/types_ExtractionInfo.h"
#include "objects/routines_DownloadDigests.h"
#include "platform/routines_Hash.h"
#include "support/SystemHelpers.h"
#include "support/WindowDriver.h"
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <windows.h>

using namespace WindowDriver;
using namespace E2E;

namespace {

std::string App() {
    return ThisProgramFolder() + "qfd_e2e_install.exe";
}

std::string Loader() {
    return ThisProgramFolder() + "..\\..\\src\\loader\\loader.exe";
}

struct TKind {
    const char* Form;     // QFD_E2E_FORM
    const char* Protocol; // of the local server
    const char* Product;
};
const TKind kWeb{"web", "http", "Quenfold E2E Web Product"};
const TKind kNet{"net", "ftp", "Quenfold E2E Net Product"};
const TKind kSecureWeb{"web", "https", "Quenfold E2E Web Product"};

class NetDistribution : public ::testing::Test {
protected:
    E2E::TRunLogsRemoved FLogs;
    void TearDown() override {
        for (const TKind* k : {&kWeb, &kNet})
            DeleteKeyTree(RegLocalMachine, UninstallKeyOf(k->Product));
        // A failed run keeps its install record: it names the setup.exe it came from.
        TRegKey records;
        if (records.Open(RegLocalMachine, kRecords, TRegAccess::raRead))
            for (const std::string& name : records.SubKeyNames()) {
                TRegKey k;
                if (k.Open(records.Handle(), name, TRegAccess::raRead) &&
                    SameText(k.ReadString("SelfExtract").value_or(""), Other + "setup.exe")) {
                    k.Close();
                    DeleteKeyTree(RegLocalMachine, std::string(kRecords) + "\\" + name);
                }
            }
    }

    // Builds the distribution of kind into Build and puts its network
    // files into the server's folder "dist".
    void BuildAndServe(const TKind& kind) {
        Kind = &kind;
        ForceDirectory(Prog + "src");
        ForceDirectory(Served / "dist");
        ForceDirectory(RemoveBackslash(Other));
        ASSERT_TRUE(CopyFileTo(App(), Prog + "qfd_e2e_install.exe", false));
        ASSERT_TRUE(CopyFileTo(Loader(), Prog + "loader.exe", false));
        WriteTextFile(Prog + "src\\one.txt", One);
        WriteTextFile(Prog + "src\\two.dat", Two);
        WriteTextFile(Prog + "src\\uninstall.exe", "an uninstaller");
        WriteTextFile(Prog + "BUILD.INF", Build + "\r\n");
        try {
            if (kind.Protocol == std::string("https")) {
                Authority = std::make_unique<TTestAuthority>(ServerWork.Path());
                Authority->Trust();
                Server =
                    std::make_unique<TLocalServer>("https", Served.Path(), ServerWork.Path(),
                                                   Authority->TrustedCertificate(), Authority->TrustedKey());
            } else {
                Server = std::make_unique<TLocalServer>(kind.Protocol, Served.Path(), ServerWork.Path());
            }
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
        TProcess b(QuoteArg(Prog + "qfd_e2e_install.exe") + " -b", "", Env());
        ASSERT_TRUE(b.WaitForExit(Limit));
        for (const char* name : {"setup.exe", "setup.1", "Install1.1", "filelist.lst"})
            ASSERT_TRUE(FileExists(Build + "\\" + name)) << name;
        for (const char* name : {"Install1.1", "filelist.lst"})
            ASSERT_TRUE(CopyFileTo(Build + "\\" + name, Served / (std::string("dist\\") + name), false));
        ASSERT_TRUE(CopyFileTo(Build + "\\setup.exe", Other + "setup.exe", false));
    }

    std::vector<std::pair<std::string, std::string>> Env() const {
        const std::string scheme = Kind->Protocol == std::string("https") ? "https://" : "";
        return {{"QFD_E2E_FORM", Kind->Form},
                {"QFD_E2E_NET_HOST", Server ? scheme + Server->Host() : ""},
                {"QFD_E2E_NET_DIR", "dist"},
                {"QFD_E2E_SRC", Prog + "src"}};
    }

    TExtractionInfo Trailer() const {
        const std::string exe = ReadWholeFile(Other + "setup.exe");
        TExtractionInfoBytes bytes;
        std::copy(exe.end() - kExtractionInfoSize, exe.end(), bytes.begin());
        TExtractionInfo info;
        EXPECT_EQ(CheckExtractionInfo(bytes, static_cast<int64_t>(exe.size()), info),
                  TExtractionInfoState::eiValid);
        return info;
    }

    // Runs the self-extracting setup.exe; a message box that shows is
    // answered and its text returned.
    std::string Install() {
        TProcess run(QuoteArg(Other + "setup.exe"), "", Env());
        std::string message;
        TWindowHandle box = 0;
        WaitFor([&] { return (box = FindTopWindow("qfd_e2e_install", 0, 0)) != 0 || !run.Running(); }, Limit);
        if (box) {
            message = MessageBoxText(box);
            PressButton(box, "OK");
        }
        EXPECT_TRUE(run.WaitForExit(Limit));
        return message;
    }

    std::string Dest(const char* name) const { return Other + "Dest\\" + name; }

    // Downloaded archives ("*.1") in the temporary folder: a failed or
    // cancelled download must leave none behind.
    static std::set<std::string> ArchivesInTemp() {
        std::set<std::string> found;
        for (const std::string& name : ListDirectory(TempDirectory()))
            if (SameText(ExtractFileExt(name), ".1"))
                found.insert(name);
        return found;
    }
    std::set<std::string> ArchivesBefore = ArchivesInTemp();

    // Changes one byte in the middle of a served file: same size, other bytes.
    void ServeOtherBytes(const char* name) {
        const std::string path = Served / (std::string("dist\\") + name);
        std::string bytes = ReadWholeFile(path);
        bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
        WriteTextFile(path, bytes);
    }
    void ServeAsBuilt(const char* name) {
        ASSERT_TRUE(CopyFileTo(Build + "\\" + name, Served / (std::string("dist\\") + name), false));
    }
    static std::string Logged(const std::set<std::string>& before) {
        const std::string log = NewSetupLog(before);
        return log.empty() ? "" : ReadWholeFile(log);
    }

    TTempFolder Work, Served, ServerWork;
    std::unique_ptr<TTestAuthority> Authority; // before the server: the server goes first
    std::string Prog = Work / "prog\\", Build = Work / "build", Other = Work / "other\\";
    std::string One = "404 is only a number here\r\n", Two = std::string(50000, 'x') + "the end";
    const TKind* Kind = nullptr;
    // How long a build or an install may take (ms).
    uint32_t Limit = 60000;
    std::unique_ptr<TLocalServer> Server;
    TWineAppDefault FFast = FastWindowsUnderWine("qfd_e2e_install.exe");
};

TEST_F(NetDistribution, AWebDistributionInstallsFromTheHttpServer) {
    BuildAndServe(kWeb);
    // Every file travels on the server: the self-extracting file holds no files.1.
    TExtractionInfo info = Trailer();
    EXPECT_EQ(info.Files1Start, 0);
    EXPECT_EQ(info.Files1End, 0);
    // The first record of the list names File404: its first bytes hold "404".
    EXPECT_NE(ReadWholeFile(Served / "dist\\filelist.lst").substr(0, 30).find("404"), std::string::npos);

    // The digests of what goes onto the server travel in setup.1, beside the setup program.
    const std::vector<TDownloadDigest> digests =
        ParseDownloadDigests(ReadWholeFile(Build + "\\digests.lst"), "digests.lst");
    ASSERT_EQ(digests.size(), 2u);
    for (const TDownloadDigest& d : digests)
        EXPECT_EQ(d.Digest, Sha256OfFile(Served / ("dist\\" + d.Name))) << d.Name;
    EXPECT_NE(FindDownloadDigest(digests, "Install1.1"), nullptr);
    EXPECT_NE(FindDownloadDigest(digests, "filelist.lst"), nullptr);
    TQnfdCompress setup1;
    setup1.SetCompressedFile(Build + "\\setup.1");
    std::vector<std::string> members;
    for (int i = 0; i < setup1.FileCount(); ++i)
        members.push_back(ExtractFileName(setup1.FileStats(i).FileName));
    EXPECT_EQ(members, (std::vector<std::string>{"qfd_e2e_install.exe", "digests.lst"}));

    Server->ClearRequests();
    const std::set<std::string> logs = SetupLogs();
    const std::string message = Install();
    EXPECT_EQ(message, "");
    const std::string log = Logged(logs);
    for (const char* line : {"Digest: filelist.lst is the build's", "Digest: Install1.1 is the build's"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(ReadWholeFile(Dest("one.txt")), One);
    EXPECT_EQ(ReadWholeFile(Dest("two.dat")), Two);
    EXPECT_EQ(ReadWholeFile(Dest("uninstall.exe")), "an uninstaller");
    const std::vector<std::string> requests = Server->Requests();
    EXPECT_NE(std::find(requests.begin(), requests.end(), "/dist/filelist.lst"), requests.end());
    EXPECT_NE(std::find(requests.begin(), requests.end(), "/dist/Install1.1"), requests.end());
    EXPECT_NE(ReadWholeFile(Other + "trace.txt").find("OnAfterNotifyGoodInstall"), std::string::npos);
}

TEST_F(NetDistribution, ATraditionalNetDistributionTakesItsNetFilesFromTheFtpServer) {
    BuildAndServe(kNet);
    // The local file travels in setup.exe, the network ones on the server.
    TExtractionInfo info = Trailer();
    EXPECT_GT(info.Files1Start, 0);
    const std::string message = Install();
    EXPECT_EQ(message, "");
    EXPECT_EQ(ReadWholeFile(Dest("one.txt")), One);
    EXPECT_EQ(ReadWholeFile(Dest("two.dat")), Two);
    EXPECT_EQ(ReadWholeFile(Dest("uninstall.exe")), "an uninstaller");
}

TEST_F(NetDistribution, AMissingOrCutArchiveFailsTheRunAndInstallsNothing) {
    BuildAndServe(kWeb);
    // The server closes the connection half-way through the archive.
    WriteTextFile(Served / "dist\\Install1.1.cut", "");
    std::string message = Install();
    EXPECT_NE(message.find("Could not read from file Install1.1 on the server"), std::string::npos)
        << message;
    EXPECT_FALSE(FileExists(Dest("two.dat")));
    EXPECT_EQ(ArchivesInTemp(), ArchivesBefore);

    // Not on the server at all: the message names the error and the host.
    RemoveFile(Served / "dist\\Install1.1");
    message = Install();
    EXPECT_NE(message.find("Could not find the file Install1.1 on the server"), std::string::npos) << message;
    EXPECT_NE(message.find(Server->Host()), std::string::npos) << message;
    EXPECT_FALSE(FileExists(Dest("two.dat")));
}

TEST_F(NetDistribution, CancelInTheDownloadProgressEndsTheRunAsTheUsersAbort) {
    Two = E2E::NoiseBytes(400 * 1024, 12345);
    BuildAndServe(kWeb);
    WriteTextFile(Served / "dist\\Install1.1.slow", "");
    TProcess run(QuoteArg(Other + "setup.exe"), "", Env());
    TWindowHandle progress = FindTopWindow("Copying installation files", 0, 60000);
    ASSERT_NE(progress, 0u);
    ASSERT_TRUE(PressButton(progress, "Cancel"));
    const int64_t started = GetTickCount64();
    ASSERT_TRUE(run.WaitForExit(30000));
    std::printf("ended %lld ms after the cancel\n", static_cast<long long>(GetTickCount64() - started));
    // A user's abort shows no error, installs nothing and keeps no partial archive.
    EXPECT_EQ(FindTopWindow("qfd_e2e_install", 0, 0), 0u);
    EXPECT_FALSE(FileExists(Dest("two.dat")));
    const std::string trace = ReadWholeFile(Other + "trace.txt");
    EXPECT_NE(trace.find("OnAfterNotifyBadInstall"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("OnAfterNotifyGoodInstall"), std::string::npos) << trace;
    EXPECT_EQ(ArchivesInTemp(), ArchivesBefore);
}

TEST_F(NetDistribution, AnArchiveOrListOfOtherBytesFailsTheRunAndInstallsNothing) {
    BuildAndServe(kWeb);
    for (const char* name : {"Install1.1", "filelist.lst"}) {
        ServeOtherBytes(name);
        const std::set<std::string> logs = SetupLogs();
        const std::string message = Install();
        EXPECT_EQ(message.rfind(std::string("The file ") + name + " downloaded from " + Server->Host() +
                                    " is not the one this distribution was built with. It was removed.",
                                0),
                  0u)
            << message;
        for (const char* file : {"one.txt", "two.dat", "uninstall.exe"})
            EXPECT_FALSE(FileExists(Dest(file))) << name << ": " << file;
        EXPECT_EQ(ArchivesInTemp(), ArchivesBefore) << name << ": the refused download is removed";
        EXPECT_NE(Logged(logs).find(std::string("Digest: ") + name + " from " + Server->Host() +
                                    " is not the build's: SHA-256 "),
                  std::string::npos)
            << name;
        ServeAsBuilt(name);
    }
    // Served as built, the same distribution installs.
    EXPECT_EQ(Install(), "");
    EXPECT_EQ(ReadWholeFile(Dest("two.dat")), Two);
}

TEST_F(NetDistribution, AnArchiveKeptFromAnEarlierRunIsUsedOnlyAsBuilt) {
    BuildAndServe(kWeb);
    // The record an earlier, unfinished run of this setup program left: the
    // loading program unpacks the program with its stored date and size,
    // by which the run finds its record again.
    TQnfdCompress setup1;
    setup1.SetCompressedFile(Build + "\\setup.1");
    const TlzhFileStats program = setup1.FileStats(0);
    TFileHeader header;
    header.SetRecord(program.Header);
    const std::string record = std::string(kRecords) + "\\Install97";
    const std::string kept = TempDirectory() + "\\qfdkept97.1";
    auto plant = [&](const std::string& bytes) {
        WriteTextFile(kept, bytes);
        TRegKey k;
        ASSERT_TRUE(k.Create(RegLocalMachine, record));
        k.WriteString("Path", "C:\\an earlier copy\\qfd_e2e_install.exe");
        k.WriteFloat("CreationDate", header.FileDate);
        k.WriteInteger("Size", program.FileSize);
        k.WriteString("SelfExtract", Other + "setup.exe");
        TRegKey archive;
        ASSERT_TRUE(archive.Create(RegLocalMachine, record + "\\Install1"));
        archive.WriteString("LocalFile", kept);
    };
    struct TCleanup {
        std::string Kept;
        ~TCleanup() { RemoveFile(Kept); }
    } cleanup{kept};

    // As built: used, not fetched again.
    plant(ReadWholeFile(Build + "\\Install1.1"));
    Server->ClearRequests();
    std::set<std::string> logs = SetupLogs();
    EXPECT_EQ(Install(), "");
    EXPECT_EQ(ReadWholeFile(Dest("two.dat")), Two);
    std::vector<std::string> requests = Server->Requests();
    EXPECT_EQ(std::find(requests.begin(), requests.end(), "/dist/Install1.1"), requests.end());
    EXPECT_NE(Logged(logs).find("Digest: the copy of Install1.1 kept in " + kept + " is the build's"),
              std::string::npos);

    // Changed since (same size): removed before anything reads it, and fetched again.
    std::string changed = ReadWholeFile(Build + "\\Install1.1");
    changed[changed.size() / 2] = static_cast<char>(changed[changed.size() / 2] ^ 0x01);
    RemoveFile(Dest("two.dat"));
    plant(changed);
    Server->ClearRequests();
    logs = SetupLogs();
    EXPECT_EQ(Install(), "");
    EXPECT_EQ(ReadWholeFile(Dest("two.dat")), Two);
    requests = Server->Requests();
    EXPECT_NE(std::find(requests.begin(), requests.end(), "/dist/Install1.1"), requests.end());
    EXPECT_FALSE(FileExists(kept));
    EXPECT_NE(Logged(logs).find("is not the build's: SHA-256 "), std::string::npos);
}

TEST_F(NetDistribution, AWebDistributionOverHttpsInstallsFromATrustedServerOnly) {
    BuildAndServe(kSecureWeb);
    EXPECT_EQ(Install(), "");
    EXPECT_EQ(ReadWholeFile(Dest("one.txt")), One);
    EXPECT_EQ(ReadWholeFile(Dest("two.dat")), Two);
    const std::vector<std::string> requests = Server->Requests();
    EXPECT_NE(std::find(requests.begin(), requests.end(), "/dist/Install1.1"), requests.end());

    // The same server once its authority is no longer trusted.
    DeleteKeyTree(RegLocalMachine, UninstallKeyOf(kSecureWeb.Product));
    for (const char* file : {"one.txt", "two.dat", "uninstall.exe"})
        RemoveFile(Dest(file));
    Authority->Untrust();
    const std::string message = Install();
    EXPECT_EQ(message.rfind("Cannot make a secure connection to https://" + Server->Host() +
                                " for the file filelist.lst: its certificate ",
                            0),
              0u)
        << message;
    EXPECT_FALSE(FileExists(Dest("two.dat")));
}

// A measurement, run by hand (--gtest_also_run_disabled_tests): what the
// digests cost against the whole install of a 150 MiB archive from the
// local HTTP server.
TEST_F(NetDistribution, DISABLED_TheDigestsCostLittleBesideTheInstallOfA150MiBArchive) {
    Two = E2E::NoiseBytes(150u << 20, 4242);
    Limit = 300000;
    int64_t started = GetTickCount64();
    BuildAndServe(kWeb);
    const int64_t build = GetTickCount64() - started;
    started = GetTickCount64();
    const TSha256Digest digest = Sha256OfFile(Build + "\\Install1.1");
    const int64_t hashHere = GetTickCount64() - started;
    EXPECT_EQ(digest, FindDownloadDigest(ParseDownloadDigests(ReadWholeFile(Build + "\\digests.lst"), "d"),
                                         "Install1.1")
                          ->Digest);
    for (int round = 1; round <= 2; ++round) {
        // A server of its own for each install: one lives a few minutes only.
        Server.reset();
        Server = std::make_unique<TLocalServer>("http", Served.Path(), ServerWork.Path());
        RemoveFile(Dest("two.dat"));
        DeleteKeyTree(RegLocalMachine, UninstallKeyOf(kWeb.Product));
        const std::set<std::string> logs = SetupLogs();
        started = GetTickCount64();
        EXPECT_EQ(Install(), "");
        const int64_t install = GetTickCount64() - started;
        const std::string log = Logged(logs);
        const std::string mark = "Digest: Install1.1 is the build's (SHA-256 checked in ";
        const size_t at = log.find(mark);
        ASSERT_NE(at, std::string::npos) << log;
        const int64_t hashed = std::stoll(log.substr(at + mark.size()));
        std::printf("round %d: install %lld ms, of which checking the 150 MiB archive %lld ms: %.1f%% of the "
                    "install, %.3f times the install without it\n",
                    round, static_cast<long long>(install), static_cast<long long>(hashed),
                    100.0 * static_cast<double>(hashed) / static_cast<double>(install),
                    static_cast<double>(install) / static_cast<double>(install - hashed));
        EXPECT_EQ(FileSizeOf(Dest("two.dat")), static_cast<int64_t>(Two.size()));
    }
    std::printf("build %lld ms; SHA-256 of the archive in the test program %lld ms (%.0f MiB/s)\n",
                static_cast<long long>(build), static_cast<long long>(hashHere),
                150.0 * 1000.0 / static_cast<double>(std::max<int64_t>(hashHere, 1)));
}

} // namespace
