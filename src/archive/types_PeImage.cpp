#include "types_PeImage.h"
#include <cstring>

namespace {

constexpr int64_t kNewHeaderPointerAt = 0x3C;
// Farther than any linker puts the PE header; keeps a damaged pointer from
// sending the reader through the file.
constexpr uint32_t kMaxNewHeaderAt = 0x100000;
constexpr int kFileHeaderSize = 24; // "PE\0\0" and the COFF file header
constexpr int kSizeOfOptionalHeaderAt = 20;
constexpr uint16_t kMagicPe32 = 0x10B, kMagicPe32Plus = 0x20B;
constexpr int kOptCheckSumAt = 64;
constexpr int kSecurityEntry = 4;

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool ReadAt(TStream& s, int64_t at, void* buffer, int64_t count) {
    try {
        s.SetPosition(at);
        return s.Read(buffer, count) == count;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

TPeSignatureFields ReadPeSignatureFields(TStream& stream) {
    TPeSignatureFields f;
    uint8_t dos[kNewHeaderPointerAt + 4];
    if (!ReadAt(stream, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return f;
    const uint32_t pe = Get32(dos + kNewHeaderPointerAt);
    if (pe < 4 || pe > kMaxNewHeaderAt)
        return f;
    uint8_t head[kFileHeaderSize];
    if (!ReadAt(stream, pe, head, sizeof head) || std::memcmp(head, "PE\0\0", 4) != 0)
        return f;
    const uint16_t optSize = Get16(head + kSizeOfOptionalHeaderAt);
    const int64_t opt = int64_t{pe} + kFileHeaderSize;
    // Up to the end of the certificate-table entry of a PE32+ header.
    uint8_t o[112 + 8 * (kSecurityEntry + 1)] = {};
    if (!ReadAt(stream, opt, o, 2))
        return f;
    const uint16_t magic = Get16(o);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus)
        return f;
    const int countAt = magic == kMagicPe32 ? 92 : 108;
    const int dirAt = countAt + 4;
    const int entryAt = dirAt + 8 * kSecurityEntry;
    const int needed = entryAt + kPeCertEntrySize;
    if (optSize < needed || !ReadAt(stream, opt, o, needed) || Get32(o + countAt) <= kSecurityEntry)
        return f;
    f.IsPe = true;
    f.CheckSumAt = opt + kOptCheckSumAt;
    f.CertEntryAt = opt + entryAt;
    f.CertTableAt = Get32(o + entryAt);
    f.CertTableSize = Get32(o + entryAt + 4);
    return f;
}

bool ClearPeSignatureFields(TStream& stream) {
    const TPeSignatureFields f = ReadPeSignatureFields(stream);
    if (!f.Signed())
        return false;
    const uint8_t zeros[kPeCertEntrySize] = {};
    stream.SetPosition(f.CheckSumAt);
    stream.WriteBuffer(zeros, kPeCheckSumSize);
    stream.SetPosition(f.CertEntryAt);
    stream.WriteBuffer(zeros, kPeCertEntrySize);
    return true;
}
