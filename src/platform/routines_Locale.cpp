#include "platform/routines_Locale.h"
#include "platform/routines_Strings.h"
#include <climits>
#include <windows.h>

uint32_t UserDefaultLangID() {
    return GetUserDefaultLangID();
}

uint32_t OemCodePage() {
    return GetOEMCP();
}

std::optional<std::string> Utf8ToCodePage(std::string_view text, uint32_t codePage) {
    if (!IsValidUtf8(text))
        return std::nullopt;
    if (codePage == CP_UTF8)
        return std::string(text);
    std::u16string wide = Utf8ToUtf16(text);
    if (wide.empty())
        return std::string();
    if (wide.size() > INT_MAX / 4)
        return std::nullopt;
    const wchar_t* w = reinterpret_cast<const wchar_t*>(wide.data());
    int n = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, w, n, nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault)
        return std::nullopt;
    std::string out(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, w, n, out.data(), size, nullptr, &usedDefault) !=
            size ||
        usedDefault)
        return std::nullopt;
    return out;
}
