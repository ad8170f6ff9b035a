// Language files: lines of "GLID;Text" entries and "#GLID" ... "#" memo
// blocks, "*" comments. The parser works on lines alone, so it builds and is
// tested on every platform.
#pragma once
#include "translate/types_Language.h"
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TParsedString {
    int32_t GLID = 0;
    int Line = 0; // zero-based line of the entry
    std::string Text;
};

struct TParsedMemo {
    int32_t GLID = 0;
    int Line = 0; // zero-based line of the "#GLID" header
    std::vector<std::string> Lines;
};

struct TParsedLanguage {
    std::vector<TParsedString> Strings;
    std::vector<TParsedMemo> Memos;
};

// The longest text of a string entry, in characters; longer ones are cut.
constexpr size_t kMaxLanguageText = 255;
// The most bytes a language file may have.
constexpr int64_t kMaxLanguageFileSize = 16 * 1024 * 1024;

// Parses the lines of a language; raises ELanguageFormat naming the line.
TParsedLanguage ParseLanguageLines(const std::vector<std::string>& lines);

// The text of a language file's bytes: UTF-8 with or without a BOM, or old
// text in the code page of the language it translates into.
std::string LanguageFileText(std::string_view bytes, int32_t ident);
std::vector<std::string> LanguageFileLines(std::string_view bytes, int32_t ident);

// Compares texts ignoring the case of Latin, Greek and Cyrillic letters.
bool SameLanguageText(std::string_view a, std::string_view b);

// The text cut to at most kMaxLanguageText characters.
std::string CutLanguageText(std::string_view text);
