// The uninstaller's command line, the paths its log may name and the
// program of the uninstall entry (portable: also run natively).
#include "platform/routines_Strings.h"
#include "uninstall/routines_UninstallText.h"
#include <gtest/gtest.h>
#include <map>
#include <sstream>
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

TEST(UninstallerUsers, AnEntryStartingTheSameFileInAnyWritingKeepsIt) {
    const std::vector<std::string> forms = {"C:\\Windows\\System32\\uninstall.exe",
                                            "C:\\WINDOWS\\SYSTEM32\\UNINST~1.EXE"};
    for (const char* same :
         {"\"C:\\Windows\\System32\\uninstall.exe\" Other Saver",
          "C:\\Windows\\System32\\uninstall.exe Other Saver", "c:\\windows\\system32\\UNINSTALL.EXE Other",
          "  C:\\Windows\\System32\\uninstall.exe", "\"c:\\windows\\system32\\Uninstall.exe\"",
          "C:\\WINDOWS\\SYSTEM32\\UNINST~1.EXE Other"})
        EXPECT_TRUE(UninstallStringStarts(same, forms)) << same;
    for (const char* other :
         {"C:\\Windows\\System32\\uninstall2.exe Other", "\"C:\\Windows\\System32\\uninstall.exe2\" Other",
          "C:\\Windows\\System32\\uninstall.exe2 Other", "\"C:\\Windows\\System32\\uninstall.exe",
          "MsiExec.exe /X{12345678-1234-1234-1234-123456789012}",
          "D:\\Windows\\System32\\uninstall.exe Other", "", "   "})
        EXPECT_FALSE(UninstallStringStarts(other, forms)) << other;
    // A path with blanks, unquoted: the whole path is compared, not its first word.
    const std::vector<std::string> spaced = {"C:\\Program Files\\Tool\\uninstall.exe"};
    EXPECT_TRUE(UninstallStringStarts("C:\\Program Files\\Tool\\uninstall.exe Tool", spaced));
    EXPECT_FALSE(UninstallStringStarts("C:\\Program Files\\Other\\uninstall.exe Tool", spaced));
    EXPECT_FALSE(UninstallStringStarts("C:\\Program Tool", spaced));
}

TEST(UninstallerUsers, TheFirstOtherProductStartingItIsNamed) {
    const std::vector<std::string> forms = {"C:\\Windows\\System32\\uninstall.exe"};
    const std::vector<TListEntry> entries = {
        {"Editor", "\"C:\\Program Files\\Editor\\uninstall.exe\" Editor"},
        {"Wine Gecko", "MsiExec.exe /X{1}"},
        {"Blue Saver", "C:\\WINDOWS\\system32\\uninstall.exe Blue Saver"},
        {"Red Saver", "C:\\Windows\\System32\\uninstall.exe Red Saver"},
    };
    EXPECT_EQ(OtherUserOfUninstaller(entries, forms), "Blue Saver");
    EXPECT_EQ(OtherUserOfUninstaller({entries[0], entries[1]}, forms), "");
    EXPECT_EQ(OtherUserOfUninstaller({}, forms), "");
}

namespace {
// Runs the clean-up batch the way cmd would, on a pretend machine: the
// program stays in use for busySeconds (forever when negative); records
// every erase, folder removal and wait. Stops after a step limit so that a
// batch that loops for ever fails rather than hangs.
struct TBatchRun {
    std::vector<std::string> Done; // "ERASE path", "RMDIR path"
    int Seconds = 0;
    bool Ended = false;
    bool ProgramGone = false;
};

std::string Unquoted(const std::string& s) {
    std::string t = s.size() >= 2 && s.front() == '"' && s.back() == '"' ? s.substr(1, s.size() - 2) : s;
    // cmd reads "%%" as one "%".
    for (size_t p = t.find("%%"); p != std::string::npos; p = t.find("%%", p + 1))
        t.erase(p, 1);
    return t;
}

TBatchRun RunBatch(const std::vector<std::string>& lines, const std::string& program, int busySeconds) {
    TBatchRun run;
    std::map<std::string, int> vars;
    size_t pc = 0;
    auto jump = [&](const std::string& label) {
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == ":" + label) {
                pc = i + 1;
                return true;
            }
        ADD_FAILURE() << "no label " << label;
        return false;
    };
    auto value = [&](const std::string& token) {
        if (token.size() > 2 && token.front() == '%' && token.back() == '%')
            return vars[token.substr(1, token.size() - 2)];
        return std::stoi(token);
    };
    for (int steps = 0; steps < 10000; ++steps) {
        if (pc >= lines.size()) {
            run.Ended = true;
            return run;
        }
        const std::string line = lines[pc++];
        std::istringstream in(line);
        std::string word;
        in >> word;
        std::string rest;
        std::getline(in, rest);
        rest = rest.empty() ? rest : rest.substr(1);
        if (word == "@ECHO" || word.empty() || word[0] == ':') {
            continue;
        } else if (word == "ERASE" || word == "RMDIR") {
            const std::string path = Unquoted(rest);
            run.Done.push_back(word + " " + path);
            if (word == "ERASE" && path == program && (busySeconds < 0 || run.Seconds >= busySeconds))
                run.ProgramGone = true;
        } else if (word == "SET") {
            const bool arith = rest.rfind("/A ", 0) == 0;
            const std::string expr = arith ? rest.substr(3) : rest;
            const size_t eq = expr.find('=');
            const std::string name = expr.substr(0, eq), rhs = expr.substr(eq + 1);
            const size_t plus = rhs.find('+');
            vars[name] = plus == std::string::npos
                             ? std::stoi(rhs)
                             : vars[rhs.substr(0, plus)] + std::stoi(rhs.substr(plus + 1));
        } else if (word == "PING") {
            ++run.Seconds; // -n 2: one second between two echoes
        } else if (word == "GOTO") {
            if (!jump(rest))
                return run;
        } else if (word == "IF") {
            std::istringstream cond(rest);
            std::string a, op, b, go, label;
            cond >> a;
            if (a == "NOT") {
                std::string exist;
                cond >> exist;
                std::getline(cond >> std::ws, rest);
                const size_t g = rest.rfind(" GOTO ");
                const std::string path = Unquoted(rest.substr(0, g));
                EXPECT_EQ(path, program);
                if (run.ProgramGone && !jump(rest.substr(g + 6)))
                    return run;
            } else {
                cond >> op >> b >> go >> label;
                EXPECT_EQ(op, "GEQ") << line;
                if (value(a) >= value(b) && !jump(label))
                    return run;
            }
        } else {
            ADD_FAILURE() << "unexpected line: " << line;
            return run;
        }
    }
    return run;
}
} // namespace

TEST(SelfRemovalBatch, ItWaitsForTheProgramThenTakesTheEmptiedFolderAndItself) {
    const std::string program = "C:\\Apps\\Tool\\uninstall.exe", folder = "C:\\Apps\\Tool",
                      batch = "C:\\Temp\\bat1.bat";
    const TBatchRun run = RunBatch(SelfRemovalBatchLines(program, folder, batch), program, 5);
    EXPECT_TRUE(run.Ended);
    EXPECT_TRUE(run.ProgramGone);
    EXPECT_EQ(run.Seconds, 5);
    ASSERT_GE(run.Done.size(), 3u);
    EXPECT_EQ(run.Done[run.Done.size() - 2], "RMDIR " + folder);
    EXPECT_EQ(run.Done.back(), "ERASE " + batch);
    // Only the program, the folder and the batch are ever named.
    for (const std::string& d : run.Done)
        EXPECT_TRUE(d == "ERASE " + program || d == "RMDIR " + folder || d == "ERASE " + batch) << d;
    // Never a removal of a folder with what it holds.
    for (const std::string& line : SelfRemovalBatchLines(program, folder, batch))
        EXPECT_EQ(UpperCase(line).find("/S"), std::string::npos) << line;
}

TEST(SelfRemovalBatch, AProgramThatNeverEndsIsGivenUpAfterAMinute) {
    const std::string program = "C:\\Windows\\System32\\uninstall.exe", batch = "C:\\Temp\\bat2.bat";
    const TBatchRun run = RunBatch(SelfRemovalBatchLines(program, "", batch), program, 1000000);
    EXPECT_TRUE(run.Ended);
    EXPECT_FALSE(run.ProgramGone);
    EXPECT_LE(run.Seconds, 60);
    EXPECT_GE(run.Seconds, 30);
    ASSERT_FALSE(run.Done.empty());
    EXPECT_EQ(run.Done.back(), "ERASE " + batch);
    // No folder given: none removed.
    for (const std::string& d : run.Done)
        EXPECT_NE(d.rfind("RMDIR", 0), 0u) << d;
}

TEST(SelfRemovalBatch, PercentSignsInPathsAreNotReadAsVariables) {
    const std::string program = "C:\\100%\\%PATH%\\uninstall.exe", batch = "C:\\Temp\\%x%.bat";
    const std::vector<std::string> lines = SelfRemovalBatchLines(program, "C:\\100%", batch);
    int named = 0;
    for (const std::string& line : lines) {
        if (line.find("uninstall.exe") == std::string::npos)
            continue;
        ++named;
        EXPECT_NE(line.find("\"C:\\100%%\\%%PATH%%\\uninstall.exe\""), std::string::npos) << line;
    }
    EXPECT_GE(named, 2);
    const TBatchRun run = RunBatch(lines, program, 0);
    EXPECT_TRUE(run.ProgramGone);
    ASSERT_FALSE(run.Done.empty());
    EXPECT_EQ(run.Done.back(), "ERASE " + batch);
}
