#include "translate/routines_LangParse.h"
#include <gtest/gtest.h>

namespace {

std::string ParseError(const std::vector<std::string>& lines) {
    try {
        ParseLanguageLines(lines);
    } catch (const ELanguageFormat& e) {
        return e.Message();
    }
    return "(no error)";
}

TEST(LanguageFile, StringEntriesKeepTheirTextUpToASecondSemicolon) {
    TParsedLanguage p = ParseLanguageLines(
        {"  10;Cancel  ", "", "11;Yes;and more", "12; padded text", "* 13;comment", "10;Second ten"});
    ASSERT_EQ(p.Strings.size(), 4u);
    EXPECT_EQ(p.Strings[0].GLID, 10);
    EXPECT_EQ(p.Strings[0].Text, "Cancel");
    EXPECT_EQ(p.Strings[0].Line, 0);
    EXPECT_EQ(p.Strings[1].Text, "Yes");
    EXPECT_EQ(p.Strings[1].Line, 2);
    // The text is kept as it stands between the semicolons.
    EXPECT_EQ(p.Strings[2].Text, " padded text");
    // A GLID may come twice; both stay in file order.
    EXPECT_EQ(p.Strings[3].GLID, 10);
    EXPECT_EQ(p.Strings[3].Line, 5);
    EXPECT_TRUE(p.Memos.empty());
}

TEST(LanguageFile, MemoBlocksCollectTrimmedLinesAndSkipComments) {
    TParsedLanguage p =
        ParseLanguageLines({"1;Before", "#5;", "  first line  ", "* a comment", "#not the end", "", "#", "#6",
                            "only line", "#", "#7", "never closed"});
    ASSERT_EQ(p.Memos.size(), 2u);
    EXPECT_EQ(p.Memos[0].GLID, 5);
    EXPECT_EQ(p.Memos[0].Line, 1);
    EXPECT_EQ(p.Memos[0].Lines, (std::vector<std::string>{"first line", "#not the end"}));
    EXPECT_EQ(p.Memos[1].GLID, 6);
    EXPECT_EQ(p.Memos[1].Lines, (std::vector<std::string>{"only line"}));
    // Lines of an open memo are not string entries either.
    ASSERT_EQ(p.Strings.size(), 1u);
}

TEST(LanguageFile, MemoWithGLID5AndACommentBetweenTwoLines) {
    TParsedLanguage p = ParseLanguageLines({"#5", "line one", "*comment", "line two", "#"});
    ASSERT_EQ(p.Memos.size(), 1u);
    EXPECT_EQ(p.Memos[0].GLID, 5);
    EXPECT_EQ(p.Memos[0].Lines, (std::vector<std::string>{"line one", "line two"}));
}

TEST(LanguageFile, ErrorsNameTheLineAndTheTrimmedText) {
    EXPECT_EQ(ParseError({"1;a", "2;b", "", "#"}),
              "Found the end of memo marker # at line 3. Was not in a memo however");
    EXPECT_EQ(ParseError({";text"}), "The 0'th string (;text) does not have the proper format of GLID;Text");
    EXPECT_EQ(ParseError({"1;ok", " abc;text "}),
              "The 1'th string (abc;text) does not have the proper format of GLID;Text or .GLID;");
    EXPECT_EQ(ParseError({"4;   "}), "The 0'th string (4;) does not have the proper format of GLID;Text");
    EXPECT_EQ(ParseError({"4"}), "The 0'th string (4) does not have the proper format of GLID;Text");
    EXPECT_EQ(ParseError({"4;;second"}),
              "The 0'th string (4;;second) does not have the proper format of GLID;Text");
    EXPECT_EQ(ParseError({"#;"}), "The 0'th string (#;) does not have the proper format of GLID;Text");
    EXPECT_EQ(ParseError({"#five"}),
              "The 0'th string (#five) does not have the proper format of GLID;Text or .GLID;");
    EXPECT_EQ(ParseError({"99999999999;big"}),
              "The 0'th string (99999999999;big) does not have the proper format of GLID;Text or .GLID;");
    // Percent signs in the text are data, not directives.
    EXPECT_EQ(ParseError({"x%s%d;y"}),
              "The 0'th string (x%s%d;y) does not have the proper format of GLID;Text or .GLID;");
}

TEST(LanguageFile, LongTextsAreCutTo255Characters) {
    std::string ascii(300, 'a');
    TParsedLanguage p = ParseLanguageLines({"1;" + ascii});
    EXPECT_EQ(p.Strings[0].Text, std::string(255, 'a'));
    // Characters, not bytes: a Cyrillic letter takes two bytes and stays whole.
    std::string cyr;
    for (int i = 0; i < 300; ++i)
        cyr += "\xD0\x96";
    std::string cut = CutLanguageText(cyr);
    EXPECT_EQ(cut.size(), 510u);
    EXPECT_EQ(CutLanguageText("short"), "short");
}

TEST(LanguageFile, BytesAreReadAsUtf8WithOrWithoutBomOrAsAnsi) {
    auto lines = LanguageFileLines("\xEF\xBB\xBF"
                                   "1;Caf\xC3\xA9\r\n2;Two\n",
                                   qlRussian);
    EXPECT_EQ(lines, (std::vector<std::string>{"1;Caf\xC3\xA9", "2;Two"}));
    // An old French file in Windows-1252: é is one byte there.
    lines = LanguageFileLines("1;Caf\xE9\r\n", qlFrench);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "1;Caf\xC3\xA9");
}

TEST(LanguageTable, OldFilesAreReadInTheCodePageOfTheirLanguageNotOfTheirFont) {
    // The font character sets say otherwise for these two: Portuguese 238
    // (East European), Greek 0 (ANSI).
    EXPECT_EQ(LanguageCodePage(qlPortugese), 1252u);
    EXPECT_EQ(LanguageCodePage(qlGreek), 1253u);
    EXPECT_EQ(LanguageCharset(qlPortugese), 238);
    EXPECT_EQ(LanguageCharset(qlGreek), 0);
    std::vector<uint32_t> pages;
    for (int i = 0; i < kLanguageCount; ++i)
        pages.push_back(LanguageCodePage(LanguageInfo(i).Ident));
    // Chinese .. Spanish, then Vietnamese.
    EXPECT_EQ(pages, (std::vector<uint32_t>{936, 1250, 1252, 1252, 1252, 1252, 1253, 1255, 1252, 932, 949,
                                            1250, 1252, 1251, 1252, 1258}));
    // The user's language is not known before it is resolved: the system's ANSI code page.
    EXPECT_EQ(LanguageCodePage(qlUser), 0u);
    EXPECT_EQ(LanguageCodePage(17), 0u);
}

TEST(LanguageFile, TextsCompareIgnoringCaseInEveryAlphabet) {
    EXPECT_TRUE(SameLanguageText("CANCEL", "cancel"));
    EXPECT_TRUE(SameLanguageText("\xC3\x84nderung", "\xC3\xA4NDERUNG")); // Änderung
    EXPECT_TRUE(SameLanguageText("\xD0\x9E\xD1\x82\xD0\xBC\xD0\xB5\xD0\xBD\xD0\xB0",
                                 "\xD0\xBE\xD1\x82\xD0\xBC\xD0\xB5\xD0\xBD\xD0\xB0")); // Отмена / отмена
    EXPECT_TRUE(SameLanguageText("\xCE\x91\xCE\xA3", "\xCE\xB1\xCF\x83"));             // ΑΣ / ασ
    EXPECT_FALSE(SameLanguageText("Cancel", "Cancel "));
    EXPECT_FALSE(SameLanguageText("Cancel", "Canceled"));
    EXPECT_FALSE(SameLanguageText("\xC3\x97", "\xC3\xB7")); // × is no letter
}

TEST(LanguageTable, CharsetsFontsAndUnknownIdents) {
    EXPECT_EQ(LanguageCharset(qlRussian), 204);
    EXPECT_EQ(LanguageCharset(qlVietnamese), 163);
    EXPECT_EQ(LanguageCharset(qlHebrew), 177);
    EXPECT_EQ(LanguageFontName(qlGerman), "MS Sans Serif");
    EXPECT_EQ(LanguageFontName(qlEnglish), "Arial");
    EXPECT_EQ(LanguageMinSize(qlJapanese), 9);
    for (int32_t bad : {static_cast<int32_t>(qlUser), 17, -1}) {
        EXPECT_THROW(
            {
                try {
                    LanguageCharset(bad);
                } catch (const ETranslator& e) {
                    EXPECT_EQ(e.Message(), "Unrecognized language");
                    throw;
                }
            },
            ETranslator);
        EXPECT_THROW(LanguageFontName(bad), ETranslator);
    }
    // The sixteen languages skip qlUser and end with Vietnamese.
    EXPECT_EQ(LanguageInfo(14).Ident, qlSpanish);
    EXPECT_EQ(LanguageInfo(15).Ident, qlVietnamese);
    EXPECT_STREQ(LanguageInfo(15).PropertyName, "lgVietnamese");
    EXPECT_STREQ(LanguageInfo(0).BitmapName, "BM_LANG_SIMPCHINESE");
    EXPECT_EQ(LanguageIdentNames()[qlUser], "qlUser");
    EXPECT_EQ(LanguageIdentNames()[qlVietnamese], "qlVietnamese");
}

TEST(LanguageTable, UserLanguageIdsMapByTheirPrimaryLanguage) {
    EXPECT_EQ(LanguageOfLangId(0x040B), qlEnglish); // Finnish has no table
    EXPECT_EQ(LanguageOfLangId(0x0409), qlEnglish);
    EXPECT_EQ(LanguageOfLangId(0x0407), qlGerman);
    EXPECT_EQ(LanguageOfLangId(0x0C07), qlGerman); // Austrian German
    EXPECT_EQ(LanguageOfLangId(0x0804), qlChineseSimplified);
    EXPECT_EQ(LanguageOfLangId(0x0416), qlPortugese); // Brazilian
    EXPECT_EQ(LanguageOfLangId(0x042A), qlVietnamese);
    EXPECT_EQ(LanguageOfLangId(0x0419), qlRussian);
    EXPECT_EQ(LanguageOfLangId(0x040D), qlHebrew);
}

} // namespace
