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
