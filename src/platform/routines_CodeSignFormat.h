// The bytes of an Authenticode signature, without the cryptography (the
// system does that): which parts of a PE file the signature covers and where
// it goes, the PE checksum, the private key file (.pvk), the fields of a
// certificate the signature names, and the DER structures of the signature.
// Portable, so that its readers of outside bytes are fuzzed natively.
#pragma once
#include "exceptions_Quenfold.h"
#include "routines_Files.h"
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Signing failed; the message names the file at fault.
QFD_EXCEPTION(ECodeSign, EQuenfoldAbnormal)

using TSignBytes = std::vector<uint8_t>;

// --- the PE file ------------------------------------------------------------------------------------

// Where a PE file keeps what its signature leaves out.
struct TPeSignLayout {
    int64_t CheckSumOffset = 0;  // the optional header's CheckSum, 4 bytes
    int64_t CertEntryOffset = 0; // data directory entry 4 (certificate table), 8 bytes
};

// Reads the headers of the PE file f (named Path in messages). Raises
// ECodeSign when it is not a PE file a signature can be added to.
TPeSignLayout ReadPeSignLayout(TStream& f, const std::string& Path);

// Hands every byte of f[0, End) that the Authenticode digest covers to Add,
// in file order: all but the CheckSum and the certificate-table entry. The
// certificate table itself is appended at End afterwards.
void ForEachSignedByte(TStream& f, const TPeSignLayout& Layout, int64_t End,
                       const std::function<void(const uint8_t*, size_t)>& Add);

// The PE checksum of all of f, its CheckSum field read as zero.
uint32_t PeCheckSum(TStream& f, int64_t CheckSumOffset);

// The WIN_CERTIFICATE that carries SignedData (revision 2.0, PKCS #7 signed
// data), padded with zeros to a multiple of 8 bytes.
TSignBytes WinCertificate(const TSignBytes& SignedData);

// --- the private key --------------------------------------------------------------------------------

// An RSA private key as a .pvk file holds it.
struct TPvkKey {
    TSignBytes Blob;     // the PRIVATEKEYBLOB, as the system imports it
    bool ForSignature;   // a signature key (else a key-exchange key)
    TSignBytes Modulus;  // big-endian, without leading zeros
    TSignBytes Exponent; // the public exponent, likewise
};

// Reads the bytes of a .pvk file (named Path in messages). Raises ECodeSign
// for anything but an unencrypted RSA private key.
TPvkKey ParsePvk(const TSignBytes& File, const std::string& Path);

// --- certificates -----------------------------------------------------------------------------------

// What a signature needs of its signer's certificate.
struct TCertificateFields {
    TSignBytes IssuerAndSerial; // the DER IssuerAndSerialNumber naming it
    TSignBytes Modulus;         // its RSA key: big-endian, without leading zeros
    TSignBytes Exponent;        // empty when the key is not RSA
};

// False when Der is not an X.509 certificate of the usual shape.
bool ReadCertificateFields(const TSignBytes& Der, TCertificateFields& Fields);

// The base64 text of each "-----BEGIN <Label>-----" block of PEM text.
std::vector<std::string> PemBlocks(const std::string& Text, const std::string& Label);

// --- the signature ----------------------------------------------------------------------------------

// The signed content: SpcIndirectDataContent with the SHA-256 digest of the
// PE image.
TSignBytes SpcIndirectDataContent(const TSignBytes& ImageDigest);

// The content octets of a DER item (what a message digest of PKCS #7 covers).
TSignBytes DerContentOctets(const TSignBytes& Item);

// The authenticated attributes as the signer signs them (a DER SET OF, sorted):
// content type, message digest (SHA-256 of the content octets), the program's
// name and web page (either may be empty) and individual code signing.
TSignBytes AuthenticatedAttributes(const TSignBytes& ContentDigest, const std::string& ProgramName,
                                   const std::string& MoreInfoUrl);

// The PKCS #7 ContentInfo of the whole signature. Signature: the RSA signature
// (big-endian) of the SHA-256 digest of Attributes.
TSignBytes SignedDataContentInfo(const TSignBytes& Content, const std::vector<TSignBytes>& Certificates,
                                 const TSignBytes& IssuerAndSerial, const TSignBytes& Attributes,
                                 const TSignBytes& Signature);
