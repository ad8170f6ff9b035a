// The drive list of the file group selection page: which drives the
// selected groups need, how much, and which lack the room.
#include "dialogs/routines_DriveSpace.h"
#include "engine/cmp_TInstall.h"
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
    EXPECT_EQ(FormatBytes(-1), "-1 Bytes");
    EXPECT_EQ(DriveSpacePanelHeight(0), 25);
    EXPECT_EQ(DriveSpacePanelHeight(1), 43);
    EXPECT_EQ(DriveSpacePanelHeight(2), 61);
    EXPECT_EQ(DriveSpacePanelHeight(3), 61);
}

} // namespace
