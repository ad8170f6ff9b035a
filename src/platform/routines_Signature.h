// The Authenticode signature of a program as Windows checks it
// (WinVerifyTrust), for a program that must know that the file it reads is
// still the one its publisher signed.
#pragma once
#include <string>

// True when this program's own image carries a signature (its header, as
// it was mapped, names a certificate table).
bool OwnImageSigned();

// Checks the signature of the file at path, which the caller holds so that
// it cannot be changed or replaced meanwhile. Empty when the signature
// matches the file's bytes; a chain that ends in a root this machine does
// not trust, or a certificate that expired, is the business of the system's
// prompt that started the program, not of this check. Otherwise a sentence.
std::string SignatureProblem(const std::string& path);
