// POSIX side of the file interface, for the native build of the portable code.
// A backslash in a path is read as '/'.
#include "exceptions_Quenfold.h"
#include "routines_Files.h"
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

std::string Native(const std::string& path) {
    std::string p = path;
    for (char& c : p)
        if (c == '\\')
            c = '/';
    return p;
}

// Local-time TDateTime <-> Unix seconds.
TDateTime UnixToLocalDateTime(const struct timespec& ts) {
    time_t t = ts.tv_sec;
    struct tm lt;
    localtime_r(&t, &lt);
    return EncodeDateTime(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min, lt.tm_sec,
                          static_cast<int>(ts.tv_nsec / 1000000));
}

struct timespec LocalDateTimeToUnix(TDateTime dt) {
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(dt, y, mo, d, h, mi, s, ms);
    struct tm lt = {};
    lt.tm_year = y - 1900;
    lt.tm_mon = mo - 1;
    lt.tm_mday = d;
    lt.tm_hour = h;
    lt.tm_min = mi;
    lt.tm_sec = s;
    lt.tm_isdst = -1;
    struct timespec ts;
    ts.tv_sec = mktime(&lt);
    ts.tv_nsec = static_cast<long>(ms) * 1000000;
    return ts;
}

} // namespace

TFileStream::TFileStream(const std::string& fileName, uint32_t mode) : FFileName(fileName) {
    int flags;
    if (mode == fmCreate)
        flags = O_RDWR | O_CREAT | O_TRUNC;
    else if (mode == fmCreateNew)
        flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
    else if ((mode & 3) == fmOpenWrite)
        flags = O_WRONLY;
    else if ((mode & 3) == fmOpenReadWrite)
        flags = O_RDWR;
    else
        flags = O_RDONLY;
    int fd = ::open(Native(fileName).c_str(), flags | O_CLOEXEC, 0644);
    if (fd >= 0) {
        struct stat st;
        if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            fd = -1;
            errno = EISDIR;
        }
    }
    if (fd < 0) {
        std::string why = SystemErrorText(static_cast<uint32_t>(errno));
        if (mode == fmCreate || mode == fmCreateNew)
            throw EFCreateError(Format("Cannot create file \"%s\". %s", {fileName, why}));
        throw EFOpenError(Format("Cannot open file \"%s\". %s", {fileName, why}));
    }
    FHandle = fd;
}

TFileStream::~TFileStream() {
    if (FHandle >= 0)
        ::close(static_cast<int>(FHandle));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    int64_t total = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (total < count) {
        ssize_t n = ::read(static_cast<int>(FHandle), p + total, static_cast<size_t>(count - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    int64_t total = 0;
    auto* p = static_cast<const uint8_t*>(buffer);
    while (total < count) {
        ssize_t n = ::write(static_cast<int>(FHandle), p + total, static_cast<size_t>(count - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                 : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                    : SEEK_END;
    off_t r = ::lseek(static_cast<int>(FHandle), static_cast<off_t>(offset), whence);
    if (r < 0)
        throw EStreamError(Format("Cannot seek in file \"%s\". %s", {FFileName, SystemErrorText(errno)}));
    return r;
}

void TFileStream::SetSize(int64_t newSize) {
    if (::ftruncate(static_cast<int>(FHandle), static_cast<off_t>(newSize)) != 0)
        throw EWriteError(
            Format("Cannot set the size of file \"%s\". %s", {FFileName, SystemErrorText(errno)}));
    if (Position() > newSize)
        SetPosition(newSize);
}

void TFileStream::Flush() {
    ::fsync(static_cast<int>(FHandle));
}

bool TFileStream::GetModified(TDateTime& when) const {
    struct stat st;
    if (fstat(static_cast<int>(FHandle), &st) != 0)
        return false;
    when = UnixToLocalDateTime(st.st_mtim);
    return true;
}

bool TFileStream::SetModified(TDateTime when) {
    struct timespec ts[2];
    ts[0] = ts[1] = LocalDateTimeToUnix(when);
    return futimens(static_cast<int>(FHandle), ts) == 0;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(Native(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsLink(const std::string& path) {
    struct stat st;
    std::string p = RemoveBackslash(path);
    return !p.empty() && lstat(Native(p).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool CreateDir(const std::string& path) {
    return ::mkdir(Native(path).c_str(), 0755) == 0;
}
bool RemoveDir(const std::string& path) {
    return ::rmdir(Native(path).c_str()) == 0;
}
bool RemoveFile(const std::string& path) {
    return ::unlink(Native(path).c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to, bool replace) {
    if (!replace && (FileExists(to) || DirectoryExists(to))) {
        errno = EEXIST;
        return false;
    }
    return ::rename(Native(from).c_str(), Native(to).c_str()) == 0;
}

bool CopyFileTo(const std::string& from, const std::string& to, bool failIfExists) {
    if (failIfExists && FileExists(to)) {
        errno = EEXIST;
        return false;
    }
    try {
        TFileStream src(from, fmOpenRead);
        TFileStream dst(to, fmCreate);
        dst.CopyFrom(src, 0);
        TDateTime when;
        if (src.GetModified(when))
            dst.SetModified(when);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

int64_t FileSizeOf(const std::string& path) {
    struct stat st;
    if (stat(Native(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return st.st_size;
}

bool FileGetModified(const std::string& path, TDateTime& when) {
    struct stat st;
    if (stat(Native(path).c_str(), &st) != 0)
        return false;
    when = UnixToLocalDateTime(st.st_mtim);
    return true;
}

bool FileSetModified(const std::string& path, TDateTime when) {
    struct timespec ts[2];
    ts[0] = ts[1] = LocalDateTimeToUnix(when);
    return utimensat(AT_FDCWD, Native(path).c_str(), ts, 0) == 0;
}

bool SetFileReadOnly(const std::string& path, bool readOnly) {
    struct stat st;
    if (stat(Native(path).c_str(), &st) != 0)
        return false;
    mode_t m = readOnly ? (st.st_mode & ~0222) : (st.st_mode | 0200);
    return chmod(Native(path).c_str(), m) == 0;
}

bool IsFileReadOnly(const std::string& path) {
    struct stat st;
    return stat(Native(path).c_str(), &st) == 0 && (st.st_mode & 0200) == 0;
}

int64_t DiskFreeBytes(const std::string& path) {
    struct statvfs sv;
    std::string p = Native(path);
    while (!p.empty() && statvfs(p.c_str(), &sv) != 0) {
        std::string parent = ExtractFileDir(p);
        if (parent == p)
            return -1;
        p = parent;
    }
    if (p.empty())
        return -1;
    return static_cast<int64_t>(sv.f_bavail) * static_cast<int64_t>(sv.f_frsize);
}

std::string GetCurrentDir() {
    char buf[4096];
    return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

bool SetCurrentDir(const std::string& dir) {
    return ::chdir(Native(dir).c_str()) == 0;
}

std::vector<std::string> ListDirectory(const std::string& dir) {
    std::vector<std::string> out;
    DIR* d = opendir(Native(dir).c_str());
    if (!d)
        return out;
    while (struct dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..")
            continue;
        if (DirectoryExists(AddBackslash(dir) + n))
            n += '\\';
        out.push_back(n);
    }
    closedir(d);
    return out;
}

std::string TempDirectory() {
    const char* t = getenv("TMPDIR");
    std::string d = t && *t ? t : "/tmp";
    if (d.back() != '/')
        d += '/';
    return d;
}

uint32_t LastSystemError() {
    return static_cast<uint32_t>(errno);
}
void SetLastSystemError(uint32_t code) {
    errno = static_cast<int>(code);
}
std::string SystemErrorText(uint32_t code) {
    return std::strerror(static_cast<int>(code));
}

TDateTime Now() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return UnixToLocalDateTime(ts);
}
