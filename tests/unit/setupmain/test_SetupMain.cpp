#include "engine/cmp_TInstall.h"
#include "objects/cmp_TInstallContainer.h"
#include "objects/cmp_TUninstallEXE.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "platform/routines_Process.h"
#include "platform/routines_ScreenSaver.h"
#include "setup/SetupMain.h"
#include "support/IsolatedTest.h"
#include "uninstall/routines_Uninstall.h"
#include <gtest/gtest.h>

namespace {

class SetupMain : public TIsolatedTest {
protected:
    void SetUp() override {
        TIsolatedTest::SetUp();
        Application()->Initialize();
        RegisterSetupProgramClasses();
        Application()->SetMainForm(nullptr);
        OverrideCommandLineParams(std::vector<std::string>{"setup.exe"});
        if (FileExists(FilesInf()))
            FSavedFilesInf = ReadWholeFile(FilesInf());
        RemoveFile(FilesInf());
        Form = new TSetupMainForm(Application());
        Form->InitFromResource();
    }
    void TearDown() override {
        Form->Free();
        RemoveFile(FilesInf());
        if (!FSavedFilesInf.empty())
            WriteTextFile(FilesInf(), FSavedFilesInf);
        OverrideCommandLineParams(std::nullopt);
        SetShellExecuteHook(nullptr);
        TIsolatedTest::TearDown();
    }
    static std::string FilesInf() { return GetSystemDir() + "\\files.inf"; }
    std::string Prop(const char* component, const char* prop) {
        return GetPropText(*Form->FindComponent(component), prop);
    }
    std::string ActivationError() {
        try {
            Form->FormActivate(Form);
        } catch (const IEInstall& e) {
            return e.Message();
        }
        return "";
    }
    TCustomInstallFile* File(const char* name) {
        return dynamic_cast<TCustomInstallFile*>(Form->FindComponent(name));
    }

    TSetupMainForm* Form = nullptr;
    std::string FSavedFilesInf;
};

TEST_F(SetupMain, TheProjectLoadsExactlyItsComponents) {
    std::vector<std::string> got;
    for (int i = 0; i < Form->ComponentCount(); ++i)
        got.push_back(Form->Components(i)->Name() + ":" + Form->Components(i)->ClassName());
    std::vector<std::string> want = {"BackDrop:TBackdrop",
                                     "ProductLabel:TRotate3DLabel",
                                     "Label1:TLabel",
                                     "FileContentsRead:TMemo",
                                     "psBDEDLL:TpsBDEDLL",
                                     "psCommonFiles:TpsCommonFiles",
                                     "psContainerArchiveFile:TpsContainerArchiveFile",
                                     "psContainerDestDir:TpsContainerDestDir",
                                     "psDesktopMenu:TpsDesktopMenu",
                                     "psInstallSource:TpsInstallSource",
                                     "psMainInstall:TpsMainInstall",
                                     "psProgramFiles:TpsProgramFiles",
                                     "psProgramMenu:TpsProgramMenu",
                                     "psStartMenu:TpsStartMenu",
                                     "psStartupMenu:TpsStartupMenu",
                                     "psSystem:TpsSystem",
                                     "psMainArchiveFile:TpsMainArchiveFile",
                                     "psWindow:TpsWindow",
                                     "Install1:TInstall",
                                     "MainTranslator:TTranslator",
                                     "DialogManager2:TDialogManager",
                                     "DialogManager3:TDialogManager",
                                     "DialogManager4:TDialogManager",
                                     "CopyFileDlg:TCopyFileDlg",
                                     "BadInstallationDlg:TBadInstallationDlg",
                                     "GoodInstallationDlg:TGoodInstallationDlg",
                                     "InstallStatusDlg:TInstallStatusDlg",
                                     "RebootDlg:TRebootDlg",
                                     "InstallFile2:TInstallFile",
                                     "InstallFile:TInstallFile",
                                     "UninstallEXE:TUninstallEXE"};
    EXPECT_EQ(got, want);
}

TEST_F(SetupMain, TheFormAndItsControlsCarryTheStoredValues) {
    EXPECT_EQ(Form->BorderStyle(), bsNone);
    EXPECT_EQ(Form->BorderIcons(), 0u);
    EXPECT_EQ(Form->Left(), -4);
    EXPECT_EQ(Form->Top(), -4);
    EXPECT_EQ(Form->ClientWidth(), 800);
    EXPECT_EQ(Form->ClientHeight(), 581);
    EXPECT_EQ(Form->Font().Name(), "MS Sans Serif");
    EXPECT_EQ(Form->Font().Height(), -11);
    EXPECT_EQ(Prop("BackDrop", "Tag"), "-1");
    auto* backdrop = static_cast<TControl*>(Form->FindComponent("BackDrop"));
    EXPECT_EQ(backdrop->BoundsRect(), (TRect{0, 0, 800, 581}));
    auto* label = static_cast<TControl*>(Form->FindComponent("ProductLabel"));
    EXPECT_EQ(label->Parent(), backdrop);
    EXPECT_EQ(label->Align(), alTop);
    EXPECT_EQ(label->Height(), 65);
    EXPECT_EQ(label->Font().Name(), "Arial");
    EXPECT_EQ(label->Font().Color(), clWhite);
    EXPECT_EQ(label->Font().Height(), -23);
    EXPECT_EQ(label->Font().Style(), (1u << fsBold) | (1u << fsItalic));
    EXPECT_EQ(Prop("ProductLabel", "LabelStyle.AShadeLeftTop"), "clBlack");
    EXPECT_EQ(Prop("ProductLabel", "LabelStyle.AShadeLTSet"), "False");
    EXPECT_EQ(Prop("Label1", "Visible"), "False");
    EXPECT_EQ(Prop("Label1", "Transparent"), "True");
    EXPECT_EQ(Prop("Label1", "Font.Color"), "clYellow");
    auto* memo = Form->FileContentsRead();
    EXPECT_FALSE(memo->Visible());
    EXPECT_EQ(memo->BoundsRect(), (TRect{72, 296, 72 + 665, 296 + 41}));
    EXPECT_EQ(memo->Text(), "FileContentsRead");
}

TEST_F(SetupMain, TheInstallationComponentCarriesTheStoredValues) {
    TInstall* install = Form->Install1();
    EXPECT_EQ(CurrentInstall(), install);
    EXPECT_EQ(install->Tag(), 1);
    EXPECT_FALSE(install->AllowChangeDir());
    EXPECT_EQ(install->BuildInfo().BuildDirectory, "c:\\build");
    EXPECT_EQ(install->BuildInfo().OCXName, "qwsetup");
    EXPECT_EQ(install->DestDirType(), Form->FindComponent("psSystem"));
    EXPECT_EQ(install->DialogThemeBitmap().Width(), 117);
    EXPECT_EQ(install->DialogThemeBitmap().Height(), 290);
    EXPECT_EQ(install->DialogThemeBitmap().BitsPerPixel(), 16);
    EXPECT_EQ(install->GroupName(), "ScreenSaver");
    EXPECT_FALSE(install->HideMainForm());
    EXPECT_EQ(install->Information().Version(), "2.01");
    EXPECT_FALSE(install->Reboot());
    EXPECT_TRUE(install->UseLoadingProgram());
    EXPECT_TRUE(install->OnAfterNotifyGoodInstall);
    // The system folder, where the product goes.
    EXPECT_EQ(install->ExpandedDestDir(), GetSystemDir());
    for (const char* lang : {"lgChineseSimplified", "lgEnglish", "lgPortugese", "lgVietnamese"}) {
        EXPECT_EQ(Prop("MainTranslator", (std::string(lang) + ".Font.Name").c_str()), "'MS Sans Serif'");
        EXPECT_EQ(Prop("MainTranslator", (std::string(lang) + ".FontOverride").c_str()), "False");
    }
    EXPECT_EQ(Prop("DialogManager2", "ManagerType"), "dmAfterBadInstall");
    EXPECT_EQ(Prop("DialogManager3", "ManagerType"), "dmDuringCopyFiles");
    EXPECT_EQ(Prop("CopyFileDlg", "DialogManager"), "DialogManager3");
    EXPECT_EQ(Prop("BadInstallationDlg", "DialogManager"), "DialogManager2");
    EXPECT_EQ(Prop("GoodInstallationDlg", "DialogManager"), "");
    // The restart page shows only through its manager, which only a run
    // that needs the restart calls on.
    EXPECT_EQ(Prop("DialogManager4", "ManagerType"), "dmReboot");
    EXPECT_EQ(Prop("RebootDlg", "DialogManager"), "DialogManager4");
    EXPECT_EQ(Prop("UninstallEXE", "IncludeFromDir"), "'C:\\Program Files\\Quenfold32\\Version35'");
    EXPECT_EQ(File("InstallFile2")->UniqueID(), 0);
    EXPECT_EQ(File("InstallFile")->UniqueID(), 1);
    EXPECT_EQ(File("UninstallEXE")->UniqueID(), 5);
    EXPECT_TRUE(File("InstallFile2")->Net());
    EXPECT_FALSE(File("InstallFile")->Net());
}

TEST_F(SetupMain, HelpersStandInLoadingOrderWithTheirStoredOrders) {
    TInstall* install = Form->Install1();
    std::vector<std::string> got;
    for (int i = 0; i < install->HelperCount(); ++i)
        got.push_back(install->Helpers(i)->Name() + "=" + std::to_string(install->Helpers(i)->Order()));
    EXPECT_EQ(got, (std::vector<std::string>{
                       "InstallFile2=0", "InstallFile=1", "UninstallEXE=2", "DialogManager2=-1",
                       "DialogManager3=-1", "DialogManager4=-1", "CopyFileDlg=0", "BadInstallationDlg=10",
                       "GoodInstallationDlg=10", "InstallStatusDlg=0", "RebootDlg=10"}));
}

TEST_F(SetupMain, FilesInfIsRequiredAndNeedsTwoLines) {
    EXPECT_EQ(ActivationError(), "files.inf file not found");
    WriteTextFile(FilesInf(), "C:\\build\\only.scr\r\n");
    EXPECT_EQ(ActivationError(), "There is no files to install");
}

TEST_F(SetupMain, ThreeLinesNameTheThreeFilesAndTheProduct) {
    WriteTextFile(FilesInf(), "C:\\build\\My Screen Saver.scr\r\nC:\\build\\docs\\readme.txt\r\n"
                              "C:\\tools\\uninstall.exe\r\nC:\\ignored\\fourth.dll\r\n");
    Form->Install1()->SetReboot(true);
    EXPECT_EQ(ActivationError(), "");
    auto names = [&](const char* n) {
        TCustomInstallFile* f = File(n);
        return f->FileName() + "|" + f->DestName() + "|" + f->IncludeFromDir();
    };
    EXPECT_EQ(names("InstallFile"), "My Screen Saver.scr|My Screen Saver.scr|C:\\build\\");
    EXPECT_EQ(names("InstallFile2"), "readme.txt|readme.txt|C:\\build\\docs\\");
    EXPECT_EQ(names("UninstallEXE"), "uninstall.exe|uninstall.exe|C:\\tools\\");
    EXPECT_FALSE(Form->Install1()->Reboot());
    EXPECT_EQ(static_cast<TControl*>(Form->FindComponent("ProductLabel"))->Caption(), "  My Screen Saver");
    EXPECT_EQ(Form->Install1()->Information().ProductName(), "My Screen Saver");
    EXPECT_EQ(Form->SaverShortName(), "MyScre~1.scr");
    EXPECT_EQ(Form->FileContentsRead()->Lines().Count(), 4);
}

// The form is activated again each time a window of the run closes: that
// must neither clear the restart an install file asked for nor fail when
// files.inf has gone meanwhile. A first activation that failed tries again.
TEST_F(SetupMain, LaterActivationsKeepWhatTheRunHasSet) {
    EXPECT_EQ(ActivationError(), "files.inf file not found");
    WriteTextFile(FilesInf(), "C:\\build\\Night.scr\r\nC:\\build\\readme.txt\r\n");
    EXPECT_EQ(ActivationError(), "");
    Form->Install1()->SetReboot(true);
    RemoveFile(FilesInf());
    EXPECT_EQ(ActivationError(), "");
    EXPECT_TRUE(Form->Install1()->Reboot());
    EXPECT_EQ(File("InstallFile")->FileName(), "Night.scr");
    EXPECT_EQ(Form->Install1()->Information().ProductName(), "Night");
}

TEST_F(SetupMain, TwoLinesLeaveTheUninstallerEmptyAndShortNamesGiveNoProduct) {
    WriteTextFile(FilesInf(), "C:\\a\\.sc\r\nC:\\b\\second.txt\r\n");
    EXPECT_EQ(ActivationError(), "");
    EXPECT_EQ(File("UninstallEXE")->FileName(), "");
    EXPECT_EQ(File("UninstallEXE")->IncludeFromDir(), "");
    EXPECT_EQ(Form->Install1()->Information().ProductName(), "");
    EXPECT_EQ(static_cast<TControl*>(Form->FindComponent("ProductLabel"))->Caption(), "  ");
}

TEST(SetupMainNames, ShortNamesImitateTheFileSystem) {
    EXPECT_EQ(TSetupMainForm::MakeShortName("Screen"), "Screen~1");
    EXPECT_EQ(TSetupMainForm::MakeShortName("Saver"), "Saver");
    EXPECT_EQ(TSetupMainForm::MakeShortName("My Screen Saver"), "MyScre~1");
    EXPECT_EQ(TSetupMainForm::MakeShortName(" \tA b\x01"
                                            "cdefgh"),
              "Abcdef~1");
    // Characters, not bytes: a letter outside ASCII counts once.
    EXPECT_EQ(TSetupMainForm::MakeShortName("\xC3\x89"
                                            "conomiseur"),
              "\xC3\x89"
              "conom~1");
    EXPECT_EQ(TSetupMainForm::MakeShortName("Scr\xC3\xA9\xC3\xA9n"), "Scr\xC3\xA9\xC3\xA9n~1");
    // 28 characters of prefix and at most 12 of name: never past 40.
    EXPECT_EQ(TSetupMainForm::DisplaySettingsParameters("MyScre~1.scr"),
              "desk.cpl,InstallScreenSaver MyScre~1.scr");
    EXPECT_EQ(TSetupMainForm::DisplaySettingsParameters("MyScre~1.scr").size(), 40u);
    EXPECT_EQ(TSetupMainForm::DisplaySettingsParameters("TooLongAName.scr").size(), 40u);
    const std::string umlauts = "\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84~1.scr";
    EXPECT_EQ(TSetupMainForm::DisplaySettingsParameters(umlauts), "desk.cpl,InstallScreenSaver " + umlauts);
}

TEST_F(SetupMain, ShortNamesOfNamesOutsideAsciiKeepWholeCharacters) {
    // An ANSI files.inf naming a saver of seven A-umlauts.
    WriteTextFile(FilesInf(), "C:\\build\\\xC4\xC4\xC4\xC4\xC4\xC4\xC4.scr\r\nC:\\build\\readme.txt\r\n");
    EXPECT_EQ(ActivationError(), "");
    const std::string a = "\xC3\x84";
    EXPECT_EQ(Form->Install1()->Information().ProductName(), a + a + a + a + a + a + a);
    EXPECT_EQ(Form->SaverShortName(), a + a + a + a + a + a + "~1.scr");
}

TEST_F(SetupMain, AfterAGoodInstallationTheSaverBecomesTheCurrentOne) {
    std::string oldWin = ReadProfileText("boot", "SCRNSAVE.EXE", "");
    std::string oldSys = ReadPrivateProfileText("boot", "SCRNSAVE.EXE", "", "SYSTEM.INI");
    std::vector<TShellCall> calls;
    SetShellExecuteHook([&](const TShellCall& c) {
        calls.push_back(c);
        return true;
    });
    // Nothing happens while the memo holds one line.
    Form->Install1()->OnAfterNotifyGoodInstall(Form->Install1());
    EXPECT_TRUE(calls.empty());

    WriteTextFile(FilesInf(), "C:\\build\\My Screen Saver.scr  \r\nC:\\build\\readme.txt\r\n");
    Form->FormActivate(Form);
    Form->Install1()->OnAfterNotifyGoodInstall(Form->Install1());
    EXPECT_EQ(ReadProfileText("boot", "SCRNSAVE.EXE", ""), "My Screen Saver.scr");
    EXPECT_EQ(ReadPrivateProfileText("boot", "SCRNSAVE.EXE", "", "SYSTEM.INI"),
              GetSystemDir() + "\\MyScre~1.scr");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Verb, "open");
    EXPECT_EQ(calls[0].File, "rundll32.exe");
    EXPECT_EQ(calls[0].Parameters, "desk.cpl,InstallScreenSaver MyScre~1.scr");
    EXPECT_LE(calls[0].Parameters.size(), 40u);
    EXPECT_EQ(calls[0].ShowCmd, 5);
    EXPECT_EQ(calls[0].Owner, Application()->Handle());

    WriteProfileText("boot", "SCRNSAVE.EXE", oldWin);
    WritePrivateProfileText("boot", "SCRNSAVE.EXE", oldSys, "SYSTEM.INI");
}

// An administrator's unattended run: the saver becomes current, but no
// display settings open on the user's screen.
TEST_F(SetupMain, UnattendedTheSaverBecomesCurrentWithoutOpeningTheDisplaySettings) {
    std::string oldWin = ReadProfileText("boot", "SCRNSAVE.EXE", "");
    std::string oldSys = ReadPrivateProfileText("boot", "SCRNSAVE.EXE", "", "SYSTEM.INI");
    struct TAttendedAgain {
        ~TAttendedAgain() {
            Application()->SetQuiet(false);
            Application()->OnQuietReport = nullptr;
        }
    } attendedAgain;
    Form->Free();
    OverrideCommandLineParams(std::vector<std::string>{"setup.exe", "-q"});
    Form = new TSetupMainForm(Application());
    Form->InitFromResource();
    ASSERT_TRUE(Form->Install1()->Quiet());
    std::vector<TShellCall> calls;
    SetShellExecuteHook([&](const TShellCall& c) {
        calls.push_back(c);
        return true;
    });
    WriteTextFile(FilesInf(), "C:\\build\\Quiet Saver.scr\r\nC:\\build\\readme.txt\r\n");
    Form->FormActivate(Form);
    Form->Install1()->OnAfterNotifyGoodInstall(Form->Install1());
    EXPECT_EQ(ReadProfileText("boot", "SCRNSAVE.EXE", ""), "Quiet Saver.scr");
    EXPECT_EQ(ReadPrivateProfileText("boot", "SCRNSAVE.EXE", "", "SYSTEM.INI"),
              GetSystemDir() + "\\QuietS~1.scr");
    EXPECT_TRUE(calls.empty()) << calls.front().Parameters;

    WriteProfileText("boot", "SCRNSAVE.EXE", oldWin);
    WritePrivateProfileText("boot", "SCRNSAVE.EXE", oldSys, "SYSTEM.INI");
}

// The setup records the screen saver that was current before its own, and
// the product's uninstall makes that one current again (or none, when none
// was): on the machine's own WIN.INI and SYSTEM.INI, put back afterwards.
TEST_F(SetupMain, TheUninstallMakesTheEarlierScreenSaverCurrentAgain) {
    struct TPutBack {
        TSaverSetting Saved = CurrentSaverSetting();
        ~TPutBack() { SetSaverSetting(Saved); }
    } putBack;
    SetShellExecuteHook([](const TShellCall&) { return true; });
    WriteTextFile(FilesInf(), "C:\\build\\Round Trip.scr\r\nC:\\build\\readme.txt\r\n");
    Form->FormActivate(Form);
    // As the run does when it starts.
    RunState().ProductName = Form->Install1()->Information().ProductName();
    const std::string sys = GetSystemDir();
    for (const TSaverSetting& before :
         {TSaverSetting{"Earlier.scr", sys + "\\Earlie~1.scr"}, TSaverSetting{}}) {
        SCOPED_TRACE(before.WinIni.value_or("no saver before"));
        ASSERT_TRUE(SetSaverSetting(before));
        // Installed twice: the second run must not take the product's own saver for the earlier one.
        Form->Install1()->OnAfterNotifyGoodInstall(Form->Install1());
        Form->Install1()->OnAfterNotifyGoodInstall(Form->Install1());
        EXPECT_EQ(CurrentSaverSetting().WinIni, "Round Trip.scr");
        EXPECT_EQ(CurrentSaverSetting().SystemIni, sys + "\\RoundT~1.scr");

        TUninstallCommand command;
        command.Quiet = true;
        command.Product = "Round Trip";
        TUninstallUI ui;
        ui.LogFolder = TempDir();
        EXPECT_EQ(RunUninstaller(command, ui), 0);
        EXPECT_EQ(CurrentSaverSetting().WinIni, before.WinIni);
        EXPECT_EQ(CurrentSaverSetting().SystemIni, before.SystemIni);
    }
}

} // namespace
