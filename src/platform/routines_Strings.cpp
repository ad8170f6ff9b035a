#include "routines_Strings.h"
#include "exceptions_Quenfold.h"
#include "routines_CodePage.h"
#include "routines_Files.h"
#include <algorithm>
#include <charconv>

std::string AddBackslash(const std::string& s) {
    if (s.empty() || s.back() == '\\')
        return s;
    return s + '\\';
}

std::string RemoveBackslash(const std::string& s) {
    if (!s.empty() && s.back() == '\\')
        return s.substr(0, s.size() - 1);
    return s;
}

std::string GetField(const std::string& text, int n, char delimiter) {
    size_t start = 0;
    for (int i = 1; i < n; ++i) {
        size_t p = text.find(delimiter, start);
        if (p == std::string::npos)
            return "";
        start = p + 1;
    }
    if (n < 1)
        return "";
    size_t stop = text.find(delimiter, start);
    return text.substr(start, stop == std::string::npos ? std::string::npos : stop - start);
}

int FieldCount(const std::string& text, char delimiter) {
    int count = static_cast<int>(std::count(text.begin(), text.end(), delimiter));
    if (!text.empty() && text.back() != delimiter)
        ++count;
    return count;
}

void SplitFields(const std::string& text, char delimiter, TStringList& list) {
    list.Clear();
    int n = FieldCount(text, delimiter);
    for (int i = 1; i <= n; ++i)
        list.Add(GetField(text, i, delimiter));
}

void AfterColon(const std::string& text, std::string& result) {
    size_t p = text.find(':');
    if (p != std::string::npos)
        result = text.substr(p + 1);
}

static bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string TrimLeft(std::string_view s) {
    size_t b = 0;
    while (b < s.size() && IsBlank(s[b]))
        ++b;
    return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
    size_t e = s.size();
    while (e > 0 && IsBlank(s[e - 1]))
        --e;
    return std::string(s.substr(0, e));
}

std::string Trim(std::string_view s) {
    return TrimLeft(TrimRight(s));
}

std::string UpperCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return r;
}

std::string LowerCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return r;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

std::string IntToStr(int64_t v) {
    return std::to_string(v);
}

bool TryStrToInt(std::string_view s, int32_t& v) {
    std::string t = Trim(s);
    if (t.empty())
        return false;
    const char* b = t.data();
    const char* e = b + t.size();
    bool neg = false;
    if (*b == '-' || *b == '+') {
        neg = *b == '-';
        ++b;
    }
    int base = 10;
    if (b < e && *b == '$') {
        base = 16;
        ++b;
    } else if (e - b > 2 && b[0] == '0' && (b[1] == 'x' || b[1] == 'X')) {
        base = 16;
        b += 2;
    }
    if (b == e)
        return false;
    uint64_t u = 0;
    auto [p, ec] = std::from_chars(b, e, u, base);
    if (ec != std::errc() || p != e)
        return false;
    if (base == 16 && !neg && u <= 0xFFFFFFFFull) {
        v = static_cast<int32_t>(static_cast<uint32_t>(u));
        return true;
    }
    if (neg ? u > 2147483648ull : u > 2147483647ull)
        return false;
    v = neg ? static_cast<int32_t>(-static_cast<int64_t>(u)) : static_cast<int32_t>(u);
    return true;
}

int32_t StrToIntDef(std::string_view s, int32_t def) {
    int32_t v;
    return TryStrToInt(s, v) ? v : def;
}

std::string StringReplaceAll(std::string s, std::string_view from, std::string_view to) {
    if (from.empty())
        return s;
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
        s.replace(p, from.size(), to);
    return s;
}

// Windows-1252 code points of bytes 0x80..0x9F; the rest map to themselves.
static const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                         0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one UTF-8 sequence at s[i]; returns the code point or -1.
static int32_t DecodeUtf8(std::string_view s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        ++i;
        return c;
    }
    int len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (len == 0 || i + len > s.size())
        return -1;
    int32_t cp = c & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        unsigned char d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80)
            return -1;
        cp = (cp << 6) | (d & 0x3F);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
        return -1;
    i += len;
    return cp;
}

static void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

static uint32_t Cp1252ToUnicode(unsigned char c) {
    return c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c;
}

bool IsValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();)
        if (DecodeUtf8(s, i) < 0)
            return false;
    return true;
}

uint32_t AnsiCodePage() {
    uint32_t cp = SystemAnsiCodePage();
    // Text that is not UTF-8 cannot be read as UTF-8 either.
    return cp == 0 || cp == 65001 ? 1252 : cp;
}

std::string CodePageToUtf8(std::string_view bytes, uint32_t codePage) {
    if (codePage == 0)
        codePage = AnsiCodePage();
    std::u16string wide;
    if (codePage != 1252 && SystemCodePageToUtf16(bytes, codePage, wide))
        return Utf16ToUtf8(wide);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char c : bytes)
        AppendUtf8(out, Cp1252ToUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::u16string Utf8ToUtf16(std::string_view s) {
    if (!IsValidUtf8(s))
        return Utf8ToUtf16(CodePageToUtf8(s, 0));
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        uint32_t cp = static_cast<uint32_t>(DecodeUtf8(s, i));
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::string TextFileToUtf8(std::string_view bytes, uint32_t codePage) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    return CodePageToUtf8(bytes, codePage);
}

std::string Utf8Truncate(std::string_view s, size_t maxBytes) {
    if (s.size() <= maxBytes)
        return std::string(s);
    size_t n = maxBytes;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return std::string(s.substr(0, n));
}

size_t Utf8Length(std::string_view s) {
    size_t n = 0;
    for (char ch : s)
        n += IsUtf8Continuation(ch) ? 0 : 1;
    return n;
}

std::string Utf8Left(std::string_view s, size_t n) {
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++i)
        if (!IsUtf8Continuation(s[i]) && chars++ == n)
            return std::string(s.substr(0, i));
    return std::string(s);
}

int TStringList::Add(const std::string& s) {
    FItems.push_back(s);
    return Count() - 1;
}

void TStringList::Insert(int index, const std::string& s) {
    if (index < 0 || index > Count())
        throw EConvertError(Format("List index out of bounds (%d)", {index}));
    FItems.insert(FItems.begin() + index, s);
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count())
        throw EConvertError(Format("List index out of bounds (%d)", {index}));
    FItems.erase(FItems.begin() + index);
}

int TStringList::IndexOf(std::string_view s) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(FItems[static_cast<size_t>(i)], s))
            return i;
    return -1;
}

std::string TStringList::Text() const {
    std::string r;
    for (const auto& s : FItems) {
        r += s;
        r += "\r\n";
    }
    return r;
}

void TStringList::SetText(std::string_view text) {
    FItems.clear();
    size_t i = 0;
    while (i < text.size()) {
        size_t e = text.find_first_of("\r\n", i);
        if (e == std::string_view::npos) {
            FItems.emplace_back(text.substr(i));
            break;
        }
        FItems.emplace_back(text.substr(i, e - i));
        i = e + 1;
        if (text[e] == '\r' && i < text.size() && text[i] == '\n')
            ++i;
    }
}

std::string TStringList::Values(std::string_view name) const {
    for (const auto& s : FItems) {
        size_t p = s.find('=');
        if (p != std::string::npos && SameText(std::string_view(s).substr(0, p), name))
            return s.substr(p + 1);
    }
    return "";
}

void TStringList::LoadFromFile(const std::string& fileName) {
    TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
    int64_t size = f.Size();
    // Text files of this program are small; refuse anything absurd.
    if (size > 64 * 1024 * 1024)
        throw EReadError("The file " + fileName + " is too large to read as text");
    std::string bytes(static_cast<size_t>(size), '\0');
    f.ReadBuffer(bytes.data(), size);
    SetText(TextFileToUtf8(bytes));
}

void TStringList::SaveToFile(const std::string& fileName) const {
    TFileStream f(fileName, fmCreate);
    std::string t = Text();
    f.WriteBuffer(t.data(), static_cast<int64_t>(t.size()));
}
