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

// A path that mixes both separators, as a user may type it.
std::string Mixed(const TTempFolder& dir, const std::string& name) {
    return dir.Path() + name + "/inner";
}

bool HasForeignSeparator(const std::string& text) {
#ifdef _WIN32
    return text.find('/') != std::string::npos;
#else
    return text.find('\\') != std::string::npos;
#endif
}

TEST(Qarc, ExtractedIsPrintedOnlyOnceTheMemberIsInPlace) {
    TTempFolder dir;
    WriteTextFile(dir / "t.arc",
                  HandMadeArchive({{"first.txt", "one"}, {"h.txt", "two"}, {"last.txt", "3"}}));
    const std::string out = Mixed(dir, "out");
    // The final rename of h.txt fails: a folder has its name.
    ForceDirectory(out + "/h.txt");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = QarcRun({"extract", dir / "t.arc", out});
    const std::string printed = testing::internal::GetCapturedStdout();
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_NE(printed.find("extracted first.txt"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("h.txt"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("last.txt"), std::string::npos) << printed;
    EXPECT_NE(errors.find("qarc: h.txt: Cannot create the file "), std::string::npos) << errors;
    EXPECT_FALSE(HasForeignSeparator(errors)) << errors;
    EXPECT_EQ(ReadWholeFile(out + "/first.txt"), "one");
    EXPECT_TRUE(DirectoryExists(out + "/h.txt"));
}

TEST(Qarc, PrintedPathsUseOneSeparator) {
    TTempFolder dir;
    // A stored name is printed as it was given; every other path in this platform's form.
    const std::string source = dir / "a.txt";
    MakeFile(source, RandomBytes(30000, 5));
    const std::string arc = Mixed(dir, "arc") + "/files.1";
    testing::internal::CaptureStdout();
    const int created = QarcRun({"create", arc, source});
    const int listed = QarcRun({"list", arc});
    const int split = QarcRun({"split", arc, Mixed(dir, "disks"), "--size", "8k"});
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(created, 0);
    ASSERT_EQ(listed, 0);
    ASSERT_EQ(split, 0);
    EXPECT_NE(printed.find(source), std::string::npos) << printed;
    EXPECT_NE(printed.find(" holds 1 member(s)"), std::string::npos) << printed;
    EXPECT_NE(printed.find("split into "), std::string::npos) << printed;
    std::string rest = printed;
    for (size_t at; (at = rest.find(source)) != std::string::npos;)
        rest.erase(at, source.size());
    EXPECT_FALSE(HasForeignSeparator(rest)) << printed;
    EXPECT_TRUE(FileExists(Mixed(dir, "disks") + "/files.4"));

    testing::internal::CaptureStderr();
    const int missing = QarcRun({"extract", Mixed(dir, "none") + "/x.1", Mixed(dir, "out")});
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(missing, 1);
    EXPECT_NE(errors.find("Cannot open the compressed file"), std::string::npos) << errors;
    EXPECT_FALSE(HasForeignSeparator(errors)) << errors;
}

} // namespace
