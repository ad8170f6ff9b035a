#include "translate/routines_LangParse.h"
#include "platform/routines_Strings.h"

namespace {

constexpr const char* kBadFormat = "The %d'th string (%s) does not have the proper format of GLID;Text";
constexpr const char* kBadGLID =
    "The %d'th string (%s) does not have the proper format of GLID;Text or .GLID;";

int32_t ParseGLID(const std::string& part, int line, const std::string& t) {
    if (part.empty())
        throw ELanguageFormat(kBadFormat, {line, t});
    int32_t glid = 0;
    if (!TryStrToInt(part, glid))
        throw ELanguageFormat(kBadGLID, {line, t});
    return glid;
}

// The lower-case partner of a UTF-16 unit for the alphabets language files use.
char16_t FoldCase(char16_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<char16_t>(c + 32);
    if (c == 0x178)
        return 0xFF;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return static_cast<char16_t>(c | 1);
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2)
        return static_cast<char16_t>(c + 32);
    if (c == 0x3C2) // final sigma
        return 0x3C3;
    if (c == 0x386)
        return 0x3AC;
    if (c >= 0x388 && c <= 0x38A)
        return static_cast<char16_t>(c + 37);
    if (c == 0x38C)
        return 0x3CC;
    if (c == 0x38E || c == 0x38F)
        return static_cast<char16_t>(c + 63);
    if (c >= 0x410 && c <= 0x42F)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<char16_t>(c + 80);
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF))
        return static_cast<char16_t>(c | 1);
    return c;
}

} // namespace

TParsedLanguage ParseLanguageLines(const std::vector<std::string>& lines) {
    TParsedLanguage out;
    bool inMemo = false;
    TParsedMemo memo;
    for (size_t index = 0; index < lines.size(); ++index) {
        int i = static_cast<int>(index);
        std::string t = Trim(lines[index]);
        if (t.empty())
            continue;
        if (t == "#") {
            if (!inMemo)
                throw ELanguageFormat("Found the end of memo marker # at line %d. Was not in a memo however",
                                      {i});
            out.Memos.push_back(std::move(memo));
            memo = TParsedMemo();
            inMemo = false;
            continue;
        }
        if (t[0] == '*')
            continue;
        if (inMemo) {
            memo.Lines.push_back(t);
            continue;
        }
        size_t semi = t.find(';');
        std::string head = t.substr(0, semi);
        if (t[0] == '#') {
            memo.GLID = ParseGLID(head.substr(1), i, t);
            memo.Line = i;
            memo.Lines.clear();
            inMemo = true;
            continue;
        }
        int32_t glid = ParseGLID(head, i, t);
        std::string text;
        if (semi != std::string::npos) {
            size_t end = t.find(';', semi + 1);
            text = t.substr(semi + 1, end == std::string::npos ? std::string::npos : end - semi - 1);
        }
        if (Trim(text).empty())
            throw ELanguageFormat(kBadFormat, {i, t});
        out.Strings.push_back({glid, i, CutLanguageText(text)});
    }
    // A memo still open at the end is dropped.
    return out;
}

std::string LanguageFileText(std::string_view bytes, int32_t ident) {
    return TextFileToUtf8(bytes, LanguageCodePage(ident));
}

std::vector<std::string> LanguageFileLines(std::string_view bytes, int32_t ident) {
    TStringList list;
    list.SetText(LanguageFileText(bytes, ident));
    return list.Items();
}

bool SameLanguageText(std::string_view a, std::string_view b) {
    if (a == b)
        return true;
    std::u16string wa = Utf8ToUtf16(a), wb = Utf8ToUtf16(b);
    if (wa.size() != wb.size())
        return false;
    for (size_t i = 0; i < wa.size(); ++i)
        if (FoldCase(wa[i]) != FoldCase(wb[i]))
            return false;
    return true;
}

std::string CutLanguageText(std::string_view text) {
    return Utf8Left(text, kMaxLanguageText);
}
