// System routines over the W functions.
#include "routines_API.h"
#include "exceptions_Quenfold.h"
#include "routines_WinText.h"
#include <vector>
#include <windows.h>

namespace {

// Calls a "fill this buffer" system routine, growing the buffer when the
// answer does not fit. Returns false when the routine reports a failure.
template <typename Call> bool QueryText(DWORD firstSize, Call call, std::string& result) {
    std::vector<wchar_t> buf(firstSize);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD n = call(buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return false;
        if (n < buf.size()) {
            result = Narrow(buf.data(), n);
            return true;
        }
        buf.assign(static_cast<size_t>(n) + 1, L'\0');
    }
    return false;
}

} // namespace

TWindowsVersion WindowsVersion() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(&info))
        throw EAPIRoutines("Could not get information about the current version of Windows");
    switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
        return wvWin32s;
    case VER_PLATFORM_WIN32_WINDOWS:
        return wvWindows95;
    case VER_PLATFORM_WIN32_NT: {
        // Compared as text so that 3.51 counts as 3.5 as well.
        std::string text = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion);
        return text.find("3.5") != std::string::npos ? wvWindowsNT35 : wvWindowsNT;
    }
    default:
        return wvUnknown;
    }
}

std::string GetTempFile(bool keepFile) {
    std::string dir;
    if (!QueryText(
            MAX_PATH + 1, [](wchar_t* b, DWORD n) { return GetTempPathW(n, b); }, dir) ||
        dir.empty())
        throw EAPIRoutines("Cannot create a temporary file");
    wchar_t name[MAX_PATH + 1] = {};
    if (GetTempFileNameW(Wide(dir).c_str(), L"bat", 0, name) == 0 || name[0] == L'\0')
        throw EAPIRoutines("Cannot create a temporary file");
    if (!keepFile)
        DeleteFileW(name);
    return Narrow(name, wcslen(name));
}

bool RunsUnderWow64() {
    // Asked once: the answer cannot change while the program runs. Windows 95
    // and NT 4 have no IsWow64Process.
    static const bool wow64 = [] {
        using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        auto isWow64 =
            kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")))
                   : nullptr;
        BOOL result = FALSE;
        return isWow64 && isWow64(GetCurrentProcess(), &result) && result;
    }();
    return wow64;
}

std::string NativeFilePath(const std::string& path) {
    if (!RunsUnderWow64())
        return path;
    std::string windows;
    if (!QueryText(
            261, [](wchar_t* b, DWORD n) { return GetWindowsDirectoryW(b, n); }, windows))
        return path;
    if (!windows.empty() && windows.back() == '\\')
        windows.pop_back();
    const std::wstring system32 = Wide(windows + "\\System32"), wide = Wide(path);
    const size_t n = system32.size();
    if (wide.size() < n || _wcsnicmp(wide.c_str(), system32.c_str(), n) != 0 ||
        (wide.size() > n && wide[n] != L'\\'))
        return path;
    return windows + "\\Sysnative" + Narrow(wide.c_str() + n, wide.size() - n);
}

std::string GetSystemDir() {
    std::string dir;
    if (RunsUnderWow64()) {
        using Fn = UINT(WINAPI*)(LPWSTR, UINT);
        static const Fn wow64Dir = reinterpret_cast<Fn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemWow64DirectoryW")));
        if (wow64Dir && QueryText(
                            261, [](wchar_t* b, DWORD n) { return wow64Dir(b, n); }, dir))
            return dir;
    }
    if (!QueryText(
            261, [](wchar_t* b, DWORD n) { return GetSystemDirectoryW(b, n); }, dir))
        throw EAPIRoutines("Could not retrieve the system directroy from windows");
    return dir;
}

std::string GetWindowsDir() {
    std::string dir;
    if (!QueryText(
            261, [](wchar_t* b, DWORD n) { return GetWindowsDirectoryW(b, n); }, dir))
        throw EAPIRoutines("Could not retrieve the windows directory from windows");
    return dir;
}

std::string GetShortPath(const std::string& path) {
    if (path.empty())
        return path;
    std::wstring wide = Wide(path);
    std::string shortPath;
    if (!QueryText(
            401, [&](wchar_t* b, DWORD n) { return GetShortPathNameW(wide.c_str(), b, n); }, shortPath))
        return path;
    return shortPath;
}
