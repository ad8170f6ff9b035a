// Win32 side of the file interface. Every call is a W function.
#include "exceptions_Quenfold.h"
#include "routines_Files.h"
#include "routines_WinText.h"
#include <windows.h>

namespace {

HANDLE H(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

uint64_t ToU64(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME ToFT(uint64_t v) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(v);
    ft.dwHighDateTime = static_cast<DWORD>(v >> 32);
    return ft;
}

TDateTime UtcFileTimeToLocal(const FILETIME& utc) {
    FILETIME local;
    FileTimeToLocalFileTime(&utc, &local);
    return FileTimeToDateTime(ToU64(local));
}

FILETIME LocalToUtcFileTime(TDateTime dt) {
    FILETIME local = ToFT(DateTimeToFileTime(dt)), utc;
    LocalFileTimeToFileTime(&local, &utc);
    return utc;
}

} // namespace

TFileStream::TFileStream(const std::string& fileName, uint32_t mode) : FFileName(fileName) {
    DWORD access, share, disposition, flags = FILE_ATTRIBUTE_NORMAL;
    if (mode == fmCreate || mode == fmCreateNew) {
        access = GENERIC_READ | GENERIC_WRITE;
        share = FILE_SHARE_READ;
        disposition = mode == fmCreate ? CREATE_ALWAYS : CREATE_NEW;
        if (mode == fmCreateNew)
            flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    } else {
        static const DWORD accessOf[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
        access = accessOf[(mode & 3) < 3 ? (mode & 3) : 0];
        switch (mode & 0xF0) {
        case fmShareExclusive:
            share = 0;
            break;
        case fmShareDenyWrite:
            share = FILE_SHARE_READ;
            break;
        case fmShareDenyNone:
            share = FILE_SHARE_READ | FILE_SHARE_WRITE;
            break;
        default:
            share = FILE_SHARE_READ | ((mode & 3) == fmOpenRead ? FILE_SHARE_WRITE : 0);
        }
        disposition = OPEN_EXISTING;
    }
    HANDLE h = CreateFileW(Wide(fileName).c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        std::string why = SystemErrorText(code);
        SetLastError(code);
        if (mode == fmCreate || mode == fmCreateNew)
            throw EFCreateError(Format("Cannot create file \"%s\". %s", {fileName, why}));
        throw EFOpenError(Format("Cannot open file \"%s\". %s", {fileName, why}));
    }
    FHandle = reinterpret_cast<intptr_t>(h);
}

TFileStream::~TFileStream() {
    if (FHandle != -1)
        CloseHandle(H(FHandle));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    int64_t total = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (total < count) {
        DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count - total, 1 << 30)), got = 0;
        if (!ReadFile(H(FHandle), p + total, chunk, &got, nullptr) || got == 0)
            break;
        total += got;
    }
    return total;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    int64_t total = 0;
    auto* p = static_cast<const uint8_t*>(buffer);
    while (total < count) {
        DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count - total, 1 << 30)), put = 0;
        if (!WriteFile(H(FHandle), p + total, chunk, &put, nullptr) || put == 0)
            break;
        total += put;
    }
    return total;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    DWORD method = origin == TSeekOrigin::soBeginning ? FILE_BEGIN
                   : origin == TSeekOrigin::soCurrent ? FILE_CURRENT
                                                      : FILE_END;
    LARGE_INTEGER dist, result;
    dist.QuadPart = offset;
    if (!SetFilePointerEx(H(FHandle), dist, &result, method))
        throw EStreamError(
            Format("Cannot seek in file \"%s\". %s", {FFileName, SystemErrorText(GetLastError())}));
    return result.QuadPart;
}

void TFileStream::SetSize(int64_t newSize) {
    int64_t pos = Position();
    SetPosition(newSize);
    if (!SetEndOfFile(H(FHandle)))
        throw EWriteError(
            Format("Cannot set the size of file \"%s\". %s", {FFileName, SystemErrorText(GetLastError())}));
    SetPosition(std::min(pos, newSize));
}

void TFileStream::Flush() {
    FlushFileBuffers(H(FHandle));
}

bool TFileStream::GetModified(TDateTime& when) const {
    FILETIME w;
    if (!GetFileTime(H(FHandle), nullptr, nullptr, &w))
        return false;
    when = UtcFileTimeToLocal(w);
    return true;
}

bool TFileStream::SetModified(TDateTime when) {
    FILETIME w = LocalToUtcFileTime(when);
    return SetFileTime(H(FHandle), nullptr, nullptr, &w) != 0;
}

static DWORD Attributes(const std::string& path) {
    return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(Wide(path).c_str());
}

bool FileExists(const std::string& path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsLink(const std::string& path) {
    // With a trailing backslash the attributes are those of the target.
    DWORD a = Attributes(RemoveBackslash(path));
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool CreateDir(const std::string& path) {
    return CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
}
bool RemoveDir(const std::string& path) {
    return RemoveDirectoryW(Wide(path).c_str()) != 0;
}
bool RemoveFile(const std::string& path) {
    return DeleteFileW(Wide(path).c_str()) != 0;
}

bool RenameFile(const std::string& from, const std::string& to, bool replace) {
    DWORD flags = MOVEFILE_COPY_ALLOWED | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), flags) != 0;
}

bool CopyFileTo(const std::string& from, const std::string& to, bool failIfExists) {
    return CopyFileW(Wide(from).c_str(), Wide(to).c_str(), failIfExists) != 0;
}

int64_t FileSizeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &d) ||
        (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return (static_cast<int64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

bool FileGetModified(const std::string& path, TDateTime& when) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &d))
        return false;
    when = UtcFileTimeToLocal(d.ftLastWriteTime);
    return true;
}

bool FileSetModified(const std::string& path, TDateTime when) {
    HANDLE h = CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FILETIME w = LocalToUtcFileTime(when);
    bool ok = SetFileTime(h, nullptr, nullptr, &w) != 0;
    CloseHandle(h);
    return ok;
}

bool SetFileReadOnly(const std::string& path, bool readOnly) {
    DWORD a = Attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES)
        return false;
    a = readOnly ? (a | FILE_ATTRIBUTE_READONLY) : (a & ~FILE_ATTRIBUTE_READONLY);
    return SetFileAttributesW(Wide(path).c_str(), a ? a : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool IsFileReadOnly(const std::string& path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
}

int64_t DiskFreeBytes(const std::string& path) {
    ULARGE_INTEGER avail;
    std::string p = path;
    // GetDiskFreeSpaceEx wants an existing folder: walk up to one.
    while (!p.empty() && !DirectoryExists(p)) {
        std::string parent = ExtractFileDir(p);
        if (parent == p)
            break;
        p = parent;
    }
    if (!GetDiskFreeSpaceExW(p.empty() ? nullptr : Wide(AddBackslash(p)).c_str(), &avail, nullptr, nullptr))
        return -1;
    return static_cast<int64_t>(avail.QuadPart);
}

// Calls a Win32 function that fills a buffer and, when the buffer is too
// small, answers the size it needs instead.
template <class F> static std::string GrowingText(F fill) {
    std::wstring buf(MAX_PATH + 2, L'\0');
    for (;;) {
        DWORD n = fill(static_cast<DWORD>(buf.size()), buf.data());
        if (n == 0)
            return std::string();
        if (n < buf.size())
            return Narrow(buf.data(), n);
        buf.assign(n + 1, L'\0');
    }
}

std::string GetCurrentDir() {
    return GrowingText([](DWORD size, wchar_t* b) { return GetCurrentDirectoryW(size, b); });
}

bool SetCurrentDir(const std::string& dir) {
    return SetCurrentDirectoryW(Wide(dir).c_str()) != 0;
}

std::vector<std::string> ListDirectory(const std::string& dir) {
    std::vector<std::string> out;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Wide(AddBackslash(dir) + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do {
        std::string n = Narrow(fd.cFileName, wcslen(fd.cFileName));
        if (n == "." || n == "..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            n += '\\';
        out.push_back(n);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return out;
}

std::string TempDirectory() {
    std::string dir = GrowingText([](DWORD size, wchar_t* b) { return GetTempPathW(size, b); });
    return dir.empty() ? dir : AddBackslash(dir);
}

uint32_t LastSystemError() {
    return GetLastError();
}
void SetLastSystemError(uint32_t code) {
    SetLastError(code);
}

std::string SystemErrorText(uint32_t code) {
    wchar_t* buf = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<LPWSTR>(&buf), 0, nullptr);
    std::string text = n ? Narrow(buf, n) : Format("System error %d", {code});
    if (buf)
        LocalFree(buf);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

TDateTime Now() {
    FILETIME utc;
    GetSystemTimeAsFileTime(&utc);
    return UtcFileTimeToLocal(utc);
}
