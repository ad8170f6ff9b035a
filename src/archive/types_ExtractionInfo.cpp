#include "types_ExtractionInfo.h"
#include "platform/routines_Format.h"
#include "platform/routines_Strings.h"
#include <cstring>

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
    return info;
}

bool HasExtractionMagic(const TExtractionInfoBytes& bytes) {
    TExtractionInfoRecord r = RecordOf(bytes);
    return r.MagicLength == sizeof r.Magic && std::memcmp(r.Magic, kExtractionMagic, sizeof r.Magic) == 0;
}

TExtractionInfoState CheckExtractionInfo(const TExtractionInfoBytes& bytes, int64_t fileSize,
                                         TExtractionInfo& info) {
    if (fileSize < kExtractionInfoSize)
        return TExtractionInfoState::eiTooShort;
    if (!HasExtractionMagic(bytes))
        return TExtractionInfoState::eiNoMagic;
    if (RecordOf(bytes).TitleLength > kMaxProductTitleLength)
        return TExtractionInfoState::eiBadTitle;
    TExtractionInfo found = DecodeExtractionInfo(bytes);
    // Both archives lie before the record; files.1 is appended after setup.1.
    int64_t limit = fileSize - kExtractionInfoSize;
    if (!PartInside(found.Setup1Start, found.Setup1End, limit))
        return TExtractionInfoState::eiSetup1Outside;
    if (found.HasFiles1() &&
        (!PartInside(found.Files1Start, found.Files1End, limit) || found.Files1Start <= found.Setup1End))
        return TExtractionInfoState::eiFiles1Outside;
    info = std::move(found);
    return TExtractionInfoState::eiValid;
}

std::string DescribeExtractionInfoState(TExtractionInfoState state, const TExtractionInfoBytes& bytes,
                                        int64_t fileSize) {
    TExtractionInfo info = DecodeExtractionInfo(bytes);
    switch (state) {
    case TExtractionInfoState::eiValid:
        return "Its extraction information is in order.";
    case TExtractionInfoState::eiTooShort:
        return Format("It is only %d bytes long, too short to carry the extraction information.", {fileSize});
    case TExtractionInfoState::eiNoMagic:
        return "Its last 136 bytes are not the extraction information (they do not begin with "
               "\"SELFEXTRACTING\"): the file was cut short or overwritten.";
    case TExtractionInfoState::eiBadTitle:
        return Format("The product title of its extraction information claims %d characters, more than 80.",
                      {static_cast<int>(RecordOf(bytes).TitleLength)});
    case TExtractionInfoState::eiSetup1Outside:
        return Format("Its extraction information places the setup archive at bytes %d to %d, which do not "
                      "lie inside the file of %d bytes: the file was cut short or damaged.",
                      {info.Setup1Start, info.Setup1End, fileSize});
    case TExtractionInfoState::eiFiles1Outside:
        return Format("Its extraction information places the product archive at bytes %d to %d, which do "
                      "not lie inside the file of %d bytes after the setup archive: the file was cut short "
                      "or damaged.",
                      {info.Files1Start, info.Files1End, fileSize});
    }
    return std::string();
}

bool ReadExtractionInfoBytes(TStream& stream, TExtractionInfoBytes& bytes) {
    bytes.fill(0);
    int64_t size = stream.Size();
    if (size < kExtractionInfoSize)
        return false;
    stream.SetPosition(size - kExtractionInfoSize);
    return stream.Read(bytes.data(), kExtractionInfoSize) == kExtractionInfoSize;
}

TExtractionInfoState ReadExtractionInfo(TStream& stream, TExtractionInfo& info) {
    TExtractionInfoBytes bytes;
    if (!ReadExtractionInfoBytes(stream, bytes))
        return TExtractionInfoState::eiTooShort;
    return CheckExtractionInfo(bytes, stream.Size(), info);
}

void WriteExtractionInfo(TStream& stream, const TExtractionInfo& info) {
    TExtractionInfoBytes bytes = EncodeExtractionInfo(info);
    stream.WriteBuffer(bytes.data(), kExtractionInfoSize);
}
