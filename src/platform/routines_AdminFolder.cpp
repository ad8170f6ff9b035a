// Administrators-only folders and files: made with an explicit access list,
// checked on held handles before they are trusted.
#include "routines_AdminFolder.h"
#include "exceptions_Quenfold.h"
#include "routines_Files.h"
#include "routines_Format.h"
#include "routines_TrustedFolder.h"
#include "routines_WinText.h"
#include <windows.h>
// After windows.h.
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

namespace {

constexpr DWORD kOpenFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// Wine keeps no owners of files: everything there belongs to the user who
// runs it, administrator or not, and access lists are not enforced.
bool UnderWine() {
    static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// The process's own user counts as an administrator's owner only where that
// grants nothing: a process that is not elevated can do no more than its
// user anyway, and under Wine every file has that owner.
bool OwnUserTrusted() {
    static const bool trusted = UnderWine() || !RunningElevated();
    return trusted;
}

std::vector<BYTE> ProcessUser() {
    HANDLE token = nullptr;
    std::vector<BYTE> buffer;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return buffer;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size > 0 && size <= 4096) {
        buffer.resize(size);
        if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
            buffer.clear();
    }
    CloseHandle(token);
    return buffer;
}

bool TrustedSid(PSID sid) {
    if (!sid || !IsValidSid(sid))
        return false;
    if (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid))
        return true;
    if (!OwnUserTrusted())
        return false;
    static const std::vector<BYTE> user = ProcessUser();
    return !user.empty() && EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

std::string SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!sid || !ConvertSidToStringSidW(sid, &text))
        return "?";
    std::string s = Narrow(text, wcslen(text));
    LocalFree(text);
    return s;
}

std::string CallWhy(const char* call, DWORD code) {
    return std::string(call) + " failed, code " + std::to_string(code) + ": " + SystemErrorText(code);
}

// The system folder's names for 32-bit programs (SysWOW64, which they see
// as System32) and its alias for the 64-bit one (Sysnative) name one place
// to compare; all three are the system's.
std::string PlaceKey(const std::string& path) {
    std::string s = UpperCase(RemoveBackslash(path)) + "\\";
    for (const char* alias : {"\\SYSWOW64\\", "\\SYSNATIVE\\"}) {
        const size_t at = s.find(alias);
        if (at != std::string::npos)
            s.replace(at, std::string(alias).size(), "\\SYSTEM32\\");
    }
    return s;
}

// What a path names, compared with what a handle resolved: full, long names,
// no trailing backslash, in upper case.
std::string Comparable(const std::string& path) {
    std::wstring w = Wide(path);
    wchar_t full[32768];
    DWORD n = GetFullPathNameW(w.c_str(), 32768, full, nullptr);
    if (n > 0 && n < 32768)
        w.assign(full, n);
    wchar_t longer[32768];
    n = GetLongPathNameW(w.c_str(), longer, 32768);
    if (n > 0 && n < 32768)
        w.assign(longer, n);
    return PlaceKey(Narrow(w));
}

std::string FinalPath(HANDLE h) {
    wchar_t buffer[32768];
    DWORD n = GetFinalPathNameByHandleW(h, buffer, 32768, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= 32768)
        return std::string();
    std::string s = Narrow(buffer, n);
    if (s.rfind("\\\\?\\UNC\\", 0) == 0)
        s = "\\\\" + s.substr(8);
    else if (s.rfind("\\\\?\\", 0) == 0)
        s = s.substr(4);
    return s;
}

HANDLE OpenNoFollow(const std::string& path, DWORD access, DWORD share) {
    return CreateFileW(Wide(path).c_str(), access, share, nullptr, OPEN_EXISTING, kOpenFlags, nullptr);
}

enum class TStrictness { tsTop, tsOwn };

// Empty when the object behind h, opened as path, may be trusted.
std::string CheckHandle(HANDLE h, const std::string& path, TStrictness strictness) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(h, &info))
        return path + ": " + CallWhy("GetFileInformationByHandle", GetLastError());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return path + " is a link (a reparse point)";
    const std::string final = FinalPath(h);
    if (final.empty() || PlaceKey(final) != Comparable(path))
        return path + " leads to " + (final.empty() ? std::string("a place that cannot be named") : final) +
               ": a folder on the way is a link";
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const DWORD rc =
        GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &dacl, nullptr, &sd);
    if (rc != ERROR_SUCCESS)
        return path + ": " + CallWhy("GetSecurityInfo", rc);
    std::string why;
    if (!TrustedSid(owner))
        why = path + " belongs to " + SidText(owner) + ", not to the administrators or the system";
    else if (!dacl)
        why = path + " has no access list: everybody may change it";
    for (DWORD i = 0; why.empty() && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace))
            continue;
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceFlags & INHERIT_ONLY_ACE)
            continue;
        if (header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == SYSTEM_AUDIT_ACE_TYPE ||
            header->AceType == ACCESS_DENIED_OBJECT_ACE_TYPE ||
            header->AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE)
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            why = path + " grants access in a way this program does not read (entry type " +
                  std::to_string(header->AceType) + ")";
            break;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if (TrustedSid(sid))
            continue;
        // The system's own folder lets users add to it, not take away or
        // replace what is in it; a folder of ours grants them nothing.
        const DWORD harmful = strictness == TStrictness::tsTop
                                  ? DELETE | WRITE_DAC | WRITE_OWNER | FILE_DELETE_CHILD | GENERIC_ALL
                                  : ~DWORD(0);
        if (allowed->Mask & harmful)
            why = path + " grants " + SidText(sid) + " access " + Format("0x%.8x", {allowed->Mask});
    }
    LocalFree(sd);
    return why;
}

std::string HexName(const std::string& stem) {
    return UnguessableName(stem);
}

} // namespace

std::string CommonApplicationData() {
    wchar_t path[MAX_PATH + 1] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path)))
        return Narrow(path, wcslen(path));
    return RemoveBackslash(TempDirectory());
}

std::string AdminOnlySddl() {
    return "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
}

std::string& MachineFolderOverride() {
    static std::string folder;
    return folder;
}

std::string MachineFolder() {
    if (!MachineFolderOverride().empty())
        return RemoveBackslash(MachineFolderOverride());
    return AddBackslash(CommonApplicationData()) + "Quenfold";
}

std::string MachineFolderTop() {
    return MachineFolderOverride().empty() ? CommonApplicationData() : ExtractFileDir(MachineFolder());
}

bool SamePlace(const std::string& resolved, const std::string& path) {
    return !resolved.empty() && PlaceKey(resolved) == Comparable(path);
}

std::string ResolvedPath(const std::string& path) {
    HANDLE h = CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string final = FinalPath(h);
    CloseHandle(h);
    return final;
}

// --- the chain ---------------------------------------------------------------------------------------

TAdminChain::~TAdminChain() {
    Close();
}

void TAdminChain::Close() {
    for (intptr_t h : FHeld)
        CloseHandle(reinterpret_cast<HANDLE>(h));
    FHeld.clear();
}

bool TAdminChain::Open(const std::string& top, const std::string& folder) {
    Close();
    FWhy.clear();
    FFolder = RemoveBackslash(folder);
    const std::string base = RemoveBackslash(top);
    if (UpperCase(FFolder).rfind(UpperCase(AddBackslash(base)), 0) != 0 ||
        FFolder.size() <= base.size() + 1) {
        FWhy = FFolder + " does not lie inside " + base;
        return false;
    }
    std::vector<std::string> levels{base};
    for (size_t at = base.size() + 1; at <= FFolder.size();) {
        size_t next = FFolder.find('\\', at);
        if (next == std::string::npos)
            next = FFolder.size();
        levels.push_back(FFolder.substr(0, next));
        at = next + 1;
    }
    for (size_t i = 0; i < levels.size(); ++i) {
        // Held without delete sharing: from now on nobody can rename or
        // remove it and put something else in its place.
        HANDLE h = OpenNoFollow(levels[i], READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (h == INVALID_HANDLE_VALUE) {
            FWhy = levels[i] + ": " + CallWhy("CreateFile", GetLastError());
            Close();
            return false;
        }
        FHeld.push_back(reinterpret_cast<intptr_t>(h));
        FWhy = CheckHandle(h, levels[i], i == 0 ? TStrictness::tsTop : TStrictness::tsOwn);
        if (!FWhy.empty()) {
            Close();
            return false;
        }
    }
    return true;
}

bool TAdminChain::CheckFile(const std::string& name) {
    std::string bytes;
    return ReadFile(name, bytes, -1);
}

bool TAdminChain::ReadFile(const std::string& name, std::string& bytes, int64_t limit) {
    bytes.clear();
    if (FHeld.empty()) {
        FWhy = "the folders of " + name + " were not checked";
        return false;
    }
    const std::string path = AddBackslash(FFolder) + name;
    HANDLE h = OpenNoFollow(path, GENERIC_READ | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (h == INVALID_HANDLE_VALUE) {
        FWhy = path + ": " + CallWhy("CreateFile", GetLastError());
        return false;
    }
    FWhy = CheckHandle(h, path, TStrictness::tsOwn);
    LARGE_INTEGER size = {};
    if (FWhy.empty() && limit >= 0) {
        if (!GetFileSizeEx(h, &size))
            FWhy = path + ": " + CallWhy("GetFileSizeEx", GetLastError());
        else if (size.QuadPart > limit)
            FWhy = path + " is too large (" + std::to_string(size.QuadPart) + " bytes)";
    }
    if (FWhy.empty() && limit >= 0) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!bytes.empty() &&
            (!::ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
             got != bytes.size()))
            FWhy = path + ": " + CallWhy("ReadFile", GetLastError());
    }
    CloseHandle(h);
    return FWhy.empty();
}

// --- making them ---------------------------------------------------------------------------------------

namespace {

// The access list of what this process makes: administrators only; a
// process that is not elevated cannot name them as the owner and adds its
// own user.
std::string OwnSddl() {
    if (RunningElevated())
        return AdminOnlySddl();
    return "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + ProcessUserSid() + ")";
}

struct TSecurity {
    PSECURITY_DESCRIPTOR Sd = nullptr;
    SECURITY_ATTRIBUTES Sa = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    TSecurity() {
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(Wide(OwnSddl()).c_str(), SDDL_REVISION_1,
                                                                 &Sd, nullptr))
            Sa.lpSecurityDescriptor = Sd;
    }
    ~TSecurity() {
        if (Sd)
            LocalFree(Sd);
    }
    bool Valid() const { return Sd != nullptr; }
};

} // namespace

bool CreateAdminFolder(const std::string& folder) {
    DWORD error = ERROR_SUCCESS;
    bool made = false;
    {
        TSecurity security;
        if (!security.Valid())
            return false;
        made = CreateDirectoryW(Wide(folder).c_str(), &security.Sa) != FALSE;
        error = GetLastError();
    }
    SetLastError(error);
    return made;
}

intptr_t CreateAdminFile(const std::string& path) {
    TSecurity security;
    if (!security.Valid())
        return -1;
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &security.Sa, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(h);
}

void EnsureAdminFolder(const std::string& top, const std::string& folder,
                       const std::function<void(const std::string&)>& note) {
    const std::string base = RemoveBackslash(top), target = RemoveBackslash(folder);
    TAdminChain chain;
    if (chain.Open(base, target))
        return;
    // Level by level: each one missing is made, each one not ours moved aside.
    for (size_t at = base.size() + 1; at <= target.size();) {
        size_t next = target.find('\\', at);
        if (next == std::string::npos)
            next = target.size();
        const std::string level = target.substr(0, next);
        at = next + 1;
        if (chain.Open(base, level))
            continue;
        const std::string why = chain.Why();
        const bool there = DirectoryExists(level) || FileExists(level) || IsLink(level);
        if (there) {
            const std::string aside = level + ".untrusted-" + HexName("").substr(0, 8);
            if (!MoveFileExW(Wide(level).c_str(), Wide(aside).c_str(), 0))
                throw EInOutError(
                    Format("The folder %s cannot be used: %s. It cannot be moved aside either: %s",
                           {level, why, SystemErrorText(GetLastError())}));
            if (note)
                note("moved " + level + " aside to " + aside + ": " + why);
        }
        // Another run may have made it in the meantime: it is checked below like any other.
        if (!CreateAdminFolder(level) && GetLastError() != ERROR_ALREADY_EXISTS)
            throw EInOutError(
                Format("Cannot create the folder %s: %s", {level, SystemErrorText(GetLastError())}));
        if (!chain.Open(base, level))
            throw EInOutError(Format("The folder %s cannot be used: %s", {level, chain.Why()}));
    }
}

std::string MakeAdminWorkFolder(const std::string& prefix) {
    EnsureAdminFolder(MachineFolderTop(), MachineFolder(), nullptr);
    DWORD error = 0;
    for (int attempt = 0; attempt < 10; ++attempt) {
        const std::string folder = AddBackslash(MachineFolder()) + UnguessableName(prefix);
        if (CreateAdminFolder(folder))
            return folder;
        error = GetLastError();
    }
    throw EInOutError(Format("Cannot create a folder in %s. %s", {MachineFolder(), SystemErrorText(error)}));
}

bool RemoveNoFollow(const std::string& path, std::string& why) {
    HANDLE h = OpenNoFollow(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD failed = GetLastError();
        if (failed == ERROR_FILE_NOT_FOUND || failed == ERROR_PATH_NOT_FOUND)
            return true;
        why = CallWhy("CreateFile", failed);
        SetLastError(failed);
        return false;
    }
    bool ok = false;
    DWORD code = ERROR_SUCCESS;
    const std::string final = FinalPath(h);
    BY_HANDLE_FILE_INFORMATION info = {};
    if (final.empty() || PlaceKey(final) != Comparable(path)) {
        why = "it lies behind a link (it leads to " + final + ")";
        code = ERROR_ACCESS_DENIED;
    } else if (!GetFileInformationByHandle(h, &info)) {
        code = GetLastError();
        why = CallWhy("GetFileInformationByHandle", code);
    } else {
        if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
            FILE_BASIC_INFO basic = {};
            basic.FileAttributes = (info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
            if (basic.FileAttributes != FILE_ATTRIBUTE_NORMAL)
                basic.FileAttributes &= ~FILE_ATTRIBUTE_NORMAL;
            SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic);
        }
        FILE_DISPOSITION_INFO gone = {TRUE};
        ok = SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone) != FALSE;
        if (!ok) {
            code = GetLastError();
            why = CallWhy("SetFileInformationByHandle(FileDispositionInfo)", code);
        }
    }
    CloseHandle(h);
    SetLastError(code);
    return ok;
}
