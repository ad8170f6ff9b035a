// How version.dll is found: on systems that do not know the system-folder
// search flag, and on a system where it cannot be loaded at all.
#include "archive/cmp_TQnfdCompress.h"
#include "platform/cmp_TVersion.h"
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

std::string Fixture(const std::string& relative) {
    return BuildTreePath(QFD_VERSION_FIXTURES, relative);
}

struct TLoadCall {
    std::string File;
    uint32_t Flags;
};

class VersionLibrary : public ::testing::Test {
protected:
    void TearDown() override { VersionBlock::SetLibraryLoader(nullptr); }

    // A system that answers the search flag as Vista and 7 without their
    // update do; with loadable false, no version.dll loads at all.
    void PlayOldSystem(bool loadable) {
        VersionBlock::SetLibraryLoader([this, loadable](const std::string& file, uint32_t flags) -> void* {
            Calls.push_back({file, flags});
            if (flags & LOAD_LIBRARY_SEARCH_SYSTEM32) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            if (!loadable) {
                SetLastError(ERROR_MOD_NOT_FOUND);
                return nullptr;
            }
            return LoadLibraryExW(Wide(file).c_str(), nullptr, flags);
        });
    }

    std::vector<TLoadCall> Calls;
};

TEST_F(VersionLibrary, WithoutTheSearchFlagItIsLoadedByItsPathInTheSystemFolder) {
    PlayOldSystem(true);
    TVersionResource v;
    v.SetFileName(Fixture("v1_2_10/qfdver.dll"));
    EXPECT_EQ(v.VersionInfo().FileVersion, "1.2.10.0");
    EXPECT_EQ(IsFileNewer("1.2.9.0", Fixture("v1_2_10/qfdver.dll"), owVersion, 0), fcOlder);

    wchar_t dir[MAX_PATH + 1];
    UINT n = GetSystemDirectoryW(dir, MAX_PATH + 1);
    ASSERT_EQ(Calls.size(), 2u); // loaded once, kept
    EXPECT_EQ(Calls[0].File, "version.dll");
    EXPECT_EQ(Calls[0].Flags, uint32_t(LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_TRUE(SameText(Calls[1].File, Narrow(dir, n) + "\\version.dll")) << Calls[1].File;
    EXPECT_EQ(Calls[1].Flags & LOAD_LIBRARY_SEARCH_SYSTEM32, 0u);
}

TEST_F(VersionLibrary, ThatCannotBeLoadedStopsTheDecisionInsteadOfCallingVersionsEqual) {
    PlayOldSystem(false);
    const std::string v20 = Fixture("v2_0/qfdver.dll");
    try {
        IsFileNewer("1.2.10.0", v20, owVersion, 0);
        ADD_FAILURE() << "decided without version.dll";
    } catch (const EAPIRoutines& e) {
        EXPECT_NE(e.Message().find("version.dll"), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find("Without it the versions of files cannot be compared"), std::string::npos)
            << e.Message();
    }
    EXPECT_THROW(IsFileNewerByName(Fixture("v1_2_10/qfdver.dll"), v20, owVersionDate), EAPIRoutines);
    // Rules that need no version still decide.
    EXPECT_EQ(IsFileNewer("1.2.10.0", v20, owAlways, 0), fcNewer);

    // An archived 1.2.10 never replaces an installed 2.0 on such a system.
    VersionBlock::SetLibraryLoader(nullptr);
    TTempFolder dir;
    TQnfdCompress c;
    c.SetCompressedFile(dir / "files.1");
    c.FilesToProcess().Add(Fixture("v1_2_10/qfdver.dll"));
    c.Compress(false, 12);
    ForceDirectory(dir / "out");
    ASSERT_TRUE(CopyFileTo(v20, dir / "out\\qfdver.dll", false));
    PlayOldSystem(false);
    TQnfdCompress r;
    r.SetCompressedFile(dir / "files.1");
    r.ExtractDirectory = dir / "out";
    r.Overwrite = owVersion;
    r.FilesToProcess().Add(Fixture("v1_2_10/qfdver.dll"));
    EXPECT_THROW(r.Extract(), EAPIRoutines);
    VersionBlock::SetLibraryLoader(nullptr);
    TVersionResource installed;
    installed.SetFileName(dir / "out\\qfdver.dll");
    EXPECT_EQ(installed.VersionInfo().FileVersion, "2.0.0.0");
}

} // namespace
