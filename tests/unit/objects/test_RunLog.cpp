// The run's log: its file name in the temporary folder, lines written at
// once with their verb, nothing without an open log; and the run state's reset.
#include "InstallTestSupport.h"
#include "platform/routines_Strings.h"

using RunLog = InstallFixture;

TEST_F(RunLog, NamesTheNextFreeNumberOfTheDay) {
    const std::string first = NewLogFileName(TempDir());
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(Now(), y, mo, d, h, mi, s, ms);
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", y, mo, d);
    EXPECT_EQ(first, TempDir() + "Setup Log " + date + " #1.txt");
    WriteTextFile(first, "an earlier run");
    EXPECT_EQ(NewLogFileName(TempDir()), TempDir() + "Setup Log " + date + " #2.txt");
}

TEST_F(RunLog, WritesEachLineAtOnceAndNothingWhenClosed) {
    const std::string name = TempPath("run.txt");
    ASSERT_TRUE(OpenLog(name));
    EXPECT_TRUE(LogIsOpen());
    EXPECT_EQ(LogFileName(), name);
    LogLine("File", "wrote 12 bytes to C:\\x");
    // Readable while the log is open, so a crash leaves what was written.
    std::string text = ReadWholeFile(name);
    EXPECT_NE(text.find(" File: wrote 12 bytes to C:\\x\r\n"), std::string::npos) << text;
    CloseLog();
    LogLine("File", "after closing");
    EXPECT_EQ(ReadWholeFile(name), text);
    EXPECT_FALSE(LogIsOpen());
    // The hook heard both lines.
    EXPECT_TRUE(Logged("File", "after closing"));

    EXPECT_FALSE(OpenLog(TempPath("no such folder\\run.txt")));
    EXPECT_EQ(SystemFailure("DeleteFile(x)", 5), "DeleteFile(x) failed, code 5, " + SystemErrorText(5));
}

TEST_F(RunLog, ResetForgetsTheRun) {
    auto* f = AddFile("F", "f.txt", "x");
    RunState().Reboot = true;
    RunState().RaiseRegistrationErrors = false;
    FailedRegistrationList().Add(f);
    RunState().Reset();
    EXPECT_FALSE(RunState().Reboot);
    EXPECT_TRUE(RunState().RaiseRegistrationErrors);
    EXPECT_TRUE(RaiseRegistrationErrors());
    EXPECT_EQ(RunState().Install, nullptr);
    EXPECT_EQ(FailedRegistrationList().Count(), 0);
    // Without an installation component, files count as possibly fetched.
    EXPECT_EQ(RunDistributeType(), dtTraditionalNet);
}
