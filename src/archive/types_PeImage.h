// The few fields of a PE image (an .exe) that an Authenticode signature
// changes: the optional header's CheckSum and the certificate-table entry of
// its data directory (entry 4), which gives the file position and size of the
// table the signer appends at the end of the file. Signing changes these 12
// bytes and appends the table; every other byte stays as it was.
//
// Read defensively: any bytes are accepted, and a file that does not hold a
// well-formed PE header of either kind (PE32, PE32+) simply has none of them.
#pragma once
#include "platform/routines_Files.h"
#include <cstdint>

constexpr int kPeCheckSumSize = 4;
constexpr int kPeCertEntrySize = 8;

struct TPeSignatureFields {
    bool IsPe = false;          // the header was read; the positions below are set
    int64_t CheckSumAt = -1;    // file position of the 4-byte CheckSum
    int64_t CertEntryAt = -1;   // file position of the 8-byte certificate-table entry
    uint32_t CertTableAt = 0;   // the entry: the table's file position (zero: not signed)
    uint32_t CertTableSize = 0; // and its size in bytes

    bool Signed() const { return IsPe && (CertTableAt != 0 || CertTableSize != 0); }
    // The table lies at the very end of a file of fileSize bytes, as a signer puts it.
    bool TableAtEnd(int64_t fileSize) const {
        return Signed() && CertTableSize != 0 && int64_t{CertTableAt} + CertTableSize == fileSize;
    }
};

// Reads the header at the start of stream (a few hundred bytes at most);
// the stream's position is left anywhere.
TPeSignatureFields ReadPeSignatureFields(TStream& stream);

// Zeroes the CheckSum and the certificate-table entry of a signed image, so
// that it reads as unsigned (the table's bytes stay where they are). False
// when the image is not signed and nothing was written.
bool ClearPeSignatureFields(TStream& stream);
