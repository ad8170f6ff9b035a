// The archive tool end to end: create, add, list, test, extract, split and
// extract again; damaged archives and wrong command lines.
#include "ArchiveTestSupport.h"
#include "qarc.h"

namespace {

TEST(Qarc, RoundTripThroughADiskSet) {
    TTempFolder dir;
    ForceDirectory(dir / "src");
    const std::string a = dir / "src" / "random.bin", b = dir / "src" / "text.txt",
                      e = dir / "src" / "empty.dat";
    MakeFile(a, RandomBytes(50000, 11));
    std::string text;
    for (int i = 0; i < 4000; ++i)
        text += "line " + std::to_string(i) + "\n";
    MakeFile(b, text);
    MakeFile(e, "");
    const std::string arc = dir / "files.1";
    ASSERT_EQ(QarcRun({"create", arc, "--level", "default", "--id", "12", a, b}), 0);
    ASSERT_EQ(QarcRun({"add", arc, e}), 0);
    EXPECT_EQ(QarcRun({"list", arc}), 0);
    EXPECT_EQ(QarcRun({"test", arc}), 0);
    TQnfdCompress check;
    check.SetCompressedFile(arc);
    EXPECT_EQ(check.FileCount(), 3);
    EXPECT_EQ(check.HeaderIndexOfID(12), 1);

    ASSERT_EQ(QarcRun({"extract", arc, dir / "out"}), 0);
    for (const char* n : {"random.bin", "text.txt", "empty.dat"})
        EXPECT_EQ(ReadWholeFile(dir / "out" / n), ReadWholeFile(dir / "src" / n)) << n;

    ASSERT_EQ(QarcRun({"split", arc, dir / "disks", "--size", "8k", "--name", "set.1"}), 0);
    EXPECT_EQ(FileSizeOf(dir / "disks" / "set.1"), 8192);
    EXPECT_TRUE(FileExists(dir / "disks" / "set.7"));
    EXPECT_EQ(QarcRun({"test", dir / "disks" / "set.1"}), 0);
    ASSERT_EQ(QarcRun({"extract", dir / "disks" / "set.1", dir / "again", b}), 0);
    EXPECT_EQ(ReadWholeFile(dir / "again" / "text.txt"), text);
    EXPECT_FALSE(FileExists(dir / "again" / "random.bin"));

    // An archive at an offset, as in a setup program.
    WriteTextFile(dir / "setup.exe", std::string(777, 'M') + ReadWholeFile(arc));
    ASSERT_EQ(QarcRun({"extract", dir / "setup.exe", dir / "sfx", "--offset", "777", a}), 0);
    EXPECT_EQ(ReadWholeFile(dir / "sfx" / "random.bin"), ReadWholeFile(a));
}

TEST(Qarc, FailuresGiveNonZeroStatus) {
    TTempFolder dir;
    MakeFile(dir / "a.txt", "some text for the archive");
    ASSERT_EQ(QarcRun({"create", dir / "a.arc", dir / "a.txt"}), 0);
    std::string bytes = ReadWholeFile(dir / "a.arc");
    WriteTextFile(dir / "cut.arc", bytes.substr(0, bytes.size() - 4));
    EXPECT_EQ(QarcRun({"list", dir / "cut.arc"}), 1);
    bytes[5 + 172 + 4] ^= 0x5A;
    WriteTextFile(dir / "bad.arc", bytes);
    EXPECT_EQ(QarcRun({"test", dir / "bad.arc"}), 1);
    EXPECT_EQ(QarcRun({"extract", dir / "bad.arc", dir / "out"}), 1);
    EXPECT_FALSE(FileExists(dir / "out" / "a.txt"));
    EXPECT_EQ(QarcRun({"list", dir / "missing.arc"}), 1);
    EXPECT_EQ(QarcRun({"create", dir / "b.arc", dir / "missing.txt"}), 1);
    EXPECT_EQ(QarcRun({}), 2);
    EXPECT_EQ(QarcRun({"frobnicate", dir / "a.arc"}), 2);
    EXPECT_EQ(QarcRun({"extract", dir / "a.arc", dir / "out", "--overwrite", "sometimes"}), 2);
    EXPECT_EQ(QarcRun({"split", dir / "a.arc", dir / "disks", "--size", "4k"}), 2);
    EXPECT_EQ(QarcRun({"list", dir / "a.arc", "--offset", "-3"}), 2);
    EXPECT_EQ(QarcRun({"--help"}), 0);
}

} // namespace
