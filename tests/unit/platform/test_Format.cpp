#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Format.h"
#include <gtest/gtest.h>
#include <limits>

TEST(Format, FillsTypedArguments) {
    EXPECT_EQ(Format("Key: %s Ident: %s Value %s", {"k", std::string("i"), "v"}), "Key: k Ident: i Value v");
    EXPECT_EQ(Format("Install%d", {3}), "Install3");
    EXPECT_EQ(Format("%5d|%-4s|%.3d|%x|100%%", {42, "ab", 7, 255}), "   42|ab  |007|FF|100%");
    EXPECT_EQ(Format("%.2f", {1.005 + 1}), "2.00");
    EXPECT_EQ(Format("%u", {4000000000u}), "4000000000");
    EXPECT_EQ(Format("%x", {-1}), "FFFFFFFF");
}

// The zero flag pads a number with zeros after its sign, as C's printf does: a
// folder named with "%08x" has no blanks in it.
TEST(Format, ZeroFlagPadsNumbersWithZeros) {
    EXPECT_EQ(Format("qfdsetup%08x", {0xB3444}), "qfdsetup000B3444");
    EXPECT_EQ(Format("%05d|%05d|%010u", {42, -42, 4000000000u}), "00042|-0042|4000000000");
    EXPECT_EQ(Format("%08.2f|%09.1n|%06g", {-3.14159, 1234.5, -2.5}), "-0003.14|001,234.5|-002.5");
    EXPECT_EQ(Format("%03d|%02x", {12345, 0x1FF}), "12345|1FF"); // never cut
    // '-' wins over '0' in either order; strings, an integer with a precision
    // and an infinity are padded with blanks.
    EXPECT_EQ(Format("%-05d|%0-5d|%05s", {42, 42, "ab"}), "42   |42   |   ab");
    EXPECT_EQ(Format("%08.3d|%06.3x", {7, 255}), "     007|   0FF");
    EXPECT_EQ(Format("%08.1f", {std::numeric_limits<double>::infinity()}).find('0'), std::string::npos);
    // A width from an argument takes the flag too; a negative one pads on the right.
    EXPECT_EQ(Format("%0*d|%*d|", {6, -7, -4, 7}), "-00007|7   |");
    EXPECT_EQ(Format("%0.0n", {0}), "0");
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

// %n groups the digits by the user's separators: German "58.683.097.088",
// Russian with a no-break space; "," and "." until they are read.
TEST(Format, NumbersTakeTheSeparatorsOfTheSettings) {
    const TFormatSettings before = FormatSettings();
    EXPECT_EQ(Format("%0.0n Bytes", {int64_t(58683097088)}), "58,683,097,088 Bytes");
    EXPECT_EQ(Format("%.2n", {-1234567.891}), "-1,234,567.89");
    EXPECT_EQ(Format("%.0n|%.0n|%.0n", {999, 1000, 0}), "999|1,000|0");
    FormatSettings().ThousandSeparator = ".";
    FormatSettings().DecimalSeparator = ",";
    EXPECT_EQ(Format("%0.0n", {int64_t(58683097088)}), "58.683.097.088");
    EXPECT_EQ(Format("%.1n", {123456.3}), "123.456,3");
    FormatSettings().ThousandSeparator = "\xC2\xA0";
    EXPECT_EQ(Format("%.0n", {104857600u}), "104\xC2\xA0"
                                            "857\xC2\xA0"
                                            "600");
    EXPECT_EQ(GroupThousands("-1234", "'"), "-1'234");
    EXPECT_EQ(GroupThousands("", "'"), "");
    FormatSettings() = before;
}
