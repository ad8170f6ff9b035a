#include "routines_Program.h"
#include "routines_Files.h"
#include "routines_WinText.h"
#include <windows.h>

void LoadLibrariesFromSystemFolderOnly() {
    // Imported by name: Vista and 7 without the update that brought it
    // would not even start the program; they at least lose the current folder.
    using SetDirsFn = BOOL(WINAPI*)(DWORD);
    auto setDirs = reinterpret_cast<SetDirsFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (!setDirs || !setDirs(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SetDllDirectoryW(L"");
}

void ShowPlainMessage(const std::string& caption, const std::string& text) {
    MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), MB_OK | MB_ICONSTOP | MB_SETFOREGROUND);
}

bool RunProgramAndWait(const std::string& program, const std::string& commandLine, uint32_t& exitCode,
                       std::string& why) {
    STARTUPINFOW own = {};
    own.cb = sizeof own;
    GetStartupInfoW(&own);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = own.dwFlags & STARTF_USESHOWWINDOW;
    si.wShowWindow = own.wShowWindow;
    PROCESS_INFORMATION pi = {};
    std::wstring app = Wide(program), cmd = Wide(commandLine);
    if (!CreateProcessW(app.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        why = SystemErrorText(GetLastError());
        return false;
    }
    // The started program may bring its windows to the front, as this one could.
    AllowSetForegroundWindow(pi.dwProcessId);
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    exitCode = code;
    return true;
}

void PauseMs(uint32_t milliseconds) {
    Sleep(milliseconds);
}
