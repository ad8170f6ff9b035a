// The uninstaller entry: "DisplayName" and "UninstallString" under the
// product's key, a quoted program path and product name, and a product without a name refused
// before anything is written.
#include "InstallTestSupport.h"

class UninstallEntry : public InstallFixture {
protected:
    TUninstallEXE* AddUninstaller() {
        WriteTextFile(Src("uninstall.exe"), "the uninstaller");
        auto* u = new TUninstallEXE(Owner);
        u->SetName("Uninstaller");
        u->SetIncludeFromDir(TempPath("src"));
        u->SetFileName("uninstall.exe");
        u->SetContainer(Root);
        return u;
    }
};

TEST_F(UninstallEntry, RegistersTheProductWithTheListOfInstalledPrograms) {
    auto* u = AddUninstaller();
    BuildArchive();
    Root->Install();
    EXPECT_EQ(ReadWholeFile(Dest("uninstall.exe")), "the uninstaller");
    EXPECT_EQ(MachineString(UninstallDemo, "DisplayName"), "Demo Product");
    EXPECT_EQ(MachineString(UninstallDemo, "UninstallString"), Dest("uninstall.exe") + " \"Demo Product\"");
    // The uninstaller is not logged among the files it removes.
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, std::string(UninstallDemo) + "\\Files"));
    EXPECT_TRUE(Logged("Registry", "UninstallString = " + Dest("uninstall.exe"))) << LogText();

    // A second installation overwrites both values in the same key.
    RunState().ProductName = "Demo Product";
    Root->SetDestDir(TempPath("other place"));
    Root->Install();
    EXPECT_EQ(MachineString(UninstallDemo, "UninstallString"),
              "\"" + TempPath("other place\\uninstall.exe") + "\" \"Demo Product\"");
    EXPECT_TRUE(u->Installed());
}

TEST_F(UninstallEntry, CommandLineQuotesAProgramPathWithABlankAndTheProduct) {
    EXPECT_EQ(UninstallCommandLine("C:\\Apps\\Tool\\uninstall.exe", "Demo"),
              "C:\\Apps\\Tool\\uninstall.exe \"Demo\"");
    EXPECT_EQ(UninstallCommandLine("C:\\Program Files\\Tool\\uninstall.exe", "My Demo "),
              "\"C:\\Program Files\\Tool\\uninstall.exe\" \"My Demo \"");
}

TEST_F(UninstallEntry, AProductWithoutANameIsRefusedBeforeAnythingIsWritten) {
    AddUninstaller();
    AddFile("Saver", "demo.scr", "saver");
    BuildArchive();
    RunState().ProductName = "";
    EXPECT_EQ(
        RaisedBy<IEInstallContainer>([&] { Root->Install(); }),
        "The product has no name, so it cannot be entered in the list of installed programs and nothing was "
        "installed");
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
    EXPECT_FALSE(DirectoryExists(TempPath("dest")));

    // Called directly with the list's own key, the uninstaller refuses too.
    auto* u = static_cast<TUninstallEXE*>(Owner->FindComponent("Uninstaller"));
    EXPECT_EQ(
        RaisedBy<IEUninstallEXE>(
            [&] { u->WriteUninstallEntries("\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"); }),
        "Uninstaller cannot enter the product in the list of installed programs because the product has no "
        "name");
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
}

TEST_F(UninstallEntry, AnExcludedUninstallerWritesNothing) {
    auto* u = AddUninstaller();
    BuildArchive();
    u->SetInclude(false);
    Root->Install();
    EXPECT_FALSE(MachineString(UninstallDemo, "DisplayName"));
    u->SetInclude(true);
    u->SetInstallTypes(MakeInstallTypes({itFull}));
    Root->SetCurrentInstallType(itCompact);
    Root->Install();
    EXPECT_FALSE(MachineString(UninstallDemo, "DisplayName"));
    EXPECT_FALSE(FileExists(Dest("uninstall.exe")));

    // Without an installation component there is nobody to register.
    RunState().Install = nullptr;
    EXPECT_EQ(
        RaisedBy<IEUninstallEXE>([&] { u->WriteUninstallEntries(UninstallDemo); }),
        "Uninstaller could not write information about the uninstall to the registry because there was no "
        "TInstall component");
}
