// Throwaway code-signing credentials made by openssl, and osslsigncode's
// verdict on a signed file: the Linux side of the signing tests, reached
// from under Wine (codesign_peer.sh).
#pragma once
#include "support/TempFolder.h"
#include <string>

class TCodeSignPeer {
public:
    // Makes the credentials in a scratch folder of their own (see
    // codesign_peer.sh for the files); Error() says why when it could not.
    TCodeSignPeer();
    const std::string& Error() const { return FError; }
    // A file of the credentials folder, as Windows programs name it.
    std::string File(const std::string& name) const { return FFolder / name; }
    // osslsigncode verify of a signed file with the test CA as the trusted
    // root: empty when it accepts the signature, else its reasons.
    std::string Verify(const std::string& path) const;

private:
    // Runs a step of the script and returns what it reported ("ok" first).
    std::string Run(const std::string& step, const std::vector<std::string>& args) const;

    TTempFolder FFolder, FWork;
    std::string FError;
};
