// Stand-ins for PE images in tests of the code that reads the fields an
// Authenticode signature changes: the front of an image with a well-formed
// header, and what a signer does to a file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

inline void Put16(std::string& s, size_t at, uint16_t v) {
    s[at] = static_cast<char>(v);
    s[at + 1] = static_cast<char>(v >> 8);
}

inline void Put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
}

constexpr uint16_t kPe32 = 0x10B, kPe32Plus = 0x20B;

// Where the header of FakePeImage puts the CheckSum and the certificate-table entry.
inline size_t FakeCheckSumAt(uint32_t peAt) {
    return peAt + 24 + 64;
}
inline size_t FakeCertEntryAt(uint16_t magic, uint32_t peAt) {
    return peAt + 24 + (magic == kPe32 ? 128 : 144);
}

// The front of a PE image as far as its signature fields: the DOS header
// pointing at peAt, the PE file header and an optional header of the kind
// magic with 16 data-directory entries, all empty; then 'L's up to size.
inline std::string FakePeImage(size_t size, uint16_t magic = kPe32Plus, uint32_t peAt = 0x80) {
    std::string s(size, 'L');
    s[0] = 'M';
    s[1] = 'Z';
    Put32(s, 0x3C, peAt);
    s.replace(peAt, 4, std::string("PE\0\0", 4));
    Put16(s, peAt + 20, magic == kPe32 ? 224 : 240);
    const size_t opt = peAt + 24;
    Put16(s, opt, magic);
    Put32(s, FakeCheckSumAt(peAt), 0x0007DF8F);
    Put32(s, opt + (magic == kPe32 ? 92 : 108), 16);
    s.replace(FakeCertEntryAt(magic, peAt), 8, std::string(8, '\0'));
    return s;
}

// What a signer does to an image: zeros up to a multiple of 8, a
// certificate table behind them, its place and size in the header and a new
// CheckSum.
inline void FakeSign(std::string& image, uint16_t magic = kPe32Plus, uint32_t peAt = 0x80,
                     size_t tableSize = 1488) {
    while (image.size() % 8)
        image += '\0';
    Put32(image, FakeCertEntryAt(magic, peAt), static_cast<uint32_t>(image.size()));
    Put32(image, FakeCertEntryAt(magic, peAt) + 4, static_cast<uint32_t>(tableSize));
    Put32(image, FakeCheckSumAt(peAt), 0x00079264);
    image += std::string(tableSize, 'S');
}
