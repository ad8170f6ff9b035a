#include "routines_Removal.h"
#include "routines_WinText.h"
#include <cwchar>
#include <windows.h>

void RestrictLibrarySearchToSystem() {
    // Looked up at run time: Vista and 7 without the update that brought it
    // would not even start the program with a direct import.
    using TSetDirs = BOOL(WINAPI*)(DWORD);
    auto setDirs = reinterpret_cast<TSetDirs>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (!setDirs || !setDirs(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SetDllDirectoryW(L"");
}

std::string RawCommandLine() {
    const wchar_t* line = GetCommandLineW();
    return line ? Narrow(line, wcslen(line)) : std::string();
}

uint32_t RemoveFileAtRestart(const std::string& path) {
    if (MoveFileExW(Wide(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return 0;
    DWORD code = GetLastError();
    return code ? code : ERROR_GEN_FAILURE;
}

namespace {
// Starts commandLine hidden, with no console window for a console program
// either; 0 or the system's error code.
uint32_t StartHidden(const std::string& commandLine, const std::string& folder, PROCESS_INFORMATION& pi) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    pi = {};
    std::wstring cmd = Wide(commandLine);
    std::wstring dir = Wide(folder);
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                       folder.empty() ? nullptr : dir.c_str(), &si, &pi)) {
        CloseHandle(pi.hThread);
        return 0;
    }
    DWORD code = GetLastError();
    return code ? code : ERROR_GEN_FAILURE;
}
} // namespace

TRunResult RunHiddenAndWait(const std::string& commandLine, const std::string& folder, uint32_t timeoutMs) {
    TRunResult r;
    PROCESS_INFORMATION pi;
    r.ErrorCode = StartHidden(commandLine, folder, pi);
    if (r.ErrorCode != 0)
        return r;
    r.Started = true;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        r.Ended = true;
        r.ExitCode = code;
    }
    CloseHandle(pi.hProcess);
    return r;
}

uint32_t StartWithoutWindow(const std::string& commandLine, const std::string& folder) {
    PROCESS_INFORMATION pi;
    const uint32_t code = StartHidden(commandLine, folder, pi);
    if (code == 0)
        CloseHandle(pi.hProcess);
    return code;
}

void WaitMilliseconds(uint32_t ms) {
    Sleep(ms);
}

bool AskYesNo(const std::string& caption, const std::string& text) {
    return MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SETFOREGROUND | MB_TASKMODAL) == IDYES;
}

void ShowMessageText(const std::string& caption, const std::string& text, TMessageKind kind) {
    UINT icon = kind == TMessageKind::mkError     ? MB_ICONSTOP
                : kind == TMessageKind::mkWarning ? MB_ICONWARNING
                                                  : MB_ICONINFORMATION;
    MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(),
                MB_OK | icon | MB_SETFOREGROUND | MB_TASKMODAL);
}
