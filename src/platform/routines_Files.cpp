// The portable half of the file interface: stream helpers, path text,
// ForceDirectory and date-time conversion.
#include "routines_Files.h"
#include "exceptions_Quenfold.h"
#include "routines_Undo.h"
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>

void TStream::SetSize(int64_t) {
    throw EStreamError("Invalid stream operation");
}

int64_t TStream::Size() {
    int64_t pos = Seek(0, TSeekOrigin::soCurrent);
    int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(pos, TSeekOrigin::soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count, 65536)));
    int64_t left = count;
    while (left > 0) {
        int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buf.size()));
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        left -= n;
    }
    return count;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    int64_t size = static_cast<int64_t>(FData.size());
    if (count <= 0 || FPos >= size)
        return 0;
    int64_t n = std::min(count, size - FPos);
    std::memcpy(buffer, FData.data() + FPos, static_cast<size_t>(n));
    FPos += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0)
        return 0;
    if (FPos + count > static_cast<int64_t>(FData.size()))
        FData.resize(static_cast<size_t>(FPos + count));
    std::memcpy(FData.data() + FPos, buffer, static_cast<size_t>(count));
    FPos += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == TSeekOrigin::soBeginning ? 0
                   : origin == TSeekOrigin::soCurrent ? FPos
                                                      : static_cast<int64_t>(FData.size());
    if (base + offset < 0)
        throw EStreamError("Invalid stream operation");
    FPos = base + offset;
    return FPos;
}

void TMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0)
        throw EStreamError("Invalid stream operation");
    FData.resize(static_cast<size_t>(newSize));
    FPos = std::min(FPos, newSize);
}

static bool IsPathDelimiter(char c) {
    return c == '\\' || c == '/' || c == ':';
}

static size_t AfterLastDelimiter(const std::string& path) {
    size_t i = path.size();
    while (i > 0 && !IsPathDelimiter(path[i - 1]))
        --i;
    return i;
}

std::string ExtractFilePath(const std::string& path) {
    return path.substr(0, AfterLastDelimiter(path));
}

std::string ExtractFileDir(const std::string& path) {
    size_t i = AfterLastDelimiter(path);
    // Keep the separator of a root ("C:\", "\", "/").
    if (i > 0 && path[i - 1] != ':' && i > 1 && path[i - 2] != ':')
        --i;
    return path.substr(0, i);
}

std::string ExtractFileName(const std::string& path) {
    return path.substr(AfterLastDelimiter(path));
}

std::string ExtractFileExt(const std::string& path) {
    size_t start = AfterLastDelimiter(path);
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < start)
        return "";
    return path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    size_t start = AfterLastDelimiter(path);
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < start)
        return path + ext;
    return path.substr(0, dot) + ext;
}

void ForceDirectory(const std::string& dir) {
    if (dir.empty())
        throw EInOutError("Unable to create directory");
    std::string d = RemoveBackslash(dir);
    if (d.size() > 1 && d.back() == '/')
        d.pop_back();
    // A short name ("x", "o2") is a folder like any other.
    if (d.empty() || DirectoryExists(d))
        return;
    std::string parent = ExtractFilePath(d);
    // A drive root ("C:") or a name ending in a separator is its own parent: left alone.
    if (parent == d)
        return;
    // A relative name of one folder has no parent to make first.
    if (!parent.empty())
        ForceDirectory(parent);
    NoteCreating(d, true);
    CreateDir(d);
}

// --- changes that a run may have to undo ------------------------------------------------------

TUndoHooks& UndoHooks() {
    static TUndoHooks hooks;
    return hooks;
}

void NoteCreating(const std::string& path, bool folder) {
    if (UndoHooks().Creating)
        UndoHooks().Creating(path, folder);
}

void NoteReadOnlyClearing(const std::string& path) {
    if (UndoHooks().ReadOnlyClearing)
        UndoHooks().ReadOnlyClearing(path);
}

bool ReplaceFileUndoable(const std::string& from, const std::string& to) {
    const bool existed = FileExists(to);
    if (!existed) {
        NoteCreating(to);
        return RenameFile(from, to, false);
    }
    if (!UndoHooks().KeepAside)
        return RenameFile(from, to, true);
    const std::string kept = UndoHooks().KeepAside(to);
    if (kept.empty())
        return false;
    if (RenameFile(from, to, false))
        return true;
    // The old file goes back where it was; the caller reports the failure.
    const uint32_t code = LastSystemError();
    RenameFile(kept, to, false);
    SetLastSystemError(code);
    return false;
}

// 1601-01-01 to 1899-12-30 in days; one day is 864e9 units of 100 ns.
static constexpr double kFileTimeEpochDays = 109205.0;
static constexpr double kFileTimeUnitsPerDay = 864000000000.0;

TDateTime FileTimeToDateTime(uint64_t fileTime) {
    return static_cast<double>(fileTime) / kFileTimeUnitsPerDay - kFileTimeEpochDays;
}

uint64_t DateTimeToFileTime(TDateTime dt) {
    double units = (dt + kFileTimeEpochDays) * kFileTimeUnitsPerDay;
    if (!(units >= 0))
        return 0;
    if (units >= 1.8e19)
        return UINT64_MAX;
    return static_cast<uint64_t>(std::llround(units));
}

static int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468; // days since 1970-01-01
}

static void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

// 1899-12-30 is 25569 days before 1970-01-01.
static constexpr int64_t kUnixEpochDays = 25569;

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec) {
    double days = static_cast<double>(DaysFromCivil(year, month, day) + kUnixEpochDays);
    return days + (hour * 3600000.0 + min * 60000.0 + sec * 1000.0 + msec) / 86400000.0;
}

void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min, int& sec, int& msec) {
    if (!std::isfinite(dt) || std::fabs(dt) > 3e6)
        dt = 0;
    double whole = std::floor(dt);
    int64_t ms = std::llround((dt - whole) * 86400000.0);
    int64_t days = static_cast<int64_t>(whole);
    if (ms >= 86400000) {
        ms -= 86400000;
        ++days;
    }
    CivilFromDays(days - kUnixEpochDays, year, month, day);
    hour = static_cast<int>(ms / 3600000);
    min = static_cast<int>(ms / 60000 % 60);
    sec = static_cast<int>(ms / 1000 % 60);
    msec = static_cast<int>(ms % 1000);
}

TDateTime DosDateTimeToDateTime(uint32_t dos) {
    int year = 1980 + static_cast<int>(dos >> 25);
    int month = std::clamp(static_cast<int>((dos >> 21) & 15), 1, 12);
    int day = std::max(1, static_cast<int>((dos >> 16) & 31));
    return EncodeDateTime(year, month, day, (dos >> 11) & 31, (dos >> 5) & 63, (dos & 31) * 2);
}

uint32_t DateTimeToDosDateTime(TDateTime dt) {
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(dt, y, mo, d, h, mi, s, ms);
    if (y < 1980)
        return (1u << 21) | (1u << 16); // 1980-01-01, the earliest DOS date
    if (y > 2107)
        y = 2107;
    return (static_cast<uint32_t>(y - 1980) << 25) | (static_cast<uint32_t>(mo) << 21) |
           (static_cast<uint32_t>(d) << 16) | (static_cast<uint32_t>(h) << 11) |
           (static_cast<uint32_t>(mi) << 5) | static_cast<uint32_t>(s / 2);
}
