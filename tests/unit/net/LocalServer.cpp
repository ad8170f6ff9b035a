#include "LocalServer.h"
#include "platform/routines_Files.h"
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

TLocalServer::TLocalServer(const std::string& mode, const std::string& root, const std::string& workFolder)
    : FPortFile(AddBackslash(workFolder) + mode + ".port"),
      FRequestsLog(AddBackslash(workFolder) + "requests.log") {
    // Wine starts it from CreateProcess; it cannot be waited for or ended
    // from here, which is why the server ends itself.
    if (!StartUnixProgram("/usr/bin/python3",
                          {QFD_NET_SERVER_SCRIPT, mode, UnixPath(root), UnixPath(FPortFile)}))
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
