// A local HTTP or FTP server for the download tests: netserver.py run by the
// system's Python on 127.0.0.1 and a free port, serving a folder of the test.
#pragma once
#include <string>
#include <vector>

class TLocalServer {
public:
    // mode "http" or "ftp". Raises std::runtime_error when the server is not
    // up within a few seconds (not under Wine, no Python, no pyftpdlib).
    TLocalServer(const std::string& mode, const std::string& root, const std::string& workFolder);
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
