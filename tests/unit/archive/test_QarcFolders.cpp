// qarc extracting into folders given relative to the current folder, short
// names included, and into a drive root that is not there.
#include "ArchiveTestSupport.h"
#include "qarc.h"

namespace {

struct InFolder : ::testing::Test {
    TTempFolder dir;
    std::string old = GetCurrentDir();
    std::string arc = dir / "t.qa";
    std::string text = "the member's text\n", data = RandomBytes(70000, 3);

    void SetUp() override {
        ForceDirectory(dir / "src");
        MakeFile(dir / "src" / "h.txt", text);
        MakeFile(dir / "src" / "d.bin", data);
        ASSERT_EQ(QarcRun({"create", arc, dir / "src" / "h.txt", dir / "src" / "d.bin"}), 0);
        ASSERT_TRUE(SetCurrentDir(dir.Path()));
    }
    void TearDown() override { SetCurrentDir(old); }

    void ExpectMembersIn(const std::string& folder) {
        EXPECT_EQ(ReadWholeFile(dir / folder / "h.txt"), text) << folder;
        EXPECT_EQ(ReadWholeFile(dir / folder / "d.bin"), data) << folder;
    }
};

TEST_F(InFolder, ExtractMakesNewFoldersOfAnyLength) {
    for (const char* folder : {"x", "o2", "abc"}) {
        ASSERT_EQ(QarcRun({"extract", arc, folder}), 0) << folder;
        ExpectMembersIn(folder);
    }
    ASSERT_EQ(QarcRun({"extract", arc, "ab/newdir"}), 0);
    ExpectMembersIn("ab\\newdir");
    // One member by its stored name into a new folder whose parent is new too.
    ASSERT_EQ(QarcRun({"extract", arc, "p\\q", dir / "src" / "h.txt"}), 0);
    EXPECT_EQ(ReadWholeFile(dir / "p\\q" / "h.txt"), text);
    EXPECT_FALSE(FileExists(dir / "p\\q" / "d.bin"));
}

TEST_F(InFolder, ADriveRootIsNotMadeIntoAFolder) {
    // Q: is no drive here (nor under Wine): the extraction fails plainly and
    // leaves no folder named after it.
    if (DirectoryExists("Q:\\"))
        GTEST_SKIP() << "a drive Q: exists";
    EXPECT_EQ(QarcRun({"extract", arc, "Q:"}), 1);
    EXPECT_EQ(QarcRun({"extract", arc, "Q:\\"}), 1);
    EXPECT_FALSE(DirectoryExists(dir / "Q:"));
    EXPECT_FALSE(FileExists(dir / "Q:" / "h.txt"));
    EXPECT_FALSE(FileExists("Q:\\h.txt"));
}

} // namespace
