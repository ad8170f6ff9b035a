// Stored names of members: paths of any length and script, names that could
// not be found again, and stored paths holding ";" or control characters.
#include "ArchiveTestSupport.h"
#include "qarc.h"

namespace {

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

std::string StoredName(const std::string& archive, int index) {
    TQnfdCompress r;
    r.SetCompressedFile(archive);
    return r.FileStats(index).FileName;
}

// A folder inside base deeper than 100 characters, named in several scripts.
std::string DeepFolder(const std::string& base) {
    std::string deep = base + "Ünïcødé Ordner €\\";
    while (Utf8Length(deep) - Utf8Length(base) <= 100)
        deep += "Verzeichnis ß日本\\";
    ForceDirectory(deep);
    return deep;
}

TEST(ArchiveNames, DeepNonAsciiFolderBuildsAndExtractsByNameAndWhole) {
    TTempFolder dir;
    const std::string deep = DeepFolder(dir.Path());
    ASSERT_TRUE(DirectoryExists(deep));
    const std::vector<std::pair<std::string, std::string>> files = {
        {"ångström.txt", "text with an accented name"},
        {"data.bin", RandomBytes(70000, 21)},
        {"日本語のファイル名.txt", "a name in Japanese"}};
    TQnfdCompress c;
    c.SetCompressedFile(dir / "files.1");
    for (const auto& [name, content] : files) {
        MakeFile(deep + name, content);
        c.FilesToProcess().Add(deep + name);
    }
    c.Compress(false, 7);

    // Each stored name is valid text of at most 100 bytes that still ends
    // with the member's own file name.
    for (int i = 0; i < 3; ++i) {
        const std::string stored = StoredName(dir / "files.1", i);
        EXPECT_LE(stored.size(), 100u);
        EXPECT_GE(stored.size(), 97u);
        EXPECT_TRUE(IsValidUtf8(stored)) << stored;
        EXPECT_EQ(ExtractFileName(stored), files[static_cast<size_t>(i)].first);
    }

    // By name: the full path, another letter case, and an item with a second field.
    TQnfdCompress r;
    r.SetCompressedFile(dir / "files.1");
    r.ExtractDirectory = dir / "byname";
    r.FilesToProcess().Add(deep + files[0].first);
    r.FilesToProcess().Add(UpperCase(deep) + files[1].first);
    r.FilesToProcess().Add(deep + files[2].first + ";second field");
    r.Extract();
    for (const auto& [name, content] : files)
        EXPECT_EQ(ReadWholeFile(dir / "byname" / name), content) << name;

    // Whole, and by name through the archive tool.
    ASSERT_EQ(QarcRun({"extract", dir / "files.1", dir / "whole"}), 0);
    for (const auto& [name, content] : files)
        EXPECT_EQ(ReadWholeFile(dir / "whole" / name), content) << name;
    ASSERT_EQ(QarcRun({"extract", dir / "files.1", dir / "tool", deep + files[2].first}), 0);
    EXPECT_EQ(ReadWholeFile(dir / "tool" / files[2].first), files[2].second);
    EXPECT_FALSE(FileExists(dir / "tool" / files[0].first));
}

TEST(ArchiveNames, CutsKeepWholeCharactersAndShortNamesAsTheyAre) {
    TTempFolder dir;
    std::string folder = dir / "x\\";
    while (folder.size() < 130)
        folder += "é€𝄞";
    ForceDirectory(folder);
    // Characters of 2, 3 and 4 bytes at every position around the cut.
    for (int shift = 0; shift < 9; ++shift) {
        const std::string path = folder + "\\" + std::string(static_cast<size_t>(shift) + 1, 'f') + ".txt";
        MakeFile(path, "cut " + std::to_string(shift));
        TQnfdCompress c;
        c.SetCompressedFile(dir / "cut.arc");
        c.FilesToProcess().Add(path);
        c.Compress(shift > 0, 1);
        const std::string stored = StoredName(dir / "cut.arc", shift);
        EXPECT_TRUE(IsValidUtf8(stored)) << shift;
        EXPECT_LE(stored.size(), 100u);
        EXPECT_GE(stored.size(), 97u);
        ASSERT_EQ(stored.substr(0, 3), "…");
        EXPECT_TRUE(EndsWith(path, stored.substr(3))) << shift;
    }
    TQnfdCompress r;
    r.SetCompressedFile(dir / "cut.arc");
    EXPECT_EQ(r.FileCount(), 9);

    // A name of exactly 100 bytes is stored byte for byte.
    std::string exact = dir.Path();
    exact += std::string(100 - exact.size() - 4, 'n') + ".txt";
    ASSERT_EQ(exact.size(), 100u);
    MakeFile(exact, "exact");
    TQnfdCompress c;
    c.SetCompressedFile(dir / "exact.arc");
    c.FilesToProcess().Add(exact);
    c.Compress(false, 1);
    const std::string bytes = ReadWholeFile(dir / "exact.arc");
    EXPECT_EQ(static_cast<uint8_t>(bytes.at(5 + 20)), 100);
    EXPECT_EQ(bytes.substr(5 + 21, 100), exact);
}

TEST(ArchiveNames, NamesThatCouldNotBeFoundAreRefusedBeforeAnythingChanges) {
    TTempFolder dir;
    // Two folders whose paths differ only before the last 100 bytes.
    std::string tail = "\\";
    while (tail.size() < 110)
        tail += "same folder\\";
    const std::string one = dir / "one" + tail + "file.txt", two = dir / "two" + tail + "file.txt";
    for (const auto& p : {one, two}) {
        ForceDirectory(ExtractFileDir(p));
        MakeFile(p, p);
    }
    MakeFile(dir / "small.txt", "small");
    const std::string arc = dir / "files.1";
    {
        TQnfdCompress c;
        c.SetCompressedFile(arc);
        c.FilesToProcess().Add(dir / "small.txt");
        c.FilesToProcess().Add(one);
        c.Compress(false, 1);
    }
    const std::string before = ReadWholeFile(arc);

    auto compress = [&](const std::string& archive, std::vector<std::string> items, bool append) {
        return MessageOf<EQnfdCompress>([&] {
            TQnfdCompress c;
            c.SetCompressedFile(archive);
            for (const auto& item : items)
                c.FilesToProcess().Add(item);
            c.Compress(append, 2);
        });
    };
    // A member already in the archive.
    std::string m = compress(arc, {two}, true);
    EXPECT_NE(m.find(two), std::string::npos) << m;
    EXPECT_NE(m.find("could never be found"), std::string::npos) << m;
    EXPECT_EQ(ReadWholeFile(arc), before);
    // Earlier in the same list, into an existing archive and into a new one.
    MakeFile(dir / "small2.txt", "second");
    m = compress(arc, {dir / "small2.txt", two, one}, false);
    EXPECT_NE(m.find(one), std::string::npos) << m;
    EXPECT_NE(m.find(two), std::string::npos) << m;
    EXPECT_NE(m.find("could never be found"), std::string::npos) << m;
    EXPECT_EQ(ReadWholeFile(arc), before);
    m = compress(dir / "new" / "files.1", {dir / "small.txt", dir / "small.txt"}, false);
    EXPECT_NE(m.find("could never be found"), std::string::npos) << m;
    EXPECT_FALSE(DirectoryExists(dir / "new"));

    // The member that is there is found by its own full path.
    TQnfdCompress r;
    r.SetCompressedFile(arc);
    r.ExtractDirectory = dir / "out";
    r.FilesToProcess().Add(one);
    r.Extract();
    EXPECT_EQ(ReadWholeFile(dir / "out" / "file.txt"), one);
}

// An archive that names its new members by file name alone (setup.1): members
// added before keep their paths, and two files of one name are still refused.
TEST(ArchiveNames, FileNamesOnlyNameTheNewMembersAndMustStillDiffer) {
    TTempFolder dir;
    const std::string old = dir / "author's folder" / "old.txt", bare = dir / "Ordner ß" / "setup.exe",
                      twin = dir / "other" / "SETUP.EXE";
    for (const auto& p : {old, bare, twin}) {
        ForceDirectory(ExtractFileDir(p));
        MakeFile(p, p);
    }
    const std::string arc = dir / "setup.1";
    auto add = [&](const std::string& path, bool append, bool namesOnly) {
        TQnfdCompress c;
        c.StoreFileNamesOnly = namesOnly;
        c.SetCompressedFile(arc);
        c.FilesToProcess().Add(path);
        c.Compress(append, 1);
    };
    add(old, false, false);
    add(bare, true, true);
    EXPECT_EQ(StoredName(arc, 0), old);
    EXPECT_EQ(StoredName(arc, 1), "setup.exe");
    const std::string before = ReadWholeFile(arc);
    const std::string m = MessageOf<EQnfdCompress>([&] { add(twin, true, true); });
    EXPECT_NE(m.find("could never be found"), std::string::npos) << m;
    EXPECT_EQ(ReadWholeFile(arc), before);

    // Found by its file name, and extracted whole beside the old member.
    TQnfdCompress r;
    r.SetCompressedFile(arc);
    r.ExtractDirectory = dir / "out";
    r.FilesToProcess().Add("Setup.exe");
    r.Extract();
    EXPECT_EQ(ReadWholeFile(dir / "out" / "setup.exe"), bare);
    ASSERT_EQ(QarcRun({"extract", arc, dir / "whole"}), 0);
    EXPECT_EQ(ReadWholeFile(dir / "whole" / "old.txt"), old);
    EXPECT_EQ(ReadWholeFile(dir / "whole" / "setup.exe"), bare);
}

TEST(ArchiveNames, SemicolonsAndControlCharactersInStoredPaths) {
    TTempFolder dir;
    const std::string tab = "C:\\tab\tdir\\y.txt", semi = "C:\\a;b\\x.txt";
    // "C:\a" is what the first field of the ";" name would find.
    WriteTextFile(dir / "odd.arc",
                  HandMadeArchive({{"C:\\a", "decoy"}, {tab, "tab member"}, {semi, "semicolon"}}));

    TQnfdCompress c;
    c.SetCompressedFile(dir / "odd.arc");
    c.ExtractDirectory = dir / "component";
    c.FilesToProcess().Add(semi);
    c.FilesToProcess().Add(tab);
    c.Extract();
    EXPECT_EQ(ReadWholeFile(dir / "component" / "x.txt"), "semicolon");
    EXPECT_EQ(ReadWholeFile(dir / "component" / "y.txt"), "tab member");
    EXPECT_FALSE(FileExists(dir / "component" / "a"));

    ASSERT_EQ(QarcRun({"test", dir / "odd.arc"}), 0);
    ASSERT_EQ(QarcRun({"extract", dir / "odd.arc", dir / "whole"}), 0);
    EXPECT_EQ(ReadWholeFile(dir / "whole" / "x.txt"), "semicolon");
    EXPECT_EQ(ReadWholeFile(dir / "whole" / "y.txt"), "tab member");
    EXPECT_EQ(ReadWholeFile(dir / "whole" / "a"), "decoy");
    ASSERT_EQ(QarcRun({"extract", dir / "odd.arc", dir / "semi", semi}), 0);
    EXPECT_EQ(ReadWholeFile(dir / "semi" / "x.txt"), "semicolon");
    EXPECT_FALSE(FileExists(dir / "semi" / "a"));
    ASSERT_EQ(QarcRun({"extract", dir / "odd.arc", dir / "tab", tab}), 0);
    EXPECT_EQ(ReadWholeFile(dir / "tab" / "y.txt"), "tab member");
    // The printed form of a name is not its stored form.
    EXPECT_EQ(QarcRun({"extract", dir / "odd.arc", dir / "printed", "C:\\tab?dir\\y.txt"}), 1);

    // A real file in a folder whose name holds ";" is added and found whole.
    ForceDirectory(dir / "a;b");
    MakeFile(dir / "a;b" / "x.txt", "from a folder with a semicolon");
    TQnfdCompress a;
    a.SetCompressedFile(dir / "real.arc");
    a.FilesToProcess().Add(dir / "a;b" / "x.txt");
    a.Compress(false, 1);
    EXPECT_EQ(StoredName(dir / "real.arc", 0), dir / "a;b" / "x.txt");
    ASSERT_EQ(QarcRun({"extract", dir / "real.arc", dir / "real", dir / "a;b" / "x.txt"}), 0);
    EXPECT_EQ(ReadWholeFile(dir / "real" / "x.txt"), "from a folder with a semicolon");
}

} // namespace
