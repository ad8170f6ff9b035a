#include "support/SystemHelpers.h"
#include "platform/routines_Files.h"
#include "platform/routines_Registry.h"
#include "platform/routines_WinText.h"
#include <cstring>
#include <vector>
#include <windows.h>

std::optional<std::string> GetEnvVar(const std::string& name) {
    std::wstring wname = Wide(name);
    SetLastError(0);
    DWORD n = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (n == 0)
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::string>("");
    std::vector<wchar_t> buf(n);
    n = GetEnvironmentVariableW(wname.c_str(), buf.data(), n);
    return Narrow(buf.data(), n);
}

TScopedEnvVar::TScopedEnvVar(const std::string& name, const std::string& value)
    : FName(name), FOld(GetEnvVar(name)) {
    SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
}

TScopedEnvVar::~TScopedEnvVar() {
    SetEnvironmentVariableW(Wide(FName).c_str(), FOld ? Wide(*FOld).c_str() : nullptr);
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

namespace {

// Wine's own path conversions, exported by its kernel32; null outside Wine.
using TWinePathFunc = void*(__cdecl*)(const void*);

TWinePathFunc WinePathFunc(const char* name) {
    HMODULE k = GetModuleHandleW(L"kernel32.dll");
    return k && RunningUnderWine()
               ? reinterpret_cast<TWinePathFunc>(reinterpret_cast<void*>(GetProcAddress(k, name)))
               : nullptr;
}

} // namespace

std::string UnixPathUnderWine(const std::string& windowsPath) {
    TWinePathFunc f = WinePathFunc("wine_get_unix_file_name");
    char* p = f ? static_cast<char*>(f(Wide(windowsPath).c_str())) : nullptr;
    if (!p)
        return std::string();
    std::string s = p;
    HeapFree(GetProcessHeap(), 0, p);
    return s;
}

bool StartUnixProgram(const char* program, const std::vector<std::string>& args) {
    TWinePathFunc f = WinePathFunc("wine_get_dos_file_name");
    wchar_t* dos = f ? static_cast<wchar_t*>(f(program)) : nullptr;
    if (!dos)
        return false;
    std::wstring cmd = L"\"" + std::wstring(dos) + L"\"";
    HeapFree(GetProcessHeap(), 0, dos);
    for (const std::string& a : args) {
        if (a.empty() || a.find('"') != std::string::npos)
            return false;
        cmd += L" \"" + Wide(a) + L"\"";
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

namespace {

bool PollFor(bool (*cond)(const std::string&), const std::string& path, bool wanted) {
    for (int i = 0; i < 250; ++i) {
        if (cond(path) == wanted)
            return true;
        Sleep(20);
    }
    return false;
}

} // namespace

bool MakeUnixLinkUnderWine(const std::string& target, const std::string& link) {
    std::string t = UnixPathUnderWine(target), l = UnixPathUnderWine(RemoveBackslash(link));
    return !t.empty() && !l.empty() && StartUnixProgram("/bin/ln", {"-s", t, l}) &&
           PollFor(IsLink, link, true);
}

bool RemoveUnixLinkUnderWine(const std::string& link) {
    std::string l = UnixPathUnderWine(RemoveBackslash(link));
    return !l.empty() && StartUnixProgram("/bin/rm", {"-f", l}) && PollFor(IsLink, link, false);
}

std::string ThisProgramFolder() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n < buf.size())
            return ExtractFilePath(Narrow(buf.data(), n));
        buf.resize(buf.size() * 2);
    }
}

uint16_t ProgramMachine(const std::string& path, bool noRedirection) {
    PVOID redirection = nullptr;
    const bool off = noRedirection && Wow64DisableWow64FsRedirection(&redirection);
    HANDLE f = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (off)
        Wow64RevertWow64FsRedirection(redirection);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    unsigned char head[4096] = {};
    DWORD got = 0;
    const bool read = ReadFile(f, head, sizeof head, &got, nullptr);
    CloseHandle(f);
    if (!read || got < 0x40 || head[0] != 'M' || head[1] != 'Z')
        return 0;
    const uint32_t pe =
        head[0x3C] | head[0x3D] << 8 | head[0x3E] << 16 | static_cast<uint32_t>(head[0x3F]) << 24;
    if (pe > got - 6 || std::memcmp(head + pe, "PE\0\0", 4) != 0)
        return 0;
    return static_cast<uint16_t>(head[pe + 4] | head[pe + 5] << 8);
}

bool ExistsWithoutRedirection(const std::string& path) {
    PVOID redirection = nullptr;
    const bool off = Wow64DisableWow64FsRedirection(&redirection);
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (off)
        Wow64RevertWow64FsRedirection(redirection);
    return attributes != INVALID_FILE_ATTRIBUTES;
}

uint16_t ThisProgramMachine() {
    const auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew)->FileHeader.Machine;
}

bool MachineKeyInView(const std::string& key, bool sixtyFour) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0,
                      KEY_READ | (sixtyFour ? KEY_WOW64_64KEY : KEY_WOW64_32KEY), &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

TWineAppDefault::TWineAppDefault(const std::string& program, const std::string& section,
                                 const std::string& name, const std::string& value) {
    if (!RunningUnderWine())
        return;
    FKey = "Software\\Wine\\AppDefaults\\" + program;
    TRegKey k;
    if (k.Create(RegCurrentUser, section.empty() ? FKey : FKey + "\\" + section))
        k.WriteString(name, value);
}

TWineAppDefault::~TWineAppDefault() {
    if (!FKey.empty())
        DeleteKeyTree(RegCurrentUser, FKey);
}
