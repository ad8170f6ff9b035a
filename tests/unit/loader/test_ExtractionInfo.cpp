// The extraction information: its bytes as the build mode writes them, and
// the reader's verdict on damaged and cut files.
#include "LoaderTestSupport.h"

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
        {"setup.1 at a negative position", WithField(good, 16, -5), TExtractionInfoState::eiSetup1Outside,
         "bytes -5 to"},
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

} // namespace
