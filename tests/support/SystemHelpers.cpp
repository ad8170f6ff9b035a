#include "support/SystemHelpers.h"
#include "platform/routines_Files.h"
#include "platform/routines_Registry.h"
#include "platform/routines_WinText.h"
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

std::string ThisProgramFolder() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n < buf.size())
            return ExtractFilePath(Narrow(buf.data(), n));
        buf.resize(buf.size() * 2);
    }
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
