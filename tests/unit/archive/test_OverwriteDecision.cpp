// Version texts and the overwrite decision (portable part: no version blocks
// are needed for these).
#include "ArchiveTestSupport.h"
#include "platform/cmp_TVersion.h"

namespace {

TEST(CompareVersions, FieldsCompareAsNumbersOrText) {
    EXPECT_EQ(CompareVersions("1.2.10", "1.2.9"), 1);
    EXPECT_EQ(CompareVersions("1.2.9", "1.2.10"), 2);
    EXPECT_EQ(CompareVersions("1.0", "1.0.0"), 2);
    EXPECT_EQ(CompareVersions("1.0.0", "1.0"), 1);
    EXPECT_EQ(CompareVersions("1.0b", "1.0a"), 1);
    EXPECT_EQ(CompareVersions("1.a", "1.B"), 1); // character codes, case-sensitive
    EXPECT_EQ(CompareVersions("4.0.1381.4", "4.0.1381.4"), 0);
    EXPECT_EQ(CompareVersions("", ""), 0);
    EXPECT_EQ(CompareVersions("1", ""), 1);
    EXPECT_EQ(CompareVersions("", "0"), 2);
    EXPECT_EQ(CompareVersions("007", "7"), 0);
    // Numbers of any length, no overflow.
    EXPECT_EQ(CompareVersions("1.99999999999999999999", "1.100000000000000000000"), 2);
}

TEST(OverwriteDecision, RulesAgainstAnExistingFile) {
    TTempFolder dir;
    std::string f = dir / "existing.txt";
    MakeFile(f, "x", SomeDate(10));
    EXPECT_EQ(IsFileNewer("", f, owAlways, 0), fcNewer);
    EXPECT_EQ(IsFileNewer("", f, owNever, 0), fcOlder);
    EXPECT_EQ(IsFileNewer("", dir / "missing.txt", owNever, 0), fcNewer);
    EXPECT_EQ(IsFileNewer("", "  ", owNever, 0), fcNewer);
    EXPECT_EQ(IsFileNewer("", f, owDate, SomeDate(10)), fcSame);
    EXPECT_EQ(IsFileNewer("", f, owDate, SomeDate(12)), fcNewer);
    EXPECT_EQ(IsFileNewer("", f, owDate, SomeDate(8)), fcOlder);
    EXPECT_EQ(IsFileNewer("", dir / "missing.txt", owDate, SomeDate(8)), fcError);
    // The file has no version block: any version is greater, none is equal.
    EXPECT_EQ(IsFileNewer("1.0", f, owVersion, 0), fcNewer);
    EXPECT_EQ(IsFileNewer("", f, owVersion, 0), fcSame);
    EXPECT_EQ(IsFileNewer("1.0", f, owVersionDate, SomeDate(2)), fcNewer);
    EXPECT_EQ(IsFileNewer("", f, owVersionDate, SomeDate(12)), fcNewer);
    EXPECT_EQ(IsFileNewer("", f, owVersionDate, SomeDate(10)), fcSame);

    std::string g = dir / "source.txt";
    MakeFile(g, "y", SomeDate(20));
    EXPECT_EQ(IsFileNewerByName(g, f, owDate), fcNewer);
    EXPECT_EQ(IsFileNewerByName(f, g, owDate), fcOlder);
    EXPECT_EQ(IsFileNewerByName(g, f, owVersion), fcSame);
    EXPECT_EQ(IsFileNewerByName(g, f, owVersionDate), fcNewer);
    EXPECT_EQ(IsFileNewerByName(dir / "missing", f, owDate), fcError);
    EXPECT_EQ(IsFileNewerByName(g, f, owNever), fcOlder);
}

TEST(VersionResource, EnumeratorsMapToTheirIdentifiers) {
    EXPECT_EQ(TVersionResource::LangID(TVersionResource::lnUSEnglish), 1033);
    EXPECT_EQ(TVersionResource::LangID(TVersionResource::lnGerman), 1031);
    EXPECT_EQ(TVersionResource::LangID(TVersionResource::lnSwissFrench), 4108);
    EXPECT_EQ(TVersionResource::CodePage(TVersionResource::csMultilingual), 1252);
    EXPECT_EQ(TVersionResource::CodePage(TVersionResource::csArabic), 1256);
    EXPECT_THROW(TVersionResource::LangID(static_cast<TVersionResource::TLanguage>(45)), Exception);
    TVersionResource v;
    EXPECT_THROW(v.SetCharacterSet(static_cast<TVersionResource::TCharacterSet>(12)), Exception);
    EXPECT_EQ(v.CharacterSet(), TVersionResource::csMultilingual);
    EXPECT_FALSE(v.FileNameStored());
    v.SetFileName("no such file.dll");
    EXPECT_TRUE(v.FileNameStored());
    EXPECT_EQ(v.VersionInfo().FileVersion, "");
}

} // namespace
