// Stands in for the setup program in the loading program's tests. It writes
// what it was started with to the file named by QFD_FAKE_SETUP_OUT (UTF-8,
// one "key=value" line each), waits for the file named by QFD_FAKE_SETUP_GO
// when that is set, and ends with the code in QFD_FAKE_SETUP_EXIT. When
// QFD_FAKE_SETUP_TRY names a file, it tries what another program of the user
// could try with it (write it, rename it) and says what it got; when
// QFD_FAKE_SETUP_KEEP is set, it leaves the file that keeps its copy.
#include "platform/types_TemporaryCopy.h"
#include <string>
#include <vector>
#include <windows.h>
// After windows.h.
#include <aclapi.h>
#include <sddl.h>

namespace {

std::string Utf8(const std::wstring& w) {
    int n =
        WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring Env(const wchar_t* name) {
    wchar_t buf[4096];
    DWORD n = GetEnvironmentVariableW(name, buf, 4096);
    return n && n < 4096 ? std::wstring(buf, n) : std::wstring();
}

// Nobody else holds the file open: the loading program must not, while it waits.
bool FreeOfOthers(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

// The owner and access list of a folder, as SDDL text.
std::wstring AccessListOf(const std::wstring& path) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    std::wstring p = path;
    if (GetNamedSecurityInfoW(p.data(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr, &sd))
        return L"";
    LPWSTR text = nullptr;
    std::wstring result;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, what, &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(sd);
    return result;
}

// Administrator rights, as the loading program judges them.
bool Elevated() {
    HANDLE token = nullptr;
    TOKEN_ELEVATION e = {};
    DWORD n = 0;
    bool elevated = false;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        elevated = GetTokenInformation(token, TokenElevation, &e, sizeof e, &n) && e.TokenIsElevated;
        CloseHandle(token);
    }
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    BOOL member = FALSE;
    if (AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                 0, &admins)) {
        CheckTokenMembership(nullptr, admins, &member);
        FreeSid(admins);
    }
    return elevated || member;
}

std::wstring Attempts(const std::wstring& path) {
    HANDLE w =
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    std::wstring text = std::wstring(L"written=") + (w != INVALID_HANDLE_VALUE ? L"1" : L"0") + L"\n";
    if (w != INVALID_HANDLE_VALUE)
        CloseHandle(w);
    std::wstring moved = path + L".moved";
    BOOL renamed = MoveFileW(path.c_str(), moved.c_str());
    text += std::wstring(L"renamed=") + (renamed ? L"1" : L"0") + L"\n";
    if (renamed)
        MoveFileW(moved.c_str(), path.c_str());
    BOOL deleted = DeleteFileW(path.c_str());
    text += std::wstring(L"deleted=") + (deleted ? L"1" : L"0") + L"\n";
    return text;
}

} // namespace

int main() {
    wchar_t buf[MAX_PATH * 2];
    std::wstring self(buf, GetModuleFileNameW(nullptr, buf, MAX_PATH * 2));
    std::wstring folder = self.substr(0, self.find_last_of(L'\\') + 1);
    std::wstring cwd(buf, GetCurrentDirectoryW(MAX_PATH * 2, buf));

    std::wstring text =
        L"cmd=" + std::wstring(GetCommandLineW()) + L"\nexe=" + self + L"\ncwd=" + cwd + L"\n";
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L".." || folder + name == self)
                continue;
            text += (FreeOfOthers(folder + name) ? L"free=" : L"held=") + name + L"\n";
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }

    text += std::wstring(L"elevated=") + (Elevated() ? L"1" : L"0") + L"\n";
    text += L"acl=" + AccessListOf(folder.substr(0, folder.size() - 1)) + L"\n";
    std::wstring tryOn = Env(L"QFD_FAKE_SETUP_TRY");
    if (!tryOn.empty())
        text += Attempts(tryOn);
    if (!Env(L"QFD_FAKE_SETUP_KEEP").empty()) {
        std::string marker = kKeepCopyMarker;
        HANDLE k = CreateFileW((folder + std::wstring(marker.begin(), marker.end())).c_str(), GENERIC_WRITE,
                               0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(k);
    }

    std::wstring out = Env(L"QFD_FAKE_SETUP_OUT");
    if (!out.empty()) {
        std::string bytes = Utf8(text);
        // Whole or not at all: the test reads it as soon as it appears.
        std::wstring part = out + L".part";
        HANDLE h = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
        MoveFileExW(part.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    std::wstring go = Env(L"QFD_FAKE_SETUP_GO");
    for (int i = 0; !go.empty() && i < 1000 && GetFileAttributesW(go.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(10);
    return _wtoi(Env(L"QFD_FAKE_SETUP_EXIT").c_str());
}
