#include "platform/routines_CodeSignFormat.h"
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace {

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutLe(TSignBytes& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Reads exactly n bytes at pos; false when the stream ends before.
bool ReadAt(TStream& f, int64_t pos, uint8_t* buffer, int64_t n) {
    f.SetPosition(pos);
    return f.Read(buffer, n) == n;
}

ECodeSign NotAProgram(const std::string& path, const char* why) {
    return ECodeSign("Cannot sign %s: it is not a Windows program the signature can be added to (%s)",
                     {path, why});
}

// Blocks of an even size, so that the checksum's 16-bit words never straddle two.
constexpr size_t kBlockSize = 1 << 20;

// --- DER writing -------------------------------------------------------------------------------------

void PutLength(TSignBytes& out, size_t n) {
    if (n < 0x80) {
        out.push_back(static_cast<uint8_t>(n));
        return;
    }
    int bytes = 0;
    for (size_t v = n; v; v >>= 8)
        ++bytes;
    out.push_back(static_cast<uint8_t>(0x80 | bytes));
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<uint8_t>(n >> (8 * i)));
}

// One DER item: tag, length and the parts one after another.
TSignBytes Der(uint8_t tag, std::initializer_list<const TSignBytes*> parts) {
    size_t length = 0;
    for (const TSignBytes* p : parts)
        length += p->size();
    TSignBytes out{tag};
    PutLength(out, length);
    for (const TSignBytes* p : parts)
        out.insert(out.end(), p->begin(), p->end());
    return out;
}

TSignBytes Der(uint8_t tag, const TSignBytes& content) {
    return Der(tag, {&content});
}

TSignBytes Oid(std::initializer_list<uint32_t> arcs) {
    const uint32_t* a = arcs.begin();
    TSignBytes content{static_cast<uint8_t>(a[0] * 40 + a[1])};
    for (const uint32_t* p = a + 2; p != arcs.end(); ++p) {
        uint8_t groups[5];
        int n = 0;
        uint32_t v = *p;
        do {
            groups[n++] = static_cast<uint8_t>(v & 0x7f);
            v >>= 7;
        } while (v);
        while (n > 1)
            content.push_back(static_cast<uint8_t>(groups[--n] | 0x80));
        content.push_back(groups[0]);
    }
    return Der(0x06, content);
}

const TSignBytes& OidSha256() {
    static const TSignBytes o = Oid({2, 16, 840, 1, 101, 3, 4, 2, 1});
    return o;
}
const TSignBytes& OidRsaEncryption() {
    static const TSignBytes o = Oid({1, 2, 840, 113549, 1, 1, 1});
    return o;
}
const TSignBytes& OidIndirectData() {
    static const TSignBytes o = Oid({1, 3, 6, 1, 4, 1, 311, 2, 1, 4});
    return o;
}

TSignBytes AlgorithmId(const TSignBytes& oid) {
    const TSignBytes null{0x05, 0x00};
    return Der(0x30, {&oid, &null});
}

// A BMPString's content: UTF-16, big-endian.
TSignBytes Bmp(const std::string& utf8) {
    TSignBytes out;
    for (char16_t c : Utf8ToUtf16(utf8)) {
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c));
    }
    return out;
}

// An IA5String's content: ASCII; other bytes are percent-encoded, as in a URL.
TSignBytes Ia5(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    TSignBytes out;
    for (unsigned char c : text) {
        if (c < 0x80 && c >= 0x20) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(static_cast<uint8_t>(hex[c >> 4]));
            out.push_back(static_cast<uint8_t>(hex[c & 15]));
        }
    }
    return out;
}

// A DER SET OF: its members sorted by their encodings.
TSignBytes SetOf(std::vector<TSignBytes> members, uint8_t tag = 0x31) {
    std::sort(members.begin(), members.end());
    TSignBytes content;
    for (const TSignBytes& m : members)
        content.insert(content.end(), m.begin(), m.end());
    return Der(tag, content);
}

TSignBytes Attribute(const TSignBytes& type, const TSignBytes& value) {
    const TSignBytes values = Der(0x31, value);
    return Der(0x30, {&type, &values});
}

// --- DER reading -------------------------------------------------------------------------------------

struct TDerItem {
    uint8_t Tag = 0;
    size_t Start = 0, Content = 0, End = 0;
};

// The item at pos, which must end by limit (limit <= b.size()). Definite
// lengths of up to four bytes and one-byte tags only.
bool ReadDer(const TSignBytes& b, size_t pos, size_t limit, TDerItem& item) {
    if (pos >= limit || limit - pos < 2)
        return false;
    const uint8_t tag = b[pos];
    if ((tag & 0x1f) == 0x1f)
        return false;
    size_t at = pos + 2, length = b[pos + 1];
    if (length & 0x80) {
        const size_t n = length & 0x7f;
        if (n == 0 || n > 4 || limit - at < n)
            return false;
        length = 0;
        for (size_t i = 0; i < n; ++i)
            length = length << 8 | b[at++];
    }
    if (length > limit - at)
        return false;
    item = {tag, pos, at, at + length};
    return true;
}

TSignBytes Bytes(const TSignBytes& b, size_t from, size_t to) {
    return TSignBytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                      b.begin() + static_cast<std::ptrdiff_t>(to));
}

TSignBytes WithoutLeadingZeros(TSignBytes v) {
    auto first = std::find_if(v.begin(), v.end(), [](uint8_t c) { return c != 0; });
    v.erase(v.begin(), first);
    return v;
}

// The RSA key of a SubjectPublicKeyInfo; false when it holds another kind.
bool ReadRsaKey(const TSignBytes& b, const TDerItem& spki, TSignBytes& modulus, TSignBytes& exponent) {
    TDerItem alg, oid, bits, key, n, e;
    if (!ReadDer(b, spki.Content, spki.End, alg) || alg.Tag != 0x30 ||
        !ReadDer(b, alg.Content, alg.End, oid) || Bytes(b, oid.Start, oid.End) != OidRsaEncryption())
        return false;
    if (!ReadDer(b, alg.End, spki.End, bits) || bits.Tag != 0x03 || bits.Content == bits.End ||
        b[bits.Content] != 0)
        return false;
    if (!ReadDer(b, bits.Content + 1, bits.End, key) || key.Tag != 0x30 ||
        !ReadDer(b, key.Content, key.End, n) || n.Tag != 0x02 || !ReadDer(b, n.End, key.End, e) ||
        e.Tag != 0x02)
        return false;
    modulus = WithoutLeadingZeros(Bytes(b, n.Content, n.End));
    exponent = WithoutLeadingZeros(Bytes(b, e.Content, e.End));
    return !modulus.empty() && !exponent.empty();
}

// --- the private key blob ----------------------------------------------------------------------------

constexpr uint32_t kPvkMagic = 0xb0b5f11e;
constexpr size_t kPvkHeaderSize = 24;
constexpr uint8_t kPrivateKeyBlob = 7;
constexpr uint32_t kAlgRsaSign = 0x2400, kAlgRsaKeyExchange = 0xa400;
constexpr uint32_t kRsa2 = 0x32415352; // "RSA2"

TSignBytes BigEndian(const uint8_t* little, size_t n) {
    TSignBytes v(little, little + n);
    std::reverse(v.begin(), v.end());
    return WithoutLeadingZeros(std::move(v));
}

} // namespace

// --- the PE file ------------------------------------------------------------------------------------

TPeSignLayout ReadPeSignLayout(TStream& f, const std::string& Path) {
    const int64_t size = f.Size();
    uint8_t dos[64];
    if (size < static_cast<int64_t>(sizeof dos) || !ReadAt(f, 0, dos, sizeof dos) || dos[0] != 'M' ||
        dos[1] != 'Z')
        throw NotAProgram(Path, "no MZ header");
    // The PE signature and the file header; the CheckSum must lie on a
    // 16-bit word, as the checksum adds words.
    const int64_t peAt = Le32(dos + 0x3c);
    uint8_t pe[24];
    if (peAt < static_cast<int64_t>(sizeof dos) || peAt % 2 != 0 || peAt > size - 24 ||
        !ReadAt(f, peAt, pe, sizeof pe) || std::memcmp(pe, "PE\0\0", 4) != 0)
        throw NotAProgram(Path, "no PE header");
    const int64_t opt = peAt + 24, optSize = Le16(pe + 20);
    uint8_t magic[2];
    if (opt + optSize > size || optSize < 2 || !ReadAt(f, opt, magic, 2))
        throw NotAProgram(Path, "its optional header is cut short");
    int64_t countAt = 0, dirsAt = 0;
    switch (Le16(magic)) {
    case 0x10b: // PE32
        countAt = 92, dirsAt = 96;
        break;
    case 0x20b: // PE32+
        countAt = 108, dirsAt = 112;
        break;
    default:
        throw NotAProgram(Path, "unknown optional header");
    }
    uint8_t count[4];
    if (optSize < dirsAt + 5 * 8 || !ReadAt(f, opt + countAt, count, 4) || Le32(count) < 5)
        throw NotAProgram(Path, "no certificate table entry");
    TPeSignLayout layout;
    layout.CheckSumOffset = opt + 64;
    layout.CertEntryOffset = opt + dirsAt + 4 * 8;
    return layout;
}

void ForEachSignedByte(TStream& f, const TPeSignLayout& Layout, int64_t End,
                       const std::function<void(const uint8_t*, size_t)>& Add) {
    TSignBytes block(kBlockSize);
    const std::pair<int64_t, int64_t> ranges[] = {{0, Layout.CheckSumOffset},
                                                  {Layout.CheckSumOffset + 4, Layout.CertEntryOffset},
                                                  {Layout.CertEntryOffset + 8, End}};
    for (auto [from, to] : ranges) {
        f.SetPosition(from);
        while (from < to) {
            const int64_t n = std::min<int64_t>(static_cast<int64_t>(block.size()), to - from);
            f.ReadBuffer(block.data(), n);
            Add(block.data(), static_cast<size_t>(n));
            from += n;
        }
    }
}

uint32_t PeCheckSum(TStream& f, int64_t CheckSumOffset) {
    const int64_t size = f.Size();
    TSignBytes block(kBlockSize);
    // Every 16-bit word is added as it comes; the CheckSum's two are taken
    // out again at the end (the sum is exact until it is folded).
    uint64_t sum = 0;
    uint8_t field[4] = {};
    f.SetPosition(0);
    for (int64_t pos = 0; pos < size;) {
        const size_t n =
            static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(block.size()), size - pos));
        f.ReadBuffer(block.data(), static_cast<int64_t>(n));
        const uint8_t* b = block.data();
        for (size_t i = 0; i + 1 < n; i += 2)
            sum += static_cast<uint32_t>(b[i] | b[i + 1] << 8);
        if (n % 2)
            sum += b[n - 1];
        for (int64_t k = 0; k < 4; ++k)
            if (CheckSumOffset + k >= pos && CheckSumOffset + k < pos + static_cast<int64_t>(n))
                field[k] = b[CheckSumOffset + k - pos];
        pos += static_cast<int64_t>(n);
    }
    sum -= static_cast<uint64_t>(Le16(field)) + Le16(field + 2);
    // The sum with end-around carry, as 16 bits, plus the file's length.
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint32_t>(sum) + static_cast<uint32_t>(size);
}

TSignBytes WinCertificate(const TSignBytes& SignedData) {
    const size_t length = (8 + SignedData.size() + 7) / 8 * 8;
    if (length > UINT32_MAX)
        throw ECodeSign("The signature is too large");
    TSignBytes out;
    out.reserve(length);
    PutLe(out, static_cast<uint32_t>(length), 4);
    PutLe(out, 0x0200, 2); // WIN_CERT_REVISION_2_0
    PutLe(out, 0x0002, 2); // WIN_CERT_TYPE_PKCS_SIGNED_DATA
    out.insert(out.end(), SignedData.begin(), SignedData.end());
    out.resize(length, 0);
    return out;
}

// --- the private key --------------------------------------------------------------------------------

TPvkKey ParsePvk(const TSignBytes& File, const std::string& Path) {
    const ECodeSign notAKey("The private key file %s is not an RSA private key in the .pvk format", {Path});
    if (File.size() < kPvkHeaderSize || Le32(File.data()) != kPvkMagic)
        throw notAKey;
    if (Le32(File.data() + 12) != 0)
        throw ECodeSign("The private key file %s is protected by a password; the build needs the key "
                        "saved without one",
                        {Path});
    const size_t saltLength = Le32(File.data() + 16), blobLength = Le32(File.data() + 20);
    if (saltLength > File.size() - kPvkHeaderSize || blobLength != File.size() - kPvkHeaderSize - saltLength)
        throw notAKey;
    // BLOBHEADER (8 bytes), RSAPUBKEY (12), then the modulus and the private
    // exponent of bitlen/8 bytes, and the five CRT values of bitlen/16.
    const uint8_t* blob = File.data() + kPvkHeaderSize + saltLength;
    if (blobLength < 20 || blob[0] != kPrivateKeyBlob || blob[1] != 2 || Le32(blob + 8) != kRsa2)
        throw notAKey;
    const uint32_t algorithm = Le32(blob + 4), bits = Le32(blob + 12);
    if ((algorithm != kAlgRsaSign && algorithm != kAlgRsaKeyExchange) || bits < 512 || bits > 16384 ||
        bits % 16 != 0 || blobLength != 20 + bits / 8 * 2 + bits / 16 * 5 || Le32(blob + 16) == 0)
        throw notAKey;
    TPvkKey key;
    key.Blob.assign(blob, blob + blobLength);
    key.ForSignature = algorithm == kAlgRsaSign;
    key.Modulus = BigEndian(blob + 20, bits / 8);
    key.Exponent = BigEndian(blob + 16, 4);
    // A modulus of zeros is no key: signing with it would fail far from here.
    if (key.Modulus.empty())
        throw notAKey;
    return key;
}

// --- certificates -----------------------------------------------------------------------------------

bool ReadCertificateFields(const TSignBytes& Cert, TCertificateFields& Fields) {
    TDerItem cert, tbs, item;
    if (!ReadDer(Cert, 0, Cert.size(), cert) || cert.Tag != 0x30 ||
        !ReadDer(Cert, cert.Content, cert.End, tbs) || tbs.Tag != 0x30)
        return false;
    size_t at = tbs.Content;
    auto next = [&](uint8_t tag) {
        if (!ReadDer(Cert, at, tbs.End, item) || item.Tag != tag)
            return false;
        at = item.End;
        return true;
    };
    TDerItem version;
    if (ReadDer(Cert, at, tbs.End, version) && version.Tag == 0xa0)
        at = version.End;
    if (!next(0x02))
        return false;
    const TDerItem serial = item;
    if (!next(0x30) || !next(0x30)) // the signature algorithm, the issuer
        return false;
    const TDerItem issuer = item;
    if (!next(0x30) || !next(0x30) || !next(0x30)) // validity, subject, the public key
        return false;
    const TSignBytes issuerBytes = Bytes(Cert, issuer.Start, issuer.End),
                     serialBytes = Bytes(Cert, serial.Start, serial.End);
    Fields.IssuerAndSerial = Der(0x30, {&issuerBytes, &serialBytes});
    Fields.Modulus.clear();
    Fields.Exponent.clear();
    if (!ReadRsaKey(Cert, item, Fields.Modulus, Fields.Exponent)) {
        Fields.Modulus.clear();
        Fields.Exponent.clear();
    }
    return true;
}

std::vector<std::string> PemBlocks(const std::string& Text, const std::string& Label) {
    const std::string begin = "-----BEGIN " + Label + "-----", end = "-----END " + Label + "-----";
    std::vector<std::string> blocks;
    for (size_t at = Text.find(begin); at != std::string::npos; at = Text.find(begin, at)) {
        const size_t from = at + begin.size(), to = Text.find(end, from);
        if (to == std::string::npos)
            break;
        blocks.push_back(Text.substr(from, to - from));
        at = to + end.size();
    }
    return blocks;
}

// --- the signature ----------------------------------------------------------------------------------

TSignBytes SpcIndirectDataContent(const TSignBytes& ImageDigest) {
    // SpcPeImageData: no flags, and the file link every signer writes.
    const TSignBytes flags{0x03, 0x01, 0x00};
    const TSignBytes file = Der(0xa0, Der(0xa2, Der(0x80, Bmp("<<<Obsolete>>>"))));
    const TSignBytes image = Der(0x30, {&flags, &file});
    const TSignBytes imageType = Oid({1, 3, 6, 1, 4, 1, 311, 2, 1, 15});
    const TSignBytes data = Der(0x30, {&imageType, &image});
    const TSignBytes algorithm = AlgorithmId(OidSha256()), digest = Der(0x04, ImageDigest);
    const TSignBytes digestInfo = Der(0x30, {&algorithm, &digest});
    return Der(0x30, {&data, &digestInfo});
}

TSignBytes DerContentOctets(const TSignBytes& Item) {
    TDerItem item;
    if (!ReadDer(Item, 0, Item.size(), item))
        return {};
    return Bytes(Item, item.Content, item.End);
}

TSignBytes AuthenticatedAttributes(const TSignBytes& ContentDigest, const std::string& ProgramName,
                                   const std::string& MoreInfoUrl) {
    TSignBytes opus;
    if (!ProgramName.empty()) {
        const TSignBytes name = Der(0xa0, Der(0x80, Bmp(ProgramName)));
        opus.insert(opus.end(), name.begin(), name.end());
    }
    if (!MoreInfoUrl.empty()) {
        const TSignBytes link = Der(0xa1, Der(0x80, Ia5(MoreInfoUrl)));
        opus.insert(opus.end(), link.begin(), link.end());
    }
    return SetOf({
        Attribute(Oid({1, 2, 840, 113549, 1, 9, 3}), OidIndirectData()),        // content type
        Attribute(Oid({1, 2, 840, 113549, 1, 9, 4}), Der(0x04, ContentDigest)), // message digest
        Attribute(Oid({1, 3, 6, 1, 4, 1, 311, 2, 1, 12}), Der(0x30, opus)),     // program
        Attribute(Oid({1, 3, 6, 1, 4, 1, 311, 2, 1, 11}),                       // statement type:
                  Der(0x30, Oid({1, 3, 6, 1, 4, 1, 311, 2, 1, 21}))),           // individual
    });
}

TSignBytes SignedDataContentInfo(const TSignBytes& Content, const std::vector<TSignBytes>& Certificates,
                                 const TSignBytes& IssuerAndSerial, const TSignBytes& Attributes,
                                 const TSignBytes& Signature) {
    const TSignBytes version{0x02, 0x01, 0x01};
    const TSignBytes sha256 = AlgorithmId(OidSha256()), rsa = AlgorithmId(OidRsaEncryption());
    // In the signer's information the attributes are [0] IMPLICIT.
    TSignBytes attributes = Attributes;
    if (!attributes.empty())
        attributes[0] = 0xa0;
    const TSignBytes signature = Der(0x04, Signature);
    const TSignBytes signer = Der(0x30, {&version, &IssuerAndSerial, &sha256, &attributes, &rsa, &signature});
    const TSignBytes digestAlgorithms = Der(0x31, sha256);
    const TSignBytes explicitContent = Der(0xa0, Content);
    const TSignBytes contentInfo = Der(0x30, {&OidIndirectData(), &explicitContent});
    const TSignBytes certificates = SetOf(Certificates, 0xa0);
    const TSignBytes signers = Der(0x31, signer);
    const TSignBytes signedData =
        Der(0x30, {&version, &digestAlgorithms, &contentInfo, &certificates, &signers});
    const TSignBytes signedDataType = Oid({1, 2, 840, 113549, 1, 7, 2}),
                     explicitSignedData = Der(0xa0, signedData);
    return Der(0x30, {&signedDataType, &explicitSignedData});
}
