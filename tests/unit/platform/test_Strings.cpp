#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Strings.h"
#include <gtest/gtest.h>

TEST(Strings, GetFieldWalksDelimiters) {
    EXPECT_EQ(GetField("a;b", 3, ';'), "");
    EXPECT_EQ(GetField("a;b", 2, ';'), "b");
    EXPECT_EQ(GetField("a;b", 1, ';'), "a");
    EXPECT_EQ(GetField("", 1, ';'), "");
    EXPECT_EQ(GetField("a;;c", 2, ';'), "");
    EXPECT_EQ(GetField("a;;c", 3, ';'), "c");
    EXPECT_EQ(GetField("a;b;", 3, ';'), "");
}

TEST(Strings, FieldCountIgnoresOneTrailingDelimiter) {
    EXPECT_EQ(FieldCount("a;b;", ';'), 2);
    EXPECT_EQ(FieldCount("a;b", ';'), 2);
    EXPECT_EQ(FieldCount("", ';'), 0);
    EXPECT_EQ(FieldCount(";", ';'), 1);
    EXPECT_EQ(FieldCount("a;;", ';'), 2);
}

TEST(Strings, SplitFieldsReplacesTheList) {
    TStringList list{"old"};
    SplitFields("one;two;;four;", ';', list);
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list[0], "one");
    EXPECT_EQ(list[2], "");
    EXPECT_EQ(list[3], "four");
}

TEST(Strings, Backslashes) {
    EXPECT_EQ(AddBackslash(""), "");
    EXPECT_EQ(AddBackslash("C:"), "C:\\");
    EXPECT_EQ(AddBackslash("C:\\"), "C:\\");
    EXPECT_EQ(RemoveBackslash("C:\\"), "C:");
    EXPECT_EQ(RemoveBackslash("C:\\a\\\\"), "C:\\a\\");
    EXPECT_EQ(RemoveBackslash(""), "");
}

TEST(Strings, AfterColonKeepsResultWithoutColon) {
    std::string r = "kept";
    AfterColon("no colon here", r);
    EXPECT_EQ(r, "kept");
    AfterColon("drive:rest:more", r);
    EXPECT_EQ(r, "rest:more");
}

TEST(Strings, IntegerParsingRejectsJunkAndOverflow) {
    int32_t v = 0;
    EXPECT_TRUE(TryStrToInt(" -42 ", v));
    EXPECT_EQ(v, -42);
    EXPECT_TRUE(TryStrToInt("$FF", v));
    EXPECT_EQ(v, 255);
    EXPECT_TRUE(TryStrToInt("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_FALSE(TryStrToInt("2147483648", v));
    EXPECT_FALSE(TryStrToInt("12a", v));
    EXPECT_FALSE(TryStrToInt("", v));
    EXPECT_EQ(StrToIntDef("x", 7), 7);
}

TEST(Strings, TextIsUtf8AndOldAnsiFilesStillRead) {
    EXPECT_EQ(TextFileToUtf8("\xEF\xBB\xBFhi"), "hi");
    // "café" in Windows-1252 becomes UTF-8; the euro sign maps from 0x80.
    EXPECT_EQ(TextFileToUtf8("caf\xE9 \x80", 1252), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("\xF0\x9F\x98\x80 x")), "\xF0\x9F\x98\x80 x");
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82\xAC"), u"\u20AC");
    // Bytes F5..FF never start a UTF-8 sequence; these three are o-slash,
    // low quote and ellipsis in Windows-1252.
    EXPECT_FALSE(IsValidUtf8("\xF8\x82\x85"));
    EXPECT_EQ(TextFileToUtf8("\xF8\x82\x85", 1252), "\xC3\xB8\xE2\x80\x9A\xE2\x80\xA6");
    // Without a code page, and in UTF-16, old text is read in the ANSI code page.
    EXPECT_EQ(TextFileToUtf8("\xF8\x82\x85"), CodePageToUtf8("\xF8\x82\x85", AnsiCodePage()));
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("\xFF\xBF\xBF")), CodePageToUtf8("\xFF\xBF\xBF", AnsiCodePage()));
    // Cutting never splits a character.
    EXPECT_EQ(Utf8Truncate("ab\xC3\xA9", 3), "ab");
    EXPECT_EQ(Utf8Truncate("ab\xC3\xA9", 4), "ab\xC3\xA9");
}

TEST(Strings, OldTextInTheCodePageItWasWrittenIn) {
    // "Да" in Windows-1251, "Ωμέγα" in Windows-1253, "日本" in Shift-JIS.
    const char* russian = "\xC4\xE0";
    const char* greek = "\xD9\xEC\xDD\xE3\xE1";
    const char* japanese = "\x93\xFA\x96\x7B";
#ifdef _WIN32
    EXPECT_EQ(TextFileToUtf8(russian, 1251), "\xD0\x94\xD0\xB0");
    EXPECT_EQ(TextFileToUtf8(greek, 1253), "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1");
    EXPECT_EQ(CodePageToUtf8(japanese, 932), "\xE6\x97\xA5\xE6\x9C\xAC");
    // A code page the system does not know falls back to Windows-1252.
    EXPECT_EQ(CodePageToUtf8("caf\xE9", 12345), "caf\xC3\xA9");
#else
    // Natively there are no code-page tables: old text is Windows-1252.
    EXPECT_EQ(AnsiCodePage(), 1252u);
    EXPECT_EQ(TextFileToUtf8(russian, 1251), "\xC3\x84\xC3\xA0");
    EXPECT_EQ(TextFileToUtf8(greek, 1253), "\xC3\x99\xC3\xAC\xC3\x9D\xC3\xA3\xC3\xA1");
    EXPECT_EQ(CodePageToUtf8(japanese, 932), "\xE2\x80\x9C\xC3\xBA\xE2\x80\x93{");
#endif
    // UTF-8 stays UTF-8 whatever the code page.
    EXPECT_EQ(TextFileToUtf8("\xD0\x94\xD0\xB0", 1253), "\xD0\x94\xD0\xB0");
}

TEST(Strings, StringListTextAndValues) {
    TStringList l;
    l.SetText("a=1\r\nb=2\nc\rd");
    ASSERT_EQ(l.Count(), 4);
    EXPECT_EQ(l[3], "d");
    EXPECT_EQ(l.Values("B"), "2");
    EXPECT_EQ(l.Values("z"), "");
    EXPECT_EQ(l.IndexOf("C"), 2);
    EXPECT_EQ(l.Text(), "a=1\r\nb=2\r\nc\r\nd\r\n");
    EXPECT_THROW(l.Delete(4), EConvertError);
}
