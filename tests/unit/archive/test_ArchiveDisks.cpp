// Splitting an archive over disk files and reading members across them.
#include "ArchiveTestSupport.h"

namespace {

struct Disks : ::testing::Test {
    TTempFolder dir;
    std::string arc = dir / "files.1";
    std::string disks = dir / "disks", other = dir / "other", out = dir / "out";
    std::string a, b, c;
    std::vector<TFileHeader> original; // headers of the one-file archive
    std::string data;                  // all member data in order

    Disks() {
        ForceDirectory(dir / "src");
        a = dir / "src" / "a.bin";
        b = dir / "src" / "b.bin";
        c = dir / "src" / "c.bin";
        MakeFile(a, RandomBytes(3000, 1));
        MakeFile(b, RandomBytes(6000, 2));
        MakeFile(c, RandomBytes(2000, 3));
        TQnfdCompress q;
        q.SetCompressedFile(arc);
        for (const auto& f : {a, b, c})
            q.FilesToProcess().Add(f);
        q.Compress(false, 0);
        std::string bytes = ReadWholeFile(arc);
        TFileHeaders list;
        TMemoryStream s;
        s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        list.LoadFromStream(s, 0);
        for (int i = 0; i < list.Count(); ++i) {
            original.push_back(list.FileHeaders(i));
            const TFileHeader& h = original.back();
            data += bytes.substr(static_cast<size_t>(h.DataStart), static_cast<size_t>(h.CompressedSize));
        }
    }
    int64_t HeaderBlock() const { return 5 + 3 * 172; }
    std::vector<TFileHeader> DiskHeaders() {
        std::string bytes = ReadWholeFile(disks / "set.1");
        TMemoryStream s;
        s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        TFileHeaders list;
        list.LoadFromStream(s, 0);
        std::vector<TFileHeader> v;
        for (int i = 0; i < list.Count(); ++i)
            v.push_back(list.FileHeaders(i));
        return v;
    }
};

TEST_F(Disks, MemberCrossesFromDiskTwoToThree) {
    TLimitedCompress q;
    // Disk 1 takes the header block and 1000 bytes of the first member's
    // only chunk; disk 2 takes 4000 bytes, so the second member goes on to disk 3.
    q.DiskCapacities = {HeaderBlock() + 1000, 4000, 5000, 100000};
    std::vector<std::pair<int, std::string>> asked;
    q.OnNewDisk = [&](TQnfdCompress&, int disk, std::string& path) {
        asked.emplace_back(disk, path);
        if (disk == 3)
            path = other; // later disks go to another folder
    };
    q.SetCompressedFile(arc);
    q.SpanToDisks(disks, "set.1");
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0], std::make_pair(2, disks));
    EXPECT_EQ(asked[1], std::make_pair(3, disks));
    EXPECT_EQ(asked[2], std::make_pair(4, other));

    std::string d1 = ReadWholeFile(disks / "set.1"), d2 = ReadWholeFile(disks / "set.2");
    std::string d3 = ReadWholeFile(other / "set.3"), d4 = ReadWholeFile(other / "set.4");
    EXPECT_EQ(d1.size(), static_cast<size_t>(HeaderBlock() + 1000));
    EXPECT_EQ(d2.size(), 4000u);
    EXPECT_EQ(d3.size(), 5000u);
    EXPECT_EQ(d1.substr(static_cast<size_t>(HeaderBlock())) + d2 + d3 + d4, data);

    std::vector<TFileHeader> h = DiskHeaders();
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h[0].StartDisk, 1);
    EXPECT_EQ(h[0].DataStart, HeaderBlock());
    EXPECT_EQ(h[0].EndDisk, 2);
    EXPECT_EQ(h[0].EndOffset, original[0].CompressedSize - 1000 - 1);
    EXPECT_EQ(h[1].StartDisk, 2);
    EXPECT_EQ(h[1].EndDisk, 3);
    EXPECT_EQ(h[1].DataStart, original[0].CompressedSize - 1000);
    EXPECT_EQ(h[1].EndOffset, h[1].DataStart + original[1].CompressedSize - 4000 - 1);
    EXPECT_EQ(h[2].StartDisk, 3);
    EXPECT_EQ(h[2].EndDisk, 4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(h[i].CompressedSize, original[i].CompressedSize);
        EXPECT_EQ(h[i].NextHeader, 5 + 172 * (i + 1));
    }

    // Reading: disk 3 is not beside disk 2, so it is asked for.
    asked.clear();
    TQnfdCompress r;
    r.SetCompressedFile(disks / "set.1");
    r.ExtractDirectory = out;
    r.OnNewDisk = [&](TQnfdCompress&, int disk, std::string& path) {
        asked.emplace_back(disk, path);
        path = other;
    };
    r.FilesToProcess().Add(b);
    r.FilesToProcess().Add(c);
    r.Extract();
    EXPECT_EQ(ReadWholeFile(out / "b.bin"), ReadWholeFile(b));
    EXPECT_EQ(ReadWholeFile(out / "c.bin"), ReadWholeFile(c));
    ASSERT_GE(asked.size(), 1u);
    EXPECT_EQ(asked[0], std::make_pair(3, disks));
    // The name now points at the disk file read last.
    EXPECT_TRUE(SameText(r.CompressedFile(), other / "set.4"));
}

TEST_F(Disks, WithoutAHandlerNoNewDiskCanBeHad) {
    TLimitedCompress q;
    q.DiskCapacities = {HeaderBlock() + 1000, 100000};
    q.SetCompressedFile(arc);
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { q.SpanToDisks(disks, "set.1"); }),
              "There was no event handler for the OnNewDisk event, therefore no new disk could be inserted");

    TLimitedCompress ok;
    ok.DiskCapacities = {HeaderBlock() + 1000, 100000};
    ok.OnNewDisk = [](TQnfdCompress&, int, std::string&) {};
    ok.SetCompressedFile(arc);
    ok.SpanToDisks(disks, "set.1");
    RemoveFile(disks / "set.2");
    TQnfdCompress r;
    r.SetCompressedFile(disks / "set.1");
    r.ExtractDirectory = out;
    r.FilesToProcess().Add(a);
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { r.Extract(); }), "Could not open the correct disk file 2");

    // A handler that never finds it: four attempts, then the name.
    int calls = 0;
    r.SetCompressedFile(disks / "set.1");
    r.OnNewDisk = [&](TQnfdCompress&, int, std::string&) { ++calls; };
    r.FilesToProcess().Add(a);
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { r.Extract(); }),
              Format("Cannot open the compressed file %s", {disks / "set.2"}));
    EXPECT_EQ(calls, 4);
}

TEST_F(Disks, NewDiskTooSmallForTheRestOfAChunk) {
    TLimitedCompress q;
    q.DiskCapacities = {HeaderBlock() + 1000, 500};
    q.OnNewDisk = [](TQnfdCompress&, int, std::string&) {};
    q.SetCompressedFile(arc);
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { q.SpanToDisks(disks, "set.1"); }),
              "There is too little space on this disk to operate");
}

TEST_F(Disks, ATruncatedDiskFileDamagesItsMember) {
    TLimitedCompress q;
    q.DiskCapacities = {HeaderBlock() + 1000, 4000, 100000};
    q.OnNewDisk = [](TQnfdCompress&, int, std::string&) {};
    q.SetCompressedFile(arc);
    q.SpanToDisks(disks, "set.1");
    std::string d3 = ReadWholeFile(disks / "set.3");
    WriteTextFile(disks / "set.3", d3.substr(0, 100));
    TQnfdCompress r;
    r.SetCompressedFile(disks / "set.1");
    r.ExtractDirectory = out;
    r.FilesToProcess().Add(b);
    // The message names the disk file that ends too soon.
    EXPECT_EQ(MessageOf<EqcDamagedMember>([&] { r.Extract(); }),
              Format("The data of the file b.bin in the archive %s are damaged", {disks / "set.3"}));
    EXPECT_FALSE(FileExists(out / "b.bin"));
}

TEST_F(Disks, AbortEndsTheSplitQuietly) {
    int aborted = 0;
    TQnfdCompress q;
    q.SetCompressedFile(arc);
    q.OnStatus = [](TQnfdCompress& c, const TlzhFileStats& s) {
        if (s.TotalDone > 4000)
            c.Abort = true;
    };
    q.OnAborted = [&](TQnfdCompress&) { ++aborted; };
    EXPECT_NO_THROW(q.SpanToDisks(disks, "set.1"));
    EXPECT_EQ(aborted, 1);
}

TEST_F(Disks, DiskSetsAreNeitherSplitAgainNorAppendedTo) {
    TQnfdCompress q;
    q.SetCompressedFile(arc);
    q.SpanToDisks(disks, "set.dat"); // disk 1 is always named .1
    ASSERT_TRUE(FileExists(disks / "set.1"));
    std::string before = ReadWholeFile(disks / "set.1");
    TQnfdCompress s;
    s.SetCompressedFile(disks / "set.1");
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { s.SpanToDisks(other, "again.1"); }),
              Format("The archive %s is already split over disks", {disks / "set.1"}));
    s.FilesToProcess().Add(a);
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { s.Compress(true, 0); }),
              Format("Cannot append to the archive %s: it is split over disks", {disks / "set.1"}));
    EXPECT_EQ(ReadWholeFile(disks / "set.1"), before);
    // Splitting onto the archive itself is refused before anything is written.
    TQnfdCompress self;
    self.SetCompressedFile(arc);
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { self.SpanToDisks(dir.Path(), "files.1"); }),
              Format("Cannot create the file %s", {dir / "files.1"}));
    EXPECT_GT(FileSizeOf(arc), 11000);
}

} // namespace
