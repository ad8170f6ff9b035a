// Feeds arbitrary bytes, as the end of a self-extracting file, to the reader
// of the extraction information: it must accept only records whose parts lie
// inside the file, and say why it refuses the others.
#include "archive/types_ExtractionInfo.h"
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s;
    s.WriteBuffer(data, static_cast<int64_t>(size));
    TExtractionInfo info;
    TExtractionInfoState state = ReadExtractionInfo(s, info);
    TExtractionInfoBytes bytes;
    bool whole = ReadExtractionInfoBytes(s, bytes);
    if (whole != (size >= kExtractionInfoSize))
        std::abort();
    if (DescribeExtractionInfoState(state, bytes, static_cast<int64_t>(size)).empty())
        std::abort();
    // Decoding never reads past the record, whatever its length byte says.
    if (DecodeExtractionInfo(bytes).ProductTitle.size() > kMaxProductTitleLength)
        std::abort();
    if (state != TExtractionInfoState::eiValid)
        return 0;
    int64_t limit = static_cast<int64_t>(size) - kExtractionInfoSize;
    if (info.Setup1Start < 0 || info.Setup1End < info.Setup1Start || info.Setup1End >= limit)
        std::abort();
    if (info.HasFiles1() &&
        (info.Files1Start <= info.Setup1End || info.Files1End < info.Files1Start || info.Files1End >= limit))
        std::abort();
    // What was accepted writes back to the same fields.
    TExtractionInfoBytes again = EncodeExtractionInfo(info);
    if (std::memcmp(again.data(), bytes.data(), 15) != 0 ||
        std::memcmp(again.data() + 16, bytes.data() + 16, 16) || again[53] != bytes[53] ||
        std::memcmp(again.data() + 54, bytes.data() + 54, bytes[53]) != 0)
        std::abort();
    return 0;
}
