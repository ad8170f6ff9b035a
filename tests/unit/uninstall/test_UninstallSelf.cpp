// The uninstaller's own file after the product is gone: a batch takes it
// (and the product folder it leaves empty) once the program has ended,
// unless another product still starts it; a failed, refused or declined run
// keeps it; a batch that cannot start leaves it to the restart.
#include "UninstallTestSupport.h"
#include "platform/routines_API.h"
#include "platform/routines_Locale.h"
#include "platform/routines_TrustedFolder.h"
#include "support/TrustedListCheck.h"
#include "support/WindowDriver.h"

using namespace UninstallTest;
using WindowDriver::WaitFor;

namespace {
size_t Occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1))
        ++n;
    return n;
}
} // namespace

class UninstallSelf : public UninstallFixture {
protected:
    void WatchStarts(uint32_t result) {
        SetBatchStartHook([this, result](const std::string& command, const std::string&) {
            Started.push_back(command);
            return result;
        });
    }
    // The batch of the log line "Uninstaller: wrote <batch> to remove ...".
    std::string Batch() const {
        const size_t start = Log.find("Uninstaller: wrote ");
        return start == std::string::npos
                   ? std::string()
                   : Log.substr(start + 19, Log.find(" to remove ", start) - start - 19);
    }
    void TearDown() override {
        if (!Batch().empty()) {
            RemoveFile(Batch());
            RemoveDir(ExtractFileDir(Batch()));
        }
        UninstallFixture::TearDown();
    }
    std::vector<std::string> Started;
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
    const std::string batch = Batch();
    // In a folder of its own that only administrators can change, by the
    // system's cmd without AutoRun commands, which removes that folder after it.
    const std::string folder = ExtractFileDir(batch);
    EXPECT_EQ(ExtractFileName(folder).rfind("qfdunin", 0), 0u) << batch;
    if (RunningElevated()) {
        EXPECT_EQ(TrustedListMismatch(SecurityDescriptorText(folder)), "");
    }
    EXPECT_NE(Log.find("Uninstaller: started \"" + GetSystemDir() + "\\cmd.exe\" /D /C \"CALL \"" + batch +
                       "\" & RMDIR \"" + folder + "\"\""),
              std::string::npos)
        << Log;
    // The real command processor, on a file no process holds: at once.
    EXPECT_TRUE(WaitFor([&] { return !FileExists(Program) && !DirectoryExists(M("Demo")); }, 15000));
    EXPECT_TRUE(WaitFor([&] { return !DirectoryExists(folder); }, 15000)) << batch;
}

TEST_F(UninstallSelf, AnotherProductStartingTheSameFileKeepsIt) {
    WatchStarts(0);
    Program = MakeFile("Shared Folder\\uninstall.exe");
    for (const std::string& writing :
         {"\"" + Program + "\" Other", Program + " Other", "\"" + LowerCase(Program) + "\" Other",
          GetShortPath(Program) + " Other", M("Other\\uninstall.exe") + " Other"}) {
        Install("Demo");
        WriteString(ProductKey("Demo"), "UninstallString", "\"" + Program + "\" Demo");
        WriteString(ProductKey("Other"), "UninstallString", writing);
        EXPECT_EQ(Run("Demo"), 0) << Log;
    }
    // Only the last, another program, let the batch start.
    ASSERT_EQ(Started.size(), 1u) << Log;
    EXPECT_TRUE(FileExists(Program));
    EXPECT_EQ(Occurrences(Log, "The uninstaller " + Program + " was kept: another product uses it (Other)."),
              4u)
        << Log;
    // The batch erases exactly this file, in the code page cmd reads.
    const std::string text = ReadWholeFile(Batch());
    EXPECT_NE(text.find("ERASE \"" + *Utf8ToCodePage(Program, OemCodePage()) + "\"\r\n"), std::string::npos)
        << text;
    EXPECT_NE(Started[0].find("\"" + Batch() + "\""), std::string::npos) << Started[0];
}

TEST_F(UninstallSelf, AFailedRefusedOrDeclinedRunKeepsItAndABatchThatCannotStartLeavesItToTheRestart) {
    WatchStarts(2);
    Install("Demo");
    Program = M("Demo\\uninstall.exe");
    const std::string held = MakeFile("Demo\\held.dll");
    LogFile("Demo", held);
    RestartResult = 5;
    {
        TFileStream hold(held, fmOpenRead | fmShareExclusive);
        EXPECT_EQ(Run("Demo"), 1) << Log;
    }
    Answer = false;
    EXPECT_EQ(Run("Demo", false), 2) << Log;
    TRegKey k;
    ASSERT_TRUE(k.Open(RegLocalMachine, ProductKey("Demo") + "\\Files"));
    ASSERT_TRUE(k.DeleteValue("Entries"));
    EXPECT_EQ(Run("Demo"), 1) << Log;
    EXPECT_TRUE(Started.empty());
    EXPECT_EQ(Log.find("The uninstaller"), std::string::npos) << Log;

    // Complete now, but the batch cannot start: Windows takes the file at the restart.
    ASSERT_TRUE(DeleteKeyTree(RegLocalMachine, ProductKey("Demo")));
    Install("Demo");
    RestartResult = 0;
    AtRestart.clear();
    EXPECT_EQ(Run("Demo"), 0) << Log;
    ASSERT_EQ(Started.size(), 1u);
    EXPECT_EQ(AtRestart, std::vector<std::string>{Program});
    EXPECT_FALSE(DirectoryExists(ExtractFileDir(Batch())));
    EXPECT_NE(Log.find("Uninstall: The uninstaller " + Program + " is removed when Windows restarts."),
              std::string::npos)
        << Log;
}

// Another product may name the file in its log of files rather than start it:
// in any of the log's kinds, in another case or in the short form, that keeps it.
TEST_F(UninstallSelf, AnotherProductsFileLogNamingItKeepsIt) {
    WatchStarts(0);
    Program = MakeFile("Shared Folder\\uninstall.exe");
    const std::pair<std::string, std::string> logs[] = {{"Files", UpperCase(Program)},
                                                        {"Files1", GetShortPath(Program)},
                                                        {"Existed", Program},
                                                        {"ExistedActiveX", Program + ";1"}};
    for (const auto& [sub, value] : logs) {
        SCOPED_TRACE(sub);
        Install("Demo");
        WriteString(ProductKey("Demo"), "UninstallString", "\"" + Program + "\" \"Demo\"");
        // The other product starts an uninstaller of its own.
        ASSERT_TRUE(DeleteKeyTree(RegLocalMachine, ProductKey("Other")));
        Install("Other");
        WriteString(ProductKey("Other") + "\\" + sub, "File1", value);
        WriteString(ProductKey("Other") + "\\" + sub, "Entries", "1");
        EXPECT_EQ(Run("Demo"), 0) << Log;
        EXPECT_TRUE(FileExists(Program));
    }
    EXPECT_TRUE(Started.empty()) << Log;
    EXPECT_EQ(Occurrences(Log, "The uninstaller " + Program + " was kept: another product uses it (Other)."),
              std::size(logs))
        << Log;

    // Once no log names it, it goes.
    ASSERT_TRUE(DeleteKeyTree(RegLocalMachine, ProductKey("Other")));
    Install("Demo");
    EXPECT_EQ(Run("Demo"), 0) << Log;
    EXPECT_EQ(Started.size(), 1u) << Log;
}
