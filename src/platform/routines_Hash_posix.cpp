// SHA-256 for the native build of the portable code (its tests and fuzz
// targets), where there is no system provider: a plain implementation of
// FIPS 180-4. The Windows build uses the system's (routines_Hash_win32).
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Files.h"
#include "platform/routines_Hash.h"
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct TState {
    uint32_t H[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    uint8_t Block[64] = {};
    size_t Used = 0;
    uint64_t Bytes = 0;
};

constexpr uint32_t K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t Rotr(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

void Compress(TState& s, const uint8_t* p) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 |
               p[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = s.H[0], b = s.H[1], c = s.H[2], d = s.H[3], e = s.H[4], f = s.H[5], g = s.H[6], h = s.H[7];
    for (int i = 0; i < 64; ++i) {
        const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + K[i] + w[i];
        const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    s.H[0] += a;
    s.H[1] += b;
    s.H[2] += c;
    s.H[3] += d;
    s.H[4] += e;
    s.H[5] += f;
    s.H[6] += g;
    s.H[7] += h;
}

} // namespace

TSha256::TSha256() {
    FHash = new TState;
}

TSha256::~TSha256() {
    delete static_cast<TState*>(FHash);
}

void TSha256::Update(const void* data, size_t size) {
    if (FFinished)
        throw EOSError("SHA-256: the digest was already taken");
    TState& s = *static_cast<TState*>(FHash);
    const auto* p = static_cast<const uint8_t*>(data);
    s.Bytes += size;
    while (size > 0) {
        const size_t part = std::min(size, sizeof s.Block - s.Used);
        std::memcpy(s.Block + s.Used, p, part);
        s.Used += part;
        p += part;
        size -= part;
        if (s.Used == sizeof s.Block) {
            Compress(s, s.Block);
            s.Used = 0;
        }
    }
}

TSha256Digest TSha256::Finish() {
    TState& s = *static_cast<TState*>(FHash);
    const uint64_t bits = s.Bytes * 8;
    const uint8_t one = 0x80, zero = 0;
    Update(&one, 1);
    while (s.Used != 56)
        Update(&zero, 1);
    uint8_t length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    Update(length, 8);
    FFinished = true;
    TSha256Digest digest;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<uint8_t>(s.H[i] >> (24 - 8 * j));
    return digest;
}

TSha256Digest Sha256OfFile(const std::string& path) {
    TFileStream file(path, fmOpenRead | fmShareDenyWrite);
    TSha256 sha;
    std::vector<char> block(1 << 20);
    int64_t got = 0;
    while ((got = file.Read(block.data(), static_cast<int64_t>(block.size()))) > 0)
        sha.Update(block.data(), static_cast<size_t>(got));
    return sha.Finish();
}

bool SystemRandom(void*, size_t) {
    return false;
}
