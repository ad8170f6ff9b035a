// Version blocks of real files (the fixtures built with their VERSIONINFO
// resources) and the overwrite decisions taken on them.
#include "archive/cmp_TQnfdCompress.h"
#include "platform/cmp_TVersion.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include <algorithm>
#include <gtest/gtest.h>

namespace {

// The fixtures in the build tree; a Unix path is seen through drive Z: under Wine.
std::string Fixture(const std::string& relative) {
    return BuildTreePath(QFD_VERSION_FIXTURES, relative);
}

TEST(VersionResource, ReadsFixedAndStringFields) {
    TVersionResource v;
    v.SetFileName(Fixture("v1_2_10/qfdver.dll"));
    const TVersionInfo& i = v.VersionInfo();
    EXPECT_EQ(i.FileVersion, "1.2.10.0");
    EXPECT_EQ(i.ProductVersion, "Quenfold product version"); // the string table replaces the fixed one
    EXPECT_EQ(i.FileOS, "Windows NT with 32 bit Windows");
    EXPECT_EQ(i.FileType, "Dynamic-Link Library");
    EXPECT_EQ(i.FileSubType, "");
    EXPECT_EQ(i.Comment, "Quenfold comment");
    EXPECT_EQ(i.CompanyName, "Quenfold company");
    EXPECT_EQ(i.FileDescription, "Quenfold description");
    EXPECT_EQ(i.InternalName, "qfdver");
    EXPECT_EQ(i.LegalCopyright, "Quenfold copyright");
    EXPECT_EQ(i.LegalTradeMarks, "Quenfold trademarks");
    EXPECT_EQ(i.OriginalFileName, "qfdver");
    EXPECT_EQ(i.PrivateBuild, "Quenfold private build");
    EXPECT_EQ(i.ProductName, "Quenfold product");
    EXPECT_EQ(i.SpecialBuild, "Quenfold special build");
}

TEST(VersionResource, StringsUnderAnotherLanguageStayEmpty) {
    TVersionResource v;
    v.SetFileName(Fixture("german/qfdger.dll"));
    EXPECT_EQ(v.VersionInfo().FileVersion, "3.1.0.0");
    EXPECT_EQ(v.VersionInfo().ProductVersion, "3.1.0.7");
    EXPECT_EQ(v.VersionInfo().FileOS, "Windows NT with 32 bit Windows");
    EXPECT_EQ(v.VersionInfo().FileType, "Dynamic-Link Library");
    EXPECT_EQ(v.VersionInfo().CompanyName, "");
    EXPECT_EQ(v.VersionInfo().Comment, "");
    EXPECT_EQ(v.VersionInfo().InternalName, "");
    v.SetLanguage(TVersionResource::lnGerman);
    EXPECT_EQ(v.VersionInfo().CompanyName, "Deutsch company");
    EXPECT_EQ(v.VersionInfo().ProductVersion, "Deutsch product version");
    v.SetCharacterSet(TVersionResource::csUnicode);
    EXPECT_EQ(v.VersionInfo().CompanyName, "");
    EXPECT_EQ(v.VersionInfo().FileVersion, "3.1.0.0");
}

TEST(VersionResource, TypesOfOtherFilesAndFilesWithoutABlock) {
    TVersionResource v;
    v.SetFileName(Fixture("driver/qfddrv.dll"));
    EXPECT_EQ(v.VersionInfo().FileType, "Device Driver");
    EXPECT_EQ(v.VersionInfo().FileSubType, "Sound");
    EXPECT_EQ(v.VersionInfo().FileVersion, "1.0.0.1");
    v.SetFileName(Fixture("app/qfdapp.exe"));
    EXPECT_EQ(v.VersionInfo().FileType, "Application");
    EXPECT_EQ(v.VersionInfo().FileOS, "32 bit Windows");
    EXPECT_EQ(v.VersionInfo().FileVersion, "4.0.0.0");
    v.SetFileName(Fixture("plain/qfdplain.dll"));
    EXPECT_EQ(v.VersionInfo().FileVersion, "");
    EXPECT_EQ(v.VersionInfo().FileType, "");
    v.SetFileName(Fixture("plain/missing.dll"));
    EXPECT_EQ(v.VersionInfo().FileVersion, "");
    // The default file is the running program (built without a version block).
    TVersionResource own;
    EXPECT_FALSE(own.FileNameStored());
    EXPECT_NE(own.FileName().find("test_version"), std::string::npos);
}

TEST(VersionResource, OleSelfRegisterIsDeclaredUnderTheFirstTranslation) {
    auto declares = [](const std::string& file) {
        std::vector<uint8_t> block = VersionBlock::Read(file);
        Word lang = 0, cp = 0;
        std::string value;
        return VersionBlock::QueryTranslation(block, lang, cp) &&
               VersionBlock::QueryString(
                   block,
                   Format("\\StringFileInfo\\%.4X%.4X\\OLESelfRegister", {unsigned(lang), unsigned(cp)}),
                   value);
    };
    EXPECT_TRUE(declares(Fixture("olereg/qfdole.dll")));
    EXPECT_FALSE(declares(Fixture("v1_2_10/qfdver.dll")));
    EXPECT_FALSE(declares(Fixture("plain/qfdplain.dll")));
}

TEST(OverwriteDecision, ByVersionOfRealFiles) {
    const std::string v9 = Fixture("v1_2_9/qfdver.dll"), v10 = Fixture("v1_2_10/qfdver.dll"),
                      v20 = Fixture("v2_0/qfdver.dll");
    EXPECT_EQ(IsFileNewer("1.2.10.0", v9, owVersion, 0), fcNewer);
    EXPECT_EQ(IsFileNewer("1.2.9.0", v10, owVersion, 0), fcOlder);
    EXPECT_EQ(IsFileNewer("1.2.10.0", v10, owVersion, 0), fcSame);
    EXPECT_EQ(IsFileNewerByName(v10, v9, owVersion), fcNewer);
    EXPECT_EQ(IsFileNewerByName(v10, v20, owVersion), fcOlder);
    EXPECT_EQ(IsFileNewerByName(v10, v20, owVersionDate), fcOlder);
    EXPECT_EQ(IsFileNewerByName(v10, v10, owVersionDate), fcSame); // same version, same date
}

TEST(OverwriteDecision, ArchiveMembersCarryTheirVersion) {
    TTempFolder dir;
    TQnfdCompress c;
    c.SetCompressedFile(dir / "files.1");
    c.FilesToProcess().Add(Fixture("v1_2_10/qfdver.dll"));
    c.Compress(false, 12);
    TQnfdCompress r;
    r.SetCompressedFile(dir / "files.1");
    TFileHeader h;
    h.SetRecord(r.FileStats(0).Header);
    EXPECT_EQ(h.FileVersion, "1.2.10.0");
    EXPECT_EQ(r.HeaderIndexOfID(12), 0);

    struct Case {
        const char* existing;
        TOverwriteType mode;
        bool replaced;
    };
    for (Case k :
         {Case{"v1_2_9", owVersion, true}, Case{"v2_0", owVersion, false}, Case{"v1_2_10", owVersion, false},
          Case{"v2_0", owVersionDate, false}, Case{"v1_2_9", owVersionDate, true}}) {
        std::string dest = dir / "out\\qfdver.dll";
        ForceDirectory(dir / "out");
        ASSERT_TRUE(CopyFileTo(Fixture(std::string(k.existing) + "/qfdver.dll"), dest, false));
        r.ExtractDirectory = dir / "out";
        r.Overwrite = k.mode;
        r.FilesToProcess().Add(Fixture("v1_2_10/qfdver.dll"));
        r.Extract();
        TVersionResource v, original;
        v.SetFileName(dest);
        original.SetFileName(Fixture(std::string(k.existing) + "/qfdver.dll"));
        EXPECT_EQ(v.VersionInfo().FileVersion, k.replaced ? "1.2.10.0" : original.VersionInfo().FileVersion)
            << k.existing << " " << k.mode;
    }
}

} // namespace
