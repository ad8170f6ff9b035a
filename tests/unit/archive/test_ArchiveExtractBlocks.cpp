// Extraction block by block: a destination that fills up, and members of
// many blocks that come out whole.
#include "ArchiveTestSupport.h"

namespace {

// Extracted files take at most Capacity bytes each, like a nearly full disk.
class TFullDestination : public TQnfdCompress {
public:
    int64_t Capacity = 0;

protected:
    std::unique_ptr<TStream> OpenFile(const std::string& name, uint32_t mode, TqcFileRole role) override {
        auto s = TQnfdCompress::OpenFile(name, mode, role);
        if (role == TqcFileRole::Destination)
            return std::make_unique<TCappedStream>(std::move(s), Capacity);
        return s;
    }
};

struct Blocks : ::testing::Test {
    TTempFolder dir;
    std::string arc = dir / "files.1", out = dir / "out";
    std::string big = RandomBytes(700000, 21);

    void SetUp() override {
        ForceDirectory(dir / "src");
        ForceDirectory(out);
        MakeFile(dir / "src" / "big.bin", big);
        TQnfdCompress c;
        c.SetCompressedFile(arc);
        c.FilesToProcess().Add(dir / "src" / "big.bin");
        c.Compress(false, 0);
    }
    size_t FilesIn(const std::string& folder) { return ListDirectory(folder).size(); }
};

TEST_F(Blocks, AFullDiskRaisesOrGoesOnAndNeverReplacesTheOldFile) {
    MakeFile(out / "big.bin", "old");
    TFullDestination x;
    x.Capacity = 300000; // fills up in the second block
    x.SetCompressedFile(arc);
    x.ExtractDirectory = out;
    x.FilesToProcess().Add(dir / "src" / "big.bin");
    EXPECT_EQ(MessageOf<EqcDiskFull>([&] { x.Extract(); }), "The disk is full");
    EXPECT_TRUE(x.Abort);
    EXPECT_EQ(ReadWholeFile(out / "big.bin"), "old");
    EXPECT_EQ(FilesIn(out), 1u);

    // The handler lets the member go on short: its size check then fails.
    int calls = 0;
    x.OnFullDisk = [&](TQnfdCompress&) { ++calls; };
    x.FilesToProcess().Add(dir / "src" / "big.bin");
    EXPECT_EQ(MessageOf<EQnfdCompress>([&] { x.Extract(); }),
              Format("The decompressed file's size does not match with the actual size of the file.  The "
                     "file is %s",
                     {dir / "src" / "big.bin"}));
    EXPECT_EQ(calls, 2); // the second block and the third, both refused
    EXPECT_EQ(ReadWholeFile(out / "big.bin"), "old");
    EXPECT_EQ(FilesIn(out), 1u);
}

TEST_F(Blocks, AMemberOfManyBlocksComesOutWholeAndTestsGood) {
    TQnfdCompress x;
    x.SetCompressedFile(arc);
    x.ExtractDirectory = out;
    x.FilesToProcess().Add(dir / "src" / "big.bin");
    int64_t last = 0;
    int statuses = 0;
    x.OnStatus = [&](TQnfdCompress&, const TlzhFileStats& s) {
        ++statuses;
        EXPECT_GE(s.BytesDone, last);
        last = s.BytesDone;
    };
    x.Extract();
    EXPECT_EQ(ReadWholeFile(out / "big.bin"), big);
    EXPECT_EQ(statuses, 4); // three blocks and the finished member
    x.OnStatus = nullptr;
    EXPECT_NO_THROW(x.TestMember(0));
}

} // namespace
