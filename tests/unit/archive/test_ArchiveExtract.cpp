// Compressing, appending and extracting under the overwrite rules; damaged
// archives and unsafe names.
#include "ArchiveTestSupport.h"

namespace {

struct Fixture : ::testing::Test {
    TTempFolder dir;
    std::string arc = dir / "files.1";
    std::string out = dir / "out";
    Fixture() { ForceDirectory(out); }

    std::string Source(const std::string& name, const std::string& content, TDateTime date = SomeDate()) {
        std::string p = dir / "src" / name;
        ForceDirectory(dir / "src");
        MakeFile(p, content, date);
        return p;
    }
    void Compress(const std::vector<std::string>& files, bool append = false, int id = 0) {
        TQnfdCompress c;
        c.SetCompressedFile(arc);
        for (const auto& f : files)
            c.FilesToProcess().Add(f);
        c.Compress(append, id);
    }
    std::vector<std::string> Leftovers() {
        std::vector<std::string> v;
        for (const auto& n : ListDirectory(out))
            if (n.rfind("~qfd", 0) == 0)
                v.push_back(n);
        return v;
    }
};

TEST_F(Fixture, AppendAddsAfterTheOldEndAndLeavesOldMembers) {
    std::string a = Source("a.txt", std::string(5000, 'a')), b = Source("b.txt", "bbb");
    std::string c = Source("c.txt", RandomBytes(70000, 9));
    Compress({a, b}, false, 3);
    std::string before = ReadWholeFile(arc);
    Compress({c}, true, 5);
    std::string after = ReadWholeFile(arc);
    EXPECT_EQ(Int32At(after, 0), 3);
    EXPECT_EQ(after.substr(4, before.size() - 4), before.substr(4));
    EXPECT_EQ(Int32At(after, before.size()), 1); // FileNumber of the new member
    EXPECT_EQ(Int32At(after, before.size() + 132), static_cast<int32_t>(before.size() + 172));

    TQnfdCompress r;
    r.SetCompressedFile(arc);
    EXPECT_EQ(r.FileCount(), 3);
    EXPECT_EQ(r.HeaderIndexOfID(3), 1); // the later member with an identifier wins
    EXPECT_EQ(r.HeaderIndexOfID(5), 2);
    EXPECT_EQ(r.HeaderIndexOfID(4), -1);
    EXPECT_EQ(r.HeaderIndexOfID(2000), -1);
    EXPECT_EQ(r.HeaderIndexOfID(-1), -1);
    r.ExtractDirectory = out;
    for (const auto& f : {a, b, c})
        r.FilesToProcess().Add(f);
    r.Extract();
    EXPECT_EQ(ReadWholeFile(out / "a.txt"), std::string(5000, 'a'));
    EXPECT_EQ(ReadWholeFile(out / "c.txt"), ReadWholeFile(c));
    TDateTime when;
    ASSERT_TRUE(FileGetModified(out / "c.txt", when));
    EXPECT_NEAR(when, SomeDate(), 1e-6);
}

TEST_F(Fixture, AppendRefusesDamagedArchivesAndItself) {
    std::string a = Source("a.txt", "A");
    Compress({a});
    std::string good = ReadWholeFile(arc);
    WriteTextFile(arc, good + "trailing bytes");
    TQnfdCompress c;
    c.SetCompressedFile(arc);
    c.FilesToProcess().Add(a);
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { c.Compress(true, 0); }), kCorruptMessage);
    EXPECT_EQ(ReadWholeFile(arc), good + "trailing bytes");
    WriteTextFile(arc, good);
    c.FilesToProcess().Add(arc);
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { c.Compress(true, 0); }),
              Format("The archive %s cannot be added to itself", {arc}));
    // A missing source is found before an existing archive is emptied.
    c.FilesToProcess().Add(dir / "src" / "missing.txt");
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { c.Compress(false, 0); }),
              Format("Cannot open the file %s", {dir / "src" / "missing.txt"}));
    EXPECT_EQ(ReadWholeFile(arc), good);
}

TEST_F(Fixture, ProgressReachesTheWholeSize) {
    std::string big = Source("big.bin", RandomBytes(300000, 4));
    std::vector<TlzhFileStats> seen;
    TQnfdCompress c;
    c.SetCompressedFile(arc);
    c.FilesToProcess().Add(big);
    c.OnStatus = [&](TQnfdCompress&, const TlzhFileStats& s) { seen.push_back(s); };
    c.Compress(false, 0);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_TRUE(seen.back().Finished);
    EXPECT_EQ(seen.back().BytesDone, 300000);
    EXPECT_EQ(seen.back().FilePercent, 100);
    EXPECT_EQ(seen.back().TotalDone, 300000);

    seen.clear();
    c.ExtractDirectory = out;
    c.FilesToProcess().Add(big);
    c.Extract();
    // A status per block of 256 KiB, growing, then the finished one.
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_GT(seen[0].BytesDone, 0);
    EXPECT_LT(seen[0].BytesDone, 300000);
    EXPECT_FALSE(seen[0].Finished);
    EXPECT_EQ(seen[1].BytesDone, 300000);
    EXPECT_TRUE(seen.back().Finished);
    EXPECT_EQ(seen.back().BytesDone, 300000);
    EXPECT_EQ(seen.back().TotalPercent, 100);
    EXPECT_EQ(seen.back().FileName, big);
}

TEST_F(Fixture, DestNameAppliesOnceAndLosesItsPath) {
    std::string a = Source("a.txt", "A"), b = Source("b.txt", "B");
    Compress({a, b});
    TQnfdCompress r;
    r.SetCompressedFile(arc);
    r.ExtractDirectory = out;
    r.DestName = "renamed.txt";
    r.FilesToProcess().Add(a);
    r.FilesToProcess().Add(b);
    r.Extract();
    EXPECT_EQ(ReadWholeFile(out / "renamed.txt"), "A");
    EXPECT_EQ(ReadWholeFile(out / "b.txt"), "B");
    EXPECT_EQ(r.DestName, "");

    r.OnBeforeExtracting = [&](TQnfdCompress& q, const TlzhFileStats& s) {
        q.DestName = "..\\..\\elsewhere\\" + ExtractFileName(s.FileName) + ".new";
    };
    r.FilesToProcess().Add(a);
    r.Extract();
    EXPECT_EQ(ReadWholeFile(out / "a.txt.new"), "A");
    EXPECT_FALSE(DirectoryExists(dir / "elsewhere"));
}

TEST_F(Fixture, MissingMemberStopsButEarlierOnesStay) {
    std::string a = Source("a.txt", "A");
    Compress({a});
    TQnfdCompress r;
    r.SetCompressedFile(arc);
    r.ExtractDirectory = out;
    r.FilesToProcess().Add(a);
    r.FilesToProcess().Add("C:\\nowhere\\b.txt");
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { r.Extract(); }),
              Format("The file <C:\\nowhere\\b.txt> was not found in the archive <%s>", {arc}));
    EXPECT_EQ(ReadWholeFile(out / "a.txt"), "A");
    EXPECT_TRUE(r.Abort);
    EXPECT_EQ(r.FilesToProcess().Count(), 0);
}

TEST_F(Fixture, OverwriteRules) {
    std::string a = Source("a.txt", "incoming", SomeDate(10));
    Compress({a});
    ForceDirectory(out);
    struct Case {
        TOverwriteType mode;
        TDateTime existingDate;
        bool replaced;
    };
    const Case cases[] = {
        {owAlways, SomeDate(20), true},       {owNever, SomeDate(0), false},
        {owDate, SomeDate(10), false}, // same date: keep
        {owDate, SomeDate(8), true},          {owDate, SomeDate(12), false},
        {owVersion, SomeDate(0), false},    // neither has a version: equal, keep
        {owVersionDate, SomeDate(8), true}, // equal versions: by date
        {owVersionDate, SomeDate(10), false},
    };
    for (const Case& k : cases) {
        MakeFile(out / "a.txt", "existing", k.existingDate);
        int statuses = 0;
        bool finishedSeen = false;
        TQnfdCompress r;
        r.SetCompressedFile(arc);
        r.ExtractDirectory = out;
        r.Overwrite = k.mode;
        r.OnStatus = [&](TQnfdCompress&, const TlzhFileStats& s) {
            ++statuses;
            finishedSeen = s.Finished;
        };
        r.FilesToProcess().Add(a);
        r.Extract();
        EXPECT_EQ(ReadWholeFile(out / "a.txt"), k.replaced ? "incoming" : "existing") << k.mode;
        EXPECT_TRUE(finishedSeen);
        if (!k.replaced) {
            EXPECT_EQ(statuses, 1) << k.mode;
        }
    }
}

TEST_F(Fixture, ReplaceSkipAndRename) {
    std::string a = Source("a.txt", "incoming");
    Compress({a});
    MakeFile(out / "a.txt", "existing");
    TQnfdCompress r;
    r.SetCompressedFile(arc);
    r.ExtractDirectory = out;
    r.OnReplace = [](TQnfdCompress& q, const TlzhFileStats&) { q.DestName = "a.txt.replacement"; };
    r.FilesToProcess().Add(a);
    r.Extract();
    EXPECT_EQ(ReadWholeFile(out / "a.txt"), "existing");
    EXPECT_EQ(ReadWholeFile(out / "a.txt.replacement"), "incoming");

    r.OnReplace = nullptr;
    r.OnBeforeExtracting = [](TQnfdCompress& q, const TlzhFileStats&) { q.SkipFile = true; };
    r.FilesToProcess().Add(a);
    r.DestName = "skipped.txt";
    r.Extract();
    EXPECT_FALSE(FileExists(out / "skipped.txt"));
}

TEST_F(Fixture, AbortDuringCompressKeepsCompletedMembers) {
    std::string a = Source("a.txt", "small"), b = Source("b.bin", RandomBytes(400000, 5));
    Compress({a});
    int aborted = 0;
    TQnfdCompress c;
    c.SetCompressedFile(arc);
    c.FilesToProcess().Add(a);
    c.FilesToProcess().Add(b);
    c.OnStatus = [](TQnfdCompress& q, const TlzhFileStats& s) {
        if (s.FileName.find("b.bin") != std::string::npos)
            q.Abort = true;
    };
    c.OnAborted = [&](TQnfdCompress&) { ++aborted; };
    EXPECT_NO_THROW(c.Compress(false, 0));
    EXPECT_EQ(aborted, 1);
    TQnfdCompress r;
    r.SetCompressedFile(arc);
    ASSERT_EQ(r.FileCount(), 1);
    EXPECT_EQ(r.FileStats(0).FileName, a);
    r.ExtractDirectory = out;
    r.FilesToProcess().Add(a);
    r.Extract();
    EXPECT_EQ(ReadWholeFile(out / "a.txt"), "small");
}

TEST_F(Fixture, AbortDuringExtractKeepsTheOldFile) {
    std::string b = Source("b.bin", RandomBytes(100000, 6));
    Compress({b});
    MakeFile(out / "b.bin", "old");
    int aborted = 0;
    TQnfdCompress r;
    r.SetCompressedFile(arc);
    r.ExtractDirectory = out;
    r.OnStatus = [](TQnfdCompress& q, const TlzhFileStats& s) {
        if (s.BytesDone > 20000)
            q.Abort = true;
    };
    r.OnAborted = [&](TQnfdCompress&) { ++aborted; };
    r.FilesToProcess().Add(b);
    EXPECT_NO_THROW(r.Extract());
    EXPECT_EQ(aborted, 1);
    EXPECT_EQ(ReadWholeFile(out / "b.bin"), "old");
    EXPECT_TRUE(Leftovers().empty());
}

// A Cancel handled while the window's messages run after the last block:
// the request must not be lost.
TEST_F(Fixture, AbortDuringTheLastMessagesIsNotLost) {
    std::string b = Source("b.bin", RandomBytes(100000, 7));
    Compress({b});
    MakeFile(out / "b.bin", "old");
    int aborted = 0;
    TQnfdCompress r;
    r.SetCompressedFile(arc);
    r.ExtractDirectory = out;
    bool allWritten = false;
    r.OnStatus = [&](TQnfdCompress&, const TlzhFileStats& s) { allWritten = s.BytesDone == s.FileSize; };
    TQnfdCompress::SetProcessMessagesHook([&] {
        if (allWritten)
            r.Abort = true;
    });
    r.OnAborted = [&](TQnfdCompress&) { ++aborted; };
    r.FilesToProcess().Add(b);
    EXPECT_NO_THROW(r.Extract());
    TQnfdCompress::SetProcessMessagesHook(nullptr);
    EXPECT_EQ(aborted, 1);
    EXPECT_TRUE(r.Abort);
    EXPECT_EQ(ReadWholeFile(out / "b.bin"), "old");
    EXPECT_TRUE(Leftovers().empty());
}

// Each damage of a good two-member archive and the message it must give: a
// damaged member is named, and what was wrong with it is kept as its cause.
TEST_F(Fixture, DamagedArchivesFailWithTheirMessage) {
    const std::string good = HandMadeArchive({{"C:\\one.txt", "first member"}, {"C:\\two.txt", "second"}});
    const int32_t h2 = Int32At(good, 5 + 124);
    struct Damage {
        const char* what;
        std::function<void(std::string&)> apply;
        std::string message;
        std::string cause; // of a damaged member
    };
    const std::string damaged = Format("The data of the file two.txt in the archive %s are damaged", {arc});
    const Damage damages[] = {
        {"truncated header", [](std::string& s) { s.resize(100); }, kCorruptMessage, ""},
        {"truncated data", [](std::string& s) { s.resize(s.size() - 3); }, kCorruptMessage, ""},
        {"short prefix", [](std::string& s) { s.resize(3); }, kCorruptMessage, ""},
        {"count too big", [](std::string& s) { PutInt32At(s, 0, 3); }, kCorruptMessage, ""},
        {"huge count", [](std::string& s) { PutInt32At(s, 0, 0x7FFFFFFF); }, kCorruptMessage, ""},
        {"negative count", [](std::string& s) { PutInt32At(s, 0, -1); }, kCorruptMessage, ""},
        {"flag neither 0 nor 1", [](std::string& s) { s[4] = 7; }, kCorruptMessage, ""},
        {"chain going back", [](std::string& s) { PutInt32At(s, 5 + 124, 5); }, kCorruptMessage, ""},
        {"data past the end", [=](std::string& s) { PutInt32At(s, h2 + 16, 100000); }, kCorruptMessage, ""},
        {"data before its header", [=](std::string& s) { PutInt32At(s, h2 + 132, 10); }, kCorruptMessage, ""},
        {"negative size", [=](std::string& s) { PutInt32At(s, h2 + 128, -5); }, kCorruptMessage, ""},
        {"disk number in a one-file archive", [=](std::string& s) { s[h2 + 12] = 3; }, kCorruptMessage, ""},
        {"blank stored name", [=](std::string& s) { s[h2 + 20] = 0; }, kCorruptMessage, ""},
        {"size too small", [=](std::string& s) { PutInt32At(s, h2 + 128, 3); }, damaged,
         "they inflate to more than the 3 bytes its header gives"},
        {"size too big", [=](std::string& s) { PutInt32At(s, h2 + 128, 300); }, damaged,
         "they inflate to 6 bytes, its header gives 300"},
        {"bad zlib data", [=](std::string& s) { s[h2 + 172 + 3] ^= 0x55; }, damaged, "zlib: "},
        {"stream cut short", [=](std::string& s) { PutInt32At(s, h2 + 16, Int32At(s, h2 + 16) - 6); },
         damaged, "its compressed data end before the stream does"},
        // All data inflate to the right size, but the check value is missing.
        {"check value cut off", [=](std::string& s) { PutInt32At(s, h2 + 16, Int32At(s, h2 + 16) - 4); },
         damaged, "its compressed data end before the stream does, after 6 of 6 bytes"},
        {"wrong check value", [=](std::string& s) { s[static_cast<size_t>(Int32At(s, h2 + 16))] ^= 0x01; },
         damaged, "zlib: incorrect data check"},
    };
    for (const Damage& d : damages) {
        std::string bytes = good;
        d.apply(bytes);
        WriteTextFile(arc, bytes);
        MakeFile(out / "two.txt", "precious");
        TQnfdCompress r;
        r.SetCompressedFile(arc);
        r.ExtractDirectory = out;
        r.FilesToProcess().Add("C:\\two.txt");
        std::string msg, cause;
        try {
            r.Extract();
            msg = "no exception";
        } catch (const EqcDamagedMember& e) {
            msg = e.Message();
            cause = e.Cause();
        } catch (const Exception& e) {
            msg = e.Message();
        }
        EXPECT_EQ(msg, d.message) << d.what;
        EXPECT_EQ(cause.substr(0, d.cause.size()), d.cause) << d.what << ": " << cause;
        EXPECT_EQ(ReadWholeFile(out / "two.txt"), "precious") << d.what;
        EXPECT_TRUE(Leftovers().empty()) << d.what;
    }
}

TEST_F(Fixture, StreamInflatingPastItsSizeStopsEarly) {
    // 16 MiB of zeros claimed to be 10 bytes: nothing beyond is written.
    std::string bytes = HandMadeArchive({{"C:\\bomb.bin", std::string(16 << 20, '\0')}});
    PutInt32At(bytes, 5 + 128, 10);
    WriteTextFile(arc, bytes);
    int64_t most = 0;
    TQnfdCompress r;
    r.SetCompressedFile(arc);
    r.ExtractDirectory = out;
    r.OnStatus = [&](TQnfdCompress&, const TlzhFileStats& s) { most = std::max(most, s.BytesDone); };
    r.FilesToProcess().Add("C:\\bomb.bin");
    EXPECT_EQ(MessageOf<EqcDamagedMember>([&] { r.Extract(); }),
              Format("The data of the file bomb.bin in the archive %s are damaged", {arc}));
    EXPECT_EQ(most, 0);
    EXPECT_FALSE(FileExists(out / "bomb.bin"));
}

TEST_F(Fixture, StoredNamesNeverLeaveTheFolder) {
    WriteTextFile(arc, HandMadeArchive({{"..\\..\\up.txt", "1"},
                                        {"C:\\dir\\..", "2"},
                                        {"D:\\dev\\CON.txt", "3"},
                                        {"C:\\dir\\", "4"},
                                        {"a/b/../c.txt", "5"},
                                        {"C:evil.txt", "6"}}));
    auto extract = [&](const std::string& name) {
        TQnfdCompress r;
        r.SetCompressedFile(arc);
        r.ExtractDirectory = out;
        r.FilesToProcess().Add(name);
        return MessageOf<EQnfdCompress>([&] { r.Extract(); });
    };
    EXPECT_EQ(extract("..\\..\\up.txt"), "no exception");
    EXPECT_EQ(ReadWholeFile(out / "up.txt"), "1");
    EXPECT_EQ(extract("C:\\dir\\.."), "The name <..> cannot be used for an extracted file");
    EXPECT_EQ(extract("D:\\dev\\CON.txt"), "The name <CON.txt> cannot be used for an extracted file");
    EXPECT_EQ(extract("C:\\dir\\"), "The name <> cannot be used for an extracted file");
    EXPECT_EQ(extract("a/b/../c.txt"), "no exception");
    EXPECT_EQ(ReadWholeFile(out / "c.txt"), "5");
    EXPECT_EQ(extract("C:evil.txt"), "no exception");
    EXPECT_EQ(ReadWholeFile(out / "evil.txt"), "6");
    EXPECT_FALSE(FileExists(dir / "up.txt"));
    EXPECT_EQ(ListDirectory(dir.Path()).size(), 2u); // files.1 and out

    // A member skipped before extraction needs no usable name: the rest go on.
    TQnfdCompress r;
    r.SetCompressedFile(arc);
    r.ExtractDirectory = out;
    r.FilesToProcess().Add("C:\\dir\\..");
    r.FilesToProcess().Add("a/b/../c.txt");
    RemoveFile(out / "c.txt");
    int finished = 0;
    r.OnBeforeExtracting = [](TQnfdCompress& c, const TlzhFileStats& s) {
        c.SkipFile = s.FileName == "C:\\dir\\..";
    };
    r.OnStatus = [&](TQnfdCompress&, const TlzhFileStats& s) { finished += s.Finished ? 1 : 0; };
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { r.Extract(); }), "no exception");
    EXPECT_EQ(ReadWholeFile(out / "c.txt"), "5");
    EXPECT_EQ(finished, 2);
}

TEST_F(Fixture, AMemberNeverReplacesTheArchiveItIsReadFrom) {
    // A member named like the archive, extracted into the archive's folder
    // (the folder named another way), would cost the members still to come.
    ForceDirectory(dir / "src");
    std::string inner = dir / "src" / "files.1";
    MakeFile(inner, "a member named like the archive");
    std::string b = Source("b.txt", "B");
    Compress({inner, b});
    const std::string before = ReadWholeFile(arc);
    TQnfdCompress r;
    r.SetCompressedFile(arc);
    r.ExtractDirectory = out / ".." / "." / "";
    r.FilesToProcess().Add(inner);
    r.FilesToProcess().Add(b);
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { r.Extract(); }),
              Format("Cannot create the file %s", {r.ExtractDirectory + "files.1"}));
    EXPECT_EQ(ReadWholeFile(arc), before);

    // Nor does one replace a disk file of the set being read.
    r.SpanToDisks(dir / "disks", "set.1");
    TQnfdCompress d;
    d.SetCompressedFile(dir / "disks" / "set.1");
    d.ExtractDirectory = dir / "disks";
    d.DestName = "SET.2";
    d.FilesToProcess().Add(b);
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { d.Extract(); }),
              Format("Cannot create the file %s", {dir / "disks" / "SET.2"}));
    d.DestName = "set.2x";
    d.FilesToProcess().Add(b);
    d.Extract();
    EXPECT_EQ(ReadWholeFile(dir / "disks" / "set.2x"), "B");
}

TEST_F(Fixture, FullDiskRaisesOrGoesToTheHandler) {
    std::string b = Source("b.bin", RandomBytes(50000, 7));
    TLimitedCompress c;
    c.ArchiveCapacity = 10000;
    c.SetCompressedFile(arc);
    c.FilesToProcess().Add(b);
    EXPECT_EQ(MessageOf<EqcDiskFull>([&] { c.Compress(false, 0); }), "The disk is full");
    EXPECT_TRUE(c.Abort);

    int calls = 0;
    c.OnFullDisk = [&](TQnfdCompress&) { ++calls; };
    c.FilesToProcess().Add(b);
    EXPECT_NO_THROW(c.Compress(false, 0));
    EXPECT_EQ(calls, 1);
}

TEST_F(Fixture, FilesToProcessSetterDropsBlankItems) {
    TStringList items{"a", "  ", "", "b"};
    TQnfdCompress c;
    c.SetFilesToProcess(items);
    EXPECT_EQ(items, (TStringList{"a", "b"}));
    EXPECT_EQ(c.FilesToProcess(), items);
}

TEST_F(Fixture, SwitchingDiskFilesOfOneSetKeepsTheHeaders) {
    std::string a = Source("a.txt", "A");
    Compress({a});
    TQnfdCompress r;
    r.SetCompressedFile(arc);
    ASSERT_EQ(r.FileCount(), 1);
    RenameFile(arc, dir / "moved.1");
    r.SetCompressedFile(dir / "FILES.2");
    EXPECT_EQ(r.FileCount(), 1);
    r.SetCompressedFile(dir / "other.1");
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { r.FileCount(); }),
              Format("Cannot open the compressed file %s", {dir / "other.1"}));
}

TEST_F(Fixture, CopyPlainFileFollowsTheRuleAndKeepsTheOldFileOnAbort) {
    std::string a = Source("a.txt", RandomBytes(40000, 8), SomeDate(30));
    TQnfdCompress c;
    c.CopyPlainFile(a, out / "copy.txt");
    EXPECT_EQ(ReadWholeFile(out / "copy.txt"), ReadWholeFile(a));
    TDateTime when;
    ASSERT_TRUE(FileGetModified(out / "copy.txt", when));
    EXPECT_NEAR(when, SomeDate(30), 1e-6);

    MakeFile(out / "copy.txt", "old", SomeDate(40));
    c.Overwrite = owDate;
    c.CopyPlainFile(a, out / "copy.txt");
    EXPECT_EQ(ReadWholeFile(out / "copy.txt"), "old");

    c.Overwrite = owAlways;
    c.OnStatus = [](TQnfdCompress& q, const TlzhFileStats& s) {
        if (s.BytesDone >= 16384)
            q.Abort = true;
    };
    c.CopyPlainFile(a, out / "copy.txt");
    EXPECT_EQ(ReadWholeFile(out / "copy.txt"), "old");
    EXPECT_TRUE(Leftovers().empty());
}

} // namespace
