// The layout of a product's uninstall log below its key in the list of
// installed programs, shared by the install files that write it and the
// uninstaller that reads it. Each subkey holds "Entries" = n and "File1" ..
// "File<n>".
//
// - "Files", "Files1", "Files2", ...: a file the product wrote where none was.
// - "ActiveX": such a file that is a server, "path;0" a library, "path;1" a
//   program.
// - "Existed" and "ExistedActiveX", the same two shapes: a file that was
//   there before the product wrote over it (or kept it and counts it under
//   SharedDLLs). It belongs to somebody else: the uninstall leaves it in
//   place unless its shared count says this product was its last user. An
//   uninstaller that knows only the first two kinds leaves it alone too.
#pragma once
#include <cctype>
#include <string>

namespace UninstallLog {
inline constexpr const char* Files = "Files";
inline constexpr const char* ActiveX = "ActiveX";
inline constexpr const char* Existed = "Existed";
inline constexpr const char* ExistedActiveX = "ExistedActiveX";

enum class TKind { lkNone, lkFiles, lkActiveX, lkExisted, lkExistedActiveX };

inline bool SameName(const std::string& a, const char* b) {
    const std::string s(b);
    if (a.size() != s.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(s[i])))
            return false;
    return true;
}

// The kind of a subkey of the product's key; number is the n of "Files<n>"
// (0 for "Files" and the other kinds). "Files" numbers have no leading zero.
inline TKind KindOf(const std::string& name, int& number) {
    number = 0;
    if (SameName(name, ActiveX))
        return TKind::lkActiveX;
    if (SameName(name, Existed))
        return TKind::lkExisted;
    if (SameName(name, ExistedActiveX))
        return TKind::lkExistedActiveX;
    if (name.size() < 5 || !SameName(name.substr(0, 5), Files))
        return TKind::lkNone;
    const std::string digits = name.substr(5);
    if (digits.empty())
        return TKind::lkFiles;
    if (digits[0] == '0' || digits.size() > 6)
        return TKind::lkNone;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return TKind::lkNone;
    number = std::stoi(digits);
    return TKind::lkFiles;
}

inline bool IsServerKind(TKind k) {
    return k == TKind::lkActiveX || k == TKind::lkExistedActiveX;
}
inline bool IsExistedKind(TKind k) {
    return k == TKind::lkExisted || k == TKind::lkExistedActiveX;
}
} // namespace UninstallLog
