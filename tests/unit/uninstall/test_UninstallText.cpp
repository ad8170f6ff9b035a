// The uninstaller's command line, the paths its log may name and the
// program of the uninstall entry (portable: also run natively).
#include "platform/routines_Strings.h"
#include "uninstall/routines_UninstallText.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <utility>
#include <vector>

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
        // Quoted, as the setup writes it: blanks at the ends and a leading "-q" belong to the name.
        {"C:\\Apps\\uninstall.exe \"Demo \"", "Demo ", false},
        {"C:\\Apps\\uninstall.exe \"  Demo\"  ", "  Demo", false},
        {"C:\\Apps\\uninstall.exe \"-q Demo\"", "-q Demo", false},
        {"C:\\Apps\\uninstall.exe -q \"-q Demo\"", "-q Demo", true},
        {"C:\\Apps\\uninstall.exe \"-q\"", "-q", false},
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
    // The product quoted, as the setup writes it.
    EXPECT_EQ(UninstallProgramOf("C:\\Apps\\uninstall.exe \"Demo \"", "Demo "), "C:\\Apps\\uninstall.exe");
    EXPECT_EQ(UninstallProgramOf("C:\\My Apps\\uninstall.exe \"My Demo\"", "My Demo"),
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

TEST(UninstallerUsers, AnotherEntryStartingTheSameFileInAnyWritingIsNamed) {
    const std::vector<std::string> forms = {"C:\\Program Files\\Sys\\uninstall.exe",
                                            "C:\\PROGRA~1\\Sys\\UNINST~1.EXE"};
    for (const char* same :
         {"\"C:\\Program Files\\Sys\\uninstall.exe\" Saver", "c:\\program files\\sys\\UNINSTALL.EXE Saver",
          "  C:\\Program Files\\Sys\\uninstall.exe", "C:\\PROGRA~1\\Sys\\UNINST~1.EXE Saver"})
        EXPECT_EQ(
            OtherUserOfUninstaller({{"Editor", "C:\\Editor\\uninstall.exe Editor"}, {"Saver", same}}, forms),
            "Saver")
            << same;
    for (const char* other :
         {"C:\\Program Files\\Sys\\uninstall.exe2 Saver", "\"C:\\Program Files\\Sys\\uninstall.exe",
          "\"C:\\Program Files\\Sys\\uninstall2.exe\" Saver", "C:\\Program Saver", "MsiExec.exe /X{1}",
          "   "})
        EXPECT_EQ(OtherUserOfUninstaller({{"Saver", other}}, forms), "") << other;
}

namespace {
// Runs the clean-up batch as cmd would, on a pretend machine where the
// program stays in use for busySeconds. A step limit turns a loop without
// end into a failure rather than a hang.
struct TBatchRun {
    std::vector<std::string> Done; // "ERASE path", "RMDIR path"
    int Seconds = 0;
    bool Ended = false, ProgramGone = false;
};

// cmd's reading of a line: "%%" is one "%", "%NAME%" the variable's value.
std::string Expanded(const std::string& line, std::map<std::string, int>& vars) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '%') {
            out += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            const size_t close = line.find('%', i + 1);
            if (close == std::string::npos)
                break;
            const std::string name = line.substr(i + 1, close - i - 1);
            out += vars.count(name) ? std::to_string(vars[name]) : std::string();
            i = close;
        }
    }
    return out;
}

TBatchRun RunBatch(const std::vector<std::string>& lines, const std::string& program, int busySeconds) {
    static const std::regex remove(R"re((ERASE|RMDIR) "(.*)")re"),
        ifGone(R"re(IF NOT EXIST "(.*)" GOTO (\w+))re"), ifCount(R"re(IF (\d+) GEQ (\d+) GOTO (\w+))re"),
        set(R"re(SET (/A )?(\w+)=(\w+?)(\+(\d+))?)re"), go(R"re(GOTO (\w+))re"),
        ping(R"re(PING -n 2 127\.0\.0\.1 > NUL)re");
    TBatchRun run;
    std::map<std::string, int> vars;
    size_t pc = 0;
    auto jump = [&](const std::string& label) {
        const auto it = std::find(lines.begin(), lines.end(), ":" + label);
        EXPECT_NE(it, lines.end()) << label;
        pc = static_cast<size_t>(it - lines.begin());
    };
    for (int steps = 0; steps < 10000 && pc < lines.size(); ++steps) {
        const std::string line = Expanded(lines[pc++], vars);
        std::smatch m;
        if (std::regex_match(line, m, remove)) {
            run.Done.push_back(m[1].str() + " " + m[2].str());
            run.ProgramGone = run.ProgramGone || (m[2] == program && run.Seconds >= busySeconds);
        } else if (std::regex_match(line, m, ifGone)) {
            EXPECT_EQ(m[1], program);
            if (run.ProgramGone)
                jump(m[2]);
        } else if (std::regex_match(line, m, ifCount)) {
            if (std::stoi(m[1]) >= std::stoi(m[2]))
                jump(m[3]);
        } else if (std::regex_match(line, m, set)) {
            vars[m[2]] = m[4].matched ? vars[m[3]] + std::stoi(m[5]) : std::stoi(m[3]);
        } else if (std::regex_match(line, ping)) {
            ++run.Seconds;
        } else if (std::regex_match(line, m, go)) {
            jump(m[1]);
        } else {
            EXPECT_TRUE(line == "@ECHO OFF" || line[0] == ':') << line;
        }
    }
    run.Ended = pc >= lines.size();
    return run;
}
} // namespace

TEST(SelfRemovalBatch, ItWaitsForTheProgramThenTakesTheEmptiedFolderAndItself) {
    // Percent signs in the paths must not be read as variables.
    const std::string program = "C:\\100%\\%PATH%\\uninstall.exe", folder = "C:\\100%\\%PATH%",
                      batch = "C:\\Temp\\%x%.bat";
    const TBatchRun run = RunBatch(SelfRemovalBatchLines(program, folder, batch), program, 5);
    EXPECT_TRUE(run.Ended && run.ProgramGone);
    EXPECT_EQ(run.Seconds, 5);
    const std::vector<std::string> tail = {"ERASE " + program, "RMDIR " + folder, "ERASE " + batch};
    ASSERT_GE(run.Done.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(run.Done.end() - 3, run.Done.end()), tail);
    // RMDIR without /S: a folder that still holds something stays.
    for (const std::string& line : SelfRemovalBatchLines(program, folder, batch))
        EXPECT_EQ(UpperCase(line).find("/S"), std::string::npos) << line;
}

TEST(SelfRemovalBatch, AProgramThatNeverEndsIsGivenUpAfterAMinute) {
    const std::string program = "C:\\Windows\\System32\\uninstall.exe", batch = "C:\\Temp\\bat2.bat";
    const TBatchRun run = RunBatch(SelfRemovalBatchLines(program, "", batch), program, 1000000);
    EXPECT_TRUE(run.Ended);
    EXPECT_FALSE(run.ProgramGone);
    EXPECT_GE(run.Seconds, 30);
    EXPECT_LE(run.Seconds, 60);
    // Every try erased the program only; no folder was given, none is removed.
    ASSERT_FALSE(run.Done.empty());
    EXPECT_EQ(run.Done.back(), "ERASE " + batch);
    EXPECT_EQ(std::count(run.Done.begin(), run.Done.end(), "ERASE " + program),
              static_cast<long>(run.Done.size()) - 1);
}
