#include "objects/cmp_TNetInstallLocation.h"
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "platform/routines_WinText.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Forms.h"
#include <algorithm>
#include <cstring>
#include <cwchar>
#include <limits>
// Last: the toolkit's names must not meet the Windows macros.
#include <windows.h>
#include <wininet.h>
#undef RegisterClass

// The procedures a location uses, loaded from its own handle on the library.
// The W forms: names, folders and logins are UTF-8 text, which the A forms
// would squeeze through the ANSI code page.
struct TWinInetProcs {
    using OpenFn = HINTERNET(WINAPI*)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD);
    using ConnectFn = HINTERNET(WINAPI*)(HINTERNET, LPCWSTR, INTERNET_PORT, LPCWSTR, LPCWSTR, DWORD, DWORD,
                                         DWORD_PTR);
    using FtpSetDirFn = BOOL(WINAPI*)(HINTERNET, LPCWSTR);
    using CloseFn = BOOL(WINAPI*)(HINTERNET);
    using QueryAvailableFn = BOOL(WINAPI*)(HINTERNET, LPDWORD, DWORD, DWORD_PTR);
    using ReadFn = BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD);
    using FtpOpenFn = HINTERNET(WINAPI*)(HINTERNET, LPCWSTR, DWORD, DWORD, DWORD_PTR);
    using HttpOpenFn = HINTERNET(WINAPI*)(HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR*, DWORD,
                                          DWORD_PTR);
    using HttpSendFn = BOOL(WINAPI*)(HINTERNET, LPCWSTR, DWORD, LPVOID, DWORD);
    using HttpQueryFn = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD);
    using FtpGetDirFn = BOOL(WINAPI*)(HINTERNET, LPWSTR, LPDWORD);

    OpenFn InternetOpen = nullptr;
    ConnectFn InternetConnect = nullptr;
    FtpSetDirFn FtpSetCurrentDirectory = nullptr;
    CloseFn InternetCloseHandle = nullptr;
    QueryAvailableFn InternetQueryDataAvailable = nullptr;
    ReadFn InternetReadFile = nullptr;
    FtpOpenFn FtpOpenFile = nullptr;
    HttpOpenFn HttpOpenRequest = nullptr;
    HttpSendFn HttpSendRequest = nullptr;
    HttpQueryFn HttpQueryInfo = nullptr;
    FtpGetDirFn FtpGetCurrentDirectory = nullptr;
};

bool DownloadAborted = false;

namespace {

constexpr DWORD BlockSize = 8192;

using TLastResponseFn = BOOL(WINAPI*)(LPDWORD, LPWSTR, LPDWORD);
// Shared by every location; set by the first one that loads the library,
// which then stays loaded for the rest of the program so the address stays good.
TLastResponseFn GLastResponseInfo = nullptr;

TCustomNetInstallLocation* GCurrentNetLocation = nullptr;
TCustomNetInstallLocation* GDefaultNetLocation = nullptr;

std::string LastResponse() {
    if (!GLastResponseInfo)
        return "No server response";
    std::vector<wchar_t> buf(3000);
    DWORD error = 0, length = static_cast<DWORD>(buf.size());
    if (!GLastResponseInfo(&error, buf.data(), &length))
        return "No server response";
    length = std::min<DWORD>(length, static_cast<DWORD>(buf.size()));
    return TrimRight(Narrow(buf.data(), wcsnlen(buf.data(), length)));
}

void InstallNetErrorHooks() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    SetNetErrorTextHook([](uint32_t code) { return NetErrorName(code); });
    SetNetErrorContextHook([] {
        TNetErrorContext context;
        if (TCustomNetInstallLocation* location = CurrentNetLocation())
            context.Host = location->LoginInformation().Hostname();
        context.LastResponse = LastResponse();
        // The library keeps no response text for HTTP: a refusal shows the
        // status line the server sent instead.
        if (context.LastResponse.empty() && CurrentNetLocation())
            context.LastResponse = CurrentNetLocation()->HttpRefusal();
        return context;
    });
}

// "host:port" reaches a server on a port of its own; a plain host name (or
// an IPv6 address without brackets) uses the service's default port.
void SplitHostPort(const std::string& hostname, std::string& host, uint16_t& port) {
    host = hostname;
    port = 0;
    size_t colon = hostname.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return;
    std::string name = hostname.substr(0, colon);
    const bool bracketed = name.size() >= 2 && name.front() == '[' && name.back() == ']';
    if (name.find(':') != std::string::npos && !bracketed)
        return;
    int32_t number = 0;
    std::string digits = hostname.substr(colon + 1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
        !TryStrToInt(digits, number) || number < 1 || number > 65535)
        return;
    host = bracketed ? name.substr(1, name.size() - 2) : name;
    port = static_cast<uint16_t>(number);
}

// A failure of HttpSendRequest that concerns the secure connection.
bool IsSecurityError(DWORD code) {
    return !SecureConnectionProblem(code).empty();
}

// A failure that no system call reported: the message must not show the
// error code some earlier, harmless call left behind.
void ClearSystemError() {
    SetLastSystemError(0);
}

} // namespace

// The download goes into a file of its own beside the target, which takes
// the target's place only when everything has arrived: a failed or
// cancelled download never leaves part of a file where the caller looks.
class TCustomNetInstallLocation::TScratchFile {
public:
    explicit TScratchFile(const std::string& target) : FTarget(target) {
        std::string dir = ExtractFileDir(target);
        if (dir.empty())
            dir = ".";
        wchar_t name[MAX_PATH + 1];
        if (!GetTempFileNameW(Wide(dir).c_str(), L"nil", 0, name)) {
            uint32_t code = LastSystemError();
            throw EFCreateError(Format("Cannot create file \"%s\". %s", {target, SystemErrorText(code)}));
        }
        FPath = Narrow(name, wcslen(name));
        try {
            FStream = std::make_unique<TFileStream>(FPath, fmCreate);
        } catch (...) {
            RemoveFile(FPath);
            throw;
        }
    }
    ~TScratchFile() {
        FStream.reset();
        if (!FCommitted)
            RemoveFile(FPath);
    }
    TScratchFile(const TScratchFile&) = delete;
    TScratchFile& operator=(const TScratchFile&) = delete;

    TFileStream& Stream() { return *FStream; }
    // Closes the file and moves it onto the target; false when it cannot.
    bool Commit() {
        FStream.reset();
        FCommitted = RenameFile(FPath, FTarget, true);
        return FCommitted;
    }

private:
    std::string FTarget;
    std::string FPath;
    std::unique_ptr<TFileStream> FStream;
    bool FCommitted = false;
};

// --- login information ------------------------------------------------------------------------------

void TCustomLoginInformation::Assign(const TPersistent& source) {
    const auto* s = dynamic_cast<const TCustomLoginInformation*>(&source);
    if (!s)
        return TPersistent::Assign(source);
    FAnonymous = s->FAnonymous;
    FDirectory = s->FDirectory;
    FHostname = s->FHostname;
    FPassword = s->FPassword;
    FProtocol = s->FProtocol;
    FUsername = s->FUsername;
}

bool TCustomLoginInformation::IsComplete() const {
    if (FAnonymous)
        return !Trim(FHostname).empty();
    return !Trim(FHostname).empty() || !Trim(FPassword).empty() || !Trim(FUsername).empty();
}

// --- the location -----------------------------------------------------------------------------------

TCustomNetInstallLocation::TCustomNetInstallLocation(TComponent* AOwner)
    : TComponent(AOwner), FProcs(std::make_unique<TWinInetProcs>()),
      FLoginInformation(std::make_unique<TLoginInformation>(this)) {
    InstallNetErrorHooks();
    NetLocationList().Add(this);
}

TCustomNetInstallLocation::~TCustomNetInstallLocation() {
    if (GCurrentNetLocation == this)
        GCurrentNetLocation = nullptr;
    Disconnect();
    FreeWinInet();
    FLoginInformation.reset();
    if (GDefaultNetLocation == this)
        GDefaultNetLocation = nullptr;
    NetLocationList().Remove(this);
}

std::string TCustomNetInstallLocation::WinInetLibraryPath() const {
    return AddBackslash(GetSystemDir()) + "WININET.DLL";
}

void TCustomNetInstallLocation::ProcessMessages() {
    Application()->ProcessMessages();
}

void TCustomNetInstallLocation::LoadWinInet() {
    if (!FLibrary) {
        // By its full name in the system folder: never a copy planted beside the setup.
        FLibrary = LoadLibraryExW(Wide(WinInetLibraryPath()).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!FLibrary)
            throw ENIL_FailLoadWININET(
                "Failed to load the Wininet.dll. If this is a hybrid installation, you might want to "
                "include the WININET.DLL file in the PresetupFiles property of the TInstall component");
    }
    auto module = static_cast<HMODULE>(FLibrary);
    auto find = [module](const char* procedure, const char* shownName) {
        FARPROC p = GetProcAddress(module, procedure);
        if (!p)
            throw ENIL_FailLoadDLLProc(
                Format("Failed to load the procedure %s from WININET.DLL", {shownName}));
        return reinterpret_cast<void (*)()>(p);
    };
    TWinInetProcs& w = *FProcs;
    auto lastResponse = reinterpret_cast<TLastResponseFn>(
        find("InternetGetLastResponseInfoW", "InternetGetLastResponseInfo"));
    w.InternetOpen = reinterpret_cast<TWinInetProcs::OpenFn>(find("InternetOpenW", "InternetOpen"));
    w.InternetConnect =
        reinterpret_cast<TWinInetProcs::ConnectFn>(find("InternetConnectW", "InternetConnect"));
    w.FtpSetCurrentDirectory = reinterpret_cast<TWinInetProcs::FtpSetDirFn>(
        find("FtpSetCurrentDirectoryW", "FtpSetCurrentDirectory"));
    w.InternetCloseHandle =
        reinterpret_cast<TWinInetProcs::CloseFn>(find("InternetCloseHandle", "InternetCloseHandle"));
    w.InternetQueryDataAvailable = reinterpret_cast<TWinInetProcs::QueryAvailableFn>(
        find("InternetQueryDataAvailable", "InternetQueryDataAvailable"));
    w.InternetReadFile =
        reinterpret_cast<TWinInetProcs::ReadFn>(find("InternetReadFile", "InternetReadFile"));
    w.FtpOpenFile = reinterpret_cast<TWinInetProcs::FtpOpenFn>(find("FtpOpenFileW", "FtpOpenFile"));
    w.HttpOpenRequest =
        reinterpret_cast<TWinInetProcs::HttpOpenFn>(find("HttpOpenRequestW", "HttpOpenRequest"));
    w.HttpSendRequest =
        reinterpret_cast<TWinInetProcs::HttpSendFn>(find("HttpSendRequestW", "HttpSendRequest"));
    w.HttpQueryInfo = reinterpret_cast<TWinInetProcs::HttpQueryFn>(find("HttpQueryInfoW", "HttpQueryInfo"));
    w.FtpGetCurrentDirectory = reinterpret_cast<TWinInetProcs::FtpGetDirFn>(
        find("FtpGetCurrentDirectoryW", "FtpGetCurrentDirectory"));
    if (!GLastResponseInfo) {
        HMODULE pinned = nullptr;
        if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                               reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(lastResponse)), &pinned))
            GLastResponseInfo = lastResponse;
    }
    FWinInetLoaded = true;
}

void TCustomNetInstallLocation::FreeWinInet() {
    if (FLibrary && FreeLibrary(static_cast<HMODULE>(FLibrary)))
        FLibrary = nullptr;
    *FProcs = TWinInetProcs();
    FWinInetLoaded = false;
}

void TCustomNetInstallLocation::Connect() {
    GCurrentNetLocation = this;
    if (!FWinInetLoaded)
        LoadWinInet();
    const TWinInetProcs& w = *FProcs;
    const TLoginInformation& login = *FLoginInformation;
    if (!FSession) {
        // The server sees the program's name; the application object has
        // no component name, so its title stands in.
        TApplication* app = Application();
        std::string agent = app->Name().empty() ? app->Title() : app->Name();
        FSession = w.InternetOpen(Wide(agent).c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (!FSession)
            throw ENIL_OpenSession("Cannot open internet connection");
    }
    const bool ftp = EffectiveProtocol() == ipFTP;
    if (!FConnection) {
        if (OnBeforeConnect)
            OnBeforeConnect(this);
        std::wstring user, password;
        const wchar_t* userArg = nullptr;
        const wchar_t* passwordArg = nullptr;
        if (!login.Anonymous()) {
            user = Wide(login.Username());
            password = Wide(login.Password());
        }
        // Anonymous FTP passes nothing (the library logs in as "anonymous");
        // HTTP passes empty texts.
        if (!login.Anonymous() || !ftp) {
            userArg = user.c_str();
            passwordArg = password.c_str();
        }
        const TServerAddress address = ParseServerAddress(login.Hostname(), login.Protocol());
        INTERNET_PORT port = address.Port;
        if (port == 0)
            port = address.Protocol == ipHTTPS ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_INVALID_PORT_NUMBER;
        FConnection = w.InternetConnect(FSession, Wide(address.Host).c_str(), port, userArg, passwordArg,
                                        ftp ? INTERNET_SERVICE_FTP : INTERNET_SERVICE_HTTP, 0, 0);
        if (!FConnection)
            throw ENIL_OpenService("Cannot connect to host %s", {login.Hostname()});
        FLoginDirectory.clear();
        if (ftp)
            FLoginDirectory = FtpCurrentDirectory();
        if (OnAfterConnect)
            OnAfterConnect(this);
    }
    if (ftp) {
        // A relative folder is meant from where the login starts, not from
        // the folder an earlier download of this connection moved to.
        std::string dir = ServerPath(login.Directory());
        std::string target = dir;
        if (dir.front() != '/' && !FLoginDirectory.empty())
            target = (FLoginDirectory.back() == '/' ? FLoginDirectory : FLoginDirectory + "/") + dir;
        if (!w.FtpSetCurrentDirectory(FConnection, Wide(target).c_str()))
            throw ENIL_FTPSetDir("Cannot set directory on server to %s", {dir});
    }
}

std::string TCustomNetInstallLocation::FtpCurrentDirectory() {
    std::vector<wchar_t> buf(MAX_PATH + 1);
    DWORD length = static_cast<DWORD>(buf.size());
    if (!FProcs->FtpGetCurrentDirectory(FConnection, buf.data(), &length))
        return std::string();
    return Narrow(buf.data(), wcsnlen(buf.data(), buf.size()));
}

void TCustomNetInstallLocation::Disconnect() {
    if (!FWinInetLoaded)
        return;
    if (FConnection && FProcs->InternetCloseHandle(FConnection))
        FConnection = nullptr;
    if (FSession && FProcs->InternetCloseHandle(FSession))
        FSession = nullptr;
}

void TCustomNetInstallLocation::Download(const std::string& RemoteName, const std::string& LocalName) {
    // A new download is a new decision of the user's: an earlier Cancel
    // must not end it.
    ClearDownloadAborted();
    FHttpRefusal.clear();
    Connect();
    FRemoteName = RemoteName;
    FLocalName = LocalName;
    if (OnBeforeDownload)
        OnBeforeDownload(this);
    if (EffectiveProtocol() == ipFTP)
        DownloadFTP();
    else
        DownloadHTTP();
    if (OnAfterDownload)
        OnAfterDownload(this, DownloadAborted);
}

TInternetProtocol TCustomNetInstallLocation::EffectiveProtocol() const {
    return ParseServerAddress(FLoginInformation->Hostname(), FLoginInformation->Protocol()).Protocol;
}

void TCustomNetInstallLocation::DownloadFTP() {
    FContentLengthGiven = false;
    FRemoteFile = FProcs->FtpOpenFile(FConnection, Wide(FRemoteName).c_str(), GENERIC_READ,
                                      FTP_TRANSFER_TYPE_BINARY, 0);
    if (!FRemoteFile)
        throw ENIL_FTPOpenFile("Cannot open file %s on server", {FRemoteName});
    ReceiveAndClose(false);
}

void TCustomNetInstallLocation::DownloadHTTP() {
    std::string object = HttpObjectPath(FLoginInformation->Directory(), FRemoteName);
    // A secure request checks the server's certificate against the system's
    // trusted authorities; none of the flags that would skip a check is set.
    const bool secure = EffectiveProtocol() == ipHTTPS;
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_CACHE_WRITE;
    if (secure)
        flags |= INTERNET_FLAG_SECURE;
    FRemoteFile = FProcs->HttpOpenRequest(FConnection, L"GET", Wide(object).c_str(), nullptr, nullptr,
                                          nullptr, flags, 0);
    if (!FRemoteFile)
        throw ENIL_HTTPOpenFile("Cannot open file %s on server", {FRemoteName});
    static const wchar_t headers[] = L"Accept: */*\r\n\r\n";
    if (!FProcs->HttpSendRequest(FRemoteFile, headers, static_cast<DWORD>(wcslen(headers)), nullptr, 0)) {
        const DWORD code = GetLastError();
        if (secure && IsSecurityError(code)) {
            ENIL_HTTPSecure failure(
                "Cannot make a secure connection to %s for the file %s: %s",
                {FLoginInformation->Hostname(), FRemoteName, SecureConnectionProblem(code)});
            CloseRemoteFile();
            throw failure;
        }
        ENIL_HTTPSendRequest failure("Cannot send request for file %s to the server", {FRemoteName});
        CloseRemoteFile();
        throw failure;
    }
    ReceiveAndClose(true);
}

bool TCustomNetInstallLocation::CloseRemoteFile() {
    if (!FRemoteFile)
        return true;
    if (!FProcs->InternetCloseHandle(FRemoteFile))
        return false;
    FRemoteFile = nullptr;
    return true;
}

void TCustomNetInstallLocation::ReceiveAndClose(bool http) {
    std::unique_ptr<TScratchFile> received;
    try {
        bool statusKnown = http && CheckHTTPStatus();
        received = ReceiveToFile(http, statusKnown);
    } catch (...) {
        // The first failure is the one to report.
        CloseRemoteFile();
        throw;
    }
    if (!CloseRemoteFile())
        throw ENIL_FTPCloseFile("Cannot close the file %s on the server", {FRemoteName});
    if (received && !received->Commit())
        throw ENIL_WriteDestFile(
            Format("%s could not write to the local dest file %s", {Name(), FLocalName}));
}

bool TCustomNetInstallLocation::CheckHTTPStatus() {
    DWORD status = 0, length = sizeof status;
    if (!FProcs->HttpQueryInfo(FRemoteFile, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length,
                               nullptr))
        return false;
    if (status < 400)
        return true;
    wchar_t text[200] = {};
    length = sizeof text - sizeof text[0];
    if (!FProcs->HttpQueryInfo(FRemoteFile, HTTP_QUERY_STATUS_TEXT, text, &length, nullptr))
        text[0] = 0;
    FHttpRefusal = Trim(std::to_string(status) + " " + Narrow(text, wcsnlen(text, 199)));
    ClearSystemError();
    if (status == 404 || status == 410)
        throw ENIL_FileNotFound("Could not find the file %s on the server", {FRemoteName});
    throw ENIL_HTTPOpenFile("Cannot open file %s on server", {FRemoteName});
}

Integer TCustomNetInstallLocation::QueryDataSize(bool http) {
    FContentLengthGiven = false;
    if (!http) {
        DWORD available = 0;
        if (!FProcs->InternetQueryDataAvailable(FRemoteFile, &available, 0, 0))
            throw ENIL_FailDataQuery("Could not query file %s on server", {FRemoteName});
        return static_cast<Integer>(std::min<DWORD>(available, std::numeric_limits<Integer>::max()));
    }
    wchar_t text[33] = {};
    DWORD length = sizeof text - sizeof text[0];
    bool found = FProcs->HttpQueryInfo(FRemoteFile, HTTP_QUERY_CONTENT_LENGTH, text, &length, nullptr);
    if (!found && GetLastError() != ERROR_HTTP_HEADER_NOT_FOUND)
        throw ENIL_FailDataQuery("Could not query file %s on server", {FRemoteName});
    Integer size = 0;
    if (!found || !TryStrToInt(Narrow(text, wcsnlen(text, 32)), size) || size < 0)
        return 0;
    FContentLengthGiven = true;
    return size;
}

std::unique_ptr<TCustomNetInstallLocation::TScratchFile>
TCustomNetInstallLocation::ReceiveToFile(bool http, bool statusKnown) {
    const Integer total = QueryDataSize(http);
    auto file = std::make_unique<TScratchFile>(FLocalName);
    std::vector<char> block(BlockSize);
    DWORD count = 0;
    auto readBlock = [&] {
        if (!FProcs->InternetReadFile(FRemoteFile, block.data(), BlockSize, &count))
            throw ENIL_ReadFile("Could not read from file %s on the server", {FRemoteName});
    };
    readBlock();
    if (http && !statusKnown) {
        // A server that gives no status can only say "not found" in its text.
        std::string head = UpperCase(std::string_view(block.data(), std::min<DWORD>(count, 30)));
        if (head.find("404") != std::string::npos) {
            ClearSystemError();
            throw ENIL_FileNotFound("Could not find the file %s on the server", {FRemoteName});
        }
    }
    int64_t received = 0;
    while (count > 0) {
        received += count;
        if (received > std::numeric_limits<Integer>::max()) {
            ClearSystemError();
            throw ENIL_ReadFile("Could not read from file %s on the server: it is larger than 2 GB",
                                {FRemoteName});
        }
        const auto done = static_cast<Integer>(received), chunk = static_cast<Integer>(count);
        if (OnDownloadProgress)
            OnDownloadProgress(this, FRemoteName, block.data(), total, done, chunk);
        if (OnObjectProgress)
            OnObjectProgress(this, FRemoteName, block.data(), total, done, chunk);
        ProcessMessages();
        if (DownloadAborted)
            return nullptr;
        if (file->Stream().Write(block.data(), count) != static_cast<int64_t>(count))
            throw ENIL_WriteDestFile(
                Format("%s could not write to the local dest file %s", {Name(), FLocalName}));
        readBlock();
    }
    ClearSystemError();
    if (received == 0)
        throw ENIL_FileNotFound("Could not find the file %s on the server", {FRemoteName});
    // The server said how much it would send: less is a cut connection.
    if (FContentLengthGiven && received < total)
        throw ENIL_ReadFile("Could not read from file %s on the server", {FRemoteName});
    return file;
}

// --- unit-wide state --------------------------------------------------------------------------------

void TCustomNetInstallLocationList::Add(TCustomNetInstallLocation* location) {
    if (!location)
        throw IENetList("Cannot add an empty entry to the list of net install locations");
    FItems.push_back(location);
}

void TCustomNetInstallLocationList::Remove(TCustomNetInstallLocation* location) {
    auto it = std::find(FItems.begin(), FItems.end(), location);
    if (it != FItems.end())
        FItems.erase(it);
}

int TCustomNetInstallLocationList::IndexOf(const TCustomNetInstallLocation* location) const {
    auto it = std::find(FItems.begin(), FItems.end(), location);
    return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

TCustomNetInstallLocationList& NetLocationList() {
    static TCustomNetInstallLocationList list;
    return list;
}

TCustomNetInstallLocation* CurrentNetLocation() {
    return GCurrentNetLocation;
}

TCustomNetInstallLocation* DefaultNetLocation() {
    return GDefaultNetLocation;
}

void SetDefaultNetLocation(TCustomNetInstallLocation* location) {
    GDefaultNetLocation = location;
}

void ClearDownloadAborted() {
    DownloadAborted = false;
}

std::string ServerPath(const std::string& Text) {
    if (Trim(Text).empty())
        return "/";
    std::string path = Text;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string HttpObjectPath(const std::string& Directory, const std::string& RemoteName) {
    // A folder written with a closing slash gets no second one.
    bool closed = !Directory.empty() && (Directory.back() == '\\' || Directory.back() == '/');
    return ServerPath(Trim(Directory).empty() || closed ? Directory : Directory + "\\") + RemoteName;
}

TServerAddress ParseServerAddress(const std::string& Hostname, TInternetProtocol Protocol) {
    static const struct {
        const char* Scheme;
        TInternetProtocol Protocol;
    } schemes[] = {{"https://", ipHTTPS}, {"http://", ipHTTP}, {"ftp://", ipFTP}};
    TServerAddress address;
    address.Protocol = Protocol;
    std::string host = Hostname;
    const std::string trimmed = Trim(Hostname);
    for (const auto& s : schemes) {
        const size_t n = std::strlen(s.Scheme);
        if (trimmed.size() >= n && SameText(trimmed.substr(0, n), s.Scheme)) {
            address.Protocol = s.Protocol;
            host = trimmed.substr(n);
            // "https://host/" names the server as a browser would; a path
            // after the host is not taken for one (the connection then fails
            // and names the whole text).
            while (!host.empty() && host.back() == '/')
                host.pop_back();
            break;
        }
    }
    SplitHostPort(host, address.Host, address.Port);
    return address;
}

std::string SecureConnectionProblem(uint32_t code) {
    switch (code) {
    case ERROR_INTERNET_INVALID_CA:
        return "its certificate was not issued by an authority this computer trusts";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        return "its certificate was issued for another name";
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        return "its certificate has expired or is not valid yet";
    case ERROR_INTERNET_SEC_CERT_REVOKED:
        return "its certificate has been revoked";
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        return "its certificate could not be checked: its authority is not trusted by this computer, or "
               "whether the certificate was revoked cannot be found out";
    case ERROR_INTERNET_SEC_CERT_NO_REV:
        return "its certificate could not be checked for revocation";
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_INVALID_CERT:
        return "its certificate is not valid";
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
        return "the server asks for a certificate of this computer";
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
        return "no secure channel could be agreed with the server";
    case ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR:
        return "the server sends the request on to an address that is not secure";
    default:
        return std::string();
    }
}

std::string NetErrorName(uint32_t code) {
    static const char* const internet[] = {
        "ERROR_INTERNET_OUT_OF_HANDLES",
        "ERROR_INTERNET_TIMEOUT",
        "ERROR_INTERNET_EXTENDED_ERROR",
        "ERROR_INTERNET_INTERNAL_ERROR",
        "ERROR_INTERNET_INVALID_URL",
        "ERROR_INTERNET_UNRECOGNIZED_SCHEME",
        "ERROR_INTERNET_NAME_NOT_RESOLVED",
        "ERROR_INTERNET_PROTOCOL_NOT_FOUND",
        "ERROR_INTERNET_INVALID_OPTION",
        "ERROR_INTERNET_BAD_OPTION_LENGTH",
        "ERROR_INTERNET_OPTION_NOT_SETTABLE",
        "ERROR_INTERNET_SHUTDOWN",
        "ERROR_INTERNET_INCORRECT_USER_NAME",
        "ERROR_INTERNET_INCORRECT_PASSWORD",
        "ERROR_INTERNET_LOGIN_FAILURE",
        "ERROR_INTERNET_INVALID_OPERATION",
        "ERROR_INTERNET_OPERATION_CANCELLED",
        "ERROR_INTERNET_INCORRECT_HANDLE_TYPE",
        "ERROR_INTERNET_INCORRECT_HANDLE_STATE",
        "ERROR_INTERNET_NOT_PROXY_REQUEST",
        "ERROR_INTERNET_REGISTRY_VALUE_NOT_FOUND",
        "ERROR_INTERNET_BAD_REGISTRY_PARAMETER",
        "ERROR_INTERNET_NO_DIRECT_ACCESS",
        "ERROR_INTERNET_NO_CONTEXT",
        "ERROR_INTERNET_NO_CALLBACK",
        "ERROR_INTERNET_REQUEST_PENDING",
        "ERROR_INTERNET_INCORRECT_FORMAT",
        "ERROR_INTERNET_ITEM_NOT_FOUND",
        "ERROR_INTERNET_CANNOT_CONNECT",
        "ERROR_INTERNET_CONNECTION_ABORTED",
        "ERROR_INTERNET_CONNECTION_RESET",
    };
    static const char* const gopher[] = {
        "ERROR_GOPHER_PROTOCOL_ERROR",  "ERROR_GOPHER_NOT_FILE",
        "ERROR_GOPHER_DATA_ERROR",      "ERROR_GOPHER_END_OF_DATA",
        "ERROR_GOPHER_INVALID_LOCATOR", "ERROR_GOPHER_INCORRECT_LOCATOR_TYPE",
        "ERROR_GOPHER_NOT_GOPHER_PLUS", "ERROR_GOPHER_ATTRIBUTE_NOT_FOUND",
        "ERROR_GOPHER_UNKNOWN_LOCATOR",
    };
    static const char* const http[] = {
        "ERROR_HTTP_HEADER_NOT_FOUND",        "ERROR_HTTP_DOWNLEVEL_SERVER",
        "ERROR_HTTP_INVALID_SERVER_RESPONSE", "ERROR_HTTP_INVALID_HEADER",
        "ERROR_HTTP_INVALID_QUERY_REQUEST",   "ERROR_HTTP_HEADER_ALREADY_EXISTS",
    };
    if (code == 6)
        return "ERROR_INVALID_HANDLE";
    if (code >= 12001 && code <= 12031)
        return internet[code - 12001];
    if (code >= 12130 && code <= 12138)
        return gopher[code - 12130];
    if (code >= 12150 && code <= 12155)
        return http[code - 12150];
    static const char* const security[] = {
        "ERROR_INTERNET_SEC_CERT_DATE_INVALID",
        "ERROR_INTERNET_SEC_CERT_CN_INVALID",
        "ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR",
        "ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR",
        "ERROR_INTERNET_MIXED_SECURITY",
        "ERROR_INTERNET_CHG_POST_IS_NON_SECURE",
        "ERROR_INTERNET_POST_IS_NON_SECURE",
        "ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED",
        "ERROR_INTERNET_INVALID_CA",
    };
    if (code >= 12037 && code <= 12045)
        return security[code - 12037];
    switch (code) {
    case 12032:
        return "ERROR_INTERNET_FORCE_RETRY";
    case 12055:
        return "ERROR_INTERNET_SEC_CERT_ERRORS";
    case 12056:
        return "ERROR_INTERNET_SEC_CERT_NO_REV";
    case 12057:
        return "ERROR_INTERNET_SEC_CERT_REV_FAILED";
    case 12157:
        return "ERROR_INTERNET_SECURITY_CHANNEL_ERROR";
    case 12169:
        return "ERROR_INTERNET_SEC_INVALID_CERT";
    case 12170:
        return "ERROR_INTERNET_SEC_CERT_REVOKED";
    case 12036:
        return "ERROR_INTERNET_HANDLE_EXISTS";
    case 12110:
        return "ERROR_FTP_TRANSFER_IN_PROGRESS";
    case 12111:
        return "ERROR_FTP_DROPPED";
    default:
        return std::string();
    }
}

// --- class descriptions -----------------------------------------------------------------------------

const TClassInfo& TCustomLoginInformation::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TCustomLoginInformation, TPersistent>("TCustomLoginInformation", [](auto&) {});
    return info;
}

const TClassInfo& TLoginInformation::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TLoginInformation, TCustomLoginInformation>("TLoginInformation", [](auto& c) {
            using T = TCustomLoginInformation;
            c.Bool("Anonymous", &T::Anonymous, &T::SetAnonymous, true);
            c.Str("Directory", &T::Directory, &T::SetDirectory, "");
            c.Str("Hostname", &T::Hostname, &T::SetHostname, "");
            c.Str("Password", &T::Password, &T::SetPassword, "");
            c.Enum("Protocol", {"ipFTP", "ipHTTP", "ipHTTPS"}, &T::Protocol, &T::SetProtocol, ipHTTP);
            c.Str("Username", &T::Username, &T::SetUsername, "");
        });
    return info;
}

const TClassInfo& TCustomNetInstallLocation::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TCustomNetInstallLocation, TComponent>("TCustomNetInstallLocation", [](auto&) {});
    return info;
}

const TClassInfo& TNetInstallLocation::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TNetInstallLocation, TCustomNetInstallLocation>("TNetInstallLocation", [](auto& c) {
            using T = TCustomNetInstallLocation;
            c.Nested("LoginInformation",
                     [](TNetInstallLocation& o) -> TPersistent* { return &o.LoginInformation(); });
            c.Event("OnAfterConnect", &T::OnAfterConnect);
            c.Event("OnAfterDownload", &T::OnAfterDownload);
            c.Event("OnBeforeConnect", &T::OnBeforeConnect);
            c.Event("OnBeforeDownload", &T::OnBeforeDownload);
            c.Event("OnDownloadProgress", &T::OnDownloadProgress);
        });
    return info;
}

void RegisterNetLocationClasses() {
    RegisterClass(TNetInstallLocation::StaticClass());
}
