#include "platform/routines_Hash.h"

std::string DigestToHex(const TSha256Digest& digest) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (uint8_t b : digest) {
        text += digits[b >> 4];
        text += digits[b & 0x0F];
    }
    return text;
}

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

bool DigestFromHex(std::string_view text, TSha256Digest& digest) {
    if (text.size() != digest.size() * 2)
        return false;
    TSha256Digest parsed{};
    for (size_t i = 0; i < parsed.size(); ++i) {
        const int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        parsed[i] = static_cast<uint8_t>(high << 4 | low);
    }
    digest = parsed;
    return true;
}
