// The languages a translator knows and what each of them needs: its language
// file, its flag bitmap, and the character set and font its windows get when
// the language's own font is not forced.
#pragma once
#include "platform/exceptions_Quenfold.h"
#include <cstdint>
#include <string>
#include <vector>

// Failures of the translator and of language files.
QFD_EXCEPTION(ETranslator, Exception)
QFD_EXCEPTION(ELanguageFormat, ETranslator)

// Numbered as they are stored; qlUser (the Windows user's language) sits
// between Spanish and Vietnamese.
enum TQnfdLanguage : int32_t {
    qlChineseSimplified,
    qlCzech,
    qlDanish,
    qlEnglish,
    qlFrench,
    qlGerman,
    qlGreek,
    qlHebrew,
    qlItalian,
    qlJapanese,
    qlKorean,
    qlPolish,
    qlPortugese,
    qlRussian,
    qlSpanish,
    qlUser,
    qlVietnamese
};
constexpr int kLanguageIdentCount = 17; // qlChineseSimplified .. qlVietnamese

// The stored names of the enumerators, in ident order.
const std::vector<std::string>& LanguageIdentNames();

struct TLanguageInfo {
    TQnfdLanguage Ident;
    const char* PropertyName; // the translator's published property ("lgEnglish")
    const char* FileName;     // "qnfiEnglish.txt"
    const char* BitmapName;   // "BM_LANG_ENGLISH"
    int32_t Charset;          // Windows font character set
    const char* FontName;
    int32_t MinSize; // points the font is raised to at least
    // The code page an old language file (not UTF-8) is written in. Not
    // always the one of Charset: that is a font setting of its own.
    uint32_t CodePage;
};

// The sixteen real languages in the order a translator holds them
// (idents 0..14, then 16).
constexpr int kLanguageCount = 16;
const TLanguageInfo& LanguageInfo(int index);
// Null for qlUser and idents outside the table.
const TLanguageInfo* FindLanguageInfo(int32_t ident);

// Raise ETranslator "Unrecognized language" for qlUser and unknown idents.
int32_t LanguageCharset(int32_t ident);
std::string LanguageFontName(int32_t ident);
int32_t LanguageMinSize(int32_t ident);
// The code page of the language's old files; 0 (the system's ANSI code page)
// for qlUser and idents outside the table.
uint32_t LanguageCodePage(int32_t ident);

// The language of a Windows language id (its primary language, id & 0x3FF);
// English for every language without a table of its own.
TQnfdLanguage LanguageOfLangId(uint32_t langId);
