// The extraction information: its bytes as the build mode writes them, and
// the reader's verdict on damaged and cut files.
#include "LoaderTestSupport.h"
#include <zlib.h>

namespace {

std::string Bytes(const TExtractionInfoBytes& b) {
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

TExtractionInfoBytes FromString(const std::string& s) {
    TExtractionInfoBytes b{};
    std::copy(s.begin(), s.end(), b.begin());
    return b;
}

// A file of `stub` bytes, then setup.1 and files.1 of the given sizes, then the record.
std::string SelfExtractor(int stub, int setup1, int files1,
                          const std::string& title = "SaverName Screen Saver") {
    TExtractionInfo info;
    info.Setup1Start = stub;
    info.Setup1End = stub + setup1 - 1;
    if (files1) {
        info.Files1Start = stub + setup1;
        info.Files1End = stub + setup1 + files1 - 1;
    }
    info.ProductTitle = title;
    return std::string(static_cast<size_t>(stub + setup1 + files1), 'x') + Bytes(EncodeExtractionInfo(info));
}

TExtractionInfoState Check(const std::string& file, TExtractionInfo& info) {
    TMemoryStream s;
    s.WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
    return ReadExtractionInfo(s, info);
}

std::unique_ptr<TMemoryStream> StreamOf(const std::string& file) {
    auto s = std::make_unique<TMemoryStream>();
    s->WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
    return s;
}

// A file as the build makes it: the front (a loading program), setup.1 and
// files.1 of the given sizes, zeros up to an 8-byte boundary and the record
// with its checksum.
std::string SealedFile(const std::string& front, int setup1, int files1) {
    TMemoryStream s;
    s.WriteBuffer(front.data(), static_cast<int64_t>(front.size()));
    TExtractionInfo info;
    info.Setup1Start = static_cast<Integer>(front.size());
    info.Setup1End = info.Setup1Start + setup1 - 1;
    info.Files1Start = info.Setup1End + 1;
    info.Files1End = info.Files1Start + files1 - 1;
    info.ProductTitle = "Sealed Screen Saver";
    std::string parts =
        std::string(static_cast<size_t>(setup1), 's') + std::string(static_cast<size_t>(files1), 'f');
    s.WriteBuffer(parts.data(), static_cast<int64_t>(parts.size()));
    while ((s.Position() + kExtractionInfoSize) % 8)
        s.WriteBuffer("", 1);
    const int64_t at = s.Position();
    EXPECT_TRUE(SealExtractionInfo(s, at, info));
    s.SetPosition(at);
    WriteExtractionInfo(s, info);
    std::string bytes(static_cast<size_t>(s.Size()), '\0');
    s.SetPosition(0);
    s.ReadBuffer(bytes.data(), s.Size());
    return bytes;
}

// What the reader finds in file: the record's end, its state and the checksum's verdict.
struct TFound {
    int64_t End;
    TExtractionInfoState State, Checksum;
};

TFound Find(const std::string& file) {
    auto s = StreamOf(file);
    TExtractionInfoBytes bytes;
    TFound f{};
    ReadExtractionInfoBytes(*s, bytes, f.End);
    TExtractionInfo info;
    f.State = CheckExtractionInfo(bytes, f.End, info);
    f.Checksum =
        f.State == TExtractionInfoState::eiValid ? VerifyExtractionChecksum(*s, f.End, bytes) : f.State;
    return f;
}

// Changes the 4 bytes at offset `field` of the record at the end of file.
std::string WithField(std::string file, int field, int32_t v) {
    file.replace(file.size() - kExtractionInfoSize + static_cast<size_t>(field), 4, Int32Bytes(v));
    return file;
}

TEST(ExtractionInfo, TheRecordLiesByteForByteAsLaidOut) {
    TExtractionInfo info;
    info.Setup1Start = 0x12345;
    info.Setup1End = 0x23456;
    info.Files1Start = 0x23457;
    info.Files1End = 0x7FFFFFFF;
    info.ProductTitle = "SaverName Screen Saver";
    std::string b = Bytes(EncodeExtractionInfo(info));
    ASSERT_EQ(b.size(), 136u);
    EXPECT_EQ(b.substr(0, 16), std::string("\x0ESELFEXTRACTING") + '\0');
    EXPECT_EQ(b.substr(16, 4), Int32Bytes(0x12345));
    EXPECT_EQ(b.substr(20, 4), Int32Bytes(0x23456));
    EXPECT_EQ(b.substr(24, 4), Int32Bytes(0x23457));
    EXPECT_EQ(b.substr(28, 4), Int32Bytes(0x7FFFFFFF));
    EXPECT_EQ(b.substr(32, 21), std::string(21, '\0'));
    EXPECT_EQ(b[53], static_cast<char>(22));
    EXPECT_EQ(b.substr(54, 22), "SaverName Screen Saver");
    EXPECT_EQ(b.substr(76), std::string(136 - 76, '\0'));

    TExtractionInfo back = DecodeExtractionInfo(FromString(b));
    EXPECT_EQ(back.Setup1Start, info.Setup1Start);
    EXPECT_EQ(back.Setup1End, info.Setup1End);
    EXPECT_EQ(back.Files1Start, info.Files1Start);
    EXPECT_EQ(back.Files1End, info.Files1End);
    EXPECT_EQ(back.ProductTitle, info.ProductTitle);
    EXPECT_TRUE(HasExtractionMagic(FromString(b)));
}

TEST(ExtractionInfo, TheTitleIsCutTo80BytesWithoutSplittingACharacter) {
    TExtractionInfo info;
    info.ProductTitle = std::string(79, 'a') + "\xC3\xA9" + "zzz"; // 'é' would end at byte 81
    std::string b = Bytes(EncodeExtractionInfo(info));
    EXPECT_EQ(b[53], static_cast<char>(79));
    EXPECT_EQ(b.substr(54, 80), std::string(79, 'a') + '\0');
    info.ProductTitle = std::string(100, 'b');
    b = Bytes(EncodeExtractionInfo(info));
    EXPECT_EQ(b[53], static_cast<char>(80));
    EXPECT_EQ(DecodeExtractionInfo(FromString(b)).ProductTitle, std::string(80, 'b'));
    EXPECT_EQ(b.substr(134), std::string(2, '\0'));
}

TEST(ExtractionInfo, AGoodFileReadsBackWithAndWithoutFiles1) {
    TExtractionInfo info;
    ASSERT_EQ(Check(SelfExtractor(1000, 300, 500), info), TExtractionInfoState::eiValid);
    EXPECT_EQ(info.Setup1Start, 1000);
    EXPECT_EQ(info.Setup1End, 1299);
    EXPECT_EQ(info.Files1Start, 1300);
    EXPECT_EQ(info.Files1End, 1799);
    EXPECT_TRUE(info.HasFiles1());
    EXPECT_EQ(info.ProductTitle, "SaverName Screen Saver");

    // No files.1: zeros at 24 and 28.
    std::string bare = SelfExtractor(1000, 300, 0);
    EXPECT_EQ(bare.substr(bare.size() - 136 + 24, 8), std::string(8, '\0'));
    ASSERT_EQ(Check(bare, info), TExtractionInfoState::eiValid);
    EXPECT_FALSE(info.HasFiles1());
}

TEST(ExtractionInfo, TheNewestOfSeveralRecordsWins) {
    // A second build appends to what the first one left.
    std::string first = SelfExtractor(1000, 300, 500);
    TExtractionInfo second;
    second.Setup1Start = static_cast<Integer>(first.size()) + 10;
    second.Setup1End = second.Setup1Start + 99;
    second.ProductTitle = "Second Screen Saver";
    std::string file = first + std::string(10 + 100, 'y') + Bytes(EncodeExtractionInfo(second));
    TExtractionInfo info;
    ASSERT_EQ(Check(file, info), TExtractionInfoState::eiValid);
    EXPECT_EQ(info.Setup1Start, second.Setup1Start);
    EXPECT_EQ(info.Setup1End, second.Setup1End);
    EXPECT_FALSE(info.HasFiles1());
    EXPECT_EQ(info.ProductTitle, "Second Screen Saver");
}

TEST(ExtractionInfo, DamagedAndCutFilesAreRefusedWithTheirReason) {
    std::string good = SelfExtractor(1000, 300, 500);
    struct Case {
        const char* what;
        std::string file;
        TExtractionInfoState state;
        const char* reason;
    };
    std::string zeroed = good;
    zeroed.replace(zeroed.size() - 136, 136, std::string(136, '\0'));
    std::string badTitle = good;
    badTitle[badTitle.size() - 136 + 53] = static_cast<char>(81);
    std::string lowerMagic = good;
    lowerMagic[lowerMagic.size() - 136 + 1] = 's';
    const Case cases[] = {
        {"cut by one byte", good.substr(0, good.size() - 1), TExtractionInfoState::eiNoMagic,
         "SELFEXTRACTING"},
        {"cut into the archives", good.substr(0, 1200), TExtractionInfoState::eiNoMagic, "cut short"},
        {"shorter than the record", good.substr(0, 135), TExtractionInfoState::eiTooShort, "135 bytes"},
        {"record zeroed", zeroed, TExtractionInfoState::eiNoMagic, "SELFEXTRACTING"},
        {"magic in other case", lowerMagic, TExtractionInfoState::eiNoMagic, "SELFEXTRACTING"},
        {"title longer than 80", badTitle, TExtractionInfoState::eiBadTitle, "81 characters"},
        {"setup.1 runs into the record", WithField(good, 20, 1800), TExtractionInfoState::eiSetup1Outside,
         "bytes 1000 to 1800"},
        {"setup.1 past the end", WithField(good, 20, 0x7FFFFFFF), TExtractionInfoState::eiSetup1Outside,
         "file of 1936 bytes"},
        {"setup.1 at a position above 2 GiB", WithField(good, 16, -5), TExtractionInfoState::eiSetup1Outside,
         "bytes 4294967291 to 1299"},
        {"setup.1 reversed", WithField(good, 20, 999), TExtractionInfoState::eiSetup1Outside, "to 999"},
        {"files.1 past the end", WithField(good, 28, 1800), TExtractionInfoState::eiFiles1Outside,
         "bytes 1300 to 1800"},
        {"files.1 before its start", WithField(good, 28, 1299), TExtractionInfoState::eiFiles1Outside,
         "to 1299"},
        {"files.1 overlapping setup.1", WithField(good, 24, 1299), TExtractionInfoState::eiFiles1Outside,
         "bytes 1299 to"},
        {"files.1 end without start", WithField(SelfExtractor(1000, 300, 0), 28, 1200),
         TExtractionInfoState::eiFiles1Outside, "bytes 0 to 1200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TExtractionInfo info;
        info.Setup1Start = 4711;
        EXPECT_EQ(Check(c.file, info), c.state);
        // Nothing of a refused record is handed out.
        EXPECT_EQ(info.Setup1Start, 4711);
        TExtractionInfoBytes tail{};
        if (c.file.size() >= 136)
            tail = FromString(c.file.substr(c.file.size() - 136));
        std::string text = DescribeExtractionInfoState(c.state, tail, static_cast<int64_t>(c.file.size()));
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    }
}

TEST(ExtractionInfo, TheRecordIsWrittenWhereTheStreamStandsAndReadFromTheEnd) {
    TMemoryStream s;
    s.WriteBuffer("stub", 4);
    TExtractionInfo info;
    info.Setup1Start = 1;
    info.Setup1End = 2;
    info.ProductTitle = "T";
    WriteExtractionInfo(s, info);
    ASSERT_EQ(s.Size(), 4 + 136);
    TExtractionInfoBytes bytes;
    ASSERT_TRUE(ReadExtractionInfoBytes(s, bytes));
    EXPECT_EQ(Bytes(bytes), Bytes(EncodeExtractionInfo(info)));
    TExtractionInfo back;
    EXPECT_EQ(ReadExtractionInfo(s, back), TExtractionInfoState::eiValid);
    EXPECT_EQ(back.ProductTitle, "T");

    TMemoryStream shortStream;
    shortStream.WriteBuffer(std::string(100, 'z').data(), 100);
    EXPECT_FALSE(ReadExtractionInfoBytes(shortStream, bytes));
    EXPECT_EQ(Bytes(bytes), std::string(136, '\0'));
}

TEST(PeSignatureFields, AreFoundInBothKindsOfHeaderAndInNothingElse) {
    for (uint16_t magic : {kPe32, kPe32Plus}) {
        SCOPED_TRACE(magic);
        std::string image = FakePeImage(2000, magic);
        TPeSignatureFields f = ReadPeSignatureFields(*StreamOf(image));
        ASSERT_TRUE(f.IsPe);
        EXPECT_EQ(f.CheckSumAt, 0x80 + 24 + 64);
        EXPECT_EQ(f.CertEntryAt, magic == kPe32 ? 0x80 + 24 + 128 : 0x80 + 24 + 144);
        EXPECT_FALSE(f.Signed());
        FakeSign(image, magic);
        f = ReadPeSignatureFields(*StreamOf(image));
        EXPECT_TRUE(f.Signed());
        EXPECT_EQ(f.CertTableAt, 2000u);
        EXPECT_EQ(f.CertTableSize, 1488u);
        EXPECT_TRUE(f.TableAtEnd(static_cast<int64_t>(image.size())));
        EXPECT_FALSE(f.TableAtEnd(static_cast<int64_t>(image.size()) + 1));
    }
    const std::string good = FakePeImage(2000);
    const size_t opt = 0x80 + 24;
    struct Case {
        const char* what;
        std::string image;
    };
    auto with = [&good](size_t at, const std::string& bytes) {
        return std::string(good).replace(at, bytes.size(), bytes);
    };
    const Case cases[] = {
        {"no MZ", with(0, "ZM")},
        {"PE header past the end", with(0x3C, Int32Bytes(1990))},
        {"PE header far away", with(0x3C, Int32Bytes(-16))},
        {"PE header inside the DOS header", with(0x3C, Int32Bytes(2))},
        {"no PE signature", with(0x80, std::string("PE\0\1", 4))},
        {"optional header of another kind", with(opt, std::string("\x07\x01", 2))},
        {"optional header too short for the entry", with(0x80 + 20, std::string("\x97\x00", 2))},
        {"four directory entries only", with(opt + 108, Int32Bytes(4))},
        {"cut in the optional header", good.substr(0, opt + 100)},
        {"empty", std::string()},
        {"only MZ", "MZ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto s = StreamOf(c.image);
        TPeSignatureFields f = ReadPeSignatureFields(*s);
        EXPECT_FALSE(f.IsPe);
        EXPECT_FALSE(f.Signed());
        EXPECT_FALSE(ClearPeSignatureFields(*s));
        EXPECT_EQ(s->Size(), static_cast<int64_t>(c.image.size()));
    }
}

TEST(PeSignatureFields, ClearingMakesASignedImageReadAsUnsignedAndTouchesNothingElse) {
    std::string image = FakePeImage(3000);
    FakeSign(image);
    auto s = StreamOf(image);
    ASSERT_TRUE(ClearPeSignatureFields(*s));
    std::string after(image.size(), '\0');
    s->SetPosition(0);
    s->ReadBuffer(after.data(), s->Size());
    std::string expected = image;
    expected.replace(FakeCheckSumAt(0x80), 4, std::string(4, '\0'));
    expected.replace(FakeCertEntryAt(kPe32Plus, 0x80), 8, std::string(8, '\0'));
    EXPECT_TRUE(after == expected);
    EXPECT_FALSE(ReadPeSignatureFields(*s).Signed());
    EXPECT_FALSE(ClearPeSignatureFields(*s));
}

TEST(ExtractionInfo, TheChecksumFieldLiesAsLaidOutAndOnlyAFileBuiltBeforeHasNone) {
    const std::string file = SealedFile(FakePeImage(1000), 300, 503);
    ASSERT_EQ(file.size() % 8, 0u);
    const std::string record = file.substr(file.size() - 136);
    const int64_t at = static_cast<int64_t>(file.size()) - 136;
    EXPECT_EQ(record.substr(32, 5), std::string("QCRC\x01"));
    EXPECT_EQ(record.substr(41, 4), Int32Bytes(static_cast<int32_t>(at)));
    EXPECT_EQ(record.substr(45, 8), std::string(8, '\0'));
    TExtractionInfo info;
    ASSERT_EQ(Check(file, info), TExtractionInfoState::eiValid);
    EXPECT_TRUE(info.HasChecksum);
    EXPECT_EQ(info.ChecksumLength, at);
    EXPECT_EQ(record.substr(37, 4), Int32Bytes(static_cast<int32_t>(info.Checksum)));
    EXPECT_EQ(Find(file).Checksum, TExtractionInfoState::eiValid);
    // The padding goes in front of the record, after files.1.
    ASSERT_EQ(at, 1808);
    EXPECT_EQ(file.substr(1803, 5), std::string(5, '\0'));

    // A file built before checksums: its bytes are taken as they are.
    std::string before = SelfExtractor(1000, 300, 500);
    before[10] = 'Z';
    ASSERT_EQ(Check(before, info), TExtractionInfoState::eiValid);
    EXPECT_FALSE(info.HasChecksum);
    EXPECT_EQ(Find(before).Checksum, TExtractionInfoState::eiValid);

    // A field that is neither: refused before the checksum is even computed.
    struct Case {
        const char* what;
        size_t at;
        std::string bytes;
    };
    for (const Case& c : {Case{"another kind", 36, "\x02"}, Case{"another marker", 32, "QCRX"},
                          Case{"reserved bytes used", 50, "\x01"}, Case{"stray byte", 52, "\x80"},
                          Case{"covering fewer bytes", 41, Int32Bytes(static_cast<int32_t>(at) - 8)},
                          Case{"covering more bytes", 41, Int32Bytes(static_cast<int32_t>(at) + 1)}}) {
        SCOPED_TRACE(c.what);
        std::string bad = file;
        bad.replace(static_cast<size_t>(at) + c.at, c.bytes.size(), c.bytes);
        TExtractionInfoBytes tail = FromString(bad.substr(bad.size() - 136));
        EXPECT_EQ(Find(bad).State, TExtractionInfoState::eiBadChecksumField);
        EXPECT_NE(DescribeExtractionInfoState(TExtractionInfoState::eiBadChecksumField, tail, at + 136)
                      .find("checksum field"),
                  std::string::npos);
    }
    std::string bare = SelfExtractor(1000, 300, 500);
    bare[bare.size() - 136 + 45] = 1; // a byte in the field of a file without a checksum
    EXPECT_EQ(Find(bare).State, TExtractionInfoState::eiBadChecksumField);
}

TEST(ExtractionInfo, TheChecksumShowsAChangedByteAnywhereButInTheFieldsASignerChanges) {
    const std::string front = FakePeImage(4000);
    const std::string file = SealedFile(front, 3000, 5003);
    const size_t record = file.size() - 136;
    ASSERT_EQ(Find(file).Checksum, TExtractionInfoState::eiValid);
    struct Case {
        const char* what;
        size_t at;
    };
    const Case changed[] = {
        {"the MZ", 0},
        {"the PE header pointer", 0x3C},
        {"the optional header before the CheckSum", FakeCheckSumAt(0x80) - 1},
        {"the data directory after the certificate entry", FakeCertEntryAt(kPe32Plus, 0x80) + 8},
        {"the loading program's last byte", 3999},
        {"setup.1's first byte", 4000},
        {"files.1's middle", 9500},
        {"files.1's last byte", 12002},
        {"the padding", record - 1}, // 12003 to 12007
        {"the record's title", record + 60},
        {"the record's last byte", record + 135},
    };
    for (const Case& c : changed) {
        SCOPED_TRACE(c.what);
        std::string bad = file;
        bad[c.at] = static_cast<char>(bad[c.at] ^ 0x04);
        TFound f = Find(bad);
        EXPECT_EQ(f.Checksum, f.State == TExtractionInfoState::eiValid
                                  ? TExtractionInfoState::eiChecksumDiffers
                                  : f.State);
        EXPECT_NE(f.Checksum, TExtractionInfoState::eiValid);
    }
    // The record's positions moved together, still inside the file: only the checksum tells.
    std::string moved = WithField(WithField(file, 20, 6990), 24, 6991);
    EXPECT_EQ(Find(moved).State, TExtractionInfoState::eiValid);
    EXPECT_EQ(Find(moved).Checksum, TExtractionInfoState::eiChecksumDiffers);

    // The CheckSum and the certificate entry are the signer's.
    std::string resigned = file;
    resigned.replace(FakeCheckSumAt(0x80), 4, "\x11\x22\x33\x44");
    resigned.replace(FakeCertEntryAt(kPe32Plus, 0x80), 8, "\x01\x02\x03\x04\x05\x06\x07\x08");
    EXPECT_EQ(Find(resigned).Checksum, TExtractionInfoState::eiValid);
}

TEST(ExtractionInfo, TheChecksumIsZlibsCrcOfTheFileWithTheSignersFieldsAsZeros) {
    // Beyond a block of 1 MiB, with the CheckSum across the first block's end.
    const uint32_t peAt = (1u << 20) - 90;
    const std::string file = SealedFile(FakePeImage((1u << 20) + 5000, kPe32, peAt), 1500000, 7);
    ASSERT_EQ(FakeCheckSumAt(peAt), (1u << 20) - 2);
    const TPeSignatureFields f = ReadPeSignatureFields(*StreamOf(file));
    ASSERT_TRUE(f.IsPe);
    ASSERT_EQ(f.CertEntryAt, static_cast<int64_t>(FakeCertEntryAt(kPe32, peAt)));
    std::string zeroed = file;
    zeroed.replace(FakeCheckSumAt(peAt), 4, std::string(4, '\0'));
    zeroed.replace(FakeCertEntryAt(kPe32, peAt), 8, std::string(8, '\0'));
    zeroed.replace(zeroed.size() - 136 + 32, 21, std::string(21, '\0'));
    const uint32_t expected = static_cast<uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(zeroed.data()), static_cast<uInt>(zeroed.size())));
    TExtractionInfo info;
    ASSERT_EQ(Check(file, info), TExtractionInfoState::eiValid);
    EXPECT_EQ(info.Checksum, expected);
    uint32_t crc = 0;
    TExtractionInfoBytes record = FromString(file.substr(file.size() - 136));
    EXPECT_TRUE(
        ComputeExtractionChecksum(*StreamOf(file), static_cast<int64_t>(file.size()) - 136, record, crc));
    EXPECT_EQ(crc, expected);
    // A stream that ends before the record's place gives none.
    EXPECT_FALSE(ComputeExtractionChecksum(*StreamOf(file.substr(0, 5000)), 6000, record, crc));
    TExtractionInfo unsealed;
    EXPECT_FALSE(SealExtractionInfo(*StreamOf(file.substr(0, 5000)), 6000, unsealed));
    EXPECT_FALSE(unsealed.HasChecksum);
}

TEST(ExtractionInfo, TheRecordOfASignedFileIsFoundBeforeItsCertificateTable) {
    const std::string built = SealedFile(FakePeImage(1000), 300, 500);
    const int64_t end = static_cast<int64_t>(built.size());
    for (uint16_t magic : {kPe32, kPe32Plus}) {
        SCOPED_TRACE(magic);
        std::string image = SealedFile(FakePeImage(1000, magic), 300, 500);
        FakeSign(image, magic);
        TFound f = Find(image);
        EXPECT_EQ(f.End, end);
        EXPECT_EQ(f.State, TExtractionInfoState::eiValid);
        EXPECT_EQ(f.Checksum, TExtractionInfoState::eiValid);
    }
    // A file whose record does not end on 8 bytes (a record of a build before
    // the padding): the signer puts up to 7 zeros between it and the table.
    for (int extra = 1; extra < 8; ++extra) {
        SCOPED_TRACE(extra);
        std::string front = FakePeImage(1000 + static_cast<size_t>(extra));
        std::string unaligned = front + std::string(800, 'a');
        TExtractionInfo info;
        info.Setup1Start = static_cast<Integer>(front.size());
        info.Setup1End = info.Setup1Start + 799;
        info.ProductTitle = "Unaligned";
        std::string record = Bytes(EncodeExtractionInfo(info));
        unaligned += record;
        ASSERT_NE(unaligned.size() % 8, 0u);
        const int64_t recordEnd = static_cast<int64_t>(unaligned.size());
        FakeSign(unaligned);
        TFound f = Find(unaligned);
        EXPECT_EQ(f.End, recordEnd);
        EXPECT_EQ(f.State, TExtractionInfoState::eiValid);
        // Anything but zeros between them: no record is taken from there.
        std::string stray = unaligned;
        stray[static_cast<size_t>(recordEnd)] = 'x';
        f = Find(stray);
        EXPECT_EQ(f.End, (recordEnd + 7) / 8 * 8);
        EXPECT_EQ(f.State, TExtractionInfoState::eiNoMagic);
    }
    std::string image = built;
    FakeSign(image);
    struct Case {
        const char* what;
        std::string file;
        int64_t end;
        TExtractionInfoState state;
    };
    std::string lengthened = image + std::string(200, 'z'); // something appended behind the table
    std::string cut = image.substr(0, image.size() - 100);
    std::string wrongSize = image;
    Put32(wrongSize, FakeCertEntryAt(kPe32Plus, 0x80) + 4, 1480);
    std::string tiny = FakePeImage(300);
    FakeSign(tiny, kPe32Plus, 0x80, 16);
    Put32(tiny, FakeCertEntryAt(kPe32Plus, 0x80), 100); // a table at 100 that would end at the file's end
    Put32(tiny, FakeCertEntryAt(kPe32Plus, 0x80) + 4, static_cast<uint32_t>(tiny.size()) - 100);
    const Case cases[] = {
        {"signed", image, end, TExtractionInfoState::eiValid},
        {"lengthened behind the table", lengthened, static_cast<int64_t>(lengthened.size()),
         TExtractionInfoState::eiNoMagic},
        {"cut in the table", cut, static_cast<int64_t>(cut.size()), TExtractionInfoState::eiNoMagic},
        {"table size not up to the end", wrongSize, static_cast<int64_t>(wrongSize.size()),
         TExtractionInfoState::eiNoMagic},
        {"table before any record could end", tiny, static_cast<int64_t>(tiny.size()),
         TExtractionInfoState::eiNoMagic},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TFound f = Find(c.file);
        EXPECT_EQ(f.End, c.end);
        EXPECT_EQ(f.State, c.state);
    }
    // The setup's own check of a signed file counts from the record's end.
    TExtractionInfo info;
    EXPECT_EQ(Check(image, info), TExtractionInfoState::eiValid);
    EXPECT_EQ(info.Files1End, 1799);
    // A body changed after signing.
    std::string changed = image;
    changed[1500] = 'F';
    EXPECT_EQ(Find(changed).Checksum, TExtractionInfoState::eiChecksumDiffers);
}

} // namespace
