// The real loading program under Wine, in front of a setup.1 that holds a
// stand-in setup program which writes down how it was started.
#include "LoaderTestSupport.h"
#include "platform/routines_AdminFolder.h"
#include "platform/routines_CommandLine.h"
#include "support/SystemHelpers.h"
#include "support/TrustedListCheck.h"
#include "support/WindowDriver.h"
#include <algorithm>
#include <cstdio>
#include <map>

using namespace WindowDriver;

namespace {

std::string BuiltLoader() {
    return ThisProgramFolder() + "..\\..\\..\\src\\loader\\loader.exe";
}

struct LoaderProgram : ::testing::Test {
    TTempFolder dir;
    std::string temp = dir / "tmp\\";
    std::string dist = dir / "My Dist\\";
    // Not "setup.exe": the settings of that name belong to the setup program's tests.
    std::string loader = dist + "Setup Test.exe";
    std::string out = dir / "started.txt";
    std::string go = dir / "go";
    std::string exitCode = "0";
    // Passed on to the stand-in: a file to attack, and whether to keep its copy.
    std::string tryOn, keep;
    TWineAppDefault fast = FastWindowsUnderWine("Setup Test.exe");
    // Where the loading program makes its folder: elevated, the machine's
    // folder of this program (the test holds the machine's lock), otherwise
    // the temporary folder it is given.
    std::string place = RunningElevated() ? AddBackslash(MachineFolder()) : temp;
    std::vector<std::string> before = Folders();

    LoaderProgram() {
        ForceDirectory(temp);
        ForceDirectory(dist);
        ForceDirectory(dir / "src");
    }
    ~LoaderProgram() override {
        for (const std::string& name : TempContent())
            TTempFolder::RemoveTree(place + name);
        if (place != temp)
            RemoveDir(RemoveBackslash(place));
    }

    std::string Setup1() {
        std::string program = dir / "src\\setup.exe";
        CopyFileTo(ThisProgramFolder() + "fake_setup.exe", program, false);
        WriteTextFile(dir / "src\\files.inf", "C:\\WINDOWS\\SYSTEM\\saver.scr\r\n");
        MakeArchive(dir / "src\\setup.1", {program, dir / "src\\files.inf"});
        return dir / "src\\setup.1";
    }
    TExtractionInfo SelfExtracting(const std::string& path = std::string()) {
        std::string target = path.empty() ? loader : path;
        EXPECT_TRUE(CopyFileTo(BuiltLoader(), target, false));
        WriteTextFile(dir / "src\\saver.scr", std::string(30000, 's'));
        MakeArchive(dir / "src\\files.1", {dir / "src\\saver.scr"});
        return AppendDistribution(target, Setup1(), dir / "src\\files.1", "Loader Test Screen Saver");
    }
    std::unique_ptr<TProcess> Start(const std::string& args = std::string(),
                                    const std::string& path = std::string()) {
        std::vector<std::pair<std::string, std::string>> env = {
            {"TMP", RemoveBackslash(temp)}, {"TEMP", RemoveBackslash(temp)},   {"QFD_FAKE_SETUP_OUT", out},
            {"QFD_FAKE_SETUP_GO", go},      {"QFD_FAKE_SETUP_EXIT", exitCode}, {"QFD_FAKE_SETUP_TRY", tryOn},
            {"QFD_FAKE_SETUP_KEEP", keep},
        };
        std::string line = QuoteArg(path.empty() ? loader : path) + (args.empty() ? "" : " " + args);
        return std::make_unique<TProcess>(line, RemoveBackslash(dir.Path()), env);
    }
    // What the stand-in wrote: its lines by key (a key that repeats keeps them all, joined by '|').
    std::map<std::string, std::string> Started() {
        std::map<std::string, std::string> m;
        if (!FileExists(out))
            return m;
        for (const std::string& line : SplitLines(ReadWholeFile(out))) {
            size_t eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            std::string& v = m[line.substr(0, eq)];
            v += (v.empty() ? "" : "|") + line.substr(eq + 1);
        }
        return m;
    }
    static std::vector<std::string> SplitLines(const std::string& text) {
        std::vector<std::string> v;
        size_t at = 0;
        while (at < text.size()) {
            size_t nl = text.find('\n', at);
            v.push_back(text.substr(at, nl == std::string::npos ? std::string::npos : nl - at));
            at = nl == std::string::npos ? text.size() : nl + 1;
        }
        return v;
    }
    std::vector<std::string> Folders() const {
        std::vector<std::string> found;
        for (const std::string& name : ListDirectory(place))
            if (place == temp || name.rfind("qfdsetup", 0) == 0)
                found.push_back(RemoveBackslash(name));
        return found;
    }
    // What the runs of this test left where the loading program makes its folder.
    std::vector<std::string> TempContent() const {
        std::vector<std::string> fresh;
        for (const std::string& name : Folders())
            if (std::find(before.begin(), before.end(), name) == before.end())
                fresh.push_back(name);
        return fresh;
    }
};

TEST_F(LoaderProgram, StartsTheUnpackedSetupProgramWithItsSwitchesAndWaitsForIt) {
    SelfExtracting();
    exitCode = "3";
    tryOn = loader;
    auto p = Start();
    ASSERT_TRUE(WaitFor([&] { return FileExists(out); }, 10000));
    // The setup program runs: the loading program waits for it.
    EXPECT_FALSE(p->WaitForExit(300));
    WriteTextFile(go, "");
    ASSERT_TRUE(p->WaitForExit(10000));
    EXPECT_EQ(p->ExitCode(), 3u);
    // Its folder went with its end, at once.
    EXPECT_TRUE(TempContent().empty());

    auto s = Started();
    std::vector<std::string> params = SplitCommandLine(s["cmd"]);
    ASSERT_EQ(params.size(), 4u) << s["cmd"];
    EXPECT_TRUE(SameText(params[0], s["exe"])) << s["cmd"];
    EXPECT_EQ(params[1], "-s" + RemoveBackslash(dist));
    EXPECT_EQ(params[2], "-eSetup Test.exe");
    EXPECT_EQ(params[3], "-cl");
    // From a new folder of its own in the temporary folder, beside the files of setup.1.
    std::string folder = ExtractFilePath(s["exe"]);
    EXPECT_TRUE(SameText(ExtractFilePath(RemoveBackslash(folder)), place)) << s["exe"];
    EXPECT_EQ(ExtractFileName(s["exe"]), "setup.exe");
    // While it waits, the loading program holds what it unpacked, and its
    // own file: nobody writes, renames or deletes them. Its current folder
    // is its own, not the temporary one.
    EXPECT_EQ(s["held"], "files.inf");
    EXPECT_EQ(s["free"], "");
    EXPECT_EQ(s["written"], "0");
    EXPECT_EQ(s["renamed"], "0");
    EXPECT_EQ(s["deleted"], "0");
    EXPECT_TRUE(FileExists(loader));
    EXPECT_TRUE(SameText(AddBackslash(s["cwd"]), dir.Path())) << s["cwd"];
    // It asks for administrator rights: then its folder lets only
    // administrators and the system write.
    if (s["elevated"] == "1")
        EXPECT_EQ(TrustedListMismatch(s["acl"]), "");
    else
        EXPECT_EQ(s["acl"].find("D:P"), std::string::npos) << s["acl"];
}

TEST_F(LoaderProgram, ACopyTheSetupProgramKeepsStaysAndIsFree) {
    SelfExtracting();
    exitCode = "3";
    keep = "1";
    WriteTextFile(go, "");
    auto p = Start("-q");
    ASSERT_TRUE(p->WaitForExit(10000));
    EXPECT_EQ(p->ExitCode(), 3u);
    ASSERT_EQ(TempContent().size(), 1u);
    std::string folder = place + TempContent()[0] + "\\";
    EXPECT_TRUE(FileExists(folder + "setup.exe"));
    // Let go of: the run after a restart may use and remove it.
    TFileStream alone(folder + "files.inf", fmOpenReadWrite | fmShareExclusive);
}

TEST_F(LoaderProgram, ADriveRootFolderAndToDiskReachTheSetupProgram) {
    std::string name = "qfdload" + ExtractFileName(RemoveBackslash(dir.Path())) + ".exe";
    std::string root = "C:\\" + name;
    SelfExtracting(root);
    WriteTextFile(go, "");
    auto p = Start("*TODISK", root);
    bool ended = p->WaitForExit(10000);
    RemoveFile(root);
    ASSERT_TRUE(ended);
    EXPECT_EQ(p->ExitCode(), 0u);
    std::vector<std::string> params = SplitCommandLine(Started()["cmd"]);
    EXPECT_EQ(std::vector<std::string>(params.begin() + 1, params.end()),
              (std::vector<std::string>{"-sC:\\", "-e" + name, "-cl", "-f"}));
}

TEST_F(LoaderProgram, APlainLoadingProgramRunsTheSetup1BesideIt) {
    ASSERT_TRUE(CopyFileTo(BuiltLoader(), loader, false));
    ASSERT_TRUE(CopyFileTo(Setup1(), dist + "setup.1", false));
    WriteTextFile(go, "");
    auto p = Start("-q");
    ASSERT_TRUE(p->WaitForExit(10000));
    EXPECT_EQ(p->ExitCode(), 0u);
    std::vector<std::string> params = SplitCommandLine(Started()["cmd"]);
    EXPECT_EQ(std::vector<std::string>(params.begin() + 1, params.end()),
              (std::vector<std::string>{"-s" + RemoveBackslash(dist), "-cl", "-q"}));
}

TEST_F(LoaderProgram, ADamagedLoaderSaysSoAndWritesNothing) {
    TExtractionInfo info = SelfExtracting();
    std::string good = ReadWholeFile(loader);
    int64_t record = static_cast<int64_t>(good.size()) - kExtractionInfoSize;
    struct Case {
        const char* what;
        std::function<void()> damage;
        const char* caption;
    };
    const Case cases[] = {
        {"cut", [&] { CutFile(loader, info.Files1Start + 10); }, "Setup"},
        {"record zeroed", [&] { PatchFile(loader, record, std::string(136, '\0')); }, "Setup"},
        // Sealed: a record that does not check out does not name the product.
        {"positions outside", [&] { PatchFile(loader, record + 20, Int32Bytes(info.Files1End + 500)); },
         "Setup"},
        {"wrong signature", [&] { PatchFile(loader, record + 14, "X"); }, "Setup"},
        {"signature of another length", [&] { PatchFile(loader, record, std::string(1, '\x0d')); }, "Setup"},
        {"title too long", [&] { PatchFile(loader, record + 53, std::string(1, '\xff')); }, "Setup"},
        // Its own header's DOS message: the program still runs and finds the change.
        {"a byte of the loading program changed", [&] { PatchFile(loader, 0x50, "x"); },
         "Loader Test Screen Saver"},
        {"a byte of files.1 changed",
         [&] { PatchFile(loader, info.Files1Start + 100, std::string(1, good[info.Files1Start + 100] ^ 1)); },
         "Loader Test Screen Saver"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteTextFile(loader, good);
        c.damage();
        auto p = Start();
        TWindowHandle box = FindTopWindow(c.caption, p->Id(), 10000);
        ASSERT_NE(box, 0u);
        std::string text = MessageBoxText(box);
        EXPECT_NE(text.find("The setup file " + loader + " is damaged and cannot be run."), std::string::npos)
            << text;
        EXPECT_NE(text.find("Please get a new copy of it."), std::string::npos) << text;
        EXPECT_TRUE(PressButton(box, "OK"));
        ASSERT_TRUE(p->WaitForExit(10000));
        EXPECT_EQ(p->ExitCode(), 10u);
        EXPECT_TRUE(TempContent().empty());
        EXPECT_FALSE(FileExists(out));
    }
}

TEST_F(LoaderProgram, QuietADamagedLoaderEndsWithItsCodeAndNoWindow) {
    ASSERT_TRUE(CopyFileTo(BuiltLoader(), loader, false));
    auto p = Start("-q");
    // A message box would keep it from ending.
    ASSERT_TRUE(p->WaitForExit(10000));
    EXPECT_EQ(p->ExitCode(), 10u);
    EXPECT_TRUE(TempContent().empty());
}

TEST_F(LoaderProgram, StaysSmall) {
    // It travels in front of every distribution; the whole toolkit would triple it.
    int64_t size = FileSizeOf(BuiltLoader());
    std::printf("loader.exe: %lld bytes\n", static_cast<long long>(size));
    EXPECT_GT(size, 0);
    EXPECT_LT(size, 640 * 1024);
}

} // namespace
