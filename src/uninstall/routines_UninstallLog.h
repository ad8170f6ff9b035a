// The uninstall log of an installed product, as its install files wrote it
// below HKLM "\Software\Microsoft\Windows\CurrentVersion\Uninstall\<product>":
// the subkeys "Files", "Files1", ... with "Entries" and "File<n>" = path,
// "ActiveX" with "File<n>" = path;0 for a library or path;1 for a program,
// and "Existed" and "ExistedActiveX" of the same shapes for files that were
// there before the product wrote them (objects/constants_UninstallLog.h).
// The log is read and checked whole before anything is removed: a damaged
// one is refused rather than guessed at.
#pragma once
#include "platform/exceptions_Quenfold.h"
#include "uninstall/routines_UninstallText.h"
#include <map>
#include <string>
#include <vector>

// The log cannot be trusted (or the product is not there); nothing was removed.
QFD_EXCEPTION(EUninstallRefused, Exception)

extern const char* const kUninstallListKey;

struct TUninstallLogEntry {
    std::string Path;
    bool ActiveX = false;
    bool Program = false; // an ActiveX program (/UNREGSERVER) rather than a library
    bool Existed = false; // there before the product wrote it: somebody else's
    std::string Where;    // where the log holds it, "Files1\File3"
};

struct TUninstallLog {
    std::string Product;
    std::string Key;         // below HKLM
    std::string Destination; // the product's folder, no trailing backslash; empty when unknown
    std::vector<TUninstallLogEntry> Entries;
    std::vector<std::string> LogKeys; // the subkeys read: "ActiveX", "Files", "Files1", "Existed", ...
};

// Reads and checks the whole log; raises EUninstallRefused with the reason.
TUninstallLog ReadUninstallLog(const std::string& product);

// The files other products' logs name: upper-case path -> one product name
// per entry. Read leniently (their damage is not this product's business).
using TOtherClaims = std::map<std::string, std::vector<std::string>>;
TOtherClaims ReadOtherProductsClaims(const std::string& product);
