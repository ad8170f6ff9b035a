// UTF-8 <-> wide text for the Win32 calls (wchar_t is UTF-16 on Windows).
#pragma once
#include "routines_Strings.h"
#include <string>

inline std::wstring Wide(const std::string& s) {
    std::u16string u = Utf8ToUtf16(s);
    return std::wstring(u.begin(), u.end());
}

inline std::string Narrow(const wchar_t* s, size_t n) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(s), n));
}

inline std::string Narrow(const std::wstring& s) { return Narrow(s.data(), s.size()); }
