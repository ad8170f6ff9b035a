#include "routines_CodePage.h"
#include <climits>
#include <windows.h>

uint32_t SystemAnsiCodePage() {
    return GetACP();
}

bool SystemCodePageToUtf16(std::string_view bytes, uint32_t codePage, std::u16string& out) {
    out.clear();
    if (bytes.empty())
        return true;
    if (bytes.size() > INT_MAX || !IsValidCodePage(codePage))
        return false;
    int n = static_cast<int>(bytes.size());
    // Bytes a code page leaves undefined still become a character: nothing is dropped.
    int wide = MultiByteToWideChar(codePage, 0, bytes.data(), n, nullptr, 0);
    if (wide <= 0)
        return false;
    out.resize(static_cast<size_t>(wide));
    return MultiByteToWideChar(codePage, 0, bytes.data(), n, reinterpret_cast<wchar_t*>(out.data()), wide) ==
           wide;
}
