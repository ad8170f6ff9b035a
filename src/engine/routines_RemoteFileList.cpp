#include "engine/routines_RemoteFileList.h"
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Strings.h"
#include <algorithm>
#include <cstring>

namespace {
const char* const kCannotRead = "Cannot read the remote list of files: %s";

int32_t Int32At(const unsigned char* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

double DoubleAt(const unsigned char* p) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | p[i];
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// The text before the first zero byte of a fixed field. The last byte is the
// terminator's: a field without one keeps its first size - 1 bytes.
std::string FieldText(const unsigned char* p, size_t size) {
    size_t n = 0;
    while (n < size - 1 && p[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

void PutInt32(std::string& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i) & 0xFF);
}

// Cut to at most size - 1 bytes, never inside a character, zero-padded.
void PutText(std::string& out, size_t at, size_t size, const std::string& text) {
    size_t n = std::min(text.size(), size - 1);
    while (n > 0 && n < text.size() && IsUtf8Continuation(text[n]))
        --n;
    out.replace(at, n, text, 0, n);
}
} // namespace

std::vector<TRemoteFileRecord> ReadRemoteFileRecords(TStream& stream, const std::string& path) {
    unsigned char count[4];
    if (stream.Read(count, 4) != 4)
        throw IEInstall(kCannotRead, {path});
    const int32_t n = Int32At(count);
    // The count is outside data: it must fit the bytes that follow.
    const int64_t rest = stream.Size() - stream.Position();
    if (n < 0 || static_cast<int64_t>(n) * kRemoteFileRecordSize > rest)
        throw IEInstall(kCannotRead, {path});
    std::vector<TRemoteFileRecord> records;
    records.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        unsigned char r[kRemoteFileRecordSize];
        if (stream.Read(r, kRemoteFileRecordSize) != kRemoteFileRecordSize)
            throw IEInstall(kCannotRead, {path});
        TRemoteFileRecord rec;
        rec.FileSize = Int32At(r);
        rec.FileDate = DoubleAt(r + 4);
        rec.Name = FieldText(r + 12, 40);
        rec.Version = FieldText(r + 52, 20);
        records.push_back(std::move(rec));
    }
    return records;
}

std::string RemoteFileRecordBytes(const TRemoteFileRecord& record) {
    std::string out(kRemoteFileRecordSize, '\0');
    PutInt32(out, 0, static_cast<uint32_t>(record.FileSize));
    uint64_t bits;
    std::memcpy(&bits, &record.FileDate, sizeof bits);
    for (int i = 0; i < 8; ++i)
        out[4 + static_cast<size_t>(i)] = static_cast<char>(bits >> (8 * i) & 0xFF);
    PutText(out, 12, 40, record.Name);
    PutText(out, 52, 20, record.Version);
    return out;
}
