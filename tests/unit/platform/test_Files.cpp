#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Files.h"
#include "support/TempFolder.h"
#include <gtest/gtest.h>

TEST(Files, PathText) {
    EXPECT_EQ(ExtractFilePath("C:\\dir\\file.txt"), "C:\\dir\\");
    EXPECT_EQ(ExtractFileName("C:\\dir\\file.txt"), "file.txt");
    EXPECT_EQ(ExtractFileName("C:file"), "file");
    EXPECT_EQ(ExtractFileDir("C:\\dir\\file.txt"), "C:\\dir");
    EXPECT_EQ(ExtractFileDir("C:\\file.txt"), "C:\\");
    EXPECT_EQ(ExtractFileExt("C:\\d.ir\\file"), "");
    EXPECT_EQ(ExtractFileExt("a.tar.gz"), ".gz");
    EXPECT_EQ(ChangeFileExt("C:\\d.ir\\file", ".scr"), "C:\\d.ir\\file.scr");
    EXPECT_EQ(ChangeFileExt("x.exe", ".1"), "x.1");
}

TEST(Files, ForceDirectoryCreatesEveryMissingParent) {
    TTempFolder tmp;
    std::string deep = tmp / "a\\b\\c\\";
    ForceDirectory(deep);
    EXPECT_TRUE(DirectoryExists(tmp / "a\\b\\c"));
    ForceDirectory(deep); // existing: nothing to do, nothing raised
    EXPECT_THROW(ForceDirectory(""), EInOutError);
    try {
        ForceDirectory("");
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "Unable to create directory");
    }
    // A drive root (two characters once the backslash is dropped) is left alone.
    EXPECT_NO_THROW(ForceDirectory("Q:\\"));
}

// Runs a test inside a folder and goes back afterwards.
struct TInFolder {
    std::string Old = GetCurrentDir();
    explicit TInFolder(const std::string& dir) { EXPECT_TRUE(SetCurrentDir(dir)) << dir; }
    ~TInFolder() { SetCurrentDir(Old); }
};

TEST(Files, ForceDirectoryMakesShortRelativeNamesButNoDriveRoot) {
    TTempFolder tmp;
    TInFolder in(tmp.Path());
    for (const char* d : {"x", "o2", "ab/newdir", "cd\\ef\\", "g/h/"})
        ForceDirectory(d);
    for (const char* d : {"x", "o2", "ab", "ab\\newdir", "cd", "cd\\ef", "g\\h"})
        EXPECT_TRUE(DirectoryExists(tmp / d)) << d;
    // A letter and a colon name a drive: nothing is made for it, even where
    // the platform would take it for a folder name.
    for (const char* d : {"Q:", "Q:\\", "q:/"})
        EXPECT_NO_THROW(ForceDirectory(d)) << d;
    EXPECT_EQ(ListDirectory(tmp.Path()).size(), 5u);
}

TEST(Files, StreamsReadWriteSeekAndReportErrors) {
    TTempFolder tmp;
    std::string name = tmp / "data.bin";
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer("hello world", 11);
        EXPECT_EQ(f.Size(), 11);
        f.SetPosition(6);
        char buf[5];
        f.ReadBuffer(buf, 5);
        EXPECT_EQ(std::string(buf, 5), "world");
        EXPECT_THROW(f.ReadBuffer(buf, 1), EReadError);
        f.SetSize(5);
        EXPECT_EQ(f.Size(), 5);
    }
    EXPECT_EQ(FileSizeOf(name), 5);
    EXPECT_EQ(ReadWholeFile(name), "hello");
    EXPECT_THROW(TFileStream(tmp / "missing.bin", fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(tmp / "no\\such\\dir\\x", fmCreate), EFCreateError);
    try {
        TFileStream f(tmp / "missing.bin", fmOpenRead);
    } catch (const EFOpenError& e) {
        EXPECT_NE(e.Message().find("Cannot open file \"" + tmp / "missing.bin\""), std::string::npos);
    }
}

TEST(Files, RenameCopyDeleteAndList) {
    TTempFolder tmp;
    WriteTextFile(tmp / "a.txt", "A");
    WriteTextFile(tmp / "b.txt", "B");
    EXPECT_FALSE(RenameFile(tmp / "a.txt", tmp / "b.txt", false));
    EXPECT_EQ(ReadWholeFile(tmp / "b.txt"), "B");
    EXPECT_TRUE(RenameFile(tmp / "a.txt", tmp / "b.txt", true));
    EXPECT_EQ(ReadWholeFile(tmp / "b.txt"), "A");
    EXPECT_FALSE(FileExists(tmp / "a.txt"));
    EXPECT_TRUE(CopyFileTo(tmp / "b.txt", tmp / "c.txt", true));
    EXPECT_FALSE(CopyFileTo(tmp / "b.txt", tmp / "c.txt", true));
    CreateDir(tmp / "sub");
    auto names = ListDirectory(tmp.Path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"b.txt", "c.txt", "sub\\"}));
    EXPECT_TRUE(RemoveFile(tmp / "c.txt"));
    EXPECT_FALSE(FileExists(tmp / "c.txt"));
    EXPECT_FALSE(FileExists(tmp / "sub"));
    EXPECT_TRUE(DirectoryExists(tmp / "sub"));
    EXPECT_GT(DiskFreeBytes(tmp / "sub\\not\\yet"), 0);
}

TEST(Files, DateTimesRoundTrip) {
    TDateTime dt = EncodeDateTime(2001, 2, 28, 13, 45, 30);
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(dt, y, mo, d, h, mi, s, ms);
    EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, s, ms}), (std::vector<int>{2001, 2, 28, 13, 45, 30, 0}));
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1, 12), 2.5);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(DateTimeToFileTime(dt)), dt);
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(DateTimeToDosDateTime(dt)), dt);
    // 1601-01-01 is file time zero.
    EXPECT_EQ(DateTimeToFileTime(EncodeDateTime(1601, 1, 1)), 0u);

    TTempFolder tmp;
    WriteTextFile(tmp / "t.txt", "x");
    ASSERT_TRUE(FileSetModified(tmp / "t.txt", dt));
    TDateTime back = 0;
    ASSERT_TRUE(FileGetModified(tmp / "t.txt", back));
    EXPECT_NEAR(back, dt, 1.0 / 86400);
}
