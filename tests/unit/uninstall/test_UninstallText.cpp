// The uninstaller's command line, the paths its log may name and the
// program of the uninstall entry (portable: also run natively).
#include "uninstall/routines_UninstallText.h"
#include <gtest/gtest.h>
#include <utility>

TEST(UninstallCommandLine, TheProductIsEverythingAfterTheProgramAndTheSwitch) {
    struct Case {
        std::string Line, Product;
        bool Quiet;
    };
    const Case cases[] = {
        {"C:\\Apps\\uninstall.exe Demo", "Demo", false},
        {"\"C:\\Program Files\\Tool\\uninstall.exe\" My  Screen Saver ", "My  Screen Saver", false},
        {"C:\\Apps\\uninstall.exe -q My Product", "My Product", true},
        {"uninstall.exe   /Q\t\"Quoted Product\"", "Quoted Product", true},
        // Only "-q" alone is the switch.
        {"uninstall.exe -quiet thing", "-quiet thing", false},
        {"uninstall.exe -q", "", true},
        {"uninstall.exe", "", false},
        {"\"C:\\unclosed quote", "", false},
    };
    for (const Case& c : cases) {
        const TUninstallCommand parsed = ParseUninstallCommandLine(c.Line);
        EXPECT_EQ(parsed.Product, c.Product) << c.Line;
        EXPECT_EQ(parsed.Quiet, c.Quiet) << c.Line;
    }
}

TEST(UninstallCommandLine, TheProgramOfTheEntryGivesTheProductsFolder) {
    EXPECT_EQ(UninstallProgramOf("C:\\Apps\\Tool\\uninstall.exe Demo", "Demo"),
              "C:\\Apps\\Tool\\uninstall.exe");
    EXPECT_EQ(UninstallProgramOf("\"C:\\Program Files\\T\\uninstall.exe\" My Demo", "My Demo"),
              "C:\\Program Files\\T\\uninstall.exe");
    // Unquoted with a blank in the path (written by hand): the product is cut off the end.
    EXPECT_EQ(UninstallProgramOf("C:\\My Apps\\uninstall.exe My Demo", "My Demo"),
              "C:\\My Apps\\uninstall.exe");
    EXPECT_EQ(UninstallProgramOf("   ", "Demo"), "");
    EXPECT_EQ(UninstallProgramOf("\"C:\\unclosed Demo", "Demo"), "");
}

TEST(UninstallLogPaths, OnlyFullPathsOfFilesPass) {
    for (const char* good :
         {"C:\\a.txt", "c:\\Program Files\\X\\y z.dll", "\\\\server\\share\\dir\\f.txt", "D:\\x\\.hidden"})
        EXPECT_EQ(WhyNotAFullFilePath(good), "") << good;
    const std::pair<const char*, const char*> bad[] = {
        {"", "is empty"},
        {"readme.txt", "is not a full path"},
        {"\\Windows\\x.dll", "is not a full path"},
        {"C:x.dll", "is not a full path"},
        {"C:\\", "names no file"},
        {"C:\\a\\..\\Windows\\x.dll", "steps through \"..\""},
        {"C:\\a\\.\\x.dll", "steps through \".\""},
        {"C:\\a\\\\x.dll", "has an empty step"},
        {"C:\\a\\x.dll.", "has a name ending in a dot or blank"},
        {"C:\\a \\x.dll", "has a name ending in a dot or blank"},
        {"C:\\a\\*.dll", "holds a character no file name can hold"},
        {"C:\\a\\b:stream", "holds a character no file name can hold"},
        {"C:\\a/x.dll", "holds a character no file name can hold"},
        {"\\\\?\\C:\\x.dll", "is not a full path"},
        {"\\\\.\\PhysicalDrive0", "is not a full path"},
        {"\\\\server\\", "is not a full path"},
        {"\\\\server\\share\\", "names no file"},
    };
    for (const auto& [path, why] : bad)
        EXPECT_EQ(WhyNotAFullFilePath(path), why) << path;
    EXPECT_EQ(WhyNotAFullFilePath("C:\\a\\x\x01.dll"), "holds a character no file name can hold");
}
