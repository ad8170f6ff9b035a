// The end-to-end driver against a small program of known windows.
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "support/WindowDriver.h"
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <windows.h>

using namespace WindowDriver;

namespace {

std::string TestWindowApp() {
    return QuoteArg(ThisProgramFolder() + "qfd_testwindow.exe");
}

bool Contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

class WindowDriverTest : public ::testing::Test {
    TWineAppDefault FFastWindows = FastWindowsUnderWine("qfd_testwindow.exe");
};

} // namespace

TEST(WindowDriver, QuotesArgumentsAsTheRunTimeReadsThem) {
    EXPECT_EQ(QuoteArg("plain"), "plain");
    EXPECT_EQ(QuoteArg(""), "\"\"");
    EXPECT_EQ(QuoteArg("two words"), "\"two words\"");
    EXPECT_EQ(QuoteArg("C:\\My Dir\\"), "\"C:\\My Dir\\\\\"");
    EXPECT_EQ(QuoteArg("say \"hi\""), "\"say \\\"hi\\\"\"");
    EXPECT_EQ(StripAccelerators("&Next >"), "Next >");
    EXPECT_EQ(StripAccelerators("Fish && Chips&"), "Fish & Chips");
}

TEST_F(WindowDriverTest, ReadsAndAnswersAMessageBox) {
    // The text goes through the command line: quoting must bring it back intact.
    const std::string text = "Install into \"C:\\Program Files\\\"? \xC3\xBC";
    TProcess p(TestWindowApp() + " box " + QuoteArg("Qfd message") + " " + QuoteArg(text));
    TWindowHandle box = FindTopWindow("Qfd message", p.Id());
    ASSERT_NE(box, 0u);
    EXPECT_EQ(ClassNameOf(box), "#32770");
    EXPECT_EQ(MessageBoxText(box), text);
    EXPECT_TRUE(PressButton(box, "Cancel"));
    ASSERT_TRUE(p.WaitForExit());
    EXPECT_EQ(p.ExitCode(), 2u);
}

TEST_F(WindowDriverTest, DrivesAWindowWithButtonsAndAModalQuestion) {
    const std::string caption = "Qfd window \xC3\xA4";
    TProcess p(TestWindowApp() + " window " + QuoteArg(caption));
    TWindowHandle w = FindTopWindow(caption, p.Id());
    ASSERT_NE(w, 0u);
    EXPECT_EQ(MessageBoxText(w), "");

    std::vector<std::string> texts = ChildTexts(w);
    EXPECT_TRUE(Contains(texts, "Ready to finish"));
    EXPECT_TRUE(Contains(texts, "&Finish"));
    const std::string edited = "Gr\xC3\xBC\xC3\x9F"
                               "e aus dem Feld";
    EXPECT_EQ(ControlText(FindChild(w, "", "Edit")), edited);
    EXPECT_EQ(ClassNameOf(FindChild(w, "Finish")), "Button");
    EXPECT_EQ(FindChild(w, "No such control"), 0u);

    // Nobody can press a disabled or missing button.
    EXPECT_FALSE(PressButton(w, "Disabled"));
    EXPECT_FALSE(PressButton(w, "Missing"));

    // The click opens a modal question; answering No keeps the program running.
    ASSERT_TRUE(PressButton(w, "&Ask"));
    TWindowHandle question = FindTopWindow("Question", p.Id());
    ASSERT_NE(question, 0u);
    EXPECT_EQ(MessageBoxText(question), "Really finish?");
    ASSERT_TRUE(PressButton(question, "No"));
    EXPECT_TRUE(WaitFor([&] { return !IsWindowAlive(question); }));
    EXPECT_FALSE(p.WaitForExit(200));

    ASSERT_TRUE(PressButton(w, "Finish"));
    ASSERT_TRUE(p.WaitForExit());
    EXPECT_EQ(p.ExitCode(), 7u);
    EXPECT_FALSE(IsWindowAlive(w));
}

TEST_F(WindowDriverTest, ClosesAndKillsWithinTheTimeLimits) {
    {
        TProcess p(TestWindowApp() + " window " + QuoteArg("Qfd close"));
        TWindowHandle w = FindTopWindow("Qfd close", p.Id());
        ASSERT_NE(w, 0u);
        EXPECT_TRUE(CloseWindow(w));
        ASSERT_TRUE(p.WaitForExit());
        EXPECT_EQ(p.ExitCode(), 3u);
    }
    TProcess p(TestWindowApp() + " window " + QuoteArg("Qfd kill"));
    ASSERT_NE(FindTopWindow("Qfd kill", p.Id()), 0u);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FindTopWindow("Qfd kill", p.Id() + 4, 300), 0u);
    EXPECT_EQ(FindTopWindow("No such window", p.Id(), 300), 0u);
    EXPECT_FALSE(p.WaitForExit(100));
    EXPECT_FALSE(WaitFor([] { return false; }, 100));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(p.Running());
    p.Kill(42);
    EXPECT_FALSE(p.Running());
    EXPECT_EQ(p.ExitCode(), 42u);
}

TEST_F(WindowDriverTest, StartsInAFolderWithExtraEnvironment) {
    TTempFolder folder;
    const std::string value = "Wert \xC3\xBC mit = Zeichen";
    TProcess p(TestWindowApp() + " env QFD_PROBE", folder.Path(),
               {{"QFD_PROBE", value}, {"Path", "C:\\nowhere"}});
    ASSERT_TRUE(p.WaitForExit());
    EXPECT_EQ(p.ExitCode(), 0u);
    EXPECT_EQ(ReadWholeFile(folder / "probe.txt"), value);

    TProcess missing(TestWindowApp() + " env QFD_NOT_SET", folder.Path());
    ASSERT_TRUE(missing.WaitForExit());
    EXPECT_EQ(missing.ExitCode(), 4u);
    EXPECT_THROW(TProcess(QuoteArg(folder / "no such program.exe")), EOSError);
}

// What a started program starts in turn belongs to the test as well: killed
// with it, given a moment to finish after it, and gone when the test process
// itself is killed (as ctest does at its time limit).
TEST_F(WindowDriverTest, WhatAProgramStartedEndsWithItOrSoonAfterIt) {
    TTempFolder folder;
    {
        TProcess p(TestWindowApp() + " spawn stay window " + QuoteArg("Qfd started"));
        TWindowHandle w = FindTopWindow("Qfd started");
        ASSERT_NE(w, 0u);
        EXPECT_EQ(p.ActiveProcesses(), 2u);
        p.Kill(5);
        EXPECT_EQ(p.ExitCode(), 5u);
        EXPECT_TRUE(WaitFor([&] { return !IsWindowAlive(w); })) << "the started window outlived the kill";
        EXPECT_EQ(p.ActiveProcesses(), 0u);
    }
    {
        // Ended at once; what it started (a clean-up, say) finishes in the grace time.
        TProcess p(TestWindowApp() + " spawn exit write " + QuoteArg(folder / "later.txt") + " 1500");
        ASSERT_TRUE(p.WaitForExit());
        EXPECT_EQ(p.ExitCode(), 0u);
    }
    EXPECT_TRUE(FileExists(folder / "later.txt")) << "the destructor did not let the started program finish";
    {
        TProcess p(TestWindowApp() + " spawn exit window " + QuoteArg("Qfd left over"));
        TWindowHandle w = FindTopWindow("Qfd left over");
        ASSERT_NE(w, 0u);
        ASSERT_TRUE(p.WaitForExit());
        EXPECT_FALSE(p.EndStartedPrograms(300)) << "a window that waits for a person ended by itself";
        EXPECT_TRUE(WaitFor([&] { return !IsWindowAlive(w); }));
    }

    // A test program (here the test window program in its role) killed from
    // outside: the system ends what it started through the driver.
    std::wstring cmd = Wide(TestWindowApp() + " hold " + QuoteArg("Qfd held"));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    TWindowHandle held = FindTopWindow("Qfd held");
    EXPECT_NE(held, 0u);
    TerminateProcess(pi.hProcess, 9);
    WaitForSingleObject(pi.hProcess, DefaultTimeoutMs);
    CloseHandle(pi.hProcess);
    const bool gone = WaitFor([&] { return !IsWindowAlive(held); });
    EXPECT_TRUE(gone) << "the program outlived the killed test";
    if (!gone) {
        DWORD pid = 0;
        GetWindowThreadProcessId(reinterpret_cast<HWND>(held), &pid);
        if (HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
            TerminateProcess(h, 1);
            CloseHandle(h);
        }
    }
}

TEST(TempFolder, RemovesALinkInsideButNotWhatItPointsAt) {
    TTempFolder outside;
    WriteTextFile(outside / "keep.txt", "kept");
    std::string link;
    {
        TTempFolder scratch;
        link = scratch / "link";
        if (!MakeUnixLinkUnderWine(RemoveBackslash(outside.Path()), link))
            GTEST_SKIP() << "no way to make a symbolic link here";
        ASSERT_TRUE(IsLink(link));
        ASSERT_TRUE(IsLink(link + "\\"));
        ASSERT_TRUE(FileExists(link + "\\keep.txt"));
    }
    EXPECT_TRUE(FileExists(outside / "keep.txt"));
    // Wine cannot remove a Unix link through the W functions; the scratch
    // folder goes once it has.
    if (IsLink(link)) {
        EXPECT_TRUE(RemoveUnixLinkUnderWine(link));
        TTempFolder::RemoveTree(ExtractFilePath(link));
    }
    EXPECT_FALSE(DirectoryExists(ExtractFilePath(link)));
}
