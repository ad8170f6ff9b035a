#include "LocalServer.h"
#include "platform/routines_Files.h"
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include <stdexcept>
#include <windows.h>

namespace {

// Wine's own path conversions, exported by its kernel32.
using TWinePathFunc = void*(__cdecl*)(const void*);

TWinePathFunc WinePathFunc(const char* name) {
    HMODULE k = GetModuleHandleW(L"kernel32.dll");
    return k && RunningUnderWine()
               ? reinterpret_cast<TWinePathFunc>(reinterpret_cast<void*>(GetProcAddress(k, name)))
               : nullptr;
}

std::string UnixPath(const std::string& windowsPath) {
    TWinePathFunc f = WinePathFunc("wine_get_unix_file_name");
    char* p = f ? static_cast<char*>(f(Wide(windowsPath).c_str())) : nullptr;
    if (!p)
        throw std::runtime_error("No Unix path for " + windowsPath + " (the tests need Wine)");
    std::string s = p;
    HeapFree(GetProcessHeap(), 0, p);
    return s;
}

// Wine starts a Unix program from CreateProcess; it cannot be waited for or
// ended from here, which is why the server ends itself.
void StartUnixProgram(const char* program, const std::vector<std::string>& args) {
    TWinePathFunc f = WinePathFunc("wine_get_dos_file_name");
    wchar_t* dos = f ? static_cast<wchar_t*>(f(program)) : nullptr;
    if (!dos)
        throw std::runtime_error(std::string("Cannot name ") + program + " for Wine");
    std::wstring cmd = L"\"" + std::wstring(dos) + L"\"";
    HeapFree(GetProcessHeap(), 0, dos);
    for (const std::string& a : args)
        cmd += L" \"" + Wide(a) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        throw std::runtime_error(std::string("Cannot start ") + program);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

} // namespace

TLocalServer::TLocalServer(const std::string& mode, const std::string& root, const std::string& workFolder)
    : FPortFile(AddBackslash(workFolder) + mode + ".port"),
      FRequestsLog(AddBackslash(workFolder) + "requests.log") {
    StartUnixProgram("/usr/bin/python3", {QFD_NET_SERVER_SCRIPT, mode, UnixPath(root), UnixPath(FPortFile)});
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
