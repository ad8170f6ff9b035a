// Byte layouts of the archive and the header list.
#include "ArchiveTestSupport.h"

namespace {

struct TwoMembers {
    TTempFolder dir;
    std::string a = dir / "alpha.txt", b = dir / "beta.bin", arc = dir / "out" / "files.1";
    std::string ca, cb;
    TwoMembers() {
        ca = ContentCompressingTo(20, 1);
        cb = ContentCompressingTo(30, 100);
        MakeFile(a, ca);
        MakeFile(b, cb, SomeDate(8));
    }
    void Compress(TQnfdCompress& c) {
        c.SetCompressedFile(arc);
        c.FilesToProcess().Add(a);
        c.FilesToProcess().Add(b + ";extra field");
        c.Compress(false, 7);
    }
};

TEST(ArchiveFormat, EmptyArchiveIsTheFiveBytePrefix) {
    TTempFolder dir;
    TQnfdCompress c;
    c.SetCompressedFile(dir / "empty.arc");
    c.Compress(false, 0);
    EXPECT_EQ(ReadWholeFile(dir / "empty.arc"), std::string(5, '\0'));
    TQnfdCompress r;
    r.SetCompressedFile(dir / "empty.arc");
    EXPECT_EQ(r.FileCount(), 0);
}

TEST(ArchiveFormat, TwoMemberOneFileLayout) {
    TwoMembers m;
    TQnfdCompress c;
    m.Compress(c);
    std::string bytes = ReadWholeFile(m.arc);
    ASSERT_EQ(bytes.size(), 399u);
    EXPECT_EQ(Int32At(bytes, 0), 2);
    EXPECT_EQ(bytes[4], 0);
    // Header 1 at 5, header 2 at 197.
    EXPECT_EQ(Int32At(bytes, 5 + 0), 1);     // FileNumber
    EXPECT_EQ(Int32At(bytes, 5 + 16), 196);  // EndOffset
    EXPECT_EQ(Int32At(bytes, 5 + 124), 197); // NextHeader
    EXPECT_EQ(Int32At(bytes, 5 + 128), static_cast<int32_t>(m.ca.size()));
    EXPECT_EQ(Int32At(bytes, 5 + 132), 177); // DataStart
    EXPECT_EQ(Int32At(bytes, 5 + 136), 20);  // CompressedSize
    EXPECT_EQ(Int32At(bytes, 5 + 144), 7);   // FileID
    EXPECT_EQ(bytes[5 + 12], 0);             // EndDisk
    EXPECT_EQ(bytes[5 + 140], 0);            // StartDisk
    EXPECT_EQ(static_cast<uint8_t>(bytes[5 + 20]), m.a.size());
    EXPECT_EQ(bytes.substr(5 + 21, m.a.size()), m.a);
    EXPECT_EQ(Int32At(bytes, 197 + 0), 2);
    EXPECT_EQ(Int32At(bytes, 197 + 16), 398);
    EXPECT_EQ(Int32At(bytes, 197 + 124), 399);
    EXPECT_EQ(Int32At(bytes, 197 + 132), 369);
    EXPECT_EQ(Int32At(bytes, 197 + 136), 30);
    // The stored path is the first field of the item only.
    EXPECT_EQ(bytes.substr(197 + 21, static_cast<uint8_t>(bytes[197 + 20])), m.b);
    // Padding and the tails of the strings are zero in a new header.
    for (size_t at : {5 + 13, 5 + 14, 5 + 15, 5 + 121, 5 + 122, 5 + 123, 5 + 141, 5 + 169, 5 + 171})
        EXPECT_EQ(bytes[at], 0) << at;
    EXPECT_EQ(bytes.substr(5 + 21 + m.a.size(), 100 - m.a.size()), std::string(100 - m.a.size(), '\0'));
    // The dates are the files' DOS stamps.
    TFileHeader h;
    TFileHeaderRecord rec;
    std::copy(bytes.begin() + 197, bytes.begin() + 197 + 172, rec.begin());
    h.SetRecord(rec);
    EXPECT_DOUBLE_EQ(h.FileDate, SomeDate(8));
    // The data are the plain zlib streams.
    EXPECT_EQ(bytes.substr(177, 20), ZlibCompress(m.ca));
    EXPECT_EQ(bytes.substr(369, 30), ZlibCompress(m.cb));
}

TEST(ArchiveFormat, TwoMemberDiskSetTwin) {
    TwoMembers m;
    TQnfdCompress c;
    m.Compress(c);
    std::string one = ReadWholeFile(m.arc);
    c.SetCompressedFile(m.arc);
    c.SpanToDisks(m.dir / "disks", "set.1");
    ASSERT_FALSE(FileExists(m.dir / "disks" / "set.2"));
    std::string d = ReadWholeFile(m.dir / "disks" / "set.1");
    ASSERT_EQ(d.size(), 399u);
    EXPECT_EQ(Int32At(d, 0), 2);
    EXPECT_EQ(d[4], 1);
    EXPECT_EQ(Int32At(d, 5 + 124), 177);
    EXPECT_EQ(Int32At(d, 177 + 124), 349);
    EXPECT_EQ(Int32At(d, 5 + 132), 349);
    EXPECT_EQ(Int32At(d, 5 + 16), 368);
    EXPECT_EQ(Int32At(d, 177 + 132), 369);
    EXPECT_EQ(Int32At(d, 177 + 16), 398);
    for (size_t h : {5u, 177u}) {
        EXPECT_EQ(d[h + 140], 1);
        EXPECT_EQ(d[h + 12], 1);
    }
    EXPECT_EQ(d.substr(349), one.substr(177, 20) + one.substr(369, 30));

    TQnfdCompress r;
    r.SetCompressedFile(m.dir / "disks" / "set.1");
    r.ExtractDirectory = m.dir / "x";
    r.FilesToProcess().Add(m.b);
    r.FilesToProcess().Add(m.a);
    r.Extract();
    EXPECT_EQ(ReadWholeFile(m.dir / "x" / "beta.bin"), m.cb);
    EXPECT_EQ(ReadWholeFile(m.dir / "x" / "alpha.txt"), m.ca);
}

TEST(ArchiveFormat, HeaderListAtAnOffset) {
    TTempFolder dir;
    std::string bytes =
        HandMadeArchive({{"C:\\a\\one.txt", "first"}, {"C:\\a\\two.txt", "second member"}}, 1234);
    WriteTextFile(dir / "setup.exe", bytes);
    TFileHeaders list;
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    list.LoadFromStream(s, 1234);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_TRUE(list.FileHeaders(1).Stored);
    EXPECT_EQ(list.FileHeaders(1).FileName, "C:\\a\\two.txt");
    EXPECT_EQ(list.IndexOf("c:\\A\\TWO.TXT;whatever"), 1);
    EXPECT_EQ(list.IndexOf("C:\\a\\three.txt"), -1);

    // The list itself tells a short prefix from a damaged header.
    EXPECT_EQ(
        MessageOf<EQnfdCompress>([&] { list.LoadFromStream(s, static_cast<int32_t>(bytes.size()) - 3); }),
        "Could not read the file header count for the compressed file");
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { list.LoadFromStream(s, 1233); }), kCorruptMessage);

    TQnfdCompress c;
    c.SetCompressedFile(dir / "setup.exe");
    c.Offset = 1234;
    c.ExtractDirectory = dir / "out";
    c.FilesToProcess().Add("C:\\a\\two.txt");
    c.Extract();
    EXPECT_EQ(ReadWholeFile(dir / "out" / "two.txt"), "second member");
}

TEST(ArchiveFormat, LongPathsAreCutButFoundAndVersionsAreCut) {
    TTempFolder dir;
    std::string deep = dir.Path();
    while (deep.size() < 110)
        deep += "subfolder\\";
    ForceDirectory(deep);
    std::string src = deep + "file.txt";
    MakeFile(src, "content");
    TQnfdCompress c;
    c.SetCompressedFile(dir / "a.arc");
    c.FilesToProcess().Add(src);
    c.Compress(false, 1);
    ASSERT_EQ(c.FileCount(), 1);
    TQnfdCompress r;
    r.SetCompressedFile(dir / "a.arc");
    EXPECT_EQ(r.FileStats(0).FileName, "…" + src.substr(src.size() - 97));
    r.ExtractDirectory = dir / "out";
    r.FilesToProcess().Add(src);
    r.Extract();
    EXPECT_EQ(ReadWholeFile(dir / "out" / "file.txt"), "content");

    TFileHeader h;
    h.FileName = "x";
    h.FileVersion = "1.2.3.4.5.6.7.8.9.10.11";
    TFileHeader back;
    back.SetRecord(h.Record());
    EXPECT_EQ(back.FileVersion, "1.2.3.4.5.6.7.8.9.10");
}

TEST(ArchiveFormat, EmptyMemberHasAStreamAndRatioZero) {
    TTempFolder dir;
    MakeFile(dir / "empty.txt", "");
    TQnfdCompress c;
    c.SetCompressedFile(dir / "a.arc");
    c.FilesToProcess().Add(dir / "empty.txt");
    c.Compress(false, 1);
    TQnfdCompress r;
    r.SetCompressedFile(dir / "a.arc");
    TlzhFileStats s = r.FileStats(0);
    EXPECT_EQ(s.FileSize, 0);
    EXPECT_GT(s.CompressedSize, 0);
    EXPECT_EQ(s.Ratio, 0);
    r.ExtractDirectory = dir / "out";
    r.FilesToProcess().Add(dir / "empty.txt");
    r.Extract();
    EXPECT_EQ(FileSizeOf(dir / "out" / "empty.txt"), 0);
}

TEST(ArchiveFormat, ReadHeadersKeepPaddingAsRead) {
    TFileHeaderRecord raw{};
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<uint8_t>(i * 7 + 1);
    raw[20] = 5;  // name length
    raw[148] = 3; // version length
    TFileHeader h;
    h.SetRecord(raw);
    EXPECT_EQ(h.Record(), raw);
    EXPECT_EQ(h.FileName.size(), 5u);
    // A length byte beyond the field reads no further than the field.
    raw[20] = 250;
    h.SetRecord(raw);
    EXPECT_EQ(h.FileName.size(), 100u);
}

TEST(ArchiveFormat, IndexErrorsNameTheIndex) {
    TFileHeaders list;
    auto h = std::make_unique<TFileHeader>();
    h->FileName = "a";
    list.Add(std::move(h));
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { list.FileHeaders(-1); }),
              "-1 is an invalid TFileHeader index in TFileHeaders.GetFileHeaders");
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { list.FileHeaders(1); }),
              "1 is an invalid TFileHeader index in TFileHeaders.GetFileHeaders");
    auto blank = std::make_unique<TFileHeader>();
    blank->FileName = "   ";
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { list.Add(std::move(blank)); }),
              "Tried to add an invalid file header");

    TTempFolder dir;
    WriteTextFile(dir / "a.arc", HandMadeArchive({{"a", "x"}}));
    TQnfdCompress c;
    c.SetCompressedFile(dir / "a.arc");
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { c.FileStats(1); }),
              "Tried to access the 1th file. This file is not defined");
}

TEST(ArchiveFormat, TotalsAndPercentages) {
    EXPECT_EQ(PercentOf(1, 8), 12); // 12.5 rounds to even
    EXPECT_EQ(PercentOf(3, 8), 38); // 37.5 rounds to even
    EXPECT_EQ(PercentOf(5, 0), 0);
    EXPECT_EQ(PercentOf(10, 1), 255); // a byte at most
    TFileHeaders list;
    for (int i = 0; i < 2; ++i) {
        auto h = std::make_unique<TFileHeader>();
        h->FileName = "f" + std::to_string(i);
        h->FileSize = 1 << 30;
        h->CompressedSize = 1 << 29;
        list.Add(std::move(h));
    }
    TlzhFileStats s;
    s.TotalDone = 99;
    list.ComputeTotals(s);
    EXPECT_EQ(s.TotalSize, int64_t(1) << 31); // past a 32-bit total
    EXPECT_EQ(s.TotalRatio, 50);
    EXPECT_EQ(s.TotalDone, 0);
}

TEST(CompressionStream, DeflatesAndRefusesReadsAndSeeks) {
    TMemoryStream out;
    out.WriteBuffer("HEAD", 4);
    std::string data = RandomBytes(200000, 3);
    int progress = 0;
    {
        TCompressionStream z(colDefault, out);
        z.OnProgress = [&] { ++progress; };
        z.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
        EXPECT_EQ(z.Position(), 200000);
        char b;
        EXPECT_EQ(MessageOf<Exception>([&] { z.Read(&b, 1); }), "Invalid stream operation");
        EXPECT_EQ(MessageOf<Exception>([&] { z.Seek(0, TSeekOrigin::soBeginning); }),
                  "Invalid stream operation");
        z.Finish();
    }
    // Random data do not shrink: three full 64 KiB buffers went out with a call each.
    EXPECT_EQ(progress, 3);
    std::string z(out.Data().begin() + 4, out.Data().end());
    std::string back(data.size(), '\0');
    uLongf n = static_cast<uLongf>(back.size());
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(back.data()), &n, reinterpret_cast<const Bytef*>(z.data()),
                         static_cast<uLong>(z.size())),
              Z_OK);
    EXPECT_EQ(back, data);
    EXPECT_EQ(std::string(out.Data().begin(), out.Data().begin() + 4), "HEAD");
}

} // namespace
