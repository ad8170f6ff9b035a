// The drive list of the file group selection page: which drives the
// selected groups need, how much, and which lack the room.
#include "dialogs/routines_DriveSpace.h"
#include "dialogs/routines_Pictures.h"
#include "engine/cmp_TInstall.h"
#include "platform/routines_Format.h"
#include "platform/routines_Process.h"
#include "support/IsolatedTest.h"
#include "toolkit/classes_Reader.h"
#include <gtest/gtest.h>
#include <map>

namespace {

// A group whose own selected files come to a fixed number of bytes.
class TSizedGroup : public TFileContainer {
public:
    using TFileContainer::TFileContainer;
    int64_t OwnBytes = 0;
    Int64 TotalSize(bool IncludeAll, bool Recurse) override {
        return Recurse ? TFileContainer::TotalSize(IncludeAll, Recurse) + OwnBytes : OwnBytes;
    }
};

class DriveSpaceTest : public TIsolatedTest {
protected:
    void SetUp() override {
        TIsolatedTest::SetUp();
        RegisterObjectClasses();
        RegisterEngineClasses();
        OverrideCommandLineParams(std::vector<std::string>{"setup.exe"});
        FForm.reset(new TForm(nullptr));
        ReadLayoutInto(
            *FForm, "object F: TForm\n  object Install1: TInstall\n    DestDir = 'C:\\Prog'\n  end\nend\n");
        FInstall = dynamic_cast<TFileContainer*>(FForm->FindComponent("Install1"));
        ASSERT_NE(FInstall, nullptr);
        FInstall->SetDestDirType(nullptr);
    }
    void TearDown() override {
        FForm.reset();
        OverrideCommandLineParams(std::nullopt);
        TIsolatedTest::TearDown();
    }
    TSizedGroup* Group(const char* name, TFileContainer* parent, const std::string& dest, int64_t bytes) {
        auto* g = new TSizedGroup(FForm.get());
        g->SetName(name);
        g->SetContainer(parent);
        g->SetDestDirType(nullptr); // the folder as given, not below its container's
        g->SetDestDir(dest);
        g->OwnBytes = bytes;
        return g;
    }
    std::vector<TDriveSpace> Collect() {
        return CollectDriveSpace(*FInstall, [this](char d) {
            ++FAsked[d];
            auto it = FFree.find(d);
            return it == FFree.end() ? int64_t(-1) : it->second;
        });
    }

    TOwnedPtr<TForm> FForm;
    TFileContainer* FInstall = nullptr;
    std::map<char, int64_t> FFree;
    std::map<char, int> FAsked;
};

TEST_F(DriveSpaceTest, NestedGroupsAddUpPerDriveInTreeOrder) {
    auto* a = Group("GroupA", FInstall, "c:\\A", 100);
    Group("GroupA1", a, "D:\\B", 50);
    Group("GroupNet", FInstall, "\\\\server\\share", 70);
    auto* off = Group("GroupOff", FInstall, "C:\\Off", 30);
    Group("GroupOff1", off, "E:\\X", 5);
    Group("GroupBig", FInstall, "D:\\Big", 5'000'000'000LL);
    off->SetInclude(false);
    FFree = {{'C', 1000}, {'D', 10}};

    std::vector<TDriveSpace> rows = Collect();
    ASSERT_EQ(rows.size(), 2u) << "the network path adds no row; the unticked group's child is not visited";
    EXPECT_EQ(rows[0].Drive, 'C');
    EXPECT_EQ(rows[0].Required, 100) << "the unticked group adds nothing to its drive";
    EXPECT_FALSE(rows[0].ShortOfRoom());
    EXPECT_EQ(rows[1].Drive, 'D');
    EXPECT_EQ(rows[1].Required, 5'000'000'050LL) << "sizes beyond 32 bits";
    EXPECT_TRUE(rows[1].ShortOfRoom());
    EXPECT_EQ(FAsked['C'], 1) << "free space is asked once per drive";

    // Unticking a group takes its bytes and its children's off the list.
    a->SetInclude(false);
    rows = Collect();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Required, 0);
    EXPECT_EQ(rows[1].Required, 5'000'000'000LL);
}

TEST(DriveSpaceRows, MarkFormatAndPanelHeight) {
    EXPECT_TRUE((TDriveSpace{'C', 10, 10}.ShortOfRoom()));
    EXPECT_FALSE((TDriveSpace{'C', 9, 10}.ShortOfRoom()));
    EXPECT_TRUE((TDriveSpace{'C', 0, -1}.ShortOfRoom())) << "unknown free space is no room";
    EXPECT_EQ(FormatBytes(1234567), "1,234,567 Bytes");
    EXPECT_EQ(FormatBytes(999), "999 Bytes");
    EXPECT_EQ(FormatBytes(5'000'000'000LL), "5,000,000,000 Bytes");
    EXPECT_EQ(FormatBytes(-1), "Unknown") << "free space that could not be read";
    {
        const TFormatSettings before = FormatSettings();
        FormatSettings().ThousandSeparator = ".";
        EXPECT_EQ(FormatBytes(58'683'097'088LL), "58.683.097.088 Bytes") << "the locale's separator";
        FormatSettings() = before;
    }
    // Whole bytes while they fit; else the finest unit that fits, rounded.
    const auto sixEach = [](const std::string& text) { return static_cast<int32_t>(6 * text.size()); };
    EXPECT_EQ(FitBytes(104'857'600, 200, sixEach), "104,857,600 Bytes");
    EXPECT_EQ(FitBytes(104'857'600, 60, sixEach), "102,400 KB");
    EXPECT_EQ(FitBytes(58'683'097'088LL, 60, sixEach), "55,965 MB");
    EXPECT_EQ(FitBytes(58'683'097'088LL, 40, sixEach), "55 GB");
    EXPECT_EQ(FitBytes(1536, 40, sixEach), "2 KB") << "halves round up";
    EXPECT_EQ(FitBytes(5'000'000'000'000'000LL, 10, sixEach), "4,547 TB") << "TB when nothing fits";
    EXPECT_EQ(FitBytes(-1, 10, sixEach), "Unknown") << "an unknown size has no unit";
    EXPECT_EQ(DriveSpacePanelHeight(0), 25);
    EXPECT_EQ(DriveSpacePanelHeight(1), 43);
    EXPECT_EQ(DriveSpacePanelHeight(2), 61);
    EXPECT_EQ(DriveSpacePanelHeight(3), 61);
}

} // namespace

namespace {

// The pixels of a 24-bit bitmap file, 0xRRGGBB, rows from the top.
uint32_t BitmapPixel(const std::vector<uint8_t>& bmp, int32_t width, int32_t height, int32_t x, int32_t y) {
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t(3);
    const size_t at = 54 + static_cast<size_t>(height - 1 - y) * stride + static_cast<size_t>(x) * 3;
    return uint32_t(bmp.at(at + 2)) << 16 | uint32_t(bmp.at(at + 1)) << 8 | bmp.at(at);
}

int CountIn(const std::vector<uint8_t>& bmp, int32_t width, int32_t height, int32_t x0, int32_t x1,
            const std::function<bool(uint32_t)>& test) {
    int n = 0;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = x0; x < x1; ++x)
            n += test(BitmapPixel(bmp, width, height, x, y)) ? 1 : 0;
    return n;
}

} // namespace

// Every picture is a bitmap the toolkit takes, of its place's size, with the
// colour left out in its bottom-left corner; the no-room mark is red, the
// drive is not.
TEST(WindowPictures, BitmapsOfTheirSizeWithTheirBackgroundLeftOut) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bmp;
        int32_t w, h;
    } cases[] = {{"drive list", DriveSpaceImagesBitmap(), 32, 16},
                 {"extraction", ExtractionBitmap(), 36, 37},
                 {"transfer", TransferBitmap(), 37, 36},
                 {"status", StatusIconBitmap(), 32, 32},
                 {"disk", DiskBitmap(), 48, 48}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TPicture p;
        ASSERT_NO_THROW(p.SetData(c.bmp));
        EXPECT_EQ(p.Width(), c.w);
        EXPECT_EQ(p.Height(), c.h);
        EXPECT_EQ(BitmapPixel(c.bmp, c.w, c.h, 0, c.h - 1), kPictureBackground);
        const int drawn =
            CountIn(c.bmp, c.w, c.h, 0, c.w, [](uint32_t px) { return px != kPictureBackground; });
        EXPECT_GT(drawn, c.w * c.h / 4) << "hardly anything drawn";
    }
    const std::vector<uint8_t> strip = DriveSpaceImagesBitmap();
    const auto red = [](uint32_t px) {
        return (px >> 16) > 0xC0 && ((px >> 8) & 0xFF) < 0x50 && (px & 0xFF) < 0x50;
    };
    EXPECT_EQ(CountIn(strip, 32, 16, 0, 16, red), 0) << "the drive";
    EXPECT_GT(CountIn(strip, 32, 16, 16, 32, red), 100) << "the mark";
    EXPECT_EQ(BitmapPixel(strip, 32, 16, 16, 15), kPictureBackground) << "the mark's own corner";

    // The shapes stay inside their rectangles and the canvas.
    TPixelCanvas c(10, 10, 0);
    c.FillEllipse(2, 2, 8, 8, 0xFFFFFF);
    c.FillRect(-5, 9, 50, 20, 0x00FF00);
    EXPECT_EQ(c.Pixel(5, 5), 0xFFFFFFu);
    EXPECT_EQ(c.Pixel(2, 2), 0u) << "a corner of the box lies outside the ellipse";
    EXPECT_EQ(c.Pixel(1, 5), 0u);
    EXPECT_EQ(c.Pixel(0, 9), 0x00FF00u);
    EXPECT_EQ(c.Pixel(20, 20), kPictureBackground) << "outside the canvas";
}
