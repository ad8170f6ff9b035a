#include "LocalServer.h"
#include "platform/routines_Files.h"
#include "platform/routines_Registry.h"
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include <stdexcept>
#include <windows.h>

namespace {

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
      // The test scripts' tag of their Wine prefix in the name: a test killed
      // before it took the authority out again leaves it to their sweep.
      FAnchorName("quenfold-test-" + GetEnvVar("QFD_TEST_TAG").value_or("") + "-" +
                  std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64())) {
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
