#include "LocalServer.h"
#include "platform/routines_Files.h"
#include "platform/routines_Registry.h"
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include <stdexcept>
#include <windows.h>
// After windows.h.
#include <wininet.h>

namespace {

// The URLs in the user's download cache. Wine's WinINet keeps there what
// the tests download, over HTTP as well (where the programs ask it not to).
std::vector<std::wstring> CachedUrls() {
    std::vector<std::wstring> urls;
    std::vector<unsigned char> buf(4096);
    DWORD size = static_cast<DWORD>(buf.size());
    auto entry = [&] { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buf.data()); };
    HANDLE find = FindFirstUrlCacheEntryW(nullptr, entry(), &size);
    if (!find && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buf.resize(size);
        find = FindFirstUrlCacheEntryW(nullptr, entry(), &size);
    }
    if (!find)
        return urls;
    for (int n = 0; n < 100000; ++n) {
        urls.emplace_back(entry()->lpszSourceUrlName ? entry()->lpszSourceUrlName : L"");
        size = static_cast<DWORD>(buf.size());
        if (FindNextUrlCacheEntryW(find, entry(), &size))
            continue;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
        buf.resize(size);
        if (!FindNextUrlCacheEntryW(find, entry(), &size))
            break;
    }
    FindCloseUrlCache(find);
    return urls;
}

// Removes the cache's entries of a server on this machine's port.
void ForgetCachedDownloads(int port) {
    const std::wstring at = L"127.0.0.1:" + std::to_wstring(port) + L"/";
    const std::wstring named = L"localhost:" + std::to_wstring(port) + L"/";
    for (const std::wstring& url : CachedUrls())
        if (url.find(at) != std::wstring::npos || url.find(named) != std::wstring::npos)
            DeleteUrlCacheEntryW(url.c_str());
}

std::string UnixPath(const std::string& windowsPath) {
    std::string p = UnixPathUnderWine(windowsPath);
    if (p.empty())
        throw std::runtime_error("No Unix path for " + windowsPath + " (the tests need Wine)");
    return p;
}

} // namespace

TLocalServer::TLocalServer(const std::string& mode, const std::string& root, const std::string& workFolder,
                           const std::string& certificate, const std::string& key)
    : FPortFile(AddBackslash(workFolder) + mode + ".port"),
      FRequestsLog(AddBackslash(workFolder) + "requests.log") {
    std::vector<std::string> args = {QFD_NET_SERVER_SCRIPT, mode, UnixPath(root), UnixPath(FPortFile)};
    if (!certificate.empty()) {
        args.push_back(UnixPath(certificate));
        args.push_back(UnixPath(key));
    }
    // Wine starts it from CreateProcess; it cannot be waited for or ended
    // from here, which is why the server ends itself.
    if (!StartUnixProgram("/usr/bin/python3", args))
        throw std::runtime_error("Cannot start /usr/bin/python3");
    for (int i = 0; i < 150 && !FileExists(FPortFile); ++i)
        Sleep(100);
    if (!FileExists(FPortFile))
        throw std::runtime_error("The local " + mode + " server did not start");
    FPort = std::stoi(ReadWholeFile(FPortFile));
}

TLocalServer::~TLocalServer() {
    RemoveFile(FPortFile);
    if (FPort)
        ForgetCachedDownloads(FPort);
}

std::vector<std::string> TLocalServer::Requests() const {
    std::vector<std::string> lines;
    if (!FileExists(FRequestsLog))
        return lines;
    std::string text = ReadWholeFile(FRequestsLog), line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

void TLocalServer::ClearRequests() const {
    RemoveFile(FRequestsLog);
}

// --- test certificates ----------------------------------------------------------------------------

namespace {
std::string CertificateScript() {
    std::string script = QFD_NET_SERVER_SCRIPT;
    return script.substr(0, script.find_last_of('/') + 1) + "test_ca.sh";
}
} // namespace

TTestAuthority::TTestAuthority(const std::string& workFolder)
    : FFolder(AddBackslash(workFolder)),
      FAnchorName("quenfold-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(GetTickCount64())) {
    const std::string reason = Step({"make", UnixPath(RemoveBackslash(FFolder))});
    if (reason != "ok")
        throw std::runtime_error("No test certificates: " + reason);
}

TTestAuthority::~TTestAuthority() {
    Untrust();
}

void TTestAuthority::Trust() {
    FTrusted = true; // also half-done: the clean-up runs
    const std::string reason = Step({"trust", UnixPath(RemoveBackslash(FFolder)), FAnchorName});
    if (reason != "ok")
        throw std::runtime_error("The test authority is not trusted: " + reason);
}

void TTestAuthority::Untrust() {
    if (!FTrusted)
        return;
    FTrusted = false;
    Step({"untrust", FAnchorName});
    // Wine keeps the host's authorities it has read in a volatile key for as
    // long as its server runs; the authority goes from there as well (read
    // by a Windows program it would trust the authority again).
    const std::string thumbprint = Trim(ReadWholeFile(FFolder + "trusted-ca.sha1"));
    if (!thumbprint.empty())
        DeleteKeyTree(RegLocalMachine,
                      "\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" + thumbprint);
}

std::string TTestAuthority::Step(std::vector<std::string> args) {
    const std::string done = FFolder + "step.done";
    RemoveFile(done);
    args.insert(args.begin(), CertificateScript());
    args.push_back(UnixPath(done));
    if (!StartUnixProgram("/bin/sh", args))
        return "cannot start /bin/sh";
    // update-ca-certificates rewrites the whole bundle: some seconds on a busy machine.
    for (int i = 0; i < 600 && !FileExists(done); ++i)
        Sleep(100);
    if (!FileExists(done))
        return "test_ca.sh " + args[1] + " did not finish within 60 s";
    std::string text = ReadWholeFile(done);
    RemoveFile(done);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}
