#include "types_ExtractionInfo.h"
#include "platform/routines_Format.h"
#include "platform/routines_Strings.h"
#include <algorithm>
#include <cstring>
#include <vector>
#include <zlib.h>

namespace {

TExtractionInfoRecord RecordOf(const TExtractionInfoBytes& bytes) {
    TExtractionInfoRecord r;
    std::memcpy(&r, bytes.data(), sizeof r);
    return r;
}

Integer GetInt32(const uint8_t (&b)[4]) {
    uint32_t u = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                 static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    return static_cast<Integer>(u);
}

void PutInt32(uint8_t (&b)[4], Integer v) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<uint8_t>(u >> (8 * i));
}

uint32_t GetUInt32(const uint8_t (&b)[4]) {
    return static_cast<uint32_t>(GetInt32(b));
}

bool AllZero(const uint8_t* p, size_t n) {
    return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

// What the checksum field of a record says.
enum class TChecksumField { cfNone, cfPresent, cfUnreadable };

TChecksumField ChecksumFieldOf(const TExtractionInfoRecord& r) {
    const uint8_t* field = reinterpret_cast<const uint8_t*>(&r) + kChecksumFieldAt;
    if (AllZero(field, kChecksumFieldSize))
        return TChecksumField::cfNone;
    if (std::memcmp(r.CheckMarker, kChecksumMarker, sizeof r.CheckMarker) == 0 &&
        r.CheckKind == kChecksumKind && AllZero(r.Reserved45, sizeof r.Reserved45))
        return TChecksumField::cfPresent;
    return TChecksumField::cfUnreadable;
}

constexpr int64_t kChecksumBlock = 1 << 20;
// The most zero bytes a signer puts between the record and its table.
constexpr int kMaxSignerPadding = kExtractionInfoAlignment - 1;

// A part [start, end] that lies wholly in the first `limit` bytes.
bool PartInside(Integer start, Integer end, int64_t limit) {
    return start >= 0 && end >= start && end < limit;
}

} // namespace

TExtractionInfoBytes EncodeExtractionInfo(const TExtractionInfo& info) {
    TExtractionInfoRecord r{};
    r.MagicLength = sizeof r.Magic;
    std::memcpy(r.Magic, kExtractionMagic, sizeof r.Magic);
    PutInt32(r.Setup1Start, info.Setup1Start);
    PutInt32(r.Setup1End, info.Setup1End);
    PutInt32(r.Files1Start, info.Files1Start);
    PutInt32(r.Files1End, info.Files1End);
    std::string title = Utf8Truncate(info.ProductTitle, kMaxProductTitleLength);
    r.TitleLength = static_cast<uint8_t>(title.size());
    std::memcpy(r.Title, title.data(), title.size());
    if (info.HasChecksum) {
        std::memcpy(r.CheckMarker, kChecksumMarker, sizeof r.CheckMarker);
        r.CheckKind = kChecksumKind;
        PutInt32(r.CheckCrc, static_cast<Integer>(info.Checksum));
        PutInt32(r.CheckLength, info.ChecksumLength);
    }
    TExtractionInfoBytes bytes;
    std::memcpy(bytes.data(), &r, sizeof r);
    return bytes;
}

TExtractionInfo DecodeExtractionInfo(const TExtractionInfoBytes& bytes) {
    TExtractionInfoRecord r = RecordOf(bytes);
    TExtractionInfo info;
    info.Setup1Start = GetInt32(r.Setup1Start);
    info.Setup1End = GetInt32(r.Setup1End);
    info.Files1Start = GetInt32(r.Files1Start);
    info.Files1End = GetInt32(r.Files1End);
    size_t n = r.TitleLength <= kMaxProductTitleLength ? r.TitleLength : kMaxProductTitleLength;
    info.ProductTitle.assign(r.Title, n);
    if (ChecksumFieldOf(r) == TChecksumField::cfPresent) {
        info.HasChecksum = true;
        info.Checksum = GetUInt32(r.CheckCrc);
        info.ChecksumLength = GetInt32(r.CheckLength);
    }
    return info;
}

bool HasExtractionMagic(const TExtractionInfoBytes& bytes) {
    TExtractionInfoRecord r = RecordOf(bytes);
    return r.MagicLength == sizeof r.Magic && std::memcmp(r.Magic, kExtractionMagic, sizeof r.Magic) == 0;
}

TExtractionInfoState CheckExtractionInfo(const TExtractionInfoBytes& bytes, int64_t infoEnd,
                                         TExtractionInfo& info) {
    if (infoEnd < kExtractionInfoSize)
        return TExtractionInfoState::eiTooShort;
    if (!HasExtractionMagic(bytes))
        return TExtractionInfoState::eiNoMagic;
    if (RecordOf(bytes).TitleLength > kMaxProductTitleLength)
        return TExtractionInfoState::eiBadTitle;
    TExtractionInfo found = DecodeExtractionInfo(bytes);
    // Both archives lie before the record; files.1 is appended after setup.1.
    int64_t limit = infoEnd - kExtractionInfoSize;
    if (!PartInside(found.Setup1Start, found.Setup1End, limit))
        return TExtractionInfoState::eiSetup1Outside;
    if (found.HasFiles1() &&
        (!PartInside(found.Files1Start, found.Files1End, limit) || found.Files1Start <= found.Setup1End))
        return TExtractionInfoState::eiFiles1Outside;
    const TChecksumField field = ChecksumFieldOf(RecordOf(bytes));
    if (field == TChecksumField::cfUnreadable ||
        (field == TChecksumField::cfPresent && found.ChecksumLength != limit))
        return TExtractionInfoState::eiBadChecksumField;
    info = std::move(found);
    return TExtractionInfoState::eiValid;
}

namespace {
// A position of the record as the byte offset its four bytes give: never a
// negative number, whatever a damaged record holds.
uint32_t Offset(Integer position) {
    return static_cast<uint32_t>(position);
}
} // namespace

std::string DescribeExtractionInfoState(TExtractionInfoState state, const TExtractionInfoBytes& bytes,
                                        int64_t infoEnd) {
    TExtractionInfo info = DecodeExtractionInfo(bytes);
    switch (state) {
    case TExtractionInfoState::eiValid:
        return "Its extraction information is in order.";
    case TExtractionInfoState::eiTooShort:
        return Format("It is only %d bytes long, too short to carry the extraction information.", {infoEnd});
    case TExtractionInfoState::eiNoMagic:
        return "Its last 136 bytes are not the extraction information (they do not begin with "
               "\"SELFEXTRACTING\"): the file was cut short or overwritten.";
    case TExtractionInfoState::eiBadTitle:
        return Format("The product title of its extraction information claims %d characters, more than 80.",
                      {static_cast<int>(RecordOf(bytes).TitleLength)});
    case TExtractionInfoState::eiSetup1Outside:
        return Format("Its extraction information places the setup archive at bytes %u to %u, which do not "
                      "lie inside the file of %d bytes: the file was cut short or damaged.",
                      {Offset(info.Setup1Start), Offset(info.Setup1End), infoEnd});
    case TExtractionInfoState::eiFiles1Outside:
        return Format("Its extraction information places the product archive at bytes %u to %u, which do "
                      "not lie inside the file of %d bytes after the setup archive: the file was cut short "
                      "or damaged.",
                      {Offset(info.Files1Start), Offset(info.Files1End), infoEnd});
    case TExtractionInfoState::eiBadChecksumField:
        return Format("Its extraction information carries a checksum field that cannot be read or does not "
                      "cover the %d bytes before it: the file was cut, lengthened or damaged.",
                      {infoEnd - kExtractionInfoSize});
    case TExtractionInfoState::eiChecksumDiffers:
        return "Its content does not match the checksum written when it was built: some of its bytes were "
               "damaged or changed since (a download or a copy that went wrong).";
    }
    return std::string();
}

int64_t FindExtractionInfoEnd(TStream& stream) {
    const int64_t size = stream.Size();
    const TPeSignatureFields pe = ReadPeSignatureFields(stream);
    // A table anywhere else is none a signer appended last: a later build
    // went on behind it, and the record is at the end.
    if (!pe.TableAtEnd(size) || pe.CertTableAt < kExtractionInfoSize)
        return size;
    const int64_t table = pe.CertTableAt;
    const int64_t from = std::max<int64_t>(0, table - kExtractionInfoSize - kMaxSignerPadding);
    std::vector<uint8_t> before(static_cast<size_t>(table - from));
    stream.SetPosition(from);
    if (stream.Read(before.data(), static_cast<int64_t>(before.size())) !=
        static_cast<int64_t>(before.size()))
        return table;
    // The record, then only zeros up to the table. The magic fits at one place only.
    for (int pad = 0; pad <= kMaxSignerPadding; ++pad) {
        const int64_t end = table - pad;
        if (end - kExtractionInfoSize < from)
            break;
        if (pad && before[static_cast<size_t>(end - from)] != 0)
            break;
        TExtractionInfoBytes candidate;
        std::copy_n(before.begin() + (end - kExtractionInfoSize - from), kExtractionInfoSize,
                    candidate.begin());
        if (HasExtractionMagic(candidate))
            return end;
    }
    // None there: the check of the record just before the table says why.
    return table;
}

bool ReadExtractionInfoBytes(TStream& stream, TExtractionInfoBytes& bytes, int64_t& infoEnd) {
    bytes.fill(0);
    infoEnd = FindExtractionInfoEnd(stream);
    if (infoEnd < kExtractionInfoSize)
        return false;
    stream.SetPosition(infoEnd - kExtractionInfoSize);
    return stream.Read(bytes.data(), kExtractionInfoSize) == kExtractionInfoSize;
}

bool ReadExtractionInfoBytes(TStream& stream, TExtractionInfoBytes& bytes) {
    int64_t infoEnd = 0;
    return ReadExtractionInfoBytes(stream, bytes, infoEnd);
}

TExtractionInfoState ReadExtractionInfo(TStream& stream, TExtractionInfo& info) {
    TExtractionInfoBytes bytes;
    int64_t infoEnd = 0;
    if (!ReadExtractionInfoBytes(stream, bytes, infoEnd))
        return TExtractionInfoState::eiTooShort;
    return CheckExtractionInfo(bytes, infoEnd, info);
}

void WriteExtractionInfo(TStream& stream, const TExtractionInfo& info) {
    TExtractionInfoBytes bytes = EncodeExtractionInfo(info);
    stream.WriteBuffer(bytes.data(), kExtractionInfoSize);
}

bool ComputeExtractionChecksum(TStream& stream, int64_t recordStart, const TExtractionInfoBytes& record,
                               uint32_t& crc) {
    if (recordStart < 0)
        return false;
    // The bytes a signer changes, read as zeros wherever the header puts them.
    const TPeSignatureFields pe = ReadPeSignatureFields(stream);
    struct TRange {
        int64_t At, Size;
    };
    std::vector<TRange> skipped;
    if (pe.IsPe)
        skipped = {{pe.CheckSumAt, kPeCheckSumSize}, {pe.CertEntryAt, kPeCertEntrySize}};
    uLong sum = crc32(0L, Z_NULL, 0);
    std::vector<uint8_t> block(
        static_cast<size_t>(std::min(kChecksumBlock, std::max<int64_t>(recordStart, 1))));
    stream.SetPosition(0);
    for (int64_t at = 0; at < recordStart;) {
        const int64_t want = std::min<int64_t>(static_cast<int64_t>(block.size()), recordStart - at);
        if (stream.Read(block.data(), want) != want)
            return false;
        for (const TRange& r : skipped) {
            const int64_t from = std::max(r.At, at), to = std::min(r.At + r.Size, at + want);
            if (from < to)
                std::memset(block.data() + (from - at), 0, static_cast<size_t>(to - from));
        }
        sum = crc32(sum, block.data(), static_cast<uInt>(want));
        at += want;
    }
    TExtractionInfoBytes own = record;
    std::fill_n(own.begin() + kChecksumFieldAt, kChecksumFieldSize, uint8_t{0});
    sum = crc32(sum, own.data(), static_cast<uInt>(own.size()));
    crc = static_cast<uint32_t>(sum);
    return true;
}

bool SealExtractionInfo(TStream& stream, int64_t recordStart, TExtractionInfo& info) {
    info.HasChecksum = false;
    uint32_t crc = 0;
    if (recordStart > INT32_MAX ||
        !ComputeExtractionChecksum(stream, recordStart, EncodeExtractionInfo(info), crc))
        return false;
    info.HasChecksum = true;
    info.Checksum = crc;
    info.ChecksumLength = static_cast<Integer>(recordStart);
    return true;
}

TExtractionInfoState VerifyExtractionChecksum(TStream& stream, int64_t infoEnd,
                                              const TExtractionInfoBytes& bytes) {
    const TExtractionInfo info = DecodeExtractionInfo(bytes);
    if (!info.HasChecksum)
        return TExtractionInfoState::eiValid;
    uint32_t crc = 0;
    if (!ComputeExtractionChecksum(stream, infoEnd - kExtractionInfoSize, bytes, crc) || crc != info.Checksum)
        return TExtractionInfoState::eiChecksumDiffers;
    return TExtractionInfoState::eiValid;
}

// --- the seal ------------------------------------------------------------------------------------------

TPayloadSeal DecodePayloadSeal(const uint8_t* bytes, size_t size) {
    TPayloadSeal seal;
    if (!bytes || size < kPayloadSealSize || std::memcmp(bytes, kPayloadSealMagic, 8) != 0)
        return seal;
    uint64_t end = 0;
    for (int i = 7; i >= 0; --i)
        end = end << 8 | bytes[8 + i];
    if (end == 0 || end > uint64_t(INT32_MAX) + kExtractionInfoSize)
        return seal;
    seal.Sealed = true;
    seal.InfoEnd = static_cast<int64_t>(end);
    std::copy_n(bytes + 16, 32, seal.Digest.begin());
    return seal;
}

std::array<uint8_t, kPayloadSealSize> EncodePayloadSeal(const TPayloadSeal& seal) {
    std::array<uint8_t, kPayloadSealSize> bytes{};
    std::memcpy(bytes.data(), kPayloadSealMagic, 8);
    if (seal.Sealed) {
        for (int i = 0; i < 8; ++i)
            bytes[8 + i] = static_cast<uint8_t>(static_cast<uint64_t>(seal.InfoEnd) >> (8 * i));
        std::copy(seal.Digest.begin(), seal.Digest.end(), bytes.begin() + 16);
    }
    return bytes;
}

int64_t FindPayloadSeal(TStream& stream) {
    auto read = [&stream](int64_t at, void* buffer, int64_t count) {
        try {
            stream.SetPosition(at);
            return stream.Read(buffer, count) == count;
        } catch (const std::exception&) {
            return false;
        }
    };
    auto get16 = [](const uint8_t* p) { return static_cast<uint32_t>(p[0] | p[1] << 8); };
    auto get32 = [](const uint8_t* p) {
        return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    };
    uint8_t dos[64];
    if (!read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return -1;
    const uint32_t pe = get32(dos + 0x3C);
    uint8_t head[24];
    if (pe > 0x100000 || !read(pe, head, sizeof head) || std::memcmp(head, "PE\0\0", 4) != 0)
        return -1;
    const uint32_t sections = get16(head + 6), optional = get16(head + 20);
    // Windows loads no image of more than 96 sections.
    if (sections > 96)
        return -1;
    for (uint32_t i = 0; i < sections; ++i) {
        uint8_t section[40];
        if (!read(int64_t{pe} + 24 + optional + 40 * int64_t{i}, section, sizeof section))
            return -1;
        if (std::memcmp(section, kPayloadSealSection, 8) != 0)
            continue;
        const uint32_t raw = get32(section + 20), size = get32(section + 16);
        uint8_t magic[8];
        if (size < kPayloadSealSize || !read(raw, magic, 8) || std::memcmp(magic, kPayloadSealMagic, 8) != 0)
            return -1;
        return raw;
    }
    return -1;
}

bool ComputePayloadDigest(TStream& stream, int64_t infoEnd, TSha256Digest& digest) {
    TExtractionInfoBytes record;
    TExtractionInfo info;
    try {
        if (infoEnd < kExtractionInfoSize || stream.Size() < infoEnd)
            return false;
        stream.SetPosition(infoEnd - kExtractionInfoSize);
        if (stream.Read(record.data(), kExtractionInfoSize) != kExtractionInfoSize)
            return false;
    } catch (const std::exception&) {
        return false;
    }
    const TExtractionInfoState state = CheckExtractionInfo(record, infoEnd, info);
    if (state != TExtractionInfoState::eiValid && state != TExtractionInfoState::eiBadChecksumField)
        return false;
    info = DecodeExtractionInfo(record);
    const int64_t from = info.Setup1Start, to = infoEnd - kExtractionInfoSize;
    if (from < 0 || from > to)
        return false;
    TSha256 sha;
    std::vector<uint8_t> block(
        static_cast<size_t>(std::min<int64_t>(kChecksumBlock, std::max<int64_t>(to - from, 1))));
    try {
        stream.SetPosition(from);
        for (int64_t at = from; at < to;) {
            const int64_t want = std::min<int64_t>(static_cast<int64_t>(block.size()), to - at);
            if (stream.Read(block.data(), want) != want)
                return false;
            sha.Update(block.data(), static_cast<size_t>(want));
            at += want;
        }
    } catch (const std::exception&) {
        return false;
    }
    std::fill_n(record.begin() + kChecksumFieldAt, kChecksumFieldSize, uint8_t{0});
    sha.Update(record.data(), record.size());
    digest = sha.Finish();
    return true;
}

bool WritePayloadSeal(TStream& stream, int64_t infoEnd) {
    const int64_t at = FindPayloadSeal(stream);
    TPayloadSeal seal;
    if (at < 0 || !ComputePayloadDigest(stream, infoEnd, seal.Digest))
        return false;
    seal.Sealed = true;
    seal.InfoEnd = infoEnd;
    const auto bytes = EncodePayloadSeal(seal);
    try {
        stream.SetPosition(at);
        stream.WriteBuffer(bytes.data(), kPayloadSealSize);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}
