// Authenticode signing of a Windows program with the system's cryptography
// (CryptoAPI): a certificate chain from a .spc (PKCS #7) or .cer file (DER or
// PEM) and an RSA private key from a .pvk file.
#pragma once
#include "routines_CodeSignFormat.h"
#include <memory>
#include <string>

// What the system's signature dialog shows of the program; either may be empty.
struct TCodeSignDescription {
    std::string ProgramName;
    std::string MoreInfoUrl;
};

class TCodeSigner {
public:
    // Loads the certificates and the key and finds the certificate that
    // belongs to the key. Raises ECodeSign naming the file at fault.
    TCodeSigner(const std::string& CredentialsFile, const std::string& PrivateKeyFile);
    ~TCodeSigner();
    TCodeSigner(const TCodeSigner&) = delete;
    TCodeSigner& operator=(const TCodeSigner&) = delete;

    // Appends a SHA-256 Authenticode signature to the program at Path (padded
    // to 8 bytes first) and sets its certificate table and checksum. A
    // certificate table the program had becomes part of the signed bytes.
    // Raises ECodeSign naming the file; the program is then as it was.
    void Sign(const std::string& Path, const TCodeSignDescription& Description);

    // The name of the signing certificate's subject (for the log).
    const std::string& SignerName() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
