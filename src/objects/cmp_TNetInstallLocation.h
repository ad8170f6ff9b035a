// Network install locations: the login data of one FTP or HTTP server and the
// download of single files from it. The Windows Internet library is loaded
// when the first download needs it, so that a setup without one still starts.
#pragma once
#include "platform/types_Base.h"
#include "toolkit/classes_Components.h"
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// ipHTTPS: HTTP over TLS, the server proving who it is with a certificate
// the system trusts.
enum TInternetProtocol : Byte { ipFTP, ipHTTP, ipHTTPS };

class TCustomNetInstallLocation;

class TCustomLoginInformation : public TPersistent {
    QFD_CLASS(TCustomLoginInformation)
public:
    explicit TCustomLoginInformation(TCustomNetInstallLocation* ALocation = nullptr)
        : FNetLocation(ALocation) {}
    // Copies the six login properties; the link to the location stays.
    void Assign(const TPersistent& source) override;
    // Enough is known to log in: a host for anonymous logins, else at least
    // one of host, user name and password.
    bool IsComplete() const;

    bool Anonymous() const { return FAnonymous; }
    void SetAnonymous(bool v) { FAnonymous = v; }
    const std::string& Directory() const { return FDirectory; }
    void SetDirectory(const std::string& v) { FDirectory = v; }
    const std::string& Hostname() const { return FHostname; }
    void SetHostname(const std::string& v) { FHostname = v; }
    const std::string& Password() const { return FPassword; }
    void SetPassword(const std::string& v) { FPassword = v; }
    TInternetProtocol Protocol() const { return FProtocol; }
    void SetProtocol(TInternetProtocol v) { FProtocol = v; }
    const std::string& Username() const { return FUsername; }
    void SetUsername(const std::string& v) { FUsername = v; }
    TCustomNetInstallLocation* NetLocation() const { return FNetLocation; }

private:
    bool FAnonymous = true;
    std::string FDirectory;
    std::string FHostname;
    std::string FPassword;
    TInternetProtocol FProtocol = ipHTTP;
    std::string FUsername;
    TCustomNetInstallLocation* FNetLocation;
};

class TLoginInformation : public TCustomLoginInformation {
    QFD_CLASS(TLoginInformation)
public:
    using TCustomLoginInformation::TCustomLoginInformation;
};

using TAfterDownloadEvent = std::function<void(TObject* Sender, bool Aborted)>;
// Buffer holds the block just read (BlockSize bytes); TotalSize is what the
// server announced (0 when it did not say).
using TDownloadProgressEvent =
    std::function<void(TObject* Sender, const std::string& RemoteName, const void* Buffer, Integer TotalSize,
                       Integer Received, Integer BlockSize)>;

struct TWinInetProcs;

class TCustomNetInstallLocation : public TComponent {
    QFD_CLASS(TCustomNetInstallLocation)
public:
    explicit TCustomNetInstallLocation(TComponent* AOwner);
    ~TCustomNetInstallLocation() override;

    // Loads WININET.DLL from the system folder and every procedure the
    // downloads use.
    virtual void LoadWinInet();
    // Makes sure of library, session and connection; for FTP also sets the
    // server directory (on every call).
    virtual void Connect();
    // Fetches RemoteName from the location's directory into the local file
    // LocalName. The file is replaced only by a complete download.
    virtual void Download(const std::string& RemoteName, const std::string& LocalName);
    // The protocol the downloads use: the scheme Hostname starts with
    // ("https://", "http://", "ftp://"), else Protocol.
    TInternetProtocol EffectiveProtocol() const;
    // Closes the connection, then the session; a handle is forgotten only
    // when its close succeeds.
    void Disconnect();

    TLoginInformation& LoginInformation() { return *FLoginInformation; }
    const TLoginInformation& LoginInformation() const { return *FLoginInformation; }
    void SetLoginInformation(const TLoginInformation& v) { FLoginInformation->Assign(v); }

    bool WinInetLoaded() const { return FWinInetLoaded; }
    bool Connected() const { return FConnection != nullptr; }
    const std::string& LocalName() const { return FLocalName; }
    const std::string& RemoteName() const { return FRemoteName; }
    // The status line of the server's refusal of the last HTTP download
    // ("404 File not found"); empty when it did not refuse.
    const std::string& HttpRefusal() const { return FHttpRefusal; }

    TAfterDownloadEvent OnAfterDownload;
    TNotifyEvent OnAfterConnect;
    TNotifyEvent OnBeforeDownload;
    TNotifyEvent OnBeforeConnect;
    TDownloadProgressEvent OnDownloadProgress;
    TDownloadProgressEvent OnObjectProgress;

protected:
    // The library file; tests point it elsewhere.
    virtual std::string WinInetLibraryPath() const;
    // Lets pending window messages run between blocks (the progress window's
    // Cancel sets DownloadAborted).
    virtual void ProcessMessages();

private:
    class TScratchFile;
    void DownloadFTP();
    void DownloadHTTP();
    // Receives the open remote file, closes it whatever happened, and only
    // then puts the complete file in place.
    void ReceiveAndClose(bool http);
    bool CloseRemoteFile();
    // Fails with the server's status when it refused the request; false
    // when the server gave no status.
    bool CheckHTTPStatus();
    // The total the progress events show.
    Integer QueryDataSize(bool http);
    // The received file, not yet in place; nullptr when the user cancelled.
    std::unique_ptr<TScratchFile> ReceiveToFile(bool http, bool statusKnown);
    void FreeWinInet();
    // The server's current folder; empty when it does not say.
    std::string FtpCurrentDirectory();

    bool FWinInetLoaded = false;
    std::string FLocalName;
    void* FRemoteFile = nullptr;
    void* FLibrary = nullptr;
    void* FSession = nullptr;
    void* FConnection = nullptr;
    std::string FRemoteName;
    std::unique_ptr<TWinInetProcs> FProcs;
    std::unique_ptr<TLoginInformation> FLoginInformation;
    // Set by the HTTP download when the server announced a content length:
    // fewer bytes than that is a cut download.
    bool FContentLengthGiven = false;
    // Where the FTP login started.
    std::string FLoginDirectory;
    std::string FHttpRefusal;
};

// The location a stored project names; publishes the login data and events.
class TNetInstallLocation : public TCustomNetInstallLocation {
    QFD_CLASS(TNetInstallLocation)
public:
    using TCustomNetInstallLocation::TCustomNetInstallLocation;
};

// Every location that exists, in creation order.
class TCustomNetInstallLocationList {
public:
    // A null entry raises IENetList.
    void Add(TCustomNetInstallLocation* location);
    void Remove(TCustomNetInstallLocation* location);
    int Count() const { return static_cast<int>(FItems.size()); }
    TCustomNetInstallLocation* Items(int i) const { return FItems.at(static_cast<size_t>(i)); }
    int IndexOf(const TCustomNetInstallLocation* location) const;

private:
    std::vector<TCustomNetInstallLocation*> FItems;
};

TCustomNetInstallLocationList& NetLocationList();
// The location that connected last; nullptr when none or when it is gone.
TCustomNetInstallLocation* CurrentNetLocation();
// The installation component's location, for objects that have none of
// their own; cleared when that location is destroyed.
TCustomNetInstallLocation* DefaultNetLocation();
void SetDefaultNetLocation(TCustomNetInstallLocation* location);

// Set by the progress windows' Cancel while a download runs; the download
// then stops after its current block. Cleared when a download starts and
// when an installation run starts (ClearDownloadAborted), so that one
// cancelled download does not fail every later one.
extern bool DownloadAborted;
void ClearDownloadAborted();

// "/" for a blank text; otherwise every backslash becomes a slash.
std::string ServerPath(const std::string& Text);
// The object of an HTTP request: the server path of Directory, closed by a
// slash when it names a folder, followed by RemoteName.
std::string HttpObjectPath(const std::string& Directory, const std::string& RemoteName);
// The name of the Internet library's constant for a system error code
// ("ERROR_INTERNET_TIMEOUT"); empty for codes it does not name.
std::string NetErrorName(uint32_t code);

// Where a location connects: the host, the port (0: the protocol's own,
// 443 for HTTPS) and the protocol. A Hostname may start with a scheme
// ("https://host:8443/"), which then decides the protocol; the rest is
// "host", "host:port" or "[IPv6 address]:port".
struct TServerAddress {
    std::string Host;
    uint16_t Port = 0;
    TInternetProtocol Protocol = ipHTTP;
};
TServerAddress ParseServerAddress(const std::string& Hostname, TInternetProtocol Protocol);

// Words for a failure of a secure connection (a certificate the system does
// not trust, a wrong name, an expired one...); empty for other codes.
std::string SecureConnectionProblem(uint32_t code);

void RegisterNetLocationClasses();
