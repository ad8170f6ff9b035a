#include "platform/routines_FileSystem.h"
#include "platform/routines_Files.h"
#include "platform/routines_Strings.h"
#include "platform/routines_WinText.h"
#include <windows.h>

std::string LoadSystemString(const std::string& library, uint32_t id) {
    wchar_t dir[MAX_PATH + 1];
    UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n > MAX_PATH)
        return std::string();
    std::wstring path = std::wstring(dir, n) + L"\\" + Wide(library);
    // As data only: nothing of the library runs.
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return std::string();
    std::wstring buf(4096, L'\0');
    int len = LoadStringW(module, id, buf.data(), static_cast<int>(buf.size()));
    FreeLibrary(module);
    return len > 0 ? Narrow(buf.data(), static_cast<size_t>(len)) : std::string();
}

std::string ExistingParent(const std::string& path) {
    std::string p = path;
    while (!Trim(p).empty()) {
        if (DirectoryExists(p))
            return p;
        size_t slash = p.rfind('\\');
        if (slash == std::string::npos)
            break;
        p.resize(slash);
    }
    return std::string();
}
