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
