// Feeds arbitrary bytes to the readers of code signing: as a .pvk key file,
// as a certificate, as PEM text and as a program whose headers say where its
// checksum and certificate table lie. Each must refuse what it cannot use
// with ECodeSign or false, and what it accepts must lie inside the bytes.
#include "platform/routines_CodeSignFormat.h"
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TSignBytes bytes(data, data + size);
    try {
        const TPvkKey key = ParsePvk(bytes, "key.pvk");
        if (key.Blob.size() > size || key.Modulus.empty() || key.Exponent.empty() ||
            key.Modulus.size() * 2 > key.Blob.size())
            std::abort();
    } catch (const ECodeSign&) {
    }
    TCertificateFields fields;
    if (ReadCertificateFields(bytes, fields) &&
        (fields.IssuerAndSerial.size() > size + 8 || fields.Modulus.size() > size ||
         fields.Exponent.size() > size))
        std::abort();
    for (const std::string& block : PemBlocks(std::string(bytes.begin(), bytes.end()), "CERTIFICATE"))
        if (block.size() > size)
            std::abort();
    TMemoryStream s;
    s.WriteBuffer(data, static_cast<int64_t>(size));
    try {
        const TPeSignLayout layout = ReadPeSignLayout(s, "program.exe");
        const int64_t n = static_cast<int64_t>(size);
        if (layout.CheckSumOffset % 2 != 0 || layout.CheckSumOffset + 4 > n ||
            layout.CertEntryOffset + 8 > n || layout.CertEntryOffset <= layout.CheckSumOffset)
            std::abort();
        // The signed bytes are the file but for the two fields.
        size_t covered = 0;
        ForEachSignedByte(s, layout, n, [&covered](const uint8_t*, size_t k) { covered += k; });
        if (covered != size - 12)
            std::abort();
        PeCheckSum(s, layout.CheckSumOffset);
    } catch (const ECodeSign&) {
    }
    return 0;
}
