// The archive: a count, a flag and per member a 172-byte header and a zlib
// stream. TQnfdCompress writes it, extracts members under the overwrite rules,
// splits it over numbered disk files and copies plain files.
#pragma once
#include "platform/cmp_TVersion.h"
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Files.h"
#include "platform/routines_Strings.h"
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

constexpr int kFileHeaderSize = 172;
constexpr int kArchivePrefixSize = 5;
constexpr int kMaxFileNameLength = 100;
constexpr int kMaxFileVersionLength = 20;
constexpr int kFileIDCount = 2000;

using TFileHeaderRecord = std::array<uint8_t, kFileHeaderSize>;

// Progress of an archive operation, handed to the events.
struct TlzhFileStats {
    Byte FilePercent = 0;
    Int64 BytesDone = 0;
    std::string FileName;
    Integer CompressedSize = 0;
    Byte Ratio = 0;
    Integer FileSize = 0;
    TFileHeaderRecord Header{};
    bool Finished = false;
    Byte TotalPercent = 0;
    // Totals of a whole archive can pass 2 GiB even when each member does not.
    Int64 TotalDone = 0;
    Int64 TotalCompressed = 0;
    Byte TotalRatio = 0;
    Int64 TotalSize = 0;
};

// Nearest integer of part / whole x 100 (halves to even), 0 when whole is 0.
Byte PercentOf(Int64 part, Int64 whole);

// The name a member added from path carries in its header, and the form in
// which every lookup by path compares a path. A path of at most 100 bytes is
// kept as it is; a longer one keeps its end behind a leading "…" (U+2026), cut at a
// character boundary, so the file name survives and the files of one deep
// folder keep names of their own.
std::string ArchiveName(const std::string& path);

class TFileHeader {
public:
    bool Stored = false; // read from an archive

    Integer FileNumber = 0;
    TDateTime FileDate = 0;
    Byte EndDisk = 0;
    Integer EndOffset = 0;
    std::string FileName; // at most 100 bytes in the record
    Integer NextHeader = 0;
    Integer FileSize = 0;
    Integer DataStart = 0;
    Integer CompressedSize = 0;
    Byte StartDisk = 0;
    Integer FileID = 0;
    std::string FileVersion; // at most 20 bytes in the record

    // The full path the member was added from; FileName may be cut.
    std::string SourcePath;

    bool IsValid() const;
    void SetFromFile(const std::string& item);
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    void FillFileStats(TlzhFileStats& stats) const;

    // The 172 bytes, little-endian field by field. Padding and the unused
    // string tails keep what was read (zero in a new header).
    TFileHeaderRecord Record() const;
    void SetRecord(const TFileHeaderRecord& record);

private:
    TFileHeaderRecord FRaw{};
};

class TFileHeaders {
public:
    bool MultiDisk = false;

    int Count() const { return static_cast<int>(FItems.size()); }
    TFileHeader& FileHeaders(int index) const; // GetFileHeaders
    void Add(std::unique_ptr<TFileHeader> header);
    void Clear() { FItems.clear(); }
    // Drops the headers from index on.
    void Truncate(int count);
    void AddFiles(const TStringList& items, bool keep);
    // The member stored under the path of item: the whole item when a member
    // carries it (a stored path may hold ";"), else its first field.
    int IndexOf(const std::string& item) const;
    // The first member stored under path as it is; case is ignored, a long
    // path is cut as it was when added. -1 when none.
    int IndexOfName(const std::string& path) const;
    void SumSizes(TlzhFileStats& stats) const;
    void ComputeTotals(TlzhFileStats& stats) const;
    // Reads the prefix and the header chain of the archive that starts at
    // offset; every count, position and disk number is checked against the
    // stream before it is used.
    void LoadFromStream(TStream& stream, Integer offset);
    // Writes the prefix at position 0, and the packed header block of a disk set.
    void SaveToStream(TStream& stream);

private:
    std::vector<std::unique_ptr<TFileHeader>> FItems;
};

enum TCompressionLevel { colNone, colFastest, colDefault, colMax };

// A write-only stream that deflates into another stream (one zlib stream,
// window bits 15, memory level 8) through a 65,536-byte output buffer.
class TCustomZlibStream : public TStream {
public:
    static constexpr int kBufferSize = 65536;
    std::function<void()> OnProgress;

protected:
    explicit TCustomZlibStream(TStream& dest);
    TStream& FDest;
    int64_t FDestPos;
    std::vector<uint8_t> FBuffer;
};

class TCompressionStream : public TCustomZlibStream {
public:
    TCompressionStream(TCompressionLevel level, TStream& dest);
    ~TCompressionStream() override;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    // Only the current position (bytes consumed so far) can be asked.
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    // Ends the zlib stream and writes the rest; no progress calls.
    void Finish();

private:
    void FlushOutput(size_t count);
    struct State;
    std::unique_ptr<State> FState;
    bool FFinished = false;
};

// Which file an archive operation opens; OpenFile can be replaced per role
// (disks of limited size, for instance).
enum class TqcFileRole { Archive, DiskFile, Source, Temporary, Destination };

class TQnfdCompress {
public:
    using TNotifyEvent = std::function<void(TQnfdCompress& Sender)>;
    using TlzhFileStatsEvent =
        std::function<void(TQnfdCompress& QnfdCompress, const TlzhFileStats& FileStats)>;
    using TlzhNewDiskEvent =
        std::function<void(TQnfdCompress& QnfdCompress, int DiskNumber, std::string& Path)>;

    TQnfdCompress();
    virtual ~TQnfdCompress();
    TQnfdCompress(const TQnfdCompress&) = delete;
    TQnfdCompress& operator=(const TQnfdCompress&) = delete;

    // Set by anyone to stop the running operation; reset when one starts.
    bool Abort = false;
    TCompressionLevel CompressionLevel = colMax;
    std::string ExtractDirectory;
    Integer Offset = 0;
    TOverwriteType Overwrite = owAlways;
    // The name the next extracted member gets (empty: its own); cleared after each member.
    std::string DestName;
    bool SkipFile = false;
    // Compress names new members by their file names alone instead of their
    // source paths (an archive that must not carry the author's folders).
    bool StoreFileNamesOnly = false;

    TNotifyEvent OnAborted;
    TlzhFileStatsEvent OnBeforeAdding, OnAfterAdding;
    TlzhFileStatsEvent OnBeforeExtracting, OnAfterExtracting, OnListing;
    TNotifyEvent OnFullDisk;
    TlzhNewDiskEvent OnNewDisk;
    TlzhFileStatsEvent OnReplace;
    TlzhFileStatsEvent OnStatus;

    const std::string& CompressedFile() const { return FCompressedFile; }
    void SetCompressedFile(const std::string& fileName);
    TStringList& FilesToProcess() { return FFilesToProcess; }
    // Removes the blank items from list itself, then copies it.
    void SetFilesToProcess(TStringList& list);

    void Compress(bool append, Integer id);
    void Extract();
    // Extracts members by position, as Extract extracts the ones it finds by
    // path: members whose stored paths are alike still reach their own data.
    void ExtractMembers(const std::vector<int>& indexes);
    // Inflates member index and checks its size, writing nothing; failures
    // raise as they would while extracting.
    void TestMember(int index);
    void SpanToDisks(const std::string& destDir, const std::string& fileName);
    void CopyPlainFile(const std::string& source, const std::string& dest);
    void ReadHeaders();
    virtual void DoDiskFull();

    int FileCount();
    TlzhFileStats FileStats(int index);
    // The member index of an identifier; -1 when no member carries it.
    int HeaderIndexOfID(int id);
    // The member stored under path as it is (see TFileHeaders::IndexOfName).
    int IndexOfPath(const std::string& path);

    // Lets the user interface handle its pending messages between blocks;
    // set by the application, nothing natively.
    static void SetProcessMessagesHook(std::function<void()> hook);

protected:
    virtual std::unique_ptr<TStream> OpenFile(const std::string& fileName, uint32_t mode, TqcFileRole role);

private:
    enum class TMode { Idle, Compressing, Extracting };

    template <class Body> void RunGuarded(Body body);
    void DoCompress(bool append, Integer id);
    void NameNewMembers(int firstNew);
    void CompressMember(TFileHeader& h, TStream& archive, Integer id, int index);
    void CompressToTemp(TFileHeader& h, TStream& source, TStream& temp);
    void AddStatus();
    // Extracts the members at indexes, or those FilesToProcess names.
    // Extract and ExtractMembers: all of FilesToProcess (indexes null) or those members.
    void RunExtraction(const std::vector<int>* indexes);
    void DoExtract(const std::vector<int>* indexes);
    std::string DestinationPath();
    void ExtractMember(TFileHeader& h, const std::string& dest, bool testOnly);
    // True when the zlib stream ended, its check value read.
    bool InflateMember(TFileHeader& h, TStream& out);
    void DoSpanToDisks(const std::string& destDir, const std::string& fileName);
    int CopyChunk(TFileHeader& h, Int64 sourceEnd);
    std::unique_ptr<TStream> OpenDiskFile(std::string& name, int disk, uint32_t mode);
    void EnsureHeaders();
    void RaiseStatus();
    static void ProcessMessages();

    std::string FCompressedFile;
    TStringList FFilesToProcess;
    TFileHeaders FHeaders;
    bool FHeadersLoaded = false;
    TMode FMode = TMode::Idle;
    int FCurrentDisk = 0;
    TlzhFileStats FStats;
    std::array<Integer, kFileIDCount> FIDTable;
    std::unique_ptr<TStream> FArchive; // the archive or disk file being read or written
    TStream* FSource = nullptr;        // while compressing: the source and the temporary file
    TStream* FTemp = nullptr;
    // Disk spanning state.
    std::string FSpanDir, FSpanName;
    std::unique_ptr<TStream> FSpanSource;
    std::vector<uint8_t> FInBuffer, FOutBuffer, FChunk;
};
