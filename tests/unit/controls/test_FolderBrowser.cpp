// The folder browser, driven as a person drives it.
#include "ControlsDriver.h"
#include "platform/routines_FileSystem.h"
#include "platform/routines_WinText.h"
#include "support/TempFolder.h"
#include "toolkit/forms_FolderBrowser.h"
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h.
#include <commctrl.h>

using namespace WindowDriver;

namespace {

// The system's browser dialog: it holds a tree of folders.
TWindowHandle FindBrowser() {
    return FindOwnWindow("#32770", "SysTreeView32");
}

class FolderBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        Application()->Initialize();
        Application()->OnException = [this](TObject*, const Exception& e) { Errors.push_back(e.Message()); };
    }
    void TearDown() override {
        Application()->OnException = nullptr;
        EXPECT_TRUE(Errors.empty()) << Errors.front();
    }
    // Runs Execute while the person acts; a browser left open is cancelled.
    bool Run(std::function<void(TPerson&)> steps) {
        TPerson person([steps](TPerson& p) {
            steps(p);
            // The browser closes once the person is done; one left open is cancelled.
            TWindowHandle left = 0;
            if (!WaitFor([&] { return (left = FindOwnWindow("#32770", "SysTreeView32", 0)) == 0; }, 5000)) {
                p.Check(false, "a browser stayed open");
                CloseWindow(left);
            }
        });
        bool r = Dialog.Execute();
        person.Join();
        for (const std::string& f : person.Failures())
            ADD_FAILURE() << f;
        return r;
    }
    TOpenFolderDialog Dialog{nullptr};
    TTempFolder Temp;
    std::vector<std::string> Errors;
};

// The path box once it shows the expected folder (case aside, as the system may spell it).
bool WaitForPath(TPerson& p, TWindowHandle edit, const std::string& folder) {
    std::string want = LongFolderName(folder);
    // The first browser of a program takes a while to fill its tree.
    bool ok = WaitFor([&] { return SameText(ControlText(edit), want); }, 15000);
    return p.Check(ok, "the path box shows \"" + ControlText(edit) + "\", not \"" + want + "\"");
}

// Without a path box: the tree's selection once it is the expected folder.
bool WaitForSelection(TPerson& p, TWindowHandle browser, const std::string& folder) {
    const std::string want = ExtractFileName(RemoveBackslash(LongFolderName(folder)));
    std::string shown;
    bool ok = WaitFor(
        [&] {
            HWND tree = reinterpret_cast<HWND>(FindChild(browser, "", "SysTreeView32"));
            HTREEITEM item = tree ? TreeView_GetSelection(tree) : nullptr;
            wchar_t text[MAX_PATH] = {};
            TVITEMW it = {};
            it.mask = TVIF_TEXT;
            it.hItem = item;
            it.pszText = text;
            it.cchTextMax = MAX_PATH;
            shown = item && TreeView_GetItem(tree, &it) ? Narrow(text, wcslen(text)) : std::string();
            return SameText(shown, want);
        },
        15000);
    return p.Check(ok, "the tree shows \"" + shown + "\", not \"" + want + "\"");
}

TEST_F(FolderBrowser, ATypedPathThatDoesNotExistIsCreatedAndChosen) {
    const std::string typed = Temp / "new\\deep";
    Dialog.SetDirectory(Temp.Path());
    bool chosen = Run([&](TPerson& p) {
        TWindowHandle browser = FindBrowser();
        if (!p.Check(browser != 0, "the browser did not open"))
            return;
        TWindowHandle edit = FindChild(browser, "", "Edit");
        if (!p.Check(edit != 0, "no path box") || !WaitForPath(p, edit, Temp.Path()))
            return;
        p.Check(FindChild(browser, TOFDResourceStrings::CreateFolderCaption(), "Button") != 0,
                "no create button");
        TypeText(edit, typed);
        Sleep(100);
        p.Check(PressButton(browser, "OK"), "no OK button");
    });
    EXPECT_TRUE(chosen);
    EXPECT_EQ(Dialog.Directory(), typed);
    EXPECT_TRUE(DirectoryExists(typed));
}

TEST_F(FolderBrowser, CreatingAFolderReopensTheBrowserOnIt) {
    int asked = 0;
    Dialog.OnCreateFolder = [&](TObject* sender, bool&) {
        ++asked;
        EXPECT_EQ(sender, Dialog.CreateButton());
    };
    Dialog.SetDirectory(Temp.Path());
    bool chosen = Run([&](TPerson& p) {
        TWindowHandle first = FindBrowser();
        if (!p.Check(first != 0, "the browser did not open"))
            return;
        TWindowHandle edit = FindChild(first, "", "Edit");
        if (!WaitForPath(p, edit, Temp.Path()))
            return;
        if (!p.Check(PressButton(first, TOFDResourceStrings::CreateFolderCaption()), "no create button"))
            return;
        TWindowHandle box = FindTopWindow(TOFDResourceStrings::CreateFolderCaption(), GetCurrentProcessId());
        if (!p.Check(box != 0, "no input box for the name"))
            return;
        TypeText(FindChild(box, "", "Edit"), "made");
        p.Check(PressButton(box, "OK"), "no OK button in the input box");
        p.Check(WaitFor([&] { return !IsWindowAlive(first); }), "the first browser stayed");
        TWindowHandle second = FindBrowser();
        if (!p.Check(second != 0, "the browser did not open again"))
            return;
        if (WaitForPath(p, FindChild(second, "", "Edit"), Temp / "made"))
            p.Check(PressButton(second, "OK"), "no OK button");
    });
    EXPECT_TRUE(chosen);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(SameText(LongFolderName(Dialog.Directory()), LongFolderName(Temp / "made")))
        << Dialog.Directory();
    EXPECT_TRUE(DirectoryExists(Temp / "made"));
}

TEST_F(FolderBrowser, AVetoedCreationMakesNoFolderAndCancelKeepsTheDirectory) {
    Dialog.OnCreateFolder = [](TObject*, bool& allow) { allow = false; };
    Dialog.SetDirectory(Temp.Path());
    bool chosen = Run([&](TPerson& p) {
        TWindowHandle browser = FindBrowser();
        if (!p.Check(browser != 0, "the browser did not open") ||
            !WaitForPath(p, FindChild(browser, "", "Edit"), Temp.Path()))
            return;
        TypeText(FindChild(browser, "", "Edit"), Temp / "vetoed");
        p.Check(PressButton(browser, TOFDResourceStrings::CreateFolderCaption()), "no create button");
        Sleep(300);
        p.Check(IsWindowAlive(browser), "the browser closed");
        p.Check(PressButton(browser, "Cancel"), "no Cancel button");
    });
    EXPECT_FALSE(chosen);
    EXPECT_EQ(Dialog.Directory(), Temp.Path());
    EXPECT_FALSE(DirectoryExists(Temp / "vetoed"));
}

TEST_F(FolderBrowser, WithoutItsOwnControlsItOpensOnTheNearestFolderAndReturnsWhatTheSystemGives) {
    Dialog.SetShowCreateButton(false);
    Dialog.SetShowPathEdit(false);
    Dialog.SetDirectory(Temp / "missing\\deeper");
    bool chosen = Run([&](TPerson& p) {
        TWindowHandle browser = FindBrowser();
        if (!p.Check(browser != 0, "the browser did not open"))
            return;
        p.Check(FindChild(browser, "", "Edit") == 0, "a path box is there");
        p.Check(FindChild(browser, TOFDResourceStrings::CreateFolderCaption()) == 0,
                "a create button is there");
        // The first browser of a program takes a while to fill its tree.
        if (!WaitForSelection(p, browser, Temp.Path()))
            return;
        p.Check(PressButton(browser, "OK"), "no OK button");
    });
    EXPECT_TRUE(chosen);
    EXPECT_TRUE(SameText(LongFolderName(Dialog.Directory()), LongFolderName(Temp.Path())))
        << Dialog.Directory();
    EXPECT_FALSE(DirectoryExists(Temp / "missing"));
}

TEST(FolderBrowserRoutines, ExistingParentAndTheSystemStrings) {
    TTempFolder temp;
    CreateDir(temp / "a");
    EXPECT_EQ(ExistingParent(temp / "a"), temp / "a");
    EXPECT_EQ(ExistingParent(temp / "a\\b\\c"), temp / "a");
    EXPECT_EQ(ExistingParent("   "), "");
    EXPECT_EQ(ExistingParent("no-such-folder-here"), "");
    EXPECT_EQ(LoadSystemString("no-such-library.dll", 1), "");
    EXPECT_FALSE(TOFDResourceStrings::CreateFolderCaption().empty());
    EXPECT_FALSE(TOFDResourceStrings::NewFolderPrompt().empty());
    EXPECT_EQ(TOFDResourceStrings::BrowseTitle().find('%'), std::string::npos);
}

} // namespace
