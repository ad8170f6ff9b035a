// The uninstaller's own file after the product is gone: a batch takes it
// (and the product folder it leaves empty) once the program has ended,
// unless another product still starts it; a failed or refused uninstall
// keeps it; a batch that cannot start leaves it to the restart.
#include "UninstallTestSupport.h"
#include "platform/routines_API.h"
#include "platform/routines_Locale.h"
#include "support/SystemHelpers.h"
#include "support/WindowDriver.h"

using namespace UninstallTest;
using WindowDriver::WaitFor;

namespace {
// The batch named by the log line "Uninstaller: wrote <batch> to remove ...".
std::string BatchOf(const std::string& log) {
    const std::string mark = "Uninstaller: wrote ";
    const size_t start = log.find(mark);
    if (start == std::string::npos)
        return std::string();
    const size_t end = log.find(" to remove ", start);
    return log.substr(start + mark.size(), end - start - mark.size());
}
} // namespace

class UninstallSelf : public UninstallFixture {
protected:
    void WatchStarts() {
        SetBatchStartHook([this](const std::string& command, const std::string&) {
            Started.push_back(command);
            return StartResult;
        });
    }
    void TearDown() override {
        // A batch a watched start left behind.
        const std::string batch = BatchOf(Log);
        if (!batch.empty())
            RemoveFile(batch);
        UninstallFixture::TearDown();
    }
    std::vector<std::string> Started;
    uint32_t StartResult = 0;
};

TEST_F(UninstallSelf, AfterACompleteRemovalItsFileGoesWithTheFolderItLeavesEmpty) {
    Install("Demo");
    Program = M("Demo\\uninstall.exe");
    const std::string saver = MakeFile("Demo\\saver.scr");
    LogFile("Demo", saver);

    EXPECT_EQ(Run("Demo", false), 0) << Log;
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0], "Demo was removed.\n\n1 file was removed:\n    " + saver + "\n\nThe uninstaller " +
                            Program + " removes itself once it has ended.");
    const std::string batch = BatchOf(Log);
    ASSERT_FALSE(batch.empty()) << Log;
    EXPECT_TRUE(SameText(ExtractFileDir(batch), RemoveBackslash(TempDirectory()))) << batch;
    EXPECT_NE(Log.find("Uninstaller: started \"" + GetSystemDir() + "\\cmd.exe\" /D /C \"" + batch + "\""),
              std::string::npos)
        << Log;
    // The real command processor, on a file no process holds: at once.
    EXPECT_TRUE(WaitFor([&] { return !FileExists(Program); }, 15000)) << Program;
    EXPECT_TRUE(WaitFor([&] { return !DirectoryExists(M("Demo")); }, 15000));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(batch); }, 15000)) << batch;
    EXPECT_TRUE(AtRestart.empty());
    EXPECT_NE(LogFileText().find("The uninstaller " + Program + " removes itself once it has ended."),
              std::string::npos);
}

TEST_F(UninstallSelf, AnotherProductStartingTheSameFileKeepsIt) {
    WatchStarts();
    const std::string shared = MakeFile("Shared Folder\\uninstall.exe", "the uninstaller");
    const std::string shortForm = GetShortPath(shared);
    std::vector<std::string> writings = {"\"" + shared + "\" Other", shared + " Other",
                                         "\"" + LowerCase(shared) + "\" Other", UpperCase(shared)};
    // Where the volume has short names, the short form names the same file.
    if (!SameText(shortForm, shared))
        writings.push_back(shortForm + " Other");
    for (const std::string& writing : writings) {
        Install("Demo");
        WriteString(ProductKey("Demo"), "UninstallString", "\"" + shared + "\" Demo");
        WriteString(ProductKey("Other"), "UninstallString", writing);
        Program = shared;
        Log.clear();
        Shown.clear();
        EXPECT_EQ(Run("Demo", false), 0) << Log;
        EXPECT_TRUE(FileExists(shared)) << writing;
        EXPECT_TRUE(Started.empty()) << writing;
        EXPECT_TRUE(BatchOf(Log).empty()) << Log;
        ASSERT_EQ(Shown.size(), 1u);
        EXPECT_NE(Shown[0].find("The uninstaller " + shared + " was kept: another product uses it (Other)."),
                  std::string::npos)
            << writing << "\n"
            << Shown[0];
    }
    // Another product's own program of that name elsewhere does not count.
    Install("Demo");
    WriteString(ProductKey("Demo"), "UninstallString", "\"" + shared + "\" Demo");
    WriteString(ProductKey("Other"), "UninstallString", M("Other\\uninstall.exe") + " Other");
    EXPECT_EQ(Run("Demo"), 0) << Log;
    ASSERT_EQ(Started.size(), 1u) << Log;
    // The batch erases exactly this file; written in the code page cmd reads.
    const std::string batch = BatchOf(Log);
    const std::string text = ReadWholeFile(batch);
    EXPECT_NE(text.find("ERASE \"" + *Utf8ToCodePage(shared, OemCodePage()) + "\"\r\n"), std::string::npos)
        << text;
    EXPECT_NE(Started[0].find("\"" + batch + "\""), std::string::npos) << Started[0];
}

TEST_F(UninstallSelf, AFailedRefusedOrDeclinedUninstallKeepsIt) {
    WatchStarts();
    Install("Stuck");
    Program = M("Stuck\\uninstall.exe");
    const std::string held = MakeFile("Stuck\\held.dll");
    LogFile("Stuck", held);
    RestartResult = 5;
    {
        TFileStream hold(held, fmOpenRead | fmShareExclusive);
        EXPECT_EQ(Run("Stuck"), 1) << Log;
    }
    // Declined.
    Answer = false;
    EXPECT_EQ(Run("Stuck", false), 2) << Log;
    // Refused: the log lost its count.
    Answer = true;
    TRegKey k;
    ASSERT_TRUE(k.Open(RegLocalMachine, ProductKey("Stuck") + "\\Files"));
    ASSERT_TRUE(k.DeleteValue("Entries"));
    EXPECT_EQ(Run("Stuck"), 1) << Log;

    EXPECT_TRUE(FileExists(Program));
    EXPECT_TRUE(Started.empty());
    EXPECT_TRUE(BatchOf(Log).empty()) << Log;
    EXPECT_EQ(LogFileText().find("The uninstaller"), std::string::npos);
}

TEST_F(UninstallSelf, ABatchThatCannotStartLeavesItToTheRestart) {
    WatchStarts();
    StartResult = 2;
    Install("Demo");
    Program = M("Demo\\uninstall.exe");
    EXPECT_EQ(Run("Demo", false), 0) << Log;
    ASSERT_EQ(Started.size(), 1u);
    EXPECT_EQ(AtRestart, std::vector<std::string>{Program});
    EXPECT_TRUE(FileExists(Program));
    // The batch that did not start is not left behind.
    const std::string batch = BatchOf(Log);
    ASSERT_FALSE(batch.empty());
    EXPECT_FALSE(FileExists(batch));
    EXPECT_NE(Log.find("Restart: " + Program + " marked for removal at the restart"), std::string::npos)
        << Log;
    // The message was out before the start failed: the log says what became of it.
    EXPECT_NE(
        LogFileText().find("Uninstall: The uninstaller " + Program + " is removed when Windows restarts."),
        std::string::npos)
        << LogFileText();

    // Without the rights to the restart removal either: it stays, and the log says why.
    Install("Demo");
    AtRestart.clear();
    RestartResult = 5;
    Log.clear();
    EXPECT_EQ(Run("Demo"), 0) << Log;
    EXPECT_TRUE(FileExists(Program));
    EXPECT_NE(Log.find("Uninstall: The uninstaller " + Program + " stays: the batch could not be started: "),
              std::string::npos)
        << Log;
    EXPECT_NE(Log.find(", and it could not be marked for removal at the restart ("), std::string::npos)
        << Log;
}

TEST_F(UninstallSelf, AnUninstallerTheProductsLogNamesGoesWithTheLog) {
    WatchStarts();
    Install("Demo");
    Program = M("Demo\\uninstall.exe");
    LogFile("Demo", Program);
    EXPECT_EQ(Run("Demo", false), 0) << Log;
    EXPECT_FALSE(FileExists(Program));
    EXPECT_TRUE(Started.empty());
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0], "Demo was removed.\n\n1 file was removed:\n    " + Program);
}
