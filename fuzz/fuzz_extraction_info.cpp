// Feeds arbitrary bytes, as a self-extracting file, to the reader of the
// extraction information: it must find the record's end inside the file
// (before a signature's table when the bytes look like a signed PE image),
// accept only records whose parts lie before it, say why it refuses the
// others, and compute or compare the checksum without reading past the file.
#include "archive/types_ExtractionInfo.h"
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s;
    s.WriteBuffer(data, static_cast<int64_t>(size));
    const TPeSignatureFields pe = ReadPeSignatureFields(s);
    if (pe.IsPe && (pe.CheckSumAt + kPeCheckSumSize > static_cast<int64_t>(size) ||
                    pe.CertEntryAt + kPeCertEntrySize > static_cast<int64_t>(size)))
        std::abort();
    TExtractionInfo info;
    TExtractionInfoState state = ReadExtractionInfo(s, info);
    TExtractionInfoBytes bytes;
    int64_t end = -1;
    bool whole = ReadExtractionInfoBytes(s, bytes, end);
    if (end < 0 || end > static_cast<int64_t>(size) || whole != (end >= kExtractionInfoSize))
        std::abort();
    if (whole != (size >= kExtractionInfoSize))
        std::abort();
    if (DescribeExtractionInfoState(state, bytes, end).empty())
        std::abort();
    // Decoding never reads past the record, whatever its length byte says.
    if (DecodeExtractionInfo(bytes).ProductTitle.size() > kMaxProductTitleLength)
        std::abort();
    if (state != TExtractionInfoState::eiValid)
        return 0;
    int64_t limit = end - kExtractionInfoSize;
    if (info.Setup1Start < 0 || info.Setup1End < info.Setup1Start || info.Setup1End >= limit)
        std::abort();
    if (info.HasFiles1() &&
        (info.Files1Start <= info.Setup1End || info.Files1End < info.Files1Start || info.Files1End >= limit))
        std::abort();
    if (info.HasChecksum && info.ChecksumLength != limit)
        std::abort();
    // The checksum's verdict, either way, from the bytes before the record.
    TExtractionInfoState sum = VerifyExtractionChecksum(s, end, bytes);
    if (sum != TExtractionInfoState::eiValid && sum != TExtractionInfoState::eiChecksumDiffers)
        std::abort();
    if (!info.HasChecksum && sum != TExtractionInfoState::eiValid)
        std::abort();
    // What was accepted writes back to the same fields.
    TExtractionInfoBytes again = EncodeExtractionInfo(info);
    if (std::memcmp(again.data(), bytes.data(), 15) != 0 ||
        std::memcmp(again.data() + 16, bytes.data() + 16, 16 + kChecksumFieldSize) ||
        again[53] != bytes[53] || std::memcmp(again.data() + 54, bytes.data() + 54, bytes[53]) != 0)
        std::abort();
    return 0;
}
