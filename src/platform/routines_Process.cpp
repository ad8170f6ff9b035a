#include "routines_Process.h"
#include "routines_CommandLine.h"
#include "routines_Files.h"
#include "routines_Undo.h"
#include "routines_WinText.h"
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>
#include <shellapi.h>

namespace {
std::optional<std::vector<std::string>>& ParamsOverride() {
    static std::optional<std::vector<std::string>> params;
    return params;
}
std::function<bool(const TShellCall&)>& ShellHook() {
    static std::function<bool(const TShellCall&)> hook;
    return hook;
}

// Starts commandLine in folder (empty: the current one), handing on no
// handles: 0, or the system's error code. The process handle goes to process
// when asked for, else it is closed.
uint32_t Start(const std::string& commandLine, WORD show, DWORD flags, const std::string& folder,
               HANDLE* process = nullptr) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = show;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = Wide(commandLine);
    std::wstring dir = Wide(folder);
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, flags, nullptr,
                        folder.empty() ? nullptr : dir.c_str(), &si, &pi)) {
        const DWORD code = GetLastError();
        return code ? code : ERROR_GEN_FAILURE;
    }
    CloseHandle(pi.hThread);
    if (process)
        *process = pi.hProcess;
    else
        CloseHandle(pi.hProcess);
    return 0;
}

std::string ModuleFile(HMODULE m) {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(m, buf.data(), static_cast<DWORD>(buf.size()));
        if (n < buf.size())
            return Narrow(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

HMODULE ThisModule() {
    HMODULE m = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &m);
    return m;
}
} // namespace

std::vector<std::string> CommandLineParams() {
    if (ParamsOverride())
        return *ParamsOverride();
    // Not CommandLineToArgvW: it reads the backslash of "-sA:\" as escaping
    // the closing quote and runs the switches after it into one parameter.
    const wchar_t* line = GetCommandLineW();
    return SplitCommandLine(Narrow(line, wcslen(line)));
}

void OverrideCommandLineParams(std::optional<std::vector<std::string>> params) {
    ParamsOverride() = std::move(params);
}

int ParamCount() {
    size_t n = CommandLineParams().size();
    return n ? static_cast<int>(n) - 1 : 0;
}

std::string ParamStr(int index) {
    std::vector<std::string> p = CommandLineParams();
    return index >= 0 && static_cast<size_t>(index) < p.size() ? p[static_cast<size_t>(index)]
                                                               : std::string();
}

std::string ProgramPath() {
    return ModuleFile(nullptr);
}
std::string ModulePath() {
    return ModuleFile(ThisModule());
}
bool RunningAsLibrary() {
    return ThisModule() != GetModuleHandleW(nullptr);
}

bool StartHidden(const std::string& commandLine, const std::string& folder) {
    // No console window either, nor the caller's console for a console program.
    const uint32_t code = Start(commandLine, SW_HIDE, CREATE_NO_WINDOW, folder);
    SetLastSystemError(code);
    return code == 0;
}
bool StartProgram(const std::string& commandLine) {
    return Start(commandLine, SW_SHOWNORMAL, 0, std::string()) == 0;
}

TRunResult RunHiddenAndWait(const std::string& commandLine, const std::string& folder, uint32_t timeoutMs) {
    TRunResult r;
    HANDLE process = nullptr;
    r.ErrorCode = Start(commandLine, SW_HIDE, CREATE_NO_WINDOW, folder, &process);
    if (r.ErrorCode != 0)
        return r;
    r.Started = true;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        r.Ended = true;
        r.ExitCode = code;
    }
    CloseHandle(process);
    return r;
}

void SetShellExecuteHook(std::function<bool(const TShellCall&)> hook) {
    ShellHook() = std::move(hook);
}

bool ShellExecuteText(const TShellCall& c) {
    if (ShellHook())
        return ShellHook()(c);
    auto opt = [](const std::string& s) { return s.empty() ? std::wstring() : Wide(s); };
    std::wstring verb = opt(c.Verb), file = Wide(c.File), params = opt(c.Parameters), dir = opt(c.Directory);
    HINSTANCE r = ShellExecuteW(reinterpret_cast<HWND>(c.Owner), verb.empty() ? nullptr : verb.c_str(),
                                file.c_str(), params.empty() ? nullptr : params.c_str(),
                                dir.empty() ? nullptr : dir.c_str(), c.ShowCmd);
    return reinterpret_cast<INT_PTR>(r) > 32;
}

bool WriteProfileText(const std::string& section, const std::string& key, const std::string& value) {
    if (UndoHooks().ProfileChanging)
        UndoHooks().ProfileChanging("", section, key);
    return WriteProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str()) != 0;
}

bool WritePrivateProfileText(const std::string& section, const std::string& key, const std::string& value,
                             const std::string& fileName) {
    if (UndoHooks().ProfileChanging) {
        // A file of its own (WININIT.INI) may be made by this write.
        if (fileName.find('\\') != std::string::npos && !FileExists(fileName))
            NoteCreating(fileName);
        UndoHooks().ProfileChanging(fileName, section, key);
    }
    return WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(),
                                      Wide(fileName).c_str()) != 0;
}

std::string ReadProfileText(const std::string& section, const std::string& key, const std::string& def) {
    wchar_t buf[1024];
    DWORD n = GetProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(def).c_str(), buf, 1024);
    return Narrow(buf, n);
}

std::string ReadPrivateProfileText(const std::string& section, const std::string& key, const std::string& def,
                                   const std::string& fileName) {
    wchar_t buf[1024];
    DWORD n = GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(def).c_str(), buf, 1024,
                                       Wide(fileName).c_str());
    return Narrow(buf, n);
}

bool SetScreenSaveActive(bool active) {
    return SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, active ? 1 : 0, nullptr, 0) != 0;
}

uint64_t PeakWorkingSetBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return counters.PeakWorkingSetSize;
}
