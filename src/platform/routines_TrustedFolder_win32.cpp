// Win32 side of the trusted folders: the token's elevation, the access list
// in its text form (SDDL) and a folder held open without delete sharing.
#include "routines_Files.h"
#include "routines_Hash.h"
#include "routines_TrustedFolder.h"
#include "routines_WinText.h"
#include <windows.h>
// After windows.h.
#include <aclapi.h>
#include <sddl.h>
#include <vector>

namespace {

// The process token, closed with this object.
struct TToken {
    HANDLE Handle = nullptr;
    TToken() {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &Handle))
            Handle = nullptr;
    }
    ~TToken() {
        if (Handle)
            CloseHandle(Handle);
    }
};

bool MemberOfAdministrators() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, &admins))
        return false;
    // A split token holds the group for denial only: not a member then.
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, admins, &member))
        member = FALSE;
    FreeSid(admins);
    return member != FALSE;
}

} // namespace

bool RunningElevated() {
    TToken token;
    if (token.Handle) {
        TOKEN_ELEVATION elevation = {};
        DWORD size = 0;
        if (GetTokenInformation(token.Handle, TokenElevation, &elevation, sizeof elevation, &size) &&
            elevation.TokenIsElevated)
            return true;
    }
    return MemberOfAdministrators();
}

std::string ProcessUserSid() {
    TToken token;
    if (!token.Handle)
        return std::string();
    DWORD size = 0;
    GetTokenInformation(token.Handle, TokenUser, nullptr, 0, &size);
    if (size == 0 || size > 4096)
        return std::string();
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.Handle, TokenUser, buffer.data(), size, &size))
        return std::string();
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
        return std::string();
    std::string sid = Narrow(text, wcslen(text));
    LocalFree(text);
    return sid;
}

bool CreateTrustedFolder(const std::string& folder) {
    if (!RunningElevated())
        return CreateDir(folder);
    const std::string user = ProcessUserSid();
    if (user.empty())
        return false;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(Wide(TrustedFolderSddl(user)).c_str(),
                                                              SDDL_REVISION_1, &sd, nullptr))
        return false;
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd, FALSE};
    const BOOL made = CreateDirectoryW(Wide(folder).c_str(), &sa);
    const DWORD error = GetLastError();
    LocalFree(sd);
    SetLastError(error);
    return made != FALSE;
}

std::string UnguessableName(const std::string& prefix) {
    unsigned char bytes[8] = {};
    // The system's cryptographic generator; should it fail,
    // the folder is still new, only its name is less of a secret.
    if (!SystemRandom(bytes, sizeof bytes)) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        for (size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] = static_cast<unsigned char>((now.QuadPart >> (8 * i)) ^ (GetCurrentProcessId() >> i));
    }
    std::string name = prefix;
    for (unsigned char b : bytes) {
        name += "0123456789abcdef"[b >> 4];
        name += "0123456789abcdef"[b & 15];
    }
    return name;
}

std::string SecurityDescriptorText(const std::string& path) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    std::wstring wide = Wide(path);
    if (GetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr, &sd) !=
        ERROR_SUCCESS)
        return std::string();
    LPWSTR text = nullptr;
    std::string result;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, what, &text, nullptr)) {
        result = Narrow(text, wcslen(text));
        LocalFree(text);
    }
    LocalFree(sd);
    return result;
}

TFolderHold::TFolderHold(const std::string& folder) {
    // Without FILE_SHARE_DELETE: nobody else can open it to rename or remove
    // it. Listing access, because a handle with attribute access only takes
    // no part in the sharing.
    HANDLE h = CreateFileW(Wide(folder).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE)
        FHandle = reinterpret_cast<intptr_t>(h);
}

TFolderHold::~TFolderHold() {
    if (FHandle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(FHandle));
}
