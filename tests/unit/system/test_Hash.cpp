// SHA-256 through the system's provider: the digests of the standard's
// examples, a file read in blocks, and the digests' text form.
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Files.h"
#include "platform/routines_Hash.h"
#include "support/TempFolder.h"
#include <gtest/gtest.h>

namespace {
std::string HexOf(const std::string& bytes) {
    TSha256 sha;
    sha.Update(bytes.data(), bytes.size());
    return DigestToHex(sha.Finish());
}
} // namespace

TEST(Sha256, TheDigestsOfTheStandardsExamples) {
    EXPECT_EQ(HexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // A million "a", given in pieces that fit no block boundary.
    TSha256 sha;
    const std::string piece(997, 'a');
    size_t left = 1000000;
    while (left > 0) {
        const size_t n = std::min(left, piece.size());
        sha.Update(piece.data(), n);
        left -= n;
    }
    EXPECT_EQ(DigestToHex(sha.Finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_THROW(sha.Finish(), EInvalidOperation) << "a finished digest takes nothing more";
    EXPECT_THROW(sha.Update("x", 1), EInvalidOperation);
}

TEST(Sha256, AFileIsHashedWholeWhateverItsSize) {
    TTempFolder dir;
    // Past the reading block of a mebibyte, and not a multiple of it.
    std::string bytes((3u << 20) + 5, '\0');
    uint32_t seed = 1;
    for (char& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    WriteTextFile(dir / "big.bin", bytes);
    EXPECT_EQ(DigestToHex(Sha256OfFile(dir / "big.bin")), HexOf(bytes));
    bytes[bytes.size() / 2] ^= 1;
    WriteTextFile(dir / "big.bin", bytes);
    EXPECT_EQ(DigestToHex(Sha256OfFile(dir / "big.bin")), HexOf(bytes)) << "one bit changes the digest";
    WriteTextFile(dir / "empty.bin", "");
    EXPECT_EQ(DigestToHex(Sha256OfFile(dir / "empty.bin")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_THROW(Sha256OfFile(dir / "missing.bin"), EFOpenError);
    // A file another program is writing is not read half-way.
    {
        TFileStream writer(dir / "busy.bin", fmCreate);
        EXPECT_THROW(Sha256OfFile(dir / "busy.bin"), EFOpenError);
    }
}

TEST(Sha256, TheTextFormOfADigest) {
    TSha256Digest d{};
    const std::string text = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
    ASSERT_TRUE(DigestFromHex(text, d));
    EXPECT_EQ(DigestToHex(d), HexOf("abc")) << "either case is read, lower case written";
    const TSha256Digest before = d;
    for (const std::string& bad :
         {text.substr(1), text + "0", text.substr(0, 63) + "g", std::string(64, ' ')})
        EXPECT_FALSE(DigestFromHex(bad, d)) << bad;
    EXPECT_EQ(d, before) << "a refused text leaves the digest as it was";
}
