// Dialog components and dialog managers in a loaded project: their stored
// settings, their place among the installation component's helpers, the
// links between dialogs and managers, and the window-kind registries.
#include "dialogs/dlgcmp_TBadInstallationDlg.h"
#include "dialogs/dlgcmp_TBaseDlg.h"
#include "dialogs/dlgcmp_TCopyFile.h"
#include "dialogs/dlgcmp_TGoodInstallationDlg.h"
#include "dialogs/dlgcmp_TInstallStatusDlg.h"
#include "dialogs/ordlg_Progress.h"
#include "engine/cmp_TInstall.h"
#include "objects/routines_Log.h"
#include "platform/routines_Process.h"
#include "support/IsolatedTest.h"
#include "toolkit/classes_Reader.h"
#include <gtest/gtest.h>

namespace {

// The dialog part of the setup program's project, with two install files
// stored after the dialogs.
const char* const kProject = R"(object SetupForm: TForm
  object Install1: TInstall
    Tag = 1
    AllowChangeDir = False
    GroupName = 'ScreenSaver'
  end
  object DialogManager2: TDialogManager
    Container = Install1
    ManagerType = dmAfterBadInstall
    RelativeLeftOffset = 0
    RelativeTopOffset = 0
  end
  object DialogManager3: TDialogManager
    Container = Install1
    ManagerType = dmDuringCopyFiles
    RelativeLeftOffset = 0
    RelativeTopOffset = 0
  end
  object CopyFileDlg: TCopyFileDlg
    Container = Install1
    DialogManager = DialogManager3
    OverrideMainTranslator = False
  end
  object BadInstallationDlg: TBadInstallationDlg
    Container = Install1
    DialogManager = DialogManager2
    Order = 10
  end
  object GoodInstallationDlg: TGoodInstallationDlg
    Container = Install1
    Order = 10
  end
  object InstallStatusDlg: TInstallStatusDlg
    Container = Install1
  end
  object InstallFile2: TInstallFile
    Container = Install1
    Order = 0
    FileName = 'second.dll'
    UniqueID = 0
  end
  object InstallFile: TInstallFile
    Container = Install1
    Order = 1
    FileName = 'saver.scr'
    UniqueID = 1
  end
end
)";

class DialogsTest : public TIsolatedTest {
protected:
    void SetUp() override {
        TIsolatedTest::SetUp();
        RegisterToolkitClasses();
        RegisterObjectClasses();
        RegisterEngineClasses();
        RegisterDialogClasses();
        OverrideCommandLineParams(std::vector<std::string>{"setup.exe"});
        FBIFBefore = BIFCount();
        FDCFBefore = DCFCount();
    }
    void TearDown() override {
        FForm.reset();
        OverrideCommandLineParams(std::nullopt);
        TIsolatedTest::TearDown();
    }

    void Load(const std::string& text = kProject) {
        FForm.reset(new TForm(nullptr));
        ReadLayoutInto(*FForm, text);
    }
    template <class T = TComponent> T* Find(const char* name) {
        auto* c = dynamic_cast<T*>(FForm->FindComponent(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    TCustomInstall* Install() { return Find<TCustomInstall>("Install1"); }
    TDialogManager* Manager(const char* name) { return Find<TDialogManager>(name); }
    std::vector<std::string> Attached(TDialogManager* m) {
        std::vector<std::string> names;
        for (int i = 0; i < m->DialogCount(); ++i)
            names.push_back(m->Dialogs(i)->Name());
        return names;
    }
    // A component the test destroys before the form goes.
    void Destroy(const char* name) { Find(name)->Free(); }

    TOwnedPtr<TForm> FForm;
    int FBIFBefore = 0, FDCFBefore = 0;
};

template <class F> std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

TEST_F(DialogsTest, ProjectLoadsWithItsDialogSettings) {
    Load();
    TDialogManager* dm2 = Manager("DialogManager2");
    TDialogManager* dm3 = Manager("DialogManager3");
    auto* copy = Find<TCopyFileDlg>("CopyFileDlg");
    auto* bad = Find<TBadInstallationDlg>("BadInstallationDlg");
    auto* good = Find<TGoodInstallationDlg>("GoodInstallationDlg");
    auto* status = Find<TInstallStatusDlg>("InstallStatusDlg");

    EXPECT_EQ(dm2->ManagerType(), dmAfterBadInstall);
    EXPECT_EQ(dm3->ManagerType(), dmDuringCopyFiles);
    for (TDialogManager* m : {dm2, dm3}) {
        EXPECT_EQ(m->Container(), Install());
        EXPECT_EQ(m->Height(), 395);
        EXPECT_EQ(m->Width(), 478);
        EXPECT_EQ(m->Position(), qdpCenter);
        EXPECT_EQ(m->RelativeLeftOffset(), 0);
        EXPECT_EQ(m->RegisteredType(), 9000);
    }

    EXPECT_EQ(copy->DialogManager(), dm3);
    EXPECT_EQ(bad->DialogManager(), dm2);
    EXPECT_EQ(good->DialogManager(), nullptr);
    EXPECT_EQ(status->DialogManager(), nullptr);
    EXPECT_EQ(Attached(dm2), std::vector<std::string>{"BadInstallationDlg"});
    EXPECT_EQ(Attached(dm3), std::vector<std::string>{"CopyFileDlg"});

    // The copy-progress window sits low on the screen by default.
    EXPECT_EQ(GetPropText(*copy, "Position"), "qdpBottomCenter");
    EXPECT_EQ(copy->Width(), 474);
    EXPECT_EQ(copy->Height(), 146);
    EXPECT_EQ(copy->RelativeTopOffset(), 30);
    EXPECT_EQ(GetPropText(*copy, "TranslateIntoLanguage"), "qlUser");
    EXPECT_FALSE(copy->OverrideMainTranslator());
    EXPECT_TRUE(copy->AutoSetFont());
    EXPECT_TRUE(copy->AutoTranslate());
    EXPECT_TRUE(copy->ThemeBitmap().Empty());
    EXPECT_EQ(copy->CurrentLanguage(), qlEnglish);

    EXPECT_EQ(bad->Order(), 10);
    EXPECT_EQ(good->Order(), 10);
    EXPECT_EQ(good->ClassInfo()->FindProp("Position"), nullptr)
        << "completion pages do not publish placement";
    for (TCustomBaseInstallDlg* d : std::initializer_list<TCustomBaseInstallDlg*>{copy, bad, good, status}) {
        EXPECT_EQ(d->Container(), Install()) << d->Name();
        EXPECT_EQ(d->RegisteredType(), 9000);
        EXPECT_EQ(d->TranslateIntoLanguage(), qlUser);
    }
}

TEST_F(DialogsTest, PublishedPropertiesPerKind) {
    auto names = [](const TClassInfo& cls) {
        std::vector<std::string> n;
        for (const TPropInfo* p : cls.AllProps())
            n.push_back(p->Name);
        return n;
    };
    auto has = [&](const TClassInfo& cls, const char* prop) {
        auto n = names(cls);
        return std::find(n.begin(), n.end(), prop) != n.end();
    };
    // A property published twice would be found by name once but stored twice.
    for (const TClassInfo* cls : {&TDialogManager::StaticClass(), &TCopyFileDlg::StaticClass(),
                                  &TGoodInstallationDlg::StaticClass(), &TInstallStatusDlg::StaticClass()}) {
        auto n = names(*cls);
        std::sort(n.begin(), n.end());
        EXPECT_EQ(std::adjacent_find(n.begin(), n.end()), n.end()) << cls->Name;
        EXPECT_TRUE(has(*cls, "Container")) << cls->Name;
    }
    EXPECT_TRUE(has(TBadInstallationDlg::StaticClass(), "OnBeforeExecute"));
    EXPECT_TRUE(has(TBadInstallationDlg::StaticClass(), "DialogManager"));
    EXPECT_FALSE(has(TBadInstallationDlg::StaticClass(), "Width"));
    EXPECT_TRUE(has(TCopyFileDlg::StaticClass(), "RelativeTopOffset"));
    EXPECT_FALSE(has(TCopyFileDlg::StaticClass(), "OnAfterExecute"));
    // The status window always acts alone.
    EXPECT_FALSE(has(TInstallStatusDlg::StaticClass(), "DialogManager"));
    EXPECT_EQ(TCopyFileDlg::StaticClass().FindProp("RelativeTopOffset")->Default, "30");
    EXPECT_EQ(TCopyFileDlg::StaticClass().FindProp("Position")->Default, "qdpBottomCenter");
    EXPECT_EQ(TDialogManager::StaticClass().FindProp("Width")->Default, "478");
}

TEST_F(DialogsTest, DialogsStandAfterTheFilesInStoredOrder) {
    Load();
    TCustomInstall* install = Install();
    std::vector<std::string> helpers;
    for (int i = 0; i < install->HelperCount(); ++i)
        helpers.push_back(install->Helpers(i)->Name());
    const std::vector<std::string> expected = {"InstallFile2",        "InstallFile",     "DialogManager2",
                                               "DialogManager3",      "CopyFileDlg",     "BadInstallationDlg",
                                               "GoodInstallationDlg", "InstallStatusDlg"};
    EXPECT_EQ(helpers, expected);
}

TEST_F(DialogsTest, RegistryEntriesComeAndGoWithTheComponents) {
    Load();
    auto* copy = Find<TCopyFileDlg>("CopyFileDlg");
    auto* bad = Find<TBadInstallationDlg>("BadInstallationDlg");
    auto* good = Find<TGoodInstallationDlg>("GoodInstallationDlg");
    ASSERT_EQ(BIFCount(), FBIFBefore + 2);
    ASSERT_EQ(DCFCount(), FDCFBefore + 1);
    // In creation order: the failed-installation page was stored first.
    EXPECT_EQ(GetBIF(FBIFBefore), bad->Entry());
    EXPECT_EQ(GetBIF(FBIFBefore)->Dialog, bad);
    EXPECT_EQ(GetBIF(FBIFBefore)->FormClass, &BadInstallFormKind());
    EXPECT_EQ(GetBIF(FBIFBefore + 1)->Dialog, good);
    EXPECT_TRUE(GetBIF(FBIFBefore + 1)->FormClass->InheritsFrom(BaseInstallFormKind()));
    EXPECT_EQ(GetDCF(FDCFBefore)->Dialog, copy);
    EXPECT_EQ(GetDCF(FDCFBefore)->FormClass->Name, "TCopyFileForm");
    EXPECT_EQ(BCDFCount(), 0);

    Destroy("BadInstallationDlg");
    EXPECT_EQ(BIFCount(), FBIFBefore + 1);
    EXPECT_EQ(GetBIF(FBIFBefore)->Dialog, good);
    Destroy("CopyFileDlg");
    EXPECT_EQ(DCFCount(), FDCFBefore);
    FForm.reset();
    EXPECT_EQ(BIFCount(), FBIFBefore);
}

TEST_F(DialogsTest, RegistryRefusesBadIndexesAndKinds) {
    EXPECT_EQ(MessageOf([] { GetBIF(BIFCount()); }),
              Format("%d is an invalid index in the BIFList", {BIFCount()}));
    EXPECT_EQ(MessageOf([] { GetBIF(-1); }), "-1 is an invalid index in the BIFList");
    EXPECT_EQ(MessageOf([] { GetBCDF(0); }), "0 is an invalid index in the BCDFList");
    // A progress window is no wizard page, and nothing is no kind at all.
    EXPECT_NE(MessageOf([] { RegisterBIF(&CopyFileFormKind(), nullptr); }), "(nothing raised)");
    EXPECT_NE(MessageOf([] { RegisterDCF(nullptr, nullptr); }), "(nothing raised)");
    int before = BCDFCount();
    TBCDFEntry* e = RegisterBCDF(&BaseChangeDiskFormKind());
    EXPECT_EQ(BCDFCount(), before + 1);
    EXPECT_EQ(GetBCDF(before), e);
    UnregisterBCDF(e);
    UnregisterBCDF(e); // already gone: ignored
    EXPECT_EQ(BCDFCount(), before);
}

TEST_F(DialogsTest, AddingNoDialogFailsWithTheManagersName) {
    Load();
    TDialogManager* dm2 = Manager("DialogManager2");
    EXPECT_EQ(MessageOf([&] { dm2->AddDialog(nullptr); }),
              "Cannot add a NIL Dialog to the Dialog Manager DialogManager2");
    EXPECT_EQ(Attached(dm2), std::vector<std::string>{"BadInstallationDlg"});
    // Attaching twice keeps one link, so one removal clears it.
    auto* bad = Find<TBadInstallationDlg>("BadInstallationDlg");
    dm2->AddDialog(bad);
    EXPECT_EQ(dm2->DialogCount(), 1);
}

TEST_F(DialogsTest, SetDialogManagerMovesTheDialog) {
    Load();
    TDialogManager* dm2 = Manager("DialogManager2");
    TDialogManager* dm3 = Manager("DialogManager3");
    auto* copy = Find<TCopyFileDlg>("CopyFileDlg");

    copy->SetDialogManager(dm2);
    EXPECT_EQ(copy->DialogManager(), dm2);
    EXPECT_EQ(Attached(dm2), (std::vector<std::string>{"BadInstallationDlg", "CopyFileDlg"}));
    EXPECT_TRUE(Attached(dm3).empty());

    copy->SetDialogManager(dm2); // unchanged: nothing happens
    EXPECT_EQ(dm2->DialogCount(), 2);

    copy->SetDialogManager(nullptr);
    EXPECT_EQ(copy->DialogManager(), nullptr);
    EXPECT_EQ(Attached(dm2), std::vector<std::string>{"BadInstallationDlg"});

    // The stored property goes the same way.
    SetPropText(*copy, "Height", "200");
    EXPECT_EQ(copy->Height(), 200);
}

TEST_F(DialogsTest, DestroyingEitherSideLeavesNoLink) {
    Load();
    auto* copy = Find<TCopyFileDlg>("CopyFileDlg");
    TDialogManager* dm2 = Manager("DialogManager2");
    copy->SetDialogManager(dm2);

    Destroy("DialogManager2");
    EXPECT_EQ(copy->DialogManager(), nullptr);
    EXPECT_EQ(Find<TBadInstallationDlg>("BadInstallationDlg")->DialogManager(), nullptr);
    for (int i = 0; i < Install()->HelperCount(); ++i)
        EXPECT_NE(Install()->Helpers(i)->Name(), "DialogManager2");

    TDialogManager* dm3 = Manager("DialogManager3");
    copy->SetDialogManager(dm3);
    ASSERT_EQ(dm3->DialogCount(), 1);
    Destroy("CopyFileDlg");
    EXPECT_EQ(dm3->DialogCount(), 0);
    // The manager must not reach the destroyed dialog in any later step.
    dm3->SetWidth(500);
    EXPECT_EQ(MessageOf([&] { dm3->RemoveDialog(nullptr); }), "(nothing raised)");
}

TEST_F(DialogsTest, NewDialogsJoinTheFirstManagerOfTheirKind) {
    Load();
    TDialogManager* dm3 = Manager("DialogManager3");
    // A second manager of the same type is never the one found.
    auto* second = new TDialogManager(FForm.get());
    second->SetName("DialogManager4");
    second->SetManagerType(dmDuringCopyFiles);
    second->SetContainer(Install());
    EXPECT_EQ(FindDialogManager(dmDuringCopyFiles), dm3);
    EXPECT_EQ(FindDialogManager(dmAfterBadInstall), Manager("DialogManager2"));
    EXPECT_EQ(FindDialogManager(dmBeforeInstall), nullptr);

    auto* copy = new TCopyFileDlg(FForm.get());
    EXPECT_EQ(copy->DialogManager(), dm3);
    EXPECT_EQ(Attached(dm3), (std::vector<std::string>{"CopyFileDlg", ""}));
    auto* good = new TGoodInstallationDlg(FForm.get());
    EXPECT_EQ(good->DialogManager(), nullptr) << "no dmAfterGoodInstall manager in the project";
    EXPECT_EQ(good->Order(), 10);

    // A manager outside the installation component is not found.
    second->SetContainer(nullptr);
    dm3->SetContainer(nullptr);
    EXPECT_EQ(FindDialogManager(dmDuringCopyFiles), nullptr);
}

TEST_F(DialogsTest, ManagersCheckTheirParameterObjects) {
    Load();
    TDialogManager* dm3 = Manager("DialogManager3");
    TMessageParameter wrong("x");
    TFileStatusParameter file;
    TDownloadStatusParameter download;
    EXPECT_EQ(MessageOf([&] { dm3->HandleInformationEvent(nullptr, ieFileStatus, nullptr); }),
              "DialogManager3 got a nil PO parameter");
    EXPECT_EQ(MessageOf([&] { dm3->HandleInformationEvent(nullptr, ieFileStatus, &wrong); }),
              "The PO object passed to DialogManager3 is not a TFileStatusParameter object");
    EXPECT_EQ(MessageOf([&] { dm3->HandleInformationEvent(nullptr, ieDownloadStatus, &file); }),
              "The PO object passed to DialogManager3 is not a TDownloadStatusParameter object");
    EXPECT_EQ(dm3->DuringCopyFormCount(), 0) << "a refused parameter opens no window";
    // Codes for other managers, and the end of an operation with no window
    // open, pass quietly.
    for (Integer code : {ieObjectIncluded, ieOperationDone, ieAfterBadInstall, ieNewDisk, ieStatusMessage})
        EXPECT_EQ(MessageOf([&] { dm3->HandleInformationEvent(nullptr, code, nullptr); }), "(nothing raised)")
            << code;
}

TEST_F(DialogsTest, WizardsWithoutPagesShowNothing) {
    Load();
    auto* welcome = new TDialogManager(FForm.get());
    welcome->SetName("Welcome");
    welcome->SetContainer(Install());
    EXPECT_EQ(MessageOf([&] { welcome->HandleInformationEvent(nullptr, ieBeforeInstall, nullptr); }),
              "(nothing raised)");
    // The change-disk registry is empty in this program: nothing to ask.
    welcome->SetManagerType(dmChangeDisk);
    EXPECT_EQ(MessageOf([&] { welcome->HandleInformationEvent(nullptr, ieNewDisk, nullptr); }),
              "(nothing raised)");

    EXPECT_EQ(CurrentDialogManager(), nullptr);
}

TEST_F(DialogsTest, StatusMessagesStack) {
    Load();
    auto* status = Find<TInstallStatusDlg>("InstallStatusDlg");
    TMessageParameter first("Reading the archive"), second("Registering files");
    TFileStatusParameter wrong;
    EXPECT_EQ(MessageOf([&] { status->HandleInformationEvent(nullptr, ieStatusMessage, nullptr); }),
              "InstallStatusDlg got a nil PO parameter");
    EXPECT_EQ(MessageOf([&] { status->HandleInformationEvent(nullptr, ieStatusMessage, &wrong); }),
              "The PO object passed to InstallStatusDlg is not a TMessageParameter object");
    EXPECT_EQ(status->Messages().Count(), 0);

    // The window shows the top of the stack and hides when it is empty;
    // the run's log keeps every message.
    std::vector<std::string> lines;
    SetLogHook(
        [&](const std::string& verb, const std::string& text) { lines.push_back(verb + ": " + text); });
    status->HandleInformationEvent(nullptr, ieStatusMessage, &first);
    auto* form = dynamic_cast<TInstallStatusForm*>(status->Form());
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->Visible());
    status->HandleInformationEvent(nullptr, ieStatusMessage, &second);
    EXPECT_EQ(status->Message(), "Registering files");
    EXPECT_EQ(form->MessageLabel()->Caption(), "Registering files");
    status->HandleInformationEvent(nullptr, ieRemoveStatusMessage, nullptr);
    EXPECT_EQ(status->Message(), "Reading the archive");
    EXPECT_EQ(form->MessageLabel()->Caption(), "Reading the archive");
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(status->Messages().Count(), 1);
    status->HandleInformationEvent(nullptr, ieRemoveStatusMessage, nullptr);
    EXPECT_FALSE(form->Visible());
    status->HandleInformationEvent(nullptr, ieRemoveStatusMessage, nullptr);
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(status->Messages().Count(), 0);

    // Pushed through the container's broadcast, the message reaches the same window.
    Install()->PushStatusMessage("Copying");
    EXPECT_EQ(status->Message(), "Copying");
    EXPECT_EQ(status->Form(), form);
    EXPECT_TRUE(form->Visible());
    SetLogHook(nullptr);
    EXPECT_EQ(lines, (std::vector<std::string>{"Status: Reading the archive", "Status: Registering files",
                                               "Status: Reading the archive", "Status: Copying"}));
    status->RefreshTranslation();
    EXPECT_EQ(status->CurrentLanguage(), qlEnglish);
}

TEST_F(DialogsTest, LongStatusMessageWidensTheWindowAroundTheScreenCentre) {
    Load();
    auto* status = Find<TInstallStatusDlg>("InstallStatusDlg");
    TMessageParameter shortText("Wait"), longText(std::string(60, 'W') + " and more words after them");
    status->HandleInformationEvent(nullptr, ieStatusMessage, &shortText);
    TForm* form = status->Form();
    ASSERT_NE(form, nullptr);
    const int32_t narrow = form->Width();
    status->HandleInformationEvent(nullptr, ieStatusMessage, &longText);
    EXPECT_GT(form->Width(), narrow + 200);
    const int32_t centre = form->Left() + form->Width() / 2;
    EXPECT_NEAR(centre, ScreenWidth() / 2, 1);
    // Vertically the label sits in the middle of the box.
    auto* label = static_cast<TInstallStatusForm*>(form)->MessageLabel();
    EXPECT_NEAR(label->Top() + label->Height() / 2, form->ClientHeight() / 2, 1);
}

} // namespace
