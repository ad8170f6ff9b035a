// Network install locations: login data, server paths, the error names of
// the messages, loading the Internet library, and real downloads over HTTP
// and FTP from servers on 127.0.0.1 that the tests start themselves.
#include "LocalServer.h"
#include "objects/cmp_TNetInstallLocation.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "toolkit/classes_Reader.h"
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <type_traits>

namespace {

class TTestLocation : public TNetInstallLocation {
public:
    using TNetInstallLocation::TNetInstallLocation;
    std::string LibraryPath; // empty: the system's library
    int MessageRuns = 0;

protected:
    std::string WinInetLibraryPath() const override {
        return LibraryPath.empty() ? TNetInstallLocation::WinInetLibraryPath() : LibraryPath;
    }
    void ProcessMessages() override {
        ++MessageRuns;
        TNetInstallLocation::ProcessMessages();
    }
};

TOwnedPtr<TTestLocation> NewLocation(TInternetProtocol protocol, const std::string& host,
                                     const std::string& directory = "") {
    TOwnedPtr<TTestLocation> location(new TTestLocation(nullptr));
    location->SetName("Net1");
    location->LoginInformation().SetProtocol(protocol);
    location->LoginInformation().SetHostname(host);
    location->LoginInformation().SetDirectory(directory);
    return location;
}

// Bytes that no server mistakes for text; a different pattern per seed.
std::string Pattern(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    for (char& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return s;
}

// Runs body and returns the message of the exception of class E it raises
// ("" and a test failure when it raises none or another kind).
template <class E, class Body> std::string FailureOf(Body body, const char* wantedClass) {
    try {
        body();
    } catch (const Exception& e) {
        const char* got = e.ClassName();
        bool wanted = true;
        if constexpr (!std::is_same_v<E, Exception>)
            wanted = dynamic_cast<const E*>(&e) != nullptr;
        if (wanted) {
            EXPECT_STREQ(got, wantedClass);
            return e.Message();
        }
        ADD_FAILURE() << "wanted " << wantedClass << ", got " << got << ": " << e.Message();
        return "";
    }
    ADD_FAILURE() << "wanted " << wantedClass << ", nothing was raised";
    return "";
}

// Compares a downloaded file with the bytes it should hold, without
// printing kilobytes of binary on a failure.
::testing::AssertionResult HoldsBytes(const std::string& path, const std::string& expected) {
    if (!FileExists(path))
        return ::testing::AssertionFailure() << path << " does not exist";
    std::string actual = ReadWholeFile(path);
    if (actual == expected)
        return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    return ::testing::AssertionFailure() << path << " holds " << actual.size() << " bytes, expected "
                                         << expected.size() << "; they differ from byte " << at;
}

std::string NetMessage(const std::string& text, const std::string& errorName, const std::string& host) {
    return text + ". Error message " + errorName + ". Server " + host + ". Response from server ";
}

} // namespace

// --- login data, paths and names ------------------------------------------------------------------

TEST(NetLogin, CompletenessOfLoginData) {
    TLoginInformation login;
    EXPECT_TRUE(login.Anonymous());
    EXPECT_EQ(login.Protocol(), ipHTTP);
    EXPECT_FALSE(login.IsComplete()) << "anonymous without a host";
    login.SetHostname("   ");
    EXPECT_FALSE(login.IsComplete()) << "a blank host is no host";
    login.SetUsername("me");
    EXPECT_FALSE(login.IsComplete()) << "anonymous logins need the host whatever else is given";
    login.SetHostname(" example.org ");
    EXPECT_TRUE(login.IsComplete());

    TLoginInformation named;
    named.SetAnonymous(false);
    EXPECT_FALSE(named.IsComplete());
    named.SetPassword("  ");
    EXPECT_FALSE(named.IsComplete());
    named.SetUsername("me");
    EXPECT_TRUE(named.IsComplete()) << "a user name alone is enough";
    named.SetUsername("");
    named.SetPassword("secret");
    EXPECT_TRUE(named.IsComplete());
}

TEST(NetLogin, AssigningCopiesTheLoginAndTheStoredNamesAreKept) {
    RegisterNetLocationClasses();
    TOwnedPtr<TComponent> stored(CreateFromLayout(R"(object Net1: TNetInstallLocation
  LoginInformation.Anonymous = False
  LoginInformation.Directory = 'web\sub'
  LoginInformation.Hostname = 'example.org'
  LoginInformation.Password = 'pw'
  LoginInformation.Protocol = ipFTP
  LoginInformation.Username = 'me'
end
)"));
    auto* source = dynamic_cast<TNetInstallLocation*>(stored.get());
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->LoginInformation().NetLocation(), source);

    TOwnedPtr<TTestLocation> target(new TTestLocation(nullptr));
    target->SetLoginInformation(source->LoginInformation());
    const TLoginInformation& login = target->LoginInformation();
    EXPECT_FALSE(login.Anonymous());
    EXPECT_EQ(login.Directory(), "web\\sub");
    EXPECT_EQ(login.Hostname(), "example.org");
    EXPECT_EQ(login.Password(), "pw");
    EXPECT_EQ(login.Protocol(), ipFTP);
    EXPECT_EQ(login.Username(), "me");
    EXPECT_EQ(login.NetLocation(), target.get()) << "the copy stays linked to its own location";
    EXPECT_EQ(GetPropText(*target, "LoginInformation.Protocol"), "ipFTP");
}

TEST(NetPaths, ServerPathOfDirectory) {
    EXPECT_EQ(ServerPath(""), "/");
    EXPECT_EQ(ServerPath("  "), "/");
    EXPECT_EQ(ServerPath("web"), "web");
    EXPECT_EQ(ServerPath("\\web\\sub\\"), "/web/sub/");
    EXPECT_EQ(ServerPath(" web "), " web ") << "used untrimmed";
}

TEST(NetPaths, AHostNameMayStartWithTheSchemeThatDecidesTheProtocol) {
    auto check = [](const std::string& hostname, TInternetProtocol stored, TInternetProtocol protocol,
                    const std::string& host, uint16_t port) {
        const TServerAddress a = ParseServerAddress(hostname, stored);
        EXPECT_EQ(a.Protocol, protocol) << hostname;
        EXPECT_EQ(a.Host, host) << hostname;
        EXPECT_EQ(a.Port, port) << hostname;
    };
    check("example.org", ipHTTP, ipHTTP, "example.org", 0);
    check("example.org:8080", ipHTTPS, ipHTTPS, "example.org", 8080);
    check("https://example.org", ipHTTP, ipHTTPS, "example.org", 0);
    check(" HTTPS://example.org:8443/ ", ipFTP, ipHTTPS, "example.org", 8443);
    check("http://example.org", ipHTTPS, ipHTTP, "example.org", 0);
    check("ftp://[::1]:2121", ipHTTP, ipFTP, "::1", 2121);
    check("::1", ipHTTP, ipHTTP, "::1", 0);
    // A path is no part of a server's name: the connection fails and names it all.
    check("https://example.org/dist", ipHTTP, ipHTTPS, "example.org/dist", 0);

    // Stored as the third protocol.
    RegisterNetLocationClasses();
    TOwnedPtr<TComponent> stored(CreateFromLayout(R"(object Net1: TNetInstallLocation
  LoginInformation.Protocol = ipHTTPS
end
)"));
    auto* location = dynamic_cast<TNetInstallLocation*>(stored.get());
    ASSERT_NE(location, nullptr);
    EXPECT_EQ(location->LoginInformation().Protocol(), ipHTTPS);
    location->LoginInformation().SetHostname("ftp://example.org");
    EXPECT_EQ(location->EffectiveProtocol(), ipFTP);
}

TEST(NetErrors, NamesOfTheInternetErrorCodes) {
    const std::pair<uint32_t, const char*> names[] = {
        {6, "ERROR_INVALID_HANDLE"},
        {12001, "ERROR_INTERNET_OUT_OF_HANDLES"},
        {12002, "ERROR_INTERNET_TIMEOUT"},
        {12021, "ERROR_INTERNET_REGISTRY_VALUE_NOT_FOUND"},
        {12029, "ERROR_INTERNET_CANNOT_CONNECT"},
        {12031, "ERROR_INTERNET_CONNECTION_RESET"},
        {12032, "ERROR_INTERNET_FORCE_RETRY"},
        {12033, ""},
        {12035, ""},
        {12036, "ERROR_INTERNET_HANDLE_EXISTS"},
        {12037, "ERROR_INTERNET_SEC_CERT_DATE_INVALID"},
        {12038, "ERROR_INTERNET_SEC_CERT_CN_INVALID"},
        {12041, "ERROR_INTERNET_MIXED_SECURITY"},
        {12045, "ERROR_INTERNET_INVALID_CA"},
        {12046, ""},
        {12057, "ERROR_INTERNET_SEC_CERT_REV_FAILED"},
        {12157, "ERROR_INTERNET_SECURITY_CHANNEL_ERROR"},
        {12169, "ERROR_INTERNET_SEC_INVALID_CERT"},
        {12170, "ERROR_INTERNET_SEC_CERT_REVOKED"},
        {12110, "ERROR_FTP_TRANSFER_IN_PROGRESS"},
        {12111, "ERROR_FTP_DROPPED"},
        {12112, ""},
        {12130, "ERROR_GOPHER_PROTOCOL_ERROR"},
        {12135, "ERROR_GOPHER_INCORRECT_LOCATOR_TYPE"},
        {12138, "ERROR_GOPHER_UNKNOWN_LOCATOR"},
        {12139, ""},
        {12150, "ERROR_HTTP_HEADER_NOT_FOUND"},
        {12155, "ERROR_HTTP_HEADER_ALREADY_EXISTS"},
        {12156, ""},
        {0, ""},
        {2, ""},
    };
    for (const auto& [code, name] : names)
        EXPECT_EQ(NetErrorName(code), name) << code;
}

// --- unit-wide state and the library ------------------------------------------------------------

TEST(NetState, LocationsAreListedAndForgottenWhenDestroyed) {
    const int before = NetLocationList().Count();
    TTestLocation* first = new TTestLocation(nullptr);
    TTestLocation* second = new TTestLocation(nullptr);
    EXPECT_EQ(NetLocationList().Count(), before + 2);
    EXPECT_EQ(NetLocationList().IndexOf(second), NetLocationList().IndexOf(first) + 1);

    SetDefaultNetLocation(first);
    // A failing connect still makes the location the current one.
    first->LibraryPath = "C:\\no such folder\\wininet.dll";
    EXPECT_THROW(first->Connect(), ENIL_FailLoadWININET);
    EXPECT_EQ(CurrentNetLocation(), first);

    first->Free();
    EXPECT_EQ(CurrentNetLocation(), nullptr);
    EXPECT_EQ(DefaultNetLocation(), nullptr);
    EXPECT_EQ(NetLocationList().IndexOf(first), -1);
    SetDefaultNetLocation(second);
    second->Free();
    EXPECT_EQ(DefaultNetLocation(), nullptr);
    EXPECT_EQ(NetLocationList().Count(), before);

    std::string message = FailureOf<ENIL>([] { NetLocationList().Add(nullptr); }, "IENetList");
    EXPECT_NE(message.find("Cannot add an empty entry to the list of net install locations. Error message "),
              std::string::npos)
        << message;
}

TEST(NetLibrary, AMissingLibraryOrProcedureIsNamed) {
    auto location = NewLocation(ipHTTP, "127.0.0.1");
    location->LibraryPath = "C:\\no such folder\\WININET.DLL";
    try {
        location->LoadWinInet();
        ADD_FAILURE() << "loaded a library that does not exist";
    } catch (const ENIL_FailLoadWININET& e) {
        EXPECT_EQ(e.Message(),
                  "Failed to load the Wininet.dll. If this is a hybrid installation, you might want "
                  "to include the WININET.DLL file in the PresetupFiles property of the TInstall "
                  "component");
    }
    EXPECT_FALSE(location->WinInetLoaded());

    // A library without any of them: the first procedure is the one named.
    location->LibraryPath = AddBackslash(GetSystemDir()) + "version.dll";
    try {
        location->LoadWinInet();
        ADD_FAILURE() << "version.dll passed for the Internet library";
    } catch (const ENIL_FailLoadDLLProc& e) {
        EXPECT_EQ(e.Message(), "Failed to load the procedure InternetGetLastResponseInfo from WININET.DLL");
    }

    // The first two are there: the third, in the loading order, is missing.
    auto partial = NewLocation(ipHTTP, "127.0.0.1");
    partial->LibraryPath = ThisProgramFolder() + "fake_wininet.dll";
    ASSERT_TRUE(FileExists(partial->LibraryPath));
    try {
        partial->LoadWinInet();
        ADD_FAILURE() << "a library without InternetConnect passed";
    } catch (const ENIL_FailLoadDLLProc& e) {
        EXPECT_EQ(e.Message(), "Failed to load the procedure InternetConnect from WININET.DLL");
    }
    EXPECT_FALSE(partial->WinInetLoaded());

    auto real = NewLocation(ipHTTP, "127.0.0.1");
    real->LoadWinInet();
    EXPECT_TRUE(real->WinInetLoaded());
}

// --- downloads from local servers -----------------------------------------------------------------

namespace {
const std::string Data = Pattern(50000, 1); // more than six blocks, the last one short
const std::string Cut = Pattern(40000, 2);  // served half, then the connection closes
const std::string Page404 = "404 is where this file starts, and it is data all the same" + Pattern(20000, 3);
const std::string Unsized = Pattern(20000, 4); // served without a length
} // namespace

class NetDownload : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Root = std::make_unique<TTempFolder>();
        Work = std::make_unique<TTempFolder>();
        for (const char* dir : {"web", "web\\sub", "cut", "nolength", "status"})
            CreateDir(*Root / dir);
        WriteTextFile(*Root / "data.bin", Data);
        WriteTextFile(*Root / "web\\data.bin", "the web folder's");
        WriteTextFile(*Root / "web\\sub\\data.bin", "the sub folder's");
        WriteTextFile(*Root / "cut\\data.bin", Cut);
        WriteTextFile(*Root / "404.bin", Page404);
        WriteTextFile(*Root / "nolength\\data.bin", Unsized);
        WriteTextFile(*Root / "empty.bin", "");
        try {
            Http = std::make_unique<TLocalServer>("http", Root->Path(), Work->Path());
            Ftp = std::make_unique<TLocalServer>("ftp", Root->Path(), Work->Path());
        } catch (const std::exception& e) {
            StartFailure = e.what();
        }
    }
    static void TearDownTestSuite() {
        Http.reset();
        Ftp.reset();
        Work.reset();
        Root.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(StartFailure.empty()) << StartFailure;
        DownloadAborted = false;
        Http->ClearRequests();
    }

    static inline std::unique_ptr<TTempFolder> Root, Work;
    static inline std::unique_ptr<TLocalServer> Http, Ftp;
    static inline std::string StartFailure;
    TTempFolder Local;
};

TEST_F(NetDownload, HttpFetchesTheWholeFileInBlocksWithProgress) {
    auto location = NewLocation(ipHTTP, Http->Host());
    struct Step {
        Integer total, received, block;
    };
    std::vector<Step> steps, objectSteps;
    std::vector<std::string> order;
    location->OnBeforeConnect = [&](TObject*) { order.push_back("before connect"); };
    location->OnAfterConnect = [&](TObject*) { order.push_back("after connect"); };
    location->OnBeforeDownload = [&](TObject*) { order.push_back("before download"); };
    location->OnAfterDownload = [&](TObject*, bool aborted) {
        order.push_back(aborted ? "after download, aborted" : "after download");
    };
    location->OnDownloadProgress = [&](TObject* sender, const std::string& remote, const void* buffer,
                                       Integer total, Integer received, Integer block) {
        EXPECT_EQ(sender, location.get());
        if (remote != "data.bin")
            return;
        size_t at = static_cast<size_t>(received - block);
        EXPECT_TRUE(std::string(static_cast<const char*>(buffer), static_cast<size_t>(block)) ==
                    Data.substr(at, static_cast<size_t>(block)))
            << "the block ending at " << received;
        steps.push_back({total, received, block});
    };
    location->OnObjectProgress = [&](TObject*, const std::string& remote, const void*, Integer total,
                                     Integer received, Integer block) {
        if (remote == "data.bin")
            objectSteps.push_back({total, received, block});
    };

    location->Download("data.bin", Local / "data.bin");
    EXPECT_TRUE(HoldsBytes(Local / "data.bin", Data));
    EXPECT_EQ(Http->Requests(), std::vector<std::string>{"/data.bin"});
    ASSERT_FALSE(steps.empty());
    Integer sum = 0;
    for (const Step& s : steps) {
        EXPECT_EQ(s.total, 50000);
        EXPECT_GT(s.block, 0);
        EXPECT_LE(s.block, 8192);
        sum += s.block;
        EXPECT_EQ(s.received, sum);
    }
    EXPECT_EQ(sum, 50000);
    EXPECT_GE(steps.size(), 7u) << "8192-byte blocks";
    EXPECT_EQ(objectSteps.size(), steps.size());
    EXPECT_EQ(location->MessageRuns, static_cast<int>(steps.size())) << "messages run after every block";
    EXPECT_EQ(objectSteps.back().received, 50000);
    EXPECT_EQ(objectSteps.back().received, 50000);
    EXPECT_EQ(location->LocalName(), Local / "data.bin");
    EXPECT_EQ(location->RemoteName(), "data.bin");

    // The connection is kept for the next download; the local file is replaced.
    WriteTextFile(Local / "again.bin", "an older file that is longer than the new one, by far: " + Data);
    location->Download("web\\..\\404.bin", Local / "again.bin");
    EXPECT_TRUE(HoldsBytes(Local / "again.bin", Page404));
    EXPECT_EQ(order, (std::vector<std::string>{"before connect", "after connect", "before download",
                                               "after download", "before download", "after download"}));
    // Nothing of the downloads is left beside the files.
    EXPECT_EQ(ListDirectory(Local.Path()).size(), 2u);
}

TEST_F(NetDownload, HttpFileThatStartsWith404DownloadsWhole) {
    auto location = NewLocation(ipHTTP, Http->Host());
    location->Download("404.bin", Local / "404.bin");
    EXPECT_TRUE(HoldsBytes(Local / "404.bin", Page404));
}

TEST_F(NetDownload, HttpMissingFileIsNamedWithTheServer) {
    auto location = NewLocation(ipHTTP, Http->Host());
    WriteTextFile(Local / "kept.bin", "the file from before");
    std::string message =
        FailureOf<ENIL>([&] { location->Download("missing.bin", Local / "kept.bin"); }, "ENIL_FileNotFound");
    EXPECT_EQ(
        message.rfind(NetMessage("Could not find the file missing.bin on the server", "", Http->Host()), 0),
        0u)
        << message;
    EXPECT_EQ(message, NetMessage("Could not find the file missing.bin on the server", "", Http->Host()) +
                           "404 File not found")
        << "the server's status line stands in for the response text HTTP does not keep";
    EXPECT_EQ(ReadWholeFile(Local / "kept.bin"), "the file from before") << "a failure loses nothing";
    EXPECT_EQ(ListDirectory(Local.Path()).size(), 1u);

    // 410 says the same; any other refusal cannot open the file.
    location->LoginInformation().SetDirectory("status");
    message = FailureOf<ENIL>([&] { location->Download("410", Local / "gone.bin"); }, "ENIL_FileNotFound");
    EXPECT_EQ(message.rfind("Could not find the file 410 on the server. ", 0), 0u) << message;
    message = FailureOf<ENIL>([&] { location->Download("403", Local / "gone.bin"); }, "ENIL_HTTPOpenFile");
    EXPECT_EQ(message, NetMessage("Cannot open file 403 on server", "", Http->Host()) + "403 Forbidden");
    message = FailureOf<ENIL>([&] { location->Download("500", Local / "gone.bin"); }, "ENIL_HTTPOpenFile");
    EXPECT_FALSE(FileExists(Local / "gone.bin"));
    EXPECT_EQ(ListDirectory(Local.Path()).size(), 1u);
}

TEST_F(NetDownload, HttpCutConnectionFailsAndLeavesNoPartialFile) {
    auto location = NewLocation(ipHTTP, Http->Host(), "cut");
    Integer lastReceived = 0, total = 0;
    location->OnDownloadProgress = [&](TObject*, const std::string&, const void*, Integer t, Integer received,
                                       Integer) {
        total = t;
        lastReceived = received;
    };
    std::string message =
        FailureOf<ENIL>([&] { location->Download("data.bin", Local / "data.bin"); }, "ENIL_ReadFile");
    EXPECT_EQ(message.rfind("Could not read from file data.bin on the server. Error message ", 0), 0u)
        << message;
    EXPECT_EQ(total, 40000);
    EXPECT_EQ(lastReceived, 20000) << "half arrived before the server closed";
    EXPECT_FALSE(FileExists(Local / "data.bin"));
    EXPECT_TRUE(ListDirectory(Local.Path()).empty()) << "the scratch file is gone too";

    // A complete file on the same location afterwards is fine.
    location->LoginInformation().SetDirectory("");
    location->Download("data.bin", Local / "data.bin");
    EXPECT_TRUE(HoldsBytes(Local / "data.bin", Data));
}

TEST(NetPaths, HttpObjectOfDirectoryAndName) {
    EXPECT_EQ(HttpObjectPath("", "setup.1"), "/setup.1");
    EXPECT_EQ(HttpObjectPath("  ", "setup.1"), "/setup.1");
    EXPECT_EQ(HttpObjectPath("web", "setup.1"), "web/setup.1") << "no leading slash is added";
    EXPECT_EQ(HttpObjectPath("web\\sub", "setup.1"), "web/sub/setup.1");
    EXPECT_EQ(HttpObjectPath("\\web\\sub\\", "setup.1"), "/web/sub/setup.1");
    EXPECT_EQ(HttpObjectPath("/web/", "setup.1"), "/web/setup.1");
}

TEST_F(NetDownload, HttpServerPathsOfTheDirectory) {
    auto location = NewLocation(ipHTTP, Http->Host());
    location->Download("data.bin", Local / "root.bin");
    location->LoginInformation().SetDirectory("web");
    location->Download("data.bin", Local / "web.bin");
    location->LoginInformation().SetDirectory("web\\sub");
    location->Download("data.bin", Local / "sub.bin");
    location->LoginInformation().SetDirectory("\\web\\sub\\");
    location->Download("data.bin", Local / "sub2.bin");
    // The library puts a slash before an object path without one.
    EXPECT_EQ(Http->Requests(), (std::vector<std::string>{"/data.bin", "/web/data.bin", "/web/sub/data.bin",
                                                          "/web/sub/data.bin"}));
    EXPECT_TRUE(HoldsBytes(Local / "root.bin", Data));
    EXPECT_EQ(ReadWholeFile(Local / "web.bin"), "the web folder's");
    EXPECT_EQ(ReadWholeFile(Local / "sub.bin"), "the sub folder's");
    EXPECT_EQ(ReadWholeFile(Local / "sub2.bin"), "the sub folder's");
}

TEST_F(NetDownload, HttpWithoutLengthShowsNoTotal) {
    auto location = NewLocation(ipHTTP, Http->Host(), "nolength");
    std::vector<Integer> totals;
    location->OnDownloadProgress = [&](TObject*, const std::string&, const void*, Integer total, Integer,
                                       Integer) { totals.push_back(total); };
    location->Download("data.bin", Local / "data.bin");
    EXPECT_TRUE(HoldsBytes(Local / "data.bin", Unsized));
    ASSERT_FALSE(totals.empty());
    for (Integer t : totals)
        EXPECT_EQ(t, 0);
}

TEST_F(NetDownload, EmptyRemoteFileIsNotFound) {
    for (TInternetProtocol protocol : {ipHTTP, ipFTP}) {
        auto location = NewLocation(protocol, protocol == ipHTTP ? Http->Host() : Ftp->Host());
        std::string message = FailureOf<ENIL>([&] { location->Download("empty.bin", Local / "empty.bin"); },
                                              "ENIL_FileNotFound");
        EXPECT_EQ(message.rfind("Could not find the file empty.bin on the server. Error message . ", 0), 0u)
            << message;
        EXPECT_FALSE(FileExists(Local / "empty.bin"));
    }
}

TEST_F(NetDownload, CancelStopsTheDownloadAndIsForgottenByTheNextOne) {
    auto location = NewLocation(ipHTTP, Http->Host());
    int blocks = 0;
    bool abortedSeen = false;
    location->OnDownloadProgress = [&](TObject*, const std::string&, const void*, Integer, Integer, Integer) {
        if (++blocks == 2)
            DownloadAborted = true; // what the progress window's Cancel does
    };
    location->OnAfterDownload = [&](TObject*, bool aborted) { abortedSeen = aborted; };
    WriteTextFile(Local / "data.bin", "the file from before");
    location->Download("data.bin", Local / "data.bin");
    EXPECT_TRUE(DownloadAborted);
    EXPECT_TRUE(abortedSeen);
    EXPECT_EQ(blocks, 2) << "no block is read after the cancel";
    EXPECT_EQ(ReadWholeFile(Local / "data.bin"), "the file from before")
        << "no part of the download in place";
    EXPECT_EQ(ListDirectory(Local.Path()).size(), 1u);

    // The next download of the program is a new one.
    location->OnDownloadProgress = nullptr;
    location->Download("data.bin", Local / "data.bin");
    EXPECT_FALSE(DownloadAborted);
    EXPECT_FALSE(abortedSeen);
    EXPECT_TRUE(HoldsBytes(Local / "data.bin", Data));

    DownloadAborted = true;
    ClearDownloadAborted();
    EXPECT_FALSE(DownloadAborted);
}

TEST_F(NetDownload, FtpAnonymousAndNamedLogins) {
    auto anonymous = NewLocation(ipFTP, Ftp->Host());
    anonymous->Download("data.bin", Local / "anonymous.bin");
    EXPECT_TRUE(HoldsBytes(Local / "anonymous.bin", Data));

    auto named = NewLocation(ipFTP, Ftp->Host());
    named->LoginInformation().SetAnonymous(false);
    named->LoginInformation().SetUsername("setup");
    named->LoginInformation().SetPassword("secret");
    named->Download("404.bin", Local / "named.bin");
    EXPECT_TRUE(HoldsBytes(Local / "named.bin", Page404)) << "FTP has no 404 test";

    auto refused = NewLocation(ipFTP, Ftp->Host());
    refused->LoginInformation().SetAnonymous(false);
    refused->LoginInformation().SetUsername("setup");
    refused->LoginInformation().SetPassword("wrong");
    std::string message =
        FailureOf<ENIL>([&] { refused->Download("data.bin", Local / "refused.bin"); }, "ENIL_OpenService");
    EXPECT_EQ(message.rfind("Cannot connect to host " + Ftp->Host() + ". Error message ERROR_INTERNET_", 0),
              0u)
        << message;
    EXPECT_NE(message.find(". Server " + Ftp->Host() + ". Response from server "), std::string::npos)
        << message;
    EXPECT_FALSE(FileExists(Local / "refused.bin"));
}

TEST_F(NetDownload, FtpServerPathsOfTheDirectory) {
    auto location = NewLocation(ipFTP, Ftp->Host(), "web");
    location->Download("data.bin", Local / "web.bin");
    // The same relative folder again on the kept connection: still the
    // folder below the login's, not one below itself.
    location->Download("data.bin", Local / "web.bin");
    location->LoginInformation().SetDirectory("web\\sub");
    location->Download("data.bin", Local / "sub.bin");
    // A blank directory is the server's root, whatever the folder before.
    location->LoginInformation().SetDirectory("  ");
    location->Download("data.bin", Local / "root.bin");
    EXPECT_EQ(ReadWholeFile(Local / "web.bin"), "the web folder's");
    EXPECT_EQ(ReadWholeFile(Local / "sub.bin"), "the sub folder's");
    EXPECT_TRUE(HoldsBytes(Local / "root.bin", Data));

    location->LoginInformation().SetDirectory("no\\such");
    std::string message =
        FailureOf<ENIL>([&] { location->Download("data.bin", Local / "none.bin"); }, "ENIL_FTPSetDir");
    EXPECT_EQ(message.rfind("Cannot set directory on server to no/such. Error message ", 0), 0u) << message;
    EXPECT_NE(message.find(". Server " + Ftp->Host() + ". Response from server 550"), std::string::npos)
        << message;
}

TEST_F(NetDownload, FtpMissingFileCannotBeOpened) {
    auto location = NewLocation(ipFTP, Ftp->Host());
    WriteTextFile(Local / "kept.bin", "the file from before");
    std::string message =
        FailureOf<ENIL>([&] { location->Download("missing.bin", Local / "kept.bin"); }, "ENIL_FTPOpenFile");
    EXPECT_EQ(message.rfind("Cannot open file missing.bin on server. Error message ", 0), 0u) << message;
    EXPECT_NE(message.find(". Server " + Ftp->Host() + ". Response from server 550"), std::string::npos)
        << message;
    EXPECT_EQ(ReadWholeFile(Local / "kept.bin"), "the file from before");
}

TEST_F(NetDownload, NoServerOnThePortNamesTheError) {
    // Port 1 on this machine has nobody listening.
    auto ftp = NewLocation(ipFTP, "127.0.0.1:1");
    std::string message =
        FailureOf<ENIL>([&] { ftp->Download("data.bin", Local / "x.bin"); }, "ENIL_OpenService");
    EXPECT_EQ(message.rfind(NetMessage("Cannot connect to host 127.0.0.1:1", "ERROR_INTERNET_CANNOT_CONNECT",
                                       "127.0.0.1:1"),
                            0),
              0u)
        << message;
    auto http = NewLocation(ipHTTP, "127.0.0.1:1");
    message = FailureOf<ENIL>([&] { http->Download("data.bin", Local / "x.bin"); }, "ENIL_HTTPSendRequest");
    EXPECT_EQ(message.rfind(NetMessage("Cannot send request for file data.bin to the server",
                                       "ERROR_INTERNET_CANNOT_CONNECT", "127.0.0.1:1"),
                            0),
              0u)
        << message;
    EXPECT_TRUE(ListDirectory(Local.Path()).empty());
}

TEST_F(NetDownload, ALocalTargetThatCannotBeWrittenFailsAndLeavesNothing) {
    auto location = NewLocation(ipHTTP, Http->Host());
    // A folder stands where the file should go: the complete download cannot take its place.
    CreateDir(Local / "taken");
    std::string message =
        FailureOf<Exception>([&] { location->Download("data.bin", Local / "taken"); }, "ENIL_WriteDestFile");
    EXPECT_EQ(message, "Net1 could not write to the local dest file " + Local / "taken");
    EXPECT_TRUE(DirectoryExists(Local / "taken"));
    EXPECT_EQ(ListDirectory(Local.Path()).size(), 1u) << "the scratch file is gone";

    // A folder that does not exist: nothing can be created there.
    message = FailureOf<Exception>([&] { location->Download("data.bin", Local / "none\\data.bin"); },
                                   "EFCreateError");
    EXPECT_EQ(message.rfind("Cannot create file \"" + Local / "none\\data.bin" + "\"", 0), 0u) << message;
    EXPECT_FALSE(DirectoryExists(Local / "none"));
}

// --- HTTPS ----------------------------------------------------------------------------------------

// Two HTTPS servers: one whose certificate comes from a test authority the
// host trusts while the suite runs, one whose authority it never trusts.
class NetSecureDownload : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Root = std::make_unique<TTempFolder>();
        Work = std::make_unique<TTempFolder>();
        WriteTextFile(*Root / "data.bin", Data);
        CreateDir(*Work / "trusted");
        CreateDir(*Work / "untrusted");
        try {
            Authority = std::make_unique<TTestAuthority>(Work->Path());
            Authority->Trust();
            Trusted =
                std::make_unique<TLocalServer>("https", Root->Path(), *Work / "trusted",
                                               Authority->TrustedCertificate(), Authority->TrustedKey());
            Untrusted =
                std::make_unique<TLocalServer>("https", Root->Path(), *Work / "untrusted",
                                               Authority->UntrustedCertificate(), Authority->UntrustedKey());
        } catch (const std::exception& e) {
            StartFailure = e.what();
        }
    }
    static void TearDownTestSuite() {
        Trusted.reset();
        Untrusted.reset();
        Authority.reset(); // the host's trust goes with it
        Work.reset();
        Root.reset();
    }
    void SetUp() override { ASSERT_TRUE(StartFailure.empty()) << StartFailure; }

    static inline std::unique_ptr<TTempFolder> Root, Work;
    static inline std::unique_ptr<TTestAuthority> Authority;
    static inline std::unique_ptr<TLocalServer> Trusted, Untrusted;
    static inline std::string StartFailure;
    TTempFolder Local;
};

TEST_F(NetSecureDownload, AServerWithATrustedCertificateIsReadOverTls) {
    auto location = NewLocation(ipHTTPS, Trusted->Host());
    location->Download("data.bin", Local / "data.bin");
    EXPECT_TRUE(HoldsBytes(Local / "data.bin", Data));
    // The scheme in the host name says the same.
    auto byScheme = NewLocation(ipHTTP, "https://" + Trusted->Host() + "/");
    byScheme->Download("data.bin", Local / "scheme.bin");
    EXPECT_TRUE(HoldsBytes(Local / "scheme.bin", Data));
    EXPECT_EQ(Trusted->Requests(), (std::vector<std::string>{"/data.bin", "/data.bin"}));
    // Plain HTTP to the secure server gets no file.
    auto plain = NewLocation(ipHTTP, Trusted->Host());
    EXPECT_THROW(plain->Download("data.bin", Local / "plain.bin"), Exception);
    EXPECT_FALSE(FileExists(Local / "plain.bin"));
}

TEST_F(NetSecureDownload, AServerTheSystemDoesNotTrustIsRefusedWithAClearMessage) {
    auto location = NewLocation(ipHTTPS, Untrusted->Host());
    WriteTextFile(Local / "data.bin", "the file from before");
    const std::string message =
        FailureOf<ENIL>([&] { location->Download("data.bin", Local / "data.bin"); }, "ENIL_HTTPSecure");
    const std::string start = "Cannot make a secure connection to " + Untrusted->Host() +
                              " for the file data.bin: its certificate ";
    EXPECT_EQ(message.rfind(start, 0), 0u) << message;
    EXPECT_NE(message.find("Error message ERROR_INTERNET_"), std::string::npos) << message;
    EXPECT_EQ(ReadWholeFile(Local / "data.bin"), "the file from before");
    EXPECT_EQ(ListDirectory(Local.Path()).size(), 1u);
    EXPECT_TRUE(Untrusted->Requests().empty()) << "nothing was asked over the refused connection";
    std::printf("%s\n", message.c_str());
}
