#include "cmp_TQnfdCompress.h"
#include "platform/routines_Undo.h"
#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <unordered_map>
#include <zlib.h>

namespace {

const char* const kCorrupt =
    "Could not read the file headers for the compressed file. The Archive file could possible be corrupt";
const char* const kSizeMismatch =
    "The decompressed file's size does not match with the actual size of the file.  The file is %s";
const char* const kAborted = "Operation aborted by user";
const char* const kDamaged = "The data of the file %s in the archive %s are damaged";

// Buffers fixed by the format's readers and writers.
constexpr int kInflateInput = 65536;
// zlib copies what each call of inflate produces into its 32 KiB window and
// decodes the last few hundred bytes of an output area on its slow path: a
// small output area costs every byte an extra copy. Blocks of this size keep
// extraction at the speed of plain inflate, with one write per block.
constexpr int kInflateOutput = 256 * 1024;
constexpr int kSpanChunk = 8192;
constexpr int kPlainCopyBuffer = 8192;

// Record layout.
constexpr int kOfsFileNumber = 0, kOfsFileDate = 4, kOfsEndDisk = 12, kOfsEndOffset = 16, kOfsFileName = 20,
              kOfsNextHeader = 124, kOfsFileSize = 128, kOfsDataStart = 132, kOfsCompressedSize = 136,
              kOfsStartDisk = 140, kOfsFileID = 144, kOfsFileVersion = 148;

void PutInt32(TFileHeaderRecord& r, int at, Integer v) {
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        r[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

Integer GetInt32(const uint8_t* p) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= static_cast<uint32_t>(p[i]) << (8 * i);
    return static_cast<Integer>(u);
}

void PutDouble(TFileHeaderRecord& r, int at, double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; ++i)
        r[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

double GetDouble(const uint8_t* p) {
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i)
        u |= static_cast<uint64_t>(p[i]) << (8 * i);
    double v;
    std::memcpy(&v, &u, 8);
    return v;
}

void PutShortString(TFileHeaderRecord& r, int at, const std::string& s, size_t max) {
    std::string t = Utf8Truncate(s, max);
    r[at] = static_cast<uint8_t>(t.size());
    std::memcpy(r.data() + at + 1, t.data(), t.size());
}

std::string GetShortString(const TFileHeaderRecord& r, int at, size_t max) {
    size_t n = std::min<size_t>(r[at], max);
    return std::string(reinterpret_cast<const char*>(r.data() + at + 1), n);
}

void WritePrefix(TStream& s, Integer count, bool multiDisk) {
    uint8_t p[kArchivePrefixSize];
    auto u = static_cast<uint32_t>(count);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(u >> (8 * i));
    p[4] = multiDisk ? 1 : 0;
    s.SetPosition(0);
    if (s.Write(p, kArchivePrefixSize) != kArchivePrefixSize)
        throw EQnfdCompress("Could not write the file headers for the compressed file");
}

Integer ToInteger(Int64 v, const std::string& fileName) {
    if (v < 0 || v > INT32_MAX)
        throw EQnfdCompress(Format("The file %s does not fit into an archive: an archive, a disk file and a "
                                   "member are each limited to 2,147,483,647 bytes",
                                   {fileName}));
    return static_cast<Integer>(v);
}

std::string FirstField(const std::string& item) {
    return GetField(item, 1, ';');
}

// The source path of an item to add: its first field, or the whole item when
// that names a file (";" is allowed in file and folder names).
std::string SourceOfItem(const std::string& item) {
    if (item.find(';') != std::string::npos && FileExists(item))
        return item;
    return FirstField(item);
}

// name inside dir, joined with the separator dir already uses, so that a
// path given with "/" is not shown with a "\" in the middle.
std::string InFolder(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '\\' || dir.back() == '/')
        return dir + name;
    const bool slashes = dir.find('/') != std::string::npos && dir.find('\\') == std::string::npos;
    return dir + (slashes ? '/' : '\\') + name;
}

// A name for a scratch file in dir that does not exist yet.
std::string UniqueFileName(const std::string& dir, const std::string& prefix) {
    static std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (;;) {
        std::string name =
            InFolder(dir, prefix + Format("%.8x", {unsigned(random() & 0xFFFFFFFFu)}) + ".tmp");
        if (!FileExists(name) && !DirectoryExists(name))
            return name;
    }
}

// Paths compared as the file system would, for refusing to overwrite the
// archive being read: made absolute, "." and ".." resolved, case ignored.
bool SamePath(const std::string& a, const std::string& b) {
    auto norm = [](std::string s) {
        std::replace(s.begin(), s.end(), '/', '\\');
        const bool absolute = (s.size() >= 2 && s[1] == ':') || (!s.empty() && s[0] == '\\');
        if (!absolute) {
            std::string cwd = GetCurrentDir();
            std::replace(cwd.begin(), cwd.end(), '/', '\\');
            s = AddBackslash(cwd) + s;
        }
        std::vector<std::string> parts;
        size_t start = 0;
        for (;;) {
            size_t end = s.find('\\', start);
            std::string part = s.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (part == "..") {
                if (parts.size() > 1)
                    parts.pop_back();
            } else if ((part != "." && !part.empty()) || parts.empty()) {
                parts.push_back(part);
            }
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        std::string joined;
        for (const auto& p : parts)
            joined += p + '\\';
        return UpperCase(joined);
    };
    return norm(a) == norm(b);
}

// The archive itself or, in a disk set, a file named like one of its disks.
bool IsArchiveFile(const std::string& path, const std::string& archive, bool multiDisk) {
    if (SamePath(path, archive))
        return true;
    const std::string ext = ExtractFileExt(path);
    return multiDisk && ext.size() > 1 && ext.find_first_not_of("0123456789", 1) == std::string::npos &&
           SamePath(ChangeFileExt(path, ".1"), ChangeFileExt(archive, ".1"));
}

bool IsDeviceName(const std::string& name) {
    std::string base = UpperCase(TrimRight(name.substr(0, name.find('.'))));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* d : kDevices)
        if (base == d)
            return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '0' && base[3] <= '9';
}

// A plain file name that stays inside the folder it is put in.
bool IsSafeFileName(const std::string& name) {
    if (Trim(name).empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ')
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || std::strchr("<>:\"/\\|?*", c))
            return false;
    return !IsDeviceName(name);
}

// Counts what is written and drops it: testing an archive writes nothing.
class TNullStream : public TStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override {
        FSize += count;
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return FSize; }

private:
    int64_t FSize = 0;
};

// Removes a scratch file unless it was handed over.
struct TScratchFile {
    std::string Name;
    ~TScratchFile() {
        if (!Name.empty())
            RemoveFile(Name);
    }
};

std::function<void()>& MessagesHook() {
    static std::function<void()> hook;
    return hook;
}

} // namespace

std::string ArchiveName(const std::string& path) {
    if (path.size() <= static_cast<size_t>(kMaxFileNameLength))
        return path;
    static const std::string kCut = "\u2026";
    // A character has at most three continuation bytes; text that is not
    // UTF-8 is cut where it falls.
    const size_t cut = path.size() - (kMaxFileNameLength - kCut.size());
    size_t start = cut;
    while (start < cut + 3 && IsUtf8Continuation(path[start]))
        ++start;
    return kCut + path.substr(start);
}

Byte PercentOf(Int64 part, Int64 whole) {
    if (whole == 0)
        return 0;
    double v = std::nearbyint(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
    if (!(v >= 0))
        return 0;
    return static_cast<Byte>(std::min(v, 255.0));
}

// ---------------------------------------------------------------- TFileHeader

bool TFileHeader::IsValid() const {
    return !Trim(FileName).empty();
}

void TFileHeader::SetFromFile(const std::string& item) {
    SourcePath = SourceOfItem(item);
    FileName = ArchiveName(SourcePath);
    Int64 size;
    TDateTime modified;
    try {
        TFileStream f(SourcePath, fmOpenRead | fmShareDenyNone);
        size = f.Size();
        if (!f.GetModified(modified))
            modified = 0;
    } catch (const Exception&) {
        throw EQnfdCompress(Format("Cannot open the file %s", {SourcePath}));
    }
    FileDate = DosDateTimeToDateTime(DateTimeToDosDateTime(modified));
    FileSize = ToInteger(size, SourcePath);
    TVersionResource& reader = SharedVersionResource();
    reader.SetFileName(SourcePath);
    FileVersion = Utf8Truncate(reader.VersionInfo().FileVersion, kMaxFileVersionLength);
}

TFileHeaderRecord TFileHeader::Record() const {
    TFileHeaderRecord r = FRaw;
    PutInt32(r, kOfsFileNumber, FileNumber);
    PutDouble(r, kOfsFileDate, FileDate);
    r[kOfsEndDisk] = EndDisk;
    PutInt32(r, kOfsEndOffset, EndOffset);
    PutShortString(r, kOfsFileName, ArchiveName(FileName), kMaxFileNameLength);
    PutInt32(r, kOfsNextHeader, NextHeader);
    PutInt32(r, kOfsFileSize, FileSize);
    PutInt32(r, kOfsDataStart, DataStart);
    PutInt32(r, kOfsCompressedSize, CompressedSize);
    r[kOfsStartDisk] = StartDisk;
    PutInt32(r, kOfsFileID, FileID);
    PutShortString(r, kOfsFileVersion, FileVersion, kMaxFileVersionLength);
    return r;
}

void TFileHeader::SetRecord(const TFileHeaderRecord& r) {
    FRaw = r;
    FileNumber = GetInt32(&r[kOfsFileNumber]);
    FileDate = GetDouble(&r[kOfsFileDate]);
    EndDisk = r[kOfsEndDisk];
    EndOffset = GetInt32(&r[kOfsEndOffset]);
    FileName = GetShortString(r, kOfsFileName, kMaxFileNameLength);
    NextHeader = GetInt32(&r[kOfsNextHeader]);
    FileSize = GetInt32(&r[kOfsFileSize]);
    DataStart = GetInt32(&r[kOfsDataStart]);
    CompressedSize = GetInt32(&r[kOfsCompressedSize]);
    StartDisk = r[kOfsStartDisk];
    FileID = GetInt32(&r[kOfsFileID]);
    FileVersion = GetShortString(r, kOfsFileVersion, kMaxFileVersionLength);
    SourcePath = FileName;
}

void TFileHeader::LoadFromStream(TStream& stream) {
    TFileHeaderRecord r;
    if (stream.Read(r.data(), kFileHeaderSize) != kFileHeaderSize)
        throw EQnfdCompress(kCorrupt);
    SetRecord(r);
    Stored = true;
}

void TFileHeader::SaveToStream(TStream& stream) const {
    TFileHeaderRecord r = Record();
    if (stream.Write(r.data(), kFileHeaderSize) != kFileHeaderSize)
        throw EQnfdCompress("Could not write the file headers for the compressed file");
}

void TFileHeader::FillFileStats(TlzhFileStats& stats) const {
    stats.FileName = FileName;
    stats.FileSize = FileSize;
    stats.CompressedSize = CompressedSize;
    stats.Ratio = PercentOf(CompressedSize, FileSize);
    stats.FilePercent = 0;
    stats.BytesDone = 0;
    stats.Finished = false;
    stats.Header = Record();
}

// --------------------------------------------------------------- TFileHeaders

TFileHeader& TFileHeaders::FileHeaders(int index) const {
    if (index < 0 || index >= Count())
        throw EQnfdCompress(
            Format("%d is an invalid TFileHeader index in TFileHeaders.GetFileHeaders", {index}));
    return *FItems[static_cast<size_t>(index)];
}

void TFileHeaders::Add(std::unique_ptr<TFileHeader> header) {
    if (!header || !header->IsValid())
        throw EQnfdCompress("Tried to add an invalid file header");
    FItems.push_back(std::move(header));
}

void TFileHeaders::Truncate(int count) {
    if (count >= 0 && count < Count())
        FItems.resize(static_cast<size_t>(count));
}

void TFileHeaders::AddFiles(const TStringList& items, bool keep) {
    if (!keep)
        Clear();
    for (int i = 0; i < items.Count(); ++i) {
        auto h = std::make_unique<TFileHeader>();
        h->SetFromFile(items[i]);
        h->FileNumber = i + 1;
        Add(std::move(h));
    }
}

int TFileHeaders::IndexOf(const std::string& item) const {
    int index = IndexOfName(item);
    if (index < 0 && item.find(';') != std::string::npos)
        index = IndexOfName(FirstField(item));
    return index;
}

int TFileHeaders::IndexOfName(const std::string& path) const {
    const std::string name = ArchiveName(path);
    for (int i = 0; i < Count(); ++i)
        if (SameText(FItems[static_cast<size_t>(i)]->FileName, name))
            return i;
    return -1;
}

void TFileHeaders::SumSizes(TlzhFileStats& stats) const {
    stats.TotalCompressed = 0;
    stats.TotalSize = 0;
    for (const auto& h : FItems) {
        stats.TotalCompressed += h->CompressedSize;
        stats.TotalSize += h->FileSize;
    }
}

void TFileHeaders::ComputeTotals(TlzhFileStats& stats) const {
    stats.TotalDone = 0;
    stats.TotalPercent = 0;
    stats.Finished = false;
    SumSizes(stats);
    stats.TotalRatio = PercentOf(stats.TotalCompressed, stats.TotalSize);
}

void TFileHeaders::LoadFromStream(TStream& stream, Integer offset) {
    Clear();
    const Int64 size = stream.Size();
    uint8_t prefix[kArchivePrefixSize];
    if (offset < 0 || offset > size)
        throw EQnfdCompress("Could not read the file header count for the compressed file");
    stream.SetPosition(offset);
    if (stream.Read(prefix, kArchivePrefixSize) != kArchivePrefixSize)
        throw EQnfdCompress("Could not read the file header count for the compressed file");
    const Integer count = GetInt32(prefix);
    if (prefix[4] > 1)
        throw EQnfdCompress(kCorrupt);
    MultiDisk = prefix[4] == 1;
    // Every member takes a header of its own in the stream, whatever the layout.
    const Int64 room = size - offset - kArchivePrefixSize;
    if (count < 0 || static_cast<Int64>(count) * kFileHeaderSize > room)
        throw EQnfdCompress(kCorrupt);
    const Int64 headerBlockEnd = kArchivePrefixSize + static_cast<Int64>(count) * kFileHeaderSize;

    Int64 pos = static_cast<Int64>(offset) + kArchivePrefixSize;
    for (Integer i = 0; i < count; ++i) {
        auto h = std::make_unique<TFileHeader>();
        stream.SetPosition(pos);
        h->LoadFromStream(stream);
        const Int64 next = static_cast<Int64>(offset) + h->NextHeader;
        const Int64 relative = pos - offset;
        // The chain must move forward past this header, so it ends.
        bool ok = next >= pos + kFileHeaderSize && h->FileSize >= 0 && h->CompressedSize >= 0 &&
                  h->DataStart >= 0 && h->EndOffset >= -1;
        if (ok && !MultiDisk) {
            ok = h->StartDisk == 0 && h->EndDisk == 0 && h->DataStart >= relative + kFileHeaderSize &&
                 h->EndOffset >= static_cast<Int64>(h->DataStart) - 1 &&
                 static_cast<Int64>(offset) + h->EndOffset + 1 <= size;
        } else if (ok) {
            ok = h->StartDisk >= 1 && h->EndDisk >= h->StartDisk &&
                 (h->StartDisk != h->EndDisk || h->EndOffset >= static_cast<Int64>(h->DataStart) - 1) &&
                 (h->StartDisk != 1 || h->DataStart >= headerBlockEnd) &&
                 (h->EndDisk != 1 || static_cast<Int64>(offset) + h->EndOffset + 1 <= size);
        }
        if (!ok)
            throw EQnfdCompress(kCorrupt);
        Add(std::move(h));
        pos = next;
    }
}

void TFileHeaders::SaveToStream(TStream& stream) {
    WritePrefix(stream, Count(), MultiDisk);
    if (!MultiDisk)
        return;
    for (auto& h : FItems) {
        h->NextHeader = ToInteger(stream.Position() + kFileHeaderSize, h->FileName);
        h->SaveToStream(stream);
    }
}

// ---------------------------------------------------------- compression stream

TCustomZlibStream::TCustomZlibStream(TStream& dest)
    : FDest(dest), FDestPos(dest.Position()), FBuffer(kBufferSize) {}

struct TCompressionStream::State {
    z_stream z{};
};

static void CheckZlib(int result) {
    if (result < 0)
        throw Exception("error");
}

// The message names the member by its file name, which a person knows; the
// cause says what was wrong, for the log.
[[noreturn]] static void RaiseDamaged(const TFileHeader& h, const std::string& archive,
                                      const std::string& cause) {
    throw EqcDamagedMember(Format(kDamaged, {ExtractFileName(h.FileName), archive}), cause);
}

static std::string ZlibCause(int result, const z_stream& z) {
    if (result == Z_NEED_DICT)
        return "zlib: the stream asks for a preset dictionary";
    if (z.msg)
        return std::string("zlib: ") + z.msg;
    return Format("zlib: result %d, no progress", {result});
}

TCompressionStream::TCompressionStream(TCompressionLevel level, TStream& dest)
    : TCustomZlibStream(dest), FState(std::make_unique<State>()) {
    static const int kLevels[] = {0, 1, -1, 9};
    int z = kLevels[std::clamp(static_cast<int>(level), 0, 3)];
    FState->z.next_out = FBuffer.data();
    FState->z.avail_out = kBufferSize;
    CheckZlib(deflateInit_(&FState->z, z, ZLIB_VERSION, static_cast<int>(sizeof(z_stream))));
}

TCompressionStream::~TCompressionStream() {
    deflateEnd(&FState->z);
}

int64_t TCompressionStream::Read(void*, int64_t) {
    throw Exception("Invalid stream operation");
}

int64_t TCompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
    if (offset == 0 && origin == TSeekOrigin::soCurrent)
        return static_cast<int64_t>(FState->z.total_in);
    throw Exception("Invalid stream operation");
}

void TCompressionStream::FlushOutput(size_t count) {
    FDest.SetPosition(FDestPos);
    FDest.TStream::WriteBuffer(FBuffer.data(), static_cast<int64_t>(count));
    FDestPos = FDest.Position();
    FState->z.next_out = FBuffer.data();
    FState->z.avail_out = kBufferSize;
}

int64_t TCompressionStream::Write(const void* buffer, int64_t count) {
    if (FFinished)
        throw Exception("Invalid stream operation");
    z_stream& z = FState->z;
    const auto* p = static_cast<const uint8_t*>(buffer);
    int64_t left = count;
    while (left > 0) {
        uInt piece = static_cast<uInt>(std::min<int64_t>(left, 1 << 30));
        z.next_in = const_cast<Bytef*>(p);
        z.avail_in = piece;
        while (z.avail_in > 0) {
            CheckZlib(deflate(&z, Z_NO_FLUSH));
            if (z.avail_out == 0) {
                FlushOutput(kBufferSize);
                if (OnProgress)
                    OnProgress();
            }
        }
        p += piece;
        left -= piece;
    }
    return count;
}

void TCompressionStream::Finish() {
    if (FFinished)
        return;
    z_stream& z = FState->z;
    z.next_in = nullptr;
    z.avail_in = 0;
    for (;;) {
        int r = deflate(&z, Z_FINISH);
        CheckZlib(r);
        if (r == Z_STREAM_END)
            break;
        if (z.avail_out == 0)
            FlushOutput(kBufferSize);
    }
    FlushOutput(kBufferSize - z.avail_out);
    FFinished = true;
}

// ---------------------------------------------------------------- TQnfdCompress

TQnfdCompress::TQnfdCompress() {
    FIDTable.fill(-1);
}

TQnfdCompress::~TQnfdCompress() = default;

void TQnfdCompress::SetProcessMessagesHook(std::function<void()> hook) {
    MessagesHook() = std::move(hook);
}

void TQnfdCompress::ProcessMessages() {
    auto& hook = MessagesHook();
    if (hook)
        hook();
}

std::unique_ptr<TStream> TQnfdCompress::OpenFile(const std::string& fileName, uint32_t mode, TqcFileRole) {
    return std::make_unique<TFileStream>(fileName, mode);
}

void TQnfdCompress::SetCompressedFile(const std::string& fileName) {
    if (SameText(fileName, FCompressedFile))
        return;
    if (FHeadersLoaded && !SameText(ChangeFileExt(fileName, ".1"), ChangeFileExt(FCompressedFile, ".1")))
        FHeadersLoaded = false;
    FCompressedFile = fileName;
}

void TQnfdCompress::SetFilesToProcess(TStringList& list) {
    for (int i = list.Count() - 1; i >= 0; --i)
        if (Trim(list[i]).empty())
            list.Delete(i);
    FFilesToProcess = list;
}

void TQnfdCompress::RaiseStatus() {
    if (OnStatus)
        OnStatus(*this, FStats);
}

void TQnfdCompress::DoDiskFull() {
    if (OnFullDisk) {
        OnFullDisk(*this);
        return;
    }
    throw EqcDiskFull("The disk is full");
}

template <class Body> void TQnfdCompress::RunGuarded(Body body) {
    try {
        body();
    } catch (const EqcAborted&) {
        if (OnAborted)
            OnAborted(*this);
    } catch (const EAbort&) {
    } catch (...) {
        Abort = true;
        throw;
    }
}

void TQnfdCompress::ReadHeaders() {
    std::unique_ptr<TStream> s;
    if (!FileExists(FCompressedFile))
        throw EQnfdCompress(Format("Cannot open the compressed file %s", {FCompressedFile}));
    try {
        s = OpenFile(FCompressedFile, fmOpenRead | fmShareDenyNone, TqcFileRole::Archive);
    } catch (const Exception&) {
        throw EQnfdCompress(Format("Cannot open the compressed file %s", {FCompressedFile}));
    }
    FIDTable.fill(-1);
    FHeadersLoaded = false;
    try {
        FHeaders.LoadFromStream(*s, Offset);
    } catch (const Exception&) {
        FHeaders.Clear();
        throw EQnfdCompress(kCorrupt);
    }
    for (int i = 0; i < FHeaders.Count(); ++i) {
        Integer id = FHeaders.FileHeaders(i).FileID;
        if (id >= 0 && id < kFileIDCount)
            FIDTable[static_cast<size_t>(id)] = i;
    }
    FHeadersLoaded = true;
}

void TQnfdCompress::EnsureHeaders() {
    if (!FHeadersLoaded && FMode != TMode::Compressing)
        ReadHeaders();
}

int TQnfdCompress::FileCount() {
    EnsureHeaders();
    return FHeaders.Count();
}

TlzhFileStats TQnfdCompress::FileStats(int index) {
    EnsureHeaders();
    if (index < 0 || index >= FHeaders.Count())
        throw EQnfdCompress(Format("Tried to access the %dth file. This file is not defined", {index}));
    TlzhFileStats stats;
    FHeaders.ComputeTotals(stats);
    FHeaders.FileHeaders(index).FillFileStats(stats);
    return stats;
}

int TQnfdCompress::IndexOfPath(const std::string& path) {
    EnsureHeaders();
    return FHeaders.IndexOfName(path);
}

int TQnfdCompress::HeaderIndexOfID(int id) {
    if (!FHeadersLoaded)
        ReadHeaders();
    if (id < 0 || id >= kFileIDCount)
        return -1;
    return FIDTable[static_cast<size_t>(id)];
}

// ------------------------------------------------------------------- Compress

void TQnfdCompress::Compress(bool append, Integer id) {
    Abort = false;
    FMode = TMode::Compressing;
    FHeaders.MultiDisk = false;
    Offset = 0;
    struct Finally {
        TQnfdCompress& c;
        ~Finally() {
            c.FHeadersLoaded = false;
            c.FArchive.reset();
            c.FFilesToProcess.Clear();
        }
    } finally{*this};
    RunGuarded([&] { DoCompress(append, id); });
}

void TQnfdCompress::DoCompress(bool append, Integer id) {
    for (int i = 0; i < FFilesToProcess.Count(); ++i)
        if (SamePath(SourceOfItem(FFilesToProcess[i]), FCompressedFile))
            throw EQnfdCompress(Format("The archive %s cannot be added to itself", {FCompressedFile}));

    // Nothing is created or written until every new member is known to be
    // readable and findable.
    Int64 end = kArchivePrefixSize;
    int firstNew = 0;
    if (append && FileExists(FCompressedFile)) {
        try {
            FArchive = OpenFile(FCompressedFile, fmOpenReadWrite | fmShareDenyNone, TqcFileRole::Archive);
        } catch (const Exception&) {
            throw EQnfdCompress(Format("Cannot create the file %s", {FCompressedFile}));
        }
        try {
            FHeaders.LoadFromStream(*FArchive, 0);
        } catch (const Exception&) {
            FHeaders.Clear();
            throw EQnfdCompress(kCorrupt);
        }
        // Appending to a disk set would overwrite member data with headers.
        if (FHeaders.MultiDisk)
            throw EQnfdCompress(
                Format("Cannot append to the archive %s: it is split over disks", {FCompressedFile}));
        if (FHeaders.Count() > 0)
            end = FHeaders.FileHeaders(FHeaders.Count() - 1).NextHeader;
        if (end != FArchive->Size())
            throw EQnfdCompress(kCorrupt);
        firstNew = FHeaders.Count();
        FHeaders.AddFiles(FFilesToProcess, true);
        NameNewMembers(firstNew);
    } else {
        // The sources are checked before an existing archive is emptied.
        FHeaders.AddFiles(FFilesToProcess, false);
        NameNewMembers(0);
        std::string dir = ExtractFileDir(FCompressedFile);
        if (!dir.empty())
            ForceDirectory(dir);
        try {
            FArchive = OpenFile(FCompressedFile, fmCreate, TqcFileRole::Archive);
        } catch (const Exception&) {
            throw EQnfdCompress(Format("Cannot create the file %s", {FCompressedFile}));
        }
    }

    // The count in the prefix grows member by member, so an archive whose
    // compression fails half-way still reads back with what was completed.
    int done = 0;
    while (done < FHeaders.Count() && FHeaders.FileHeaders(done).Stored)
        ++done;
    WritePrefix(*FArchive, done, false);
    FArchive->SetPosition(end);

    FHeaders.ComputeTotals(FStats);
    FStats.TotalCompressed = 0;
    try {
        for (int i = done; i < FHeaders.Count(); ++i) {
            CompressMember(FHeaders.FileHeaders(i), *FArchive, id, i);
            end = FArchive->Position();
            done = i + 1;
            WritePrefix(*FArchive, done, false);
            FArchive->SetPosition(end);
        }
    } catch (...) {
        // Leave the archive as it was after the last complete member.
        try {
            FArchive->SetSize(end);
            WritePrefix(*FArchive, done, false);
        } catch (const Exception&) {
        }
        FHeaders.Truncate(done);
        throw;
    }
}

// The stored names of the members from firstNew on: their file names alone
// when asked for. A member whose name is already taken (names are compared as
// lookups compare them) could never be found by its path.
void TQnfdCompress::NameNewMembers(int firstNew) {
    if (StoreFileNamesOnly)
        for (int i = firstNew; i < FHeaders.Count(); ++i) {
            TFileHeader& h = FHeaders.FileHeaders(i);
            h.FileName = ArchiveName(ExtractFileName(h.SourcePath));
        }
    std::unordered_map<std::string, int> taken;
    for (int i = 0; i < FHeaders.Count(); ++i) {
        const TFileHeader& h = FHeaders.FileHeaders(i);
        auto [at, isNew] = taken.emplace(UpperCase(h.FileName), i);
        if (isNew || i < firstNew)
            continue;
        const TFileHeader& other = FHeaders.FileHeaders(at->second);
        if (at->second < firstNew)
            throw EQnfdCompress(
                Format("The file %s cannot be added to the archive %s: its name there, <%s>, is "
                       "already that of a member, so it could never be found",
                       {h.SourcePath, FCompressedFile, h.FileName}));
        throw EQnfdCompress(Format("The files %s and %s would both be named <%s> in the archive %s, so the "
                                   "second could never be found",
                                   {other.SourcePath, h.SourcePath, h.FileName, FCompressedFile}));
    }
}

void TQnfdCompress::CompressMember(TFileHeader& h, TStream& archive, Integer id, int index) {
    TScratchFile temp{UniqueFileName(TempDirectory(), "bat")};
    std::unique_ptr<TStream> source, tempStream;
    try {
        source = OpenFile(h.SourcePath, fmOpenRead | fmShareDenyNone, TqcFileRole::Source);
    } catch (const Exception&) {
        throw EQnfdCompress(Format("Cannot open the file %s", {h.SourcePath}));
    }
    try {
        tempStream = OpenFile(temp.Name, fmCreate, TqcFileRole::Temporary);
    } catch (const Exception&) {
        throw EQnfdCompress(Format("Cannot create the file %s", {temp.Name}));
    }
    CompressToTemp(h, *source, *tempStream);

    tempStream->SetPosition(0);
    const Int64 headerPos = archive.Position();
    h.SaveToStream(archive);
    h.DataStart = ToInteger(archive.Position(), FCompressedFile);

    const Int64 tempSize = tempStream->Size();
    Int64 copied = 0;
    bool failed = false;
    try {
        std::vector<uint8_t> buf(256 * 1024);
        for (;;) {
            int64_t n = tempStream->Read(buf.data(), static_cast<int64_t>(buf.size()));
            if (n <= 0)
                break;
            int64_t w = archive.Write(buf.data(), n);
            copied += w;
            if (w < n)
                break;
        }
    } catch (const Exception&) {
        failed = true;
    }
    if (failed || copied < tempSize)
        DoDiskFull();

    FStats.TotalCompressed += tempSize;
    const Int64 end = archive.Position();
    h.EndOffset = ToInteger(end - 1, FCompressedFile);
    h.NextHeader = ToInteger(end, FCompressedFile);
    h.CompressedSize = FStats.CompressedSize;
    h.FileID = id;
    if (id >= 0 && id < kFileIDCount)
        FIDTable[static_cast<size_t>(id)] = index;
    archive.SetPosition(headerPos);
    h.SaveToStream(archive);
    archive.SetPosition(end);
    h.Stored = true;

    if (OnAfterAdding)
        OnAfterAdding(*this, FStats);
}

void TQnfdCompress::CompressToTemp(TFileHeader& h, TStream& source, TStream& temp) {
    h.FillFileStats(FStats);
    FStats.CompressedSize = 0;
    if (OnBeforeAdding)
        OnBeforeAdding(*this, FStats);
    FSource = &source;
    FTemp = &temp;
    struct Reset {
        TQnfdCompress& c;
        ~Reset() { c.FSource = c.FTemp = nullptr; }
    } reset{*this};
    {
        TCompressionStream zs(CompressionLevel, temp);
        zs.OnProgress = [this] { AddStatus(); };
        std::vector<uint8_t> buf(65536);
        for (;;) {
            int64_t n = source.Read(buf.data(), static_cast<int64_t>(buf.size()));
            if (n <= 0)
                break;
            zs.Write(buf.data(), n);
        }
        zs.Finish();
        // The member holds what was read, even when the file changed since it was listed.
        h.FileSize = ToInteger(zs.Position(), h.SourcePath);
        FStats.FileSize = h.FileSize;
    }
    FStats.Finished = true;
    AddStatus();
    FStats.Ratio = PercentOf(FStats.CompressedSize, FStats.FileSize);
    FStats.Finished = false;
}

void TQnfdCompress::AddStatus() {
    if (Abort)
        throw EqcAborted(kAborted);
    ProcessMessages();
    if (!FTemp)
        throw EQnfdCompress("AddStatus has Nil DestFile");
    const Int64 pos = FSource ? FSource->Position() : FStats.BytesDone;
    FStats.TotalDone += pos - FStats.BytesDone;
    FStats.BytesDone = pos;
    FStats.CompressedSize = ToInteger(FTemp->Size(), FStats.FileName);
    FStats.FilePercent = PercentOf(FStats.BytesDone, FStats.FileSize);
    FStats.TotalPercent = PercentOf(FStats.TotalDone, FStats.TotalSize);
    RaiseStatus();
}

// -------------------------------------------------------------------- Extract

void TQnfdCompress::Extract() {
    struct ClearList {
        TQnfdCompress& c;
        ~ClearList() { c.FFilesToProcess.Clear(); }
    } clearList{*this};
    RunExtraction(nullptr);
}

void TQnfdCompress::ExtractMembers(const std::vector<int>& indexes) {
    RunExtraction(&indexes);
}

void TQnfdCompress::RunExtraction(const std::vector<int>* indexes) {
    Abort = false;
    FMode = TMode::Extracting;
    struct Finally {
        TQnfdCompress& c;
        ~Finally() {
            c.FArchive.reset();
            c.DestName.clear();
        }
    } finally{*this};
    RunGuarded([&] { DoExtract(indexes); });
}

void TQnfdCompress::TestMember(int index) {
    Abort = false;
    struct Finally {
        TQnfdCompress& c;
        ~Finally() { c.FArchive.reset(); }
    } finally{*this};
    if (!FHeadersLoaded)
        ReadHeaders();
    TFileHeader& h = FHeaders.FileHeaders(index);
    FCurrentDisk = 0;
    FHeaders.ComputeTotals(FStats);
    h.FillFileStats(FStats);
    ExtractMember(h, std::string(), true);
}

void TQnfdCompress::DoExtract(const std::vector<int>* indexes) {
    if (!FHeadersLoaded)
        ReadHeaders();
    FCurrentDisk = 0;
    FHeaders.ComputeTotals(FStats);

    const int count = indexes ? static_cast<int>(indexes->size()) : FFilesToProcess.Count();
    for (int i = 0; i < count; ++i) {
        SkipFile = false;
        int index;
        if (indexes) {
            index = (*indexes)[static_cast<size_t>(i)];
            if (index < 0 || index >= FHeaders.Count())
                throw EQnfdCompress(
                    Format("Tried to access the %dth file. This file is not defined", {index}));
        } else {
            const std::string item = FFilesToProcess[i];
            index = FHeaders.IndexOf(item);
            if (index < 0)
                throw EQnfdCompress(
                    Format("The file <%s> was not found in the archive <%s>", {item, FCompressedFile}));
        }
        TFileHeader& h = FHeaders.FileHeaders(index);
        h.FillFileStats(FStats);
        if (Trim(DestName).empty())
            DestName = ExtractFileName(h.FileName);
        if (OnBeforeExtracting)
            OnBeforeExtracting(*this, FStats);
        if (SkipFile) {
            // Skipped before a name was needed: even a name that could not be
            // used does not stop the other members.
            FStats.Finished = true;
            RaiseStatus();
            DestName.clear();
            continue;
        }
        std::string dest = DestinationPath();

        bool extract = true;
        if (FileExists(dest)) {
            TFileCompare r = IsFileNewer(h.FileVersion, dest, Overwrite, h.FileDate);
            if (r == fcError)
                throw EQnfdCompress("Error comparing file versions in TQnfdCompress");
            extract = r == fcNewer;
            if (extract && OnReplace) {
                OnReplace(*this, FStats);
                dest = DestinationPath();
            }
        }
        if (SkipFile)
            extract = false;
        if (extract) {
            // Replacing the archive would lose the members still to be read.
            if (IsArchiveFile(dest, FCompressedFile, FHeaders.MultiDisk))
                throw EQnfdCompress(Format("Cannot create the file %s", {dest}));
            ExtractMember(h, dest, false);
            if (OnAfterExtracting)
                OnAfterExtracting(*this, FStats);
        } else {
            FStats.Finished = true;
            RaiseStatus();
        }
        DestName.clear();
    }
}

std::string TQnfdCompress::DestinationPath() {
    DestName = ExtractFileName(DestName);
    if (!IsSafeFileName(DestName))
        throw EQnfdCompress(Format("The name <%s> cannot be used for an extracted file", {DestName}));
    return InFolder(ExtractDirectory, DestName);
}

std::unique_ptr<TStream> TQnfdCompress::OpenDiskFile(std::string& name, int disk, uint32_t mode) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (FHeaders.MultiDisk)
            name = ChangeFileExt(name, "." + IntToStr(disk));
        if (!FileExists(name)) {
            if (!OnNewDisk)
                throw EQnfdCompress(Format("Could not open the correct disk file %d", {disk}));
            std::string dir = RemoveBackslash(ExtractFilePath(name));
            OnNewDisk(*this, disk, dir);
            name = InFolder(dir, ExtractFileName(name));
        }
        if (FileExists(name)) {
            try {
                return OpenFile(name, mode, TqcFileRole::Archive);
            } catch (const Exception&) {
                throw EQnfdCompress(Format("Cannot open the compressed file %s", {name}));
            }
        }
    }
    throw EQnfdCompress(Format("Cannot open the compressed file %s", {name}));
}

void TQnfdCompress::ExtractMember(TFileHeader& h, const std::string& dest, bool testOnly) {
    FArchive.reset();
    FArchive = OpenDiskFile(FCompressedFile, h.StartDisk ? h.StartDisk : 1, fmOpenRead | fmShareDenyNone);
    FCurrentDisk = h.StartDisk;

    // The member goes into a scratch file beside its destination and replaces
    // it only once it checks out: a damaged member never costs the old file.
    TScratchFile temp;
    std::unique_ptr<TStream> out;
    if (testOnly) {
        out = std::make_unique<TNullStream>();
    } else {
        std::string dir = ExtractFileDir(dest);
        if (!dir.empty())
            ForceDirectory(dir);
        temp.Name = UniqueFileName(ExtractFilePath(dest), "~qfd");
        NoteCreating(temp.Name);
        try {
            out = OpenFile(temp.Name, fmCreate, TqcFileRole::Destination);
        } catch (const Exception&) {
            temp.Name.clear();
            throw EQnfdCompress(Format("Cannot create the file %s", {dest}));
        }
    }
    FArchive->SetPosition(static_cast<Int64>(Offset) + h.DataStart);
    const bool ended = InflateMember(h, *out);
    FStats.Finished = true;
    RaiseStatus();
    // A stream cut before its check value may still come to the right size.
    if (!ended)
        RaiseDamaged(h, FCompressedFile,
                     Format("its compressed data end before the stream does, after %d of %d bytes",
                            {FStats.BytesDone, h.FileSize}));
    if (FStats.BytesDone != h.FileSize)
        RaiseDamaged(h, FCompressedFile,
                     Format("they inflate to %d bytes, its header gives %d", {FStats.BytesDone, h.FileSize}));
    // The data were whole, but not all of them reached the file (a full disk
    // whose OnFullDisk handler let the member go on).
    if (out->Size() != h.FileSize)
        throw EQnfdCompress(Format(kSizeMismatch, {h.FileName}));
    if (testOnly)
        return;
    auto* file = dynamic_cast<TFileStream*>(out.get());
    bool dated = file ? file->SetModified(h.FileDate) : true;
    out.reset();
    if (!file)
        dated = FileSetModified(temp.Name, h.FileDate);
    if (!dated)
        throw EQnfdCompress("Cannot set the date of the file just extracted.");
    FArchive.reset();
    if (!ReplaceFileUndoable(temp.Name, dest))
        throw EQnfdCompress(Format("Cannot create the file %s", {dest}));
    temp.Name.clear();
}

bool TQnfdCompress::InflateMember(TFileHeader& h, TStream& out) {
    FInBuffer.resize(kInflateInput);
    FOutBuffer.resize(kInflateOutput);
    z_stream z{};
    if (int r = inflateInit_(&z, ZLIB_VERSION, static_cast<int>(sizeof(z_stream))); r != Z_OK)
        throw EQnfdCompress(Format("The file %s cannot be extracted: zlib does not start (%s)",
                                   {ExtractFileName(h.FileName), z.msg ? z.msg : zError(r)}));
    struct End {
        z_stream& z;
        ~End() { inflateEnd(&z); }
    } end{z};

    const Int64 lastByte = static_cast<Int64>(Offset) + h.EndOffset;
    const int passes = h.EndDisk - FCurrentDisk + 1;
    bool streamEnd = false;
    for (int pass = 0; pass < passes && !streamEnd; ++pass) {
        for (;;) {
            z.next_out = FOutBuffer.data();
            z.avail_out = kInflateOutput;
            while (z.avail_out > 0 && !streamEnd) {
                if (z.avail_in == 0) {
                    Int64 want = kInflateInput;
                    if (FCurrentDisk == h.EndDisk)
                        want = std::min(want, lastByte - FArchive->Position() + 1);
                    int64_t n = want > 0 ? FArchive->Read(FInBuffer.data(), want) : 0;
                    if (n <= 0)
                        break;
                    z.next_in = FInBuffer.data();
                    z.avail_in = static_cast<uInt>(n);
                }
                const uInt inBefore = z.avail_in, outBefore = z.avail_out;
                int r = inflate(&z, Z_NO_FLUSH);
                if (r == Z_STREAM_END)
                    streamEnd = true;
                else if (r < 0 || r == Z_NEED_DICT || (z.avail_in == inBefore && z.avail_out == outBefore))
                    RaiseDamaged(h, FCompressedFile, ZlibCause(r, z));
            }
            const size_t produced = kInflateOutput - z.avail_out;
            // Messages first: a Cancel pressed while they run is seen here,
            // even on the last pass, which produces nothing.
            ProcessMessages();
            if (Abort)
                throw EqcAborted(kAborted);
            if (produced == 0)
                break;
            // Nothing past the recorded size is written: a stream that
            // inflates further is damaged.
            if (FStats.BytesDone + static_cast<Int64>(produced) > h.FileSize)
                RaiseDamaged(h, FCompressedFile,
                             Format("they inflate to more than the %d bytes its header gives", {h.FileSize}));
            if (out.Write(FOutBuffer.data(), static_cast<int64_t>(produced)) < static_cast<int64_t>(produced))
                DoDiskFull();
            FStats.BytesDone += static_cast<Int64>(produced);
            FStats.TotalDone += static_cast<Int64>(produced);
            FStats.FilePercent = PercentOf(FStats.BytesDone, FStats.FileSize);
            FStats.TotalPercent = PercentOf(FStats.TotalDone, FStats.TotalSize);
            // After the last block the loop comes round once more, producing
            // nothing: an abort asked for meanwhile still keeps the old file.
            RaiseStatus();
        }
        if (!streamEnd && FCurrentDisk < h.EndDisk) {
            ++FCurrentDisk;
            FArchive.reset();
            FArchive = OpenDiskFile(FCompressedFile, FCurrentDisk, fmOpenRead | fmShareDenyNone);
            FArchive->SetPosition(0);
        }
    }
    return streamEnd;
}

// ---------------------------------------------------------------- SpanToDisks

void TQnfdCompress::SpanToDisks(const std::string& destDir, const std::string& fileName) {
    Abort = false;
    struct Finally {
        TQnfdCompress& c;
        ~Finally() {
            c.FArchive.reset();
            c.FSpanSource.reset();
            // The list now describes the disk set, not CompressedFile.
            c.FHeadersLoaded = false;
        }
    } finally{*this};
    try {
        DoSpanToDisks(destDir, fileName);
    } catch (const EqcAborted&) {
        if (OnAborted)
            OnAborted(*this);
    } catch (...) {
        Abort = true;
        throw;
    }
}

void TQnfdCompress::DoSpanToDisks(const std::string& destDir, const std::string& fileName) {
    if (!FHeadersLoaded)
        ReadHeaders();
    if (FHeaders.MultiDisk)
        throw EQnfdCompress(Format("The archive %s is already split over disks", {FCompressedFile}));
    FCurrentDisk = 1;
    FHeaders.MultiDisk = true;
    FHeaders.ComputeTotals(FStats);
    try {
        FSpanSource = OpenFile(FCompressedFile, fmOpenRead | fmShareDenyNone, TqcFileRole::Archive);
    } catch (const Exception&) {
        throw EQnfdCompress(Format("Cannot open the compressed file %s", {FCompressedFile}));
    }
    // Readers find disk N by the extension ".N", disk 1 included.
    FSpanName = ChangeFileExt(ExtractFileName(fileName), ".1");
    FSpanDir = destDir;
    std::string first = InFolder(FSpanDir, FSpanName);
    if (!FSpanDir.empty())
        ForceDirectory(FSpanDir);
    if (SamePath(first, FCompressedFile))
        throw EQnfdCompress(Format("Cannot create the file %s", {first}));
    try {
        FArchive = OpenFile(first, fmCreate, TqcFileRole::DiskFile);
    } catch (const Exception&) {
        throw EQnfdCompress(Format("Cannot create the file %s", {first}));
    }
    FHeaders.SaveToStream(*FArchive);

    FChunk.resize(kSpanChunk);
    for (int i = 0; i < FHeaders.Count(); ++i) {
        TFileHeader& h = FHeaders.FileHeaders(i);
        h.FillFileStats(FStats);
        const Int64 sourceEnd = static_cast<Int64>(h.EndOffset) + Offset;
        FSpanSource->SetPosition(static_cast<Int64>(h.DataStart) + Offset);
        h.DataStart = ToInteger(FArchive->Position(), first);
        h.StartDisk = static_cast<Byte>(FCurrentDisk);
        while (CopyChunk(h, sourceEnd) > 0) {
        }
        h.EndOffset = ToInteger(FArchive->Position() - 1, first);
        h.EndDisk = static_cast<Byte>(FCurrentDisk);
    }
    FArchive.reset();
    std::string name = first;
    FArchive = OpenDiskFile(name, 1, fmOpenReadWrite | fmShareDenyNone);
    FHeaders.SaveToStream(*FArchive);
}

int TQnfdCompress::CopyChunk(TFileHeader& h, Int64 sourceEnd) {
    if (Abort)
        throw EqcAborted(kAborted);
    const Int64 pos = FSpanSource->Position();
    if (pos > sourceEnd)
        return 0;
    const int64_t want = std::min<Int64>(kSpanChunk, sourceEnd - pos + 1);
    const int64_t n = FSpanSource->Read(FChunk.data(), want);
    if (n != want)
        throw EQnfdCompress(kCorrupt);
    ProcessMessages();
    int64_t written = FArchive->Write(FChunk.data(), n);
    if (written < n) {
        FArchive.reset();
        ++FCurrentDisk;
        if (FCurrentDisk > 255)
            throw EQnfdCompress("A disk set holds at most 255 disks");
        if (!OnNewDisk)
            throw EQnfdCompress("There was no event handler for the OnNewDisk event, therefore no new disk "
                                "could be inserted");
        OnNewDisk(*this, FCurrentDisk, FSpanDir);
        std::string name = InFolder(FSpanDir, ChangeFileExt(FSpanName, "." + IntToStr(FCurrentDisk)));
        if (SamePath(name, FCompressedFile))
            throw EQnfdCompress(Format("Cannot create the file %s", {name}));
        if (!FSpanDir.empty())
            ForceDirectory(FSpanDir);
        try {
            FArchive = OpenFile(name, fmCreate, TqcFileRole::DiskFile);
        } catch (const Exception&) {
            throw EQnfdCompress(Format("Cannot create the file %s", {name}));
        }
        if (FArchive->Write(FChunk.data() + written, n - written) < n - written)
            throw EQnfdCompress("There is too little space on this disk to operate");
    }
    FStats.BytesDone += n;
    FStats.FilePercent = PercentOf(FStats.BytesDone, FStats.CompressedSize);
    FStats.TotalDone += n;
    FStats.TotalPercent = PercentOf(FStats.TotalDone, FStats.TotalCompressed);
    RaiseStatus();
    return static_cast<int>(n);
}

// -------------------------------------------------------------- CopyPlainFile

void TQnfdCompress::CopyPlainFile(const std::string& source, const std::string& dest) {
    Abort = false;
    Offset = 0;
    // A skip asked for during an earlier operation does not carry over.
    SkipFile = false;
    ExtractDirectory = ExtractFileDir(dest);
    DestName = ExtractFileName(dest);
    std::string target = dest;
    TlzhFileStats stats;
    bool copy = true;
    if (FileExists(target)) {
        TFileCompare r = IsFileNewerByName(source, target, Overwrite);
        if (r == fcError)
            throw EQnfdCompress("Error comparing file versions in TQnfdCompress");
        copy = r == fcNewer;
        if (copy && OnReplace) {
            OnReplace(*this, stats);
            target = InFolder(ExtractDirectory, DestName);
        }
    }
    if (SkipFile || !copy)
        return;

    stats = TlzhFileStats();
    stats.FileName = source;
    TDateTime sourceDate = 0;
    bool haveDate = FileGetModified(source, sourceDate);
    std::unique_ptr<TStream> in;
    try {
        in = OpenFile(source, fmOpenRead | fmShareDenyNone, TqcFileRole::Source);
    } catch (const Exception&) {
        throw EQnfdCompress(Format("Cannot open the file %s", {source}));
    }
    stats.FileSize = ToInteger(in->Size(), source);
    // As with extraction, the copy replaces the old file only when complete.
    TScratchFile temp{UniqueFileName(ExtractFilePath(target), "~qfd")};
    NoteCreating(temp.Name);
    std::unique_ptr<TStream> out;
    try {
        out = OpenFile(temp.Name, fmCreate, TqcFileRole::Destination);
    } catch (const Exception&) {
        temp.Name.clear();
        throw EQnfdCompress(Format("Cannot create the file %s", {target}));
    }
    std::vector<uint8_t> buf(kPlainCopyBuffer);
    for (;;) {
        if (Abort)
            return;
        int64_t n = in->Read(buf.data(), kPlainCopyBuffer);
        if (n > 0 && out->Write(buf.data(), n) < n)
            DoDiskFull();
        stats.BytesDone += n;
        stats.TotalDone += n;
        stats.FilePercent = PercentOf(stats.BytesDone, stats.FileSize);
        stats.TotalPercent = PercentOf(stats.BytesDone, stats.FileSize);
        if (OnStatus)
            OnStatus(*this, stats);
        ProcessMessages();
        if (n < kPlainCopyBuffer)
            break;
    }
    auto* file = dynamic_cast<TFileStream*>(out.get());
    if (haveDate && file)
        file->SetModified(DosDateTimeToDateTime(DateTimeToDosDateTime(sourceDate)));
    stats.Finished = true;
    if (OnStatus)
        OnStatus(*this, stats);
    out.reset();
    in.reset();
    if (!ReplaceFileUndoable(temp.Name, target))
        throw EQnfdCompress(Format("Cannot create the file %s", {target}));
    temp.Name.clear();
}
