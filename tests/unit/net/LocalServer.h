// A local HTTP, HTTPS or FTP server for the download tests: netserver.py run
// by the system's Python on 127.0.0.1 and a free port, serving a folder of
// the test; and the test certificates of an HTTPS server.
#pragma once
#include <string>
#include <vector>

class TLocalServer {
public:
    // mode "http", "https" (with the server's certificate and key files) or
    // "ftp". Raises std::runtime_error when the server is not up within a few
    // seconds (not under Wine, no Python, no pyftpdlib).
    TLocalServer(const std::string& mode, const std::string& root, const std::string& workFolder,
                 const std::string& certificate = "", const std::string& key = "");
    // Removes the port file, which stops the server within a moment.
    ~TLocalServer();
    TLocalServer(const TLocalServer&) = delete;
    TLocalServer& operator=(const TLocalServer&) = delete;

    int Port() const { return FPort; }
    // "127.0.0.1:<port>", as a location's Hostname.
    std::string Host() const { return "127.0.0.1:" + std::to_string(FPort); }
    // The request targets the HTTP server received, in order.
    std::vector<std::string> Requests() const;
    void ClearRequests() const;

private:
    std::string FPortFile;
    std::string FRequestsLog;
    int FPort = 0;
};

// Certificates for a test's HTTPS servers, made by openssl (test_ca.sh) in a
// folder of the test: one from a test authority that Trust() makes trusted
// by the host, and so by Wine's WinINet, and one from an authority that is
// never trusted. The trust goes again with Untrust() and with this object,
// whatever way the test ends.
class TTestAuthority {
public:
    // Raises std::runtime_error with the reason when the certificates
    // cannot be made (no openssl, not under Wine).
    explicit TTestAuthority(const std::string& workFolder);
    ~TTestAuthority();
    TTestAuthority(const TTestAuthority&) = delete;
    TTestAuthority& operator=(const TTestAuthority&) = delete;

    // Raises std::runtime_error when the host does not take the authority.
    void Trust();
    void Untrust();

    std::string TrustedCertificate() const { return FFolder + "trusted.crt"; }
    std::string TrustedKey() const { return FFolder + "trusted.key"; }
    std::string UntrustedCertificate() const { return FFolder + "untrusted.crt"; }
    std::string UntrustedKey() const { return FFolder + "untrusted.key"; }

private:
    // Runs one step of test_ca.sh and waits for its report; "ok" or the reason.
    std::string Step(std::vector<std::string> args);
    std::string FFolder;
    std::string FAnchorName;
    bool FTrusted = false;
};
