// The command line as a program started by the loading program sees it: the
// real text from GetCommandLineW, split by the program's own parser.
#include "platform/routines_Strings.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "support/WindowDriver.h"
#include <gtest/gtest.h>

using WindowDriver::QuoteArg;
using WindowDriver::TProcess;

namespace {

// The parameters the probe program received with these switches after its path.
std::vector<std::string> ParamsOfProbe(const std::string& switches) {
    TTempFolder dir;
    TProcess probe(QuoteArg(ThisProgramFolder() + "qfd_cmdline_probe.exe") + " " + switches, dir.Path());
    EXPECT_TRUE(probe.WaitForExit()) << switches;
    EXPECT_EQ(probe.ExitCode(), 0u) << switches;
    TStringList lines;
    lines.SetText(ReadWholeFile(dir / "params.txt"));
    return lines.Items();
}

} // namespace

TEST(CommandLine, TheLoadingProgramsSwitchesArriveWhole) {
    std::vector<std::string> p = ParamsOfProbe("\"-sC:\\My Build\" \"-sA:\\\" -c -eSetup.exe");
    ASSERT_EQ(p.size(), 5u);
    EXPECT_TRUE(SameText(ExtractFileName(p[0]), "qfd_cmdline_probe.exe")) << p[0];
    EXPECT_EQ(p[1], "-sC:\\My Build");
    // The backslash of a drive root does not swallow the closing quote.
    EXPECT_EQ(p[2], "-sA:\\");
    EXPECT_EQ(p[3], "-c");
    EXPECT_EQ(p[4], "-eSetup.exe");
}

TEST(CommandLine, NonAsciiFoldersAndTabsBetweenSwitches) {
    std::vector<std::string> p = ParamsOfProbe("\"-sD:\\Jos\xC3\xA9\\\xE6\x97\xA5\xE6\x9C\xAC\\\"\t-c");
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[1], "-sD:\\Jos\xC3\xA9\\\xE6\x97\xA5\xE6\x9C\xAC\\");
    EXPECT_EQ(p[2], "-c");
}
