// SHA-256 digests through the system's cryptographic provider (CNG, bcrypt),
// and their text form. The digests and the text form are portable; the
// hashing itself exists only in the Windows build.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using TSha256Digest = std::array<uint8_t, 32>;

// 64 lower-case hexadecimal digits.
std::string DigestToHex(const TSha256Digest& digest);
// Exactly 64 hexadecimal digits (either case); false for anything else.
bool DigestFromHex(std::string_view text, TSha256Digest& digest);

// A running SHA-256. Raises EOSError naming the CNG call when the system
// has no provider for it.
class TSha256 {
public:
    TSha256();
    ~TSha256();
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;

    void Update(const void* data, size_t size);
    // The digest of everything given; the object cannot be used afterwards.
    TSha256Digest Finish();

private:
    [[maybe_unused]] void* FAlgorithm = nullptr; // the native build keeps its state in FHash alone
    void* FHash = nullptr;
    bool FFinished = false;
};

// The digest of a whole file, read in blocks. Raises EFOpenError when the
// file cannot be opened and EReadError when it cannot be read to its end.
TSha256Digest Sha256OfFile(const std::string& path);

// size random bytes from the system's cryptographic generator; false when
// it cannot give them (the native build has none).
bool SystemRandom(void* buffer, size_t size);
