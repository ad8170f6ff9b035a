// What the real install files log, the uninstaller removes whole: installed
// here with the object model on an isolated registry, then uninstalled.
#include "uninstall/routines_Uninstall.h"
#include "unit/objects/InstallTestSupport.h"

using RoundTrip = InstallFixture;

TEST_F(RoundTrip, WhatTheInstallFilesLoggedIsRemovedWhole) {
    WriteTextFile(Src("uninstall.exe"), "the uninstaller");
    auto* uninstaller = new TUninstallEXE(Owner);
    uninstaller->SetName("Uninstaller");
    uninstaller->SetIncludeFromDir(TempPath("src"));
    uninstaller->SetFileName("uninstall.exe");
    uninstaller->SetContainer(Root);
    AddFile("Saver", "demo.scr", "saver");
    EXPECT_TRUE(AddFile("Help", "demo.hlp", "help")->RegisterAsHelp());
    AddFile("Shared", "shared.dll", "shared")->SetUpdateDLLCounter(true);
    auto* group = Make<TFileContainer>("Group", Root);
    group->SetDestDir("\\Sub\\Deeper");
    AddFile("Inner", "inner.txt", "inner", group);
    auto* server = AddFixture("Server", "olereg/qfdole.dll");
    // Outside the system folder for the test.
    server->SetFileType(iftNormal);
    server->SetDestDirType(Standard(TpsContainerDestDir::StaticClass()));
    server->SetUpdateDLLCounter(false);
    BuildArchive();
    Root->Install();
    ASSERT_TRUE(FileExists(Dest("Sub\\Deeper\\inner.txt")));
    const char* const sharedDLLs = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
    ASSERT_EQ(MachineInteger(sharedDLLs, Dest("shared.dll")), 1);
    TRegKey fixture;
    ASSERT_TRUE(fixture.Open(RegCurrentUser, "Software\\Quenfold\\Fixtures", TRegAccess::raRead));
    ASSERT_EQ(fixture.ReadInteger("OleSelfRegister"), 1);

    ASSERT_TRUE(CreateDir(TempPath("logs")));
    TUninstallCommand command;
    command.Quiet = true;
    command.Product = "Demo Product";
    TUninstallUI ui;
    ui.LogFolder = TempPath("logs");
    EXPECT_EQ(RunUninstaller(command, ui), 0) << LogText();

    EXPECT_EQ(ListDirectory(TempPath("dest")), std::vector<std::string>{"uninstall.exe"});
    EXPECT_EQ(fixture.ReadInteger("OleSelfRegister"), std::nullopt);
    EXPECT_EQ(MachineInteger(sharedDLLs, Dest("shared.dll")), std::nullopt);
    EXPECT_EQ(MachineString("\\SOFTWARE\\Microsoft\\Windows\\Help", "DEMO.HLP"), std::nullopt);
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, UninstallDemo));
}

// Installed three times over files that were there: the user's kept file and
// another program's overwritten one survive the uninstall, and the log
// named each file once.
TEST_F(RoundTrip, OnlyWhatTheProductWroteGoesHoweverOftenItWasInstalled) {
    WriteTextFile(Src("uninstall.exe"), "the uninstaller");
    auto* uninstaller = new TUninstallEXE(Owner);
    uninstaller->SetIncludeFromDir(TempPath("src"));
    uninstaller->SetFileName("uninstall.exe");
    uninstaller->SetContainer(Root);
    AddFile("Saver", "demo.scr", "saver");
    AddFile("Conf", "demo.ini", "new settings")->SetOverwriteMode(owNever);
    AddFile("Readme", "readme.txt", "ours");
    AddFile("Lib", "common.dll", "ours too")->SetUpdateDLLCounter(true);
    BuildArchive();
    ForceDirectory(TempPath("dest"));
    WriteTextFile(Dest("demo.ini"), "the user's settings");
    WriteTextFile(Dest("readme.txt"), "another program's");
    WriteTextFile(Dest("common.dll"), "another program's library");
    for (int run = 0; run < 3; ++run)
        Root->Install();
    EXPECT_EQ(MachineString(std::string(UninstallDemo) + "\\Files", "Entries"), "1");
    EXPECT_EQ(MachineString(std::string(UninstallDemo) + "\\Existed", "Entries"), "2");

    ASSERT_TRUE(CreateDir(TempPath("logs")));
    TUninstallCommand command = ParseUninstallCommandLine(*MachineString(UninstallDemo, "UninstallString"));
    ASSERT_EQ(command.Product, "Demo Product");
    command.Quiet = true;
    TUninstallUI ui;
    ui.LogFolder = TempPath("logs");
    EXPECT_EQ(RunUninstaller(command, ui), 0) << LogText();

    EXPECT_FALSE(FileExists(Dest("demo.scr")));
    EXPECT_EQ(ReadWholeFile(Dest("demo.ini")), "the user's settings");
    // Written over, but the name is another program's: it stays, with what it holds now.
    EXPECT_EQ(ReadWholeFile(Dest("readme.txt")), "ours");
    EXPECT_EQ(ReadWholeFile(Dest("common.dll")), "ours too");
    EXPECT_EQ(
        MachineInteger("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", Dest("common.dll")), 1);
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, UninstallDemo));
    EXPECT_TRUE(Logged("Uninstall", "Kept because they were there before Demo Product was installed:"))
        << LogText();
}

// The list starts the uninstaller with the entry's "UninstallString": the key
// name must come back exactly, blanks at its end and a leading "-q " included.
TEST_F(RoundTrip, TheUninstallStringNamesExactlyTheProductsOwnKey) {
    WriteTextFile(Src("uninstall.exe"), "the uninstaller");
    auto* uninstaller = new TUninstallEXE(Owner);
    uninstaller->SetIncludeFromDir(TempPath("src"));
    uninstaller->SetFileName("uninstall.exe");
    uninstaller->SetContainer(Root);
    AddFile("Saver", "demo.scr", "saver");
    BuildArchive();
    const std::string list = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    const std::vector<std::string> products = {"Demo", "Demo ", "-q Demo", " Demo"};
    for (size_t i = 0; i < products.size(); ++i) {
        RunState().ProductName = products[i];
        Root->SetDestDir(TempPath("dest" + std::to_string(i)));
        Root->Install();
        ASSERT_TRUE(FileExists(TempPath("dest" + std::to_string(i) + "\\demo.scr")));
    }
    ASSERT_TRUE(CreateDir(TempPath("logs")));
    TUninstallUI ui;
    ui.LogFolder = TempPath("logs");
    std::vector<std::string> asked;
    ui.Ask = [&](const std::string&, const std::string& text) {
        asked.push_back(text);
        return true;
    };
    ui.Show = [](const std::string&, const std::string&, TMessageKind) {};
    // Each but the plain one, as the list starts it, in turn; the others stay.
    for (size_t i = 1; i < products.size(); ++i) {
        SCOPED_TRACE("\"" + products[i] + "\"");
        const std::optional<std::string> command = MachineString(list + products[i], "UninstallString");
        ASSERT_TRUE(command);
        const TUninstallCommand parsed = ParseUninstallCommandLine(*command);
        EXPECT_EQ(parsed.Product, products[i]);
        EXPECT_FALSE(parsed.Quiet);
        EXPECT_EQ(RunUninstaller(parsed, ui), 0) << LogText();
        EXPECT_FALSE(RegKeyExists(RegLocalMachine, list + products[i]));
        EXPECT_FALSE(FileExists(TempPath("dest" + std::to_string(i) + "\\demo.scr")));
        for (size_t j = i + 1; j < products.size(); ++j)
            EXPECT_TRUE(RegKeyExists(RegLocalMachine, list + products[j])) << products[j];
        EXPECT_TRUE(RegKeyExists(RegLocalMachine, list + "Demo"));
        EXPECT_TRUE(FileExists(TempPath("dest0\\demo.scr")));
    }
    EXPECT_EQ(asked.size(), 3u);
    // An entry written bare by an older setup still uninstalls.
    const std::string bare = TempPath("dest0\\uninstall.exe") + " Demo";
    WriteRegString(rkLocalMachine, list + "Demo", "UninstallString", bare);
    EXPECT_EQ(RunUninstaller(ParseUninstallCommandLine(bare), ui), 0) << LogText();
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, list + "Demo"));
    EXPECT_FALSE(FileExists(TempPath("dest0\\demo.scr")));
}
