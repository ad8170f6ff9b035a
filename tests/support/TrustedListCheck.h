// Whether a folder carries the access list of a trusted folder, as far as
// the system shows it. Windows keeps the list and gives it back as made;
// Wine keeps Unix mode bits only, and maps the list onto them: what shows
// there is that Everyone (WD) may no longer enter, as it may enter a folder
// made with the defaults of the temporary folder.
#pragma once
#include "platform/routines_TrustedFolder.h"
#include <string>
#ifdef _WIN32
#include <windows.h>
#endif

inline bool SystemIsWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

// Empty when list (SecurityDescriptorText of a folder) is a trusted folder's
// as this user's elevated process makes it; otherwise what is wrong.
inline std::string TrustedListMismatch(const std::string& list) {
    const std::string expected =
        "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;" + ProcessUserSid() + ")";
    if (!SystemIsWine())
        return list == expected ? std::string() : "the access list is " + list + ", not " + expected;
    if (list.empty() || list.find(";;;WD)") != std::string::npos)
        return "Everyone may enter it: " + list;
    return std::string();
}
