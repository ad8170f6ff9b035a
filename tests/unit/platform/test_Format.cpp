#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Format.h"
#include <gtest/gtest.h>

TEST(Format, FillsTypedArguments) {
    EXPECT_EQ(Format("Key: %s Ident: %s Value %s", {"k", std::string("i"), "v"}), "Key: k Ident: i Value v");
    EXPECT_EQ(Format("Install%d", {3}), "Install3");
    EXPECT_EQ(Format("%5d|%-4s|%.3d|%x|100%%", {42, "ab", 7, 255}), "   42|ab  |007|FF|100%");
    EXPECT_EQ(Format("%.2f", {1.005 + 1}), "2.00");
    EXPECT_EQ(Format("%u", {4000000000u}), "4000000000");
    EXPECT_EQ(Format("%x", {-1}), "FFFFFFFF");
}

TEST(Format, MismatchIsAnErrorNotGarbage) {
    EXPECT_THROW(Format("%d", {"text"}), EConvertError);
    EXPECT_THROW(Format("%s %s", {"one"}), EConvertError);
    EXPECT_THROW(Format("%q", {1}), EConvertError);
    EXPECT_THROW(Format("%99999d", {1}), EConvertError);
    EXPECT_THROW(Format("trailing %", {}), EConvertError);
    // A width taken from an argument is bounded like a written one.
    EXPECT_EQ(Format("%*d", {4, 7}), "   7");
    EXPECT_THROW(Format("%*d", {1000000000, 7}), EConvertError);
}

TEST(Format, LongNumbersAreNotCut) {
    EXPECT_EQ(Format("%.600x", {1}), std::string(599, '0') + "1");
    std::string f = Format("%.1f", {1e300});
    EXPECT_EQ(f.size(), 303u);
    EXPECT_EQ(f.substr(0, 2), "10");
    EXPECT_EQ(f.substr(f.size() - 2), ".0");
}
