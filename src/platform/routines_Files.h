// The file interface: streams, file and folder routines and file times, with a
// Win32 implementation (W functions, UTF-8 converted) and a POSIX one for the
// native build of the portable code. Paths use backslashes; the POSIX side
// reads a backslash as '/' so the same code and tests run on both.
#pragma once
#include "routines_Strings.h"
#include "types_Base.h"
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// A byte stream. Read and Write move what they can and return the count;
// ReadBuffer and WriteBuffer raise EReadError / EWriteError when short.
class TStream {
public:
    virtual ~TStream() = default;
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual void SetSize(int64_t newSize);

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
    int64_t Size();
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source (all of it from the start when count is 0).
    int64_t CopyFrom(TStream& source, int64_t count);
};

enum TFileOpenMode : uint32_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFF00, // create or truncate, read and write
    // a new file, read and write: an existing name (a file, or a link planted
    // where the file is to be) fails instead of being written through
    fmCreateNew = 0xFE00,
};

class TFileStream : public TStream {
public:
    // Raises EFOpenError ("Cannot open file ...") or EFCreateError ("Cannot create file ...").
    TFileStream(const std::string& fileName, uint32_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    void Flush();
    const std::string& FileName() const { return FFileName; }
    // Last-write time of the open file, local time.
    bool GetModified(TDateTime& when) const;
    bool SetModified(TDateTime when);

private:
    std::string FFileName;
    intptr_t FHandle = -1;
};

class TMemoryStream : public TStream {
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    const std::vector<uint8_t>& Data() const { return FData; }
    std::vector<uint8_t>& Data() { return FData; }

private:
    std::vector<uint8_t> FData;
    int64_t FPos = 0;
};

// Path text (both '\' and '/' separate folders; ':' ends a drive).
std::string ExtractFilePath(const std::string& path); // with trailing separator
std::string ExtractFileDir(const std::string& path);  // without it
std::string ExtractFileName(const std::string& path);
std::string ExtractFileExt(const std::string& path);
std::string ChangeFileExt(const std::string& path, const std::string& ext);

// Files and folders. None of these raise; failures return false / -1 and leave
// the system's code for LastSystemError().
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool CreateDir(const std::string& path);
bool RemoveDir(const std::string& path);
bool RemoveFile(const std::string& path);
// Renames or moves; replaces an existing destination when replace holds.
bool RenameFile(const std::string& from, const std::string& to, bool replace = false);
bool CopyFileTo(const std::string& from, const std::string& to, bool failIfExists);
int64_t FileSizeOf(const std::string& path);
bool FileGetModified(const std::string& path, TDateTime& when);
bool FileSetModified(const std::string& path, TDateTime when);
bool SetFileReadOnly(const std::string& path, bool readOnly);
bool IsFileReadOnly(const std::string& path);
// Free bytes for the caller on the volume holding path; -1 when unknown.
int64_t DiskFreeBytes(const std::string& path);
std::string GetCurrentDir();
bool SetCurrentDir(const std::string& dir);
// A symbolic link or junction (the link itself, not what it points at).
bool IsLink(const std::string& path);
// Entries of a folder (no "." or ".."); folders end with a backslash.
std::vector<std::string> ListDirectory(const std::string& dir);
// The system's temporary folder, with a trailing backslash.
std::string TempDirectory();

// Creates Dir and its missing parents; a drive root ("C:") is left alone.
// An empty Dir raises EInOutError ("Unable to create directory"); a failure of
// the last step is left for the following file creation to report.
void ForceDirectory(const std::string& dir);

uint32_t LastSystemError();
void SetLastSystemError(uint32_t code);
// The system's own text for an error code, without trailing line breaks.
std::string SystemErrorText(uint32_t code);

// Date-times: one place converts between TDateTime and the system's stamps.
TDateTime FileTimeToDateTime(uint64_t fileTime); // 100 ns since 1601, no zone change
uint64_t DateTimeToFileTime(TDateTime dt);
TDateTime DosDateTimeToDateTime(uint32_t dos);
uint32_t DateTimeToDosDateTime(TDateTime dt);
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int min = 0, int sec = 0, int msec = 0);
void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min, int& sec, int& msec);
TDateTime Now();
