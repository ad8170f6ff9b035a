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
}
