#include "translate/types_Language.h"

namespace {
// Chinese: SimSun, the GB2312 face every Simplified Chinese Windows has.
// Hebrew: Arial carries the Hebrew letters. Japanese and Korean: the stock
// proportional Gothic and Batang faces, named as those systems name them.
const TLanguageInfo kLanguages[kLanguageCount] = {
    {qlChineseSimplified, "lgChineseSimplified", "qnfiChineseSimplified.txt", "BM_LANG_SIMPCHINESE", 134,
     "SimSun", 9, 936},
    {qlCzech, "lgCzech", "qnfiCzech.txt", "BM_LANG_CZECH", 238, "Arial", 8, 1250},
    {qlDanish, "lgDanish", "qnfiDanish.txt", "BM_LANG_DANISH", 0, "Arial", 8, 1252},
    {qlEnglish, "lgEnglish", "qnfiEnglish.txt", "BM_LANG_ENGLISH", 0, "Arial", 8, 1252},
    {qlFrench, "lgFrench", "qnfiFrench.txt", "BM_LANG_FRENCH", 0, "Arial", 8, 1252},
    {qlGerman, "lgGerman", "qnfiGerman.txt", "BM_LANG_GERMAN", 0, "MS Sans Serif", 8, 1252},
    {qlGreek, "lgGreek", "qnfiGreek.txt", "BM_LANG_GREEK", 0, "SGreek", 8, 1253},
    {qlHebrew, "lgHebrew", "qnfiHebrew.txt", "BM_LANG_HEBREW", 177, "Arial", 8, 1255},
    {qlItalian, "lgItalian", "qnfiItalian.txt", "BM_LANG_ITALIAN", 0, "Arial", 8, 1252},
    {qlJapanese, "lgJapanese", "qnfiJapanese.txt", "BM_LANG_JAPANESE", 128,
     "\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF", 9, 932},
    {qlKorean, "lgKorean", "qnfiKorean.txt", "BM_LANG_KOREAN", 129, "\xEB\xB0\x94\xED\x83\x95", 9, 949},
    {qlPolish, "lgPolish", "qnfiPolish.txt", "BM_LANG_POLISH", 238, "Arial", 8, 1250},
    {qlPortugese, "lgPortugese", "qnfiPortugese.txt", "BM_LANG_PORTUGESE", 238, "Arial", 8, 1252},
    {qlRussian, "lgRussian", "qnfiRussian.txt", "BM_LANG_RUSSIAN", 204, "Arial", 8, 1251},
    {qlSpanish, "lgSpanish", "qnfiSpanish.txt", "BM_LANG_SPANISH", 0, "Arial", 8, 1252},
    {qlVietnamese, "lgVietnamese", "qnfiVietnamese.txt", "BM_LANG_VIETNAMESE", 163, "Arial", 8, 1258},
};

const TLanguageInfo& Known(int32_t ident) {
    const TLanguageInfo* info = FindLanguageInfo(ident);
    if (!info)
        throw ETranslator("Unrecognized language");
    return *info;
}
} // namespace

const std::vector<std::string>& LanguageIdentNames() {
    static const std::vector<std::string> names = {"qlChineseSimplified",
                                                   "qlCzech",
                                                   "qlDanish",
                                                   "qlEnglish",
                                                   "qlFrench",
                                                   "qlGerman",
                                                   "qlGreek",
                                                   "qlHebrew",
                                                   "qlItalian",
                                                   "qlJapanese",
                                                   "qlKorean",
                                                   "qlPolish",
                                                   "qlPortugese",
                                                   "qlRussian",
                                                   "qlSpanish",
                                                   "qlUser",
                                                   "qlVietnamese"};
    return names;
}

const TLanguageInfo& LanguageInfo(int index) {
    if (index < 0 || index >= kLanguageCount)
        throw ETranslator("Unrecognized language");
    return kLanguages[index];
}

const TLanguageInfo* FindLanguageInfo(int32_t ident) {
    for (const TLanguageInfo& info : kLanguages)
        if (info.Ident == ident)
            return &info;
    return nullptr;
}

int32_t LanguageCharset(int32_t ident) {
    return Known(ident).Charset;
}

std::string LanguageFontName(int32_t ident) {
    return Known(ident).FontName;
}

int32_t LanguageMinSize(int32_t ident) {
    return Known(ident).MinSize;
}

uint32_t LanguageCodePage(int32_t ident) {
    const TLanguageInfo* info = FindLanguageInfo(ident);
    return info ? info->CodePage : 0;
}

TQnfdLanguage LanguageOfLangId(uint32_t langId) {
    switch (langId & 0x3FF) {
    case 4:
        return qlChineseSimplified;
    case 5:
        return qlCzech;
    case 6:
        return qlDanish;
    case 7:
        return qlGerman;
    case 8:
        return qlGreek;
    case 10:
        return qlSpanish;
    case 12:
        return qlFrench;
    case 13:
        return qlHebrew;
    case 16:
        return qlItalian;
    case 17:
        return qlJapanese;
    case 18:
        return qlKorean;
    case 21:
        return qlPolish;
    case 22:
        return qlPortugese;
    case 25:
        return qlRussian;
    case 42:
        return qlVietnamese;
    default:
        return qlEnglish;
    }
}
