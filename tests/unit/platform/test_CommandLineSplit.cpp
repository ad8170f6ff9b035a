#include "platform/routines_CommandLine.h"
#include <gtest/gtest.h>

using Params = std::vector<std::string>;

TEST(SplitCommandLine, QuotesGroupAndBackslashesArePlain) {
    EXPECT_EQ(SplitCommandLine("setup.exe \"-sA:\\\" -c"), (Params{"setup.exe", "-sA:\\", "-c"}));
    EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\x\\setup.exe\" \"-sC:\\My Build\" -eSetup.exe"),
              (Params{"C:\\Program Files\\x\\setup.exe", "-sC:\\My Build", "-eSetup.exe"}));
    // Quotes may open and close inside a parameter; two backslashes stay two.
    EXPECT_EQ(SplitCommandLine("a -s\"C:\\My \"Build\\\\ b"), (Params{"a", "-sC:\\My Build\\\\", "b"}));
    // An unclosed quote runs to the end.
    EXPECT_EQ(SplitCommandLine("a \"-sC:\\x y"), (Params{"a", "-sC:\\x y"}));
}

TEST(SplitCommandLine, SeparatorsAndEmptyQuotes) {
    EXPECT_EQ(SplitCommandLine(""), Params{});
    EXPECT_EQ(SplitCommandLine(" \t\r\n "), Params{});
    EXPECT_EQ(SplitCommandLine("  a\t\tb\nc  "), (Params{"a", "b", "c"}));
    // An empty pair of quotes between parameters is no parameter.
    EXPECT_EQ(SplitCommandLine("a \"\" \"\"-c \"\""), (Params{"a", "-c"}));
    // Non-ASCII text passes through whole (UTF-8 bytes are never separators).
    EXPECT_EQ(SplitCommandLine("a \"-sD:\\Jos\xC3\xA9 \xE6\x97\xA5\""),
              (Params{"a", "-sD:\\Jos\xC3\xA9 \xE6\x97\xA5"}));
}
