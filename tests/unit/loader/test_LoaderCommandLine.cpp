// The command line on which the loading program starts the setup program,
// read back as the setup program splits it.
#include "loader/loader_CommandLine.h"
#include "platform/routines_CommandLine.h"
#include <gtest/gtest.h>

namespace {

using Params = std::vector<std::string>;

Params Split(const std::string& line) {
    return SplitCommandLine(line);
}

TEST(LoaderCommandLine, SwitchesArriveAsOneParameterEachWhateverTheFolder) {
    struct Case {
        const char* loader;
        Params expected;
    };
    const std::string prog = "C:\\Temp Dir\\qfdsetup0001\\setup.exe";
    const Case cases[] = {
        {"C:\\Downloads\\setup.exe", {prog, "-sC:\\Downloads", "-esetup.exe", "-cl"}},
        {"C:\\My Build\\My Setup.exe", {prog, "-sC:\\My Build", "-eMy Setup.exe", "-cl"}},
        // A drive root keeps its backslash, and the quote after it still closes.
        {"C:\\setup.exe", {prog, "-sC:\\", "-esetup.exe", "-cl"}},
        {"A:\\SETUP.EXE", {prog, "-sA:\\", "-eSETUP.EXE", "-cl"}},
        {"\\\\server\\share dir\\setup.exe", {prog, "-s\\\\server\\share dir", "-esetup.exe", "-cl"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loader);
        std::string line = SetupCommandLine(prog, c.loader, true, {});
        EXPECT_EQ(Split(line), c.expected) << line;
    }
}

TEST(LoaderCommandLine, ToDiskBecomesFAndOtherArgumentsFollowInTheirOrder) {
    const std::string prog = "C:\\T\\q\\setup.exe";
    EXPECT_EQ(Split(SetupCommandLine(prog, "C:\\D\\setup.exe", true, {"*TODISK"})),
              (Params{prog, "-sC:\\D", "-esetup.exe", "-cl", "-f"}));
    EXPECT_EQ(Split(SetupCommandLine(prog, "C:\\D\\setup.exe", true, {"-q", "*todisk", "a b", ""})),
              (Params{prog, "-sC:\\D", "-esetup.exe", "-cl", "-q", "-f", "a b"}));
    // "*TODISK" only as a whole argument.
    EXPECT_EQ(Split(SetupCommandLine(prog, "C:\\D\\setup.exe", true, {"*TODISKS"})).back(), "*TODISKS");
}

TEST(LoaderCommandLine, APlainLoadingProgramPassesNoE) {
    const std::string prog = "C:\\T\\q\\setup.exe";
    EXPECT_EQ(Split(SetupCommandLine(prog, "A:\\setup.exe", false, {})), (Params{prog, "-sA:\\", "-cl"}));
}

} // namespace
