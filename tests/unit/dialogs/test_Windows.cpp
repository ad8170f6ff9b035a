// The windows of the dialog framework: pages created from their stored
// layouts, broadcasts sent to managers, and the modal windows driven from a
// second thread as a person would drive them.
#include "ControlsDriver.h"
#include "dialogs/dlgcmp_TBadInstallationDlg.h"
#include "dialogs/dlgcmp_TBaseDlg.h"
#include "dialogs/dlgcmp_TCopyFile.h"
#include "dialogs/dlgcmp_TFileGroupSelectDlg.h"
#include "dialogs/dlgcmp_TGoodInstallationDlg.h"
#include "dialogs/dlgcmp_TRebootDlg.h"
#include "dialogs/dlgcmp_TWelcomeDlg.h"
#include "dialogs/ordlg_Pages.h"
#include "dialogs/ordlg_Progress.h"
#include "dialogs/ordlg_TBaseFormContainer.h"
#include "dialogs/ordlg_TFileGroupSelectForm.h"
#include "dialogs/routines_Pictures.h"
#include "engine/cmp_TInstall.h"
#include "platform/routines_Files.h"
#include "platform/routines_Format.h"
#include "platform/routines_Process.h"
#include "support/IsolatedTest.h"
#include "support/SystemHelpers.h"
#include "toolkit/classes_Reader.h"
#include "toolkit/forms_ComCtrls.h"
#include "toolkit/forms_ExtCtrls.h"
#include "toolkit/forms_FolderBrowser.h"
#include "toolkit/forms_StdCtrls.h"
#include "translate/cmp_TTranslateControls.h"
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace WindowDriver;

// A page kind of the tests: it takes its Order and whether it asks to be
// skipped from a plan, one step per page made.
struct TPagePlan {
    int32_t Order;
    bool Skip;
};
static std::vector<TPagePlan> GPlan;
// Runs while a page comes up: what a person may do while it still lets
// messages run.
static std::function<void()> GWhileComingUp;

class TSkippablePage : public TFramePage {
    QFD_CLASS(TSkippablePage)
public:
    explicit TSkippablePage(TComponent* AOwner) : TFramePage(AOwner) {
        FDM = FindDialogManager(dmBeforeInstall);
        if (!GPlan.empty()) {
            FOrder = GPlan.front().Order;
            FSkip = GPlan.front().Skip;
            GPlan.erase(GPlan.begin());
        }
    }
    bool SkipPage() override { return FSkip; }
    void UpdateControls() override {
        UpdateClosingButtons(true);
        if (GWhileComingUp)
            GWhileComingUp();
    }

private:
    bool FSkip = false;
};

const TClassInfo& TSkippablePage::StaticClass() {
    static const TClassInfo info = DescribeClass<TSkippablePage, TFramePage>("TSkippablePage", [](auto&) {});
    return info;
}

namespace {

// Every manager type, each with a dialog of its own where one exists.
const char* const kProject = R"(object SetupForm: TForm
  object Install1: TInstall
    Tag = 1
    GroupName = 'ScreenSaver'
  end
  object BeforeManager: TDialogManager
    Container = Install1
    ManagerType = dmBeforeInstall
  end
  object BadManager: TDialogManager
    Container = Install1
    ManagerType = dmAfterBadInstall
  end
  object CopyManager: TDialogManager
    Container = Install1
    ManagerType = dmDuringCopyFiles
  end
  object RebootManager: TDialogManager
    Container = Install1
    ManagerType = dmReboot
  end
  object CopyFileDlg: TCopyFileDlg
    Container = Install1
    DialogManager = CopyManager
  end
  object BadInstallationDlg: TBadInstallationDlg
    Container = Install1
    DialogManager = BadManager
    Order = 10
  end
  object GoodInstallationDlg: TGoodInstallationDlg
    Container = Install1
    Order = 10
  end
end
)";

// Counts what a manager would show instead of showing it.
class TCountingManager : public TDialogManager {
public:
    using TDialogManager::TDialogManager;
    int Wizards = 0, Disks = 0, Statuses = 0, Closes = 0;
    void ShowDialogs() override { ++Wizards; }
    void ShowChangeDisk(TObject*) override { ++Disks; }

protected:
    void UpdateDuringCopyForms(TFileStatusParameter*, TDownloadStatusParameter*) override { ++Statuses; }
    void CloseDuringCopyForms() override { ++Closes; }
};

class WindowsTest : public TIsolatedTest {
protected:
    void SetUp() override {
        TIsolatedTest::SetUp();
        Application()->Initialize();
        RegisterObjectClasses();
        RegisterEngineClasses();
        RegisterDialogClasses();
        OverrideCommandLineParams(std::vector<std::string>{"setup.exe"});
        GPlan.clear();
        SharedArchive().Abort = false;
    }
    void TearDown() override {
        for (TBIFEntry* e : FStandalone)
            UnregisterBIF(e);
        CurrentDialogManager() = nullptr;
        FWizard.reset();
        FForm.reset();
        SharedArchive().Abort = false;
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
    template <class T> T* Add(const char* name) {
        auto* c = new T(FForm.get());
        c->SetName(name);
        c->SetContainer(Install());
        return c;
    }
    // The wizard of a manager built as ShowDialogs builds it, not yet shown.
    TBaseFormContainer* BuildWizard(TDialogManager* m) {
        CurrentDialogManager() = m;
        FWizard.reset(static_cast<TBaseFormContainer*>(
            CreateFormOfKind(&TBaseFormContainer::StaticClass(), Application())));
        FWizard->BuildPages();
        return FWizard.get();
    }
    void AddSkippablePages(std::vector<TPagePlan> plan) {
        for (size_t i = 0; i < plan.size(); ++i)
            FStandalone.push_back(RegisterBIF(&TSkippablePage::StaticClass(), nullptr));
        GPlan = std::move(plan);
    }
    // Runs the person's steps while the test's thread is in the modal loop of
    // run; returns what the person found wrong.
    std::vector<std::string> WithPerson(std::function<void(TPerson&)> steps,
                                        const std::function<void()>& run) {
        TPerson person(std::move(steps));
        try {
            run();
        } catch (...) {
            person.Join();
            throw;
        }
        person.Join();
        return person.Failures();
    }

    TOwnedPtr<TForm> FForm;
    TOwnedPtr<TBaseFormContainer> FWizard;
    std::vector<TBIFEntry*> FStandalone;
};

std::vector<std::string> PageKinds(TBaseFormContainer* w) {
    std::vector<std::string> kinds;
    for (int i = 0; i < w->PageCount(); ++i)
        kinds.push_back(w->Pages(i)->ClassName());
    return kinds;
}

bool ShownOnPage(TFramePage* page, const char* button) {
    return page->FindComponent(button) && static_cast<TControl*>(page->FindComponent(button))->Visible();
}

// Presses a button of the window with this caption; records a failure when
// either cannot be found.
void Press(TPerson& p, const std::string& window, const std::string& button) {
    TWindowHandle w = FindTopWindow(window, ThisProcess(), 10000);
    if (p.Check(w != 0, "no window " + window))
        p.Check(PressButton(w, button), "no button " + button + " in " + window);
}

TEST(PlacementRule, EveryColumnAndRow) {
    EXPECT_EQ(PlaceRect(qdpBottomRight, 0, 0, 478, 395, 640, 480, 19).X, 162);
    EXPECT_EQ(PlaceRect(qdpBottomRight, 0, 0, 478, 395, 640, 480, 19).Y, 66);
    // Halves go to the even neighbour: 320 - 237.5 = 82.5 -> 82.
    EXPECT_EQ(PlaceRect(qdpCenter, 0, 0, 475, 100, 640, 480, 19).X, 82);
    EXPECT_EQ(PlaceRect(qdpCenter, 10, -5, 474, 146, 800, 600, 19).X, 173);
    EXPECT_EQ(PlaceRect(qdpCenter, 10, -5, 474, 146, 800, 600, 19).Y, 222);
    EXPECT_EQ(PlaceRect(qdpTopLeft, 7, 9, 100, 100, 800, 600, 19).X, 7);
    EXPECT_EQ(PlaceRect(qdpTopLeft, 7, 9, 100, 100, 800, 600, 19).Y, 9);
    EXPECT_EQ(PlaceRect(qdpCenterRight, 7, 9, 100, 100, 800, 600, 19).X, 693);
    EXPECT_EQ(PlaceRect(qdpCenterRight, 7, 9, 100, 100, 800, 600, 19).Y, 259);
    // The copy-progress window's defaults: low on the screen, centred.
    EXPECT_EQ(PlaceRect(qdpBottomCenter, 0, 30, 474, 146, 800, 600, 19).X, 163);
    EXPECT_EQ(PlaceRect(qdpBottomCenter, 0, 30, 474, 146, 800, 600, 19).Y, 405);
}

TEST_F(WindowsTest, EachManagerReactsToItsOwnCodesOnly) {
    Load();
    struct TCase {
        TManagerType Type;
        std::vector<int32_t> Codes; // the codes it answers
    };
    const std::vector<TCase> cases = {{dmBeforeInstall, {ieBeforeInstall}},
                                      {dmAfterGoodInstall, {ieAfterGoodInstall}},
                                      {dmAfterBadInstall, {ieAfterBadInstall}},
                                      {dmDuringCopyFiles, {ieFileStatus, ieDownloadStatus, ieOperationDone}},
                                      {dmChangeDisk, {ieNewDisk}},
                                      {dmReboot, {ieReboot}}};
    const std::vector<int32_t> all = {ieBeforeInstall,  ieAfterGoodInstall, ieAfterBadInstall, ieFileStatus,
                                      ieDownloadStatus, ieOperationDone,    ieNewDisk,         ieReboot,
                                      ieGoodInstall,    ieBadInstall,       ieStatusMessage};
    TFileStatusParameter file;
    TDownloadStatusParameter download;
    for (const TCase& c : cases) {
        TOwnedPtr<TCountingManager> m(new TCountingManager(nullptr));
        m->SetManagerType(c.Type);
        for (int32_t code : all) {
            TObject* parameter = code == ieFileStatus       ? static_cast<TObject*>(&file)
                                 : code == ieDownloadStatus ? static_cast<TObject*>(&download)
                                                            : nullptr;
            m->HandleInformationEvent(nullptr, code, parameter);
        }
        const int answered = m->Wizards + m->Disks + m->Statuses + m->Closes;
        EXPECT_EQ(answered, static_cast<int>(c.Codes.size())) << ManagerTypeNames()[c.Type];
        if (c.Type == dmDuringCopyFiles) {
            EXPECT_EQ(m->Statuses, 2);
            EXPECT_EQ(m->Closes, 1);
        } else if (c.Type == dmChangeDisk) {
            EXPECT_EQ(m->Disks, 1);
        } else {
            EXPECT_EQ(m->Wizards, 1) << ManagerTypeNames()[c.Type];
        }
    }
}

TEST_F(WindowsTest, PagesComeInTheOrderOfTheirOrder) {
    Load();
    auto* before = Find<TDialogManager>("BeforeManager");
    // Completion (10) registered before welcome (5): welcome comes first.
    Find<TGoodInstallationDlg>("GoodInstallationDlg")->SetDialogManager(before);
    auto* welcome = Add<TWelcomeDlg>("WelcomeDlg");
    EXPECT_EQ(welcome->DialogManager(), before);
    TBaseFormContainer* w = BuildWizard(before);
    EXPECT_EQ(PageKinds(w), (std::vector<std::string>{"TWelcomeForm", "TGoodInstallForm"}));
    // Each page is a child window of the wizard, set from its dialog.
    EXPECT_EQ(w->Pages(0)->Parent(), w);
    EXPECT_EQ(w->Pages(0)->DC(), welcome);
    EXPECT_EQ(w->Pages(1)->Container(), Install());
    EXPECT_EQ(welcome->Form(), w->Pages(0));
}

TEST_F(WindowsTest, PagesOfEqualOrderFollowTheExchangeSort) {
    // Stored orders stay as stored; pages A(5), B(5), C(1) in registry order
    // become C, B, A: the exchange sort does not keep A before B.
    Load(R"(object SetupForm: TForm
  object Install1: TInstall
    GroupName = 'ScreenSaver'
  end
  object BeforeManager: TDialogManager
    Container = Install1
    ManagerType = dmBeforeInstall
  end
  object WelcomeDlg: TWelcomeDlg
    Container = Install1
    DialogManager = BeforeManager
    Order = 5
  end
  object RebootDlg: TRebootDlg
    Container = Install1
    DialogManager = BeforeManager
    Order = 5
  end
  object GoodInstallationDlg: TGoodInstallationDlg
    Container = Install1
    DialogManager = BeforeManager
    Order = 1
  end
end
)");
    ASSERT_EQ(Find<TRebootDlg>("RebootDlg")->Order(), 5);
    TBaseFormContainer* w = BuildWizard(Find<TDialogManager>("BeforeManager"));
    EXPECT_EQ(PageKinds(w), (std::vector<std::string>{"TGoodInstallForm", "TRebootForm", "TWelcomeForm"}));
}

TEST_F(WindowsTest, SkippedPagesArePassedOverBothWays) {
    Load();
    auto* before = Find<TDialogManager>("BeforeManager");
    AddSkippablePages({{1, false}, {2, true}, {3, false}, {4, true}});
    TBaseFormContainer* w = BuildWizard(before);
    ASSERT_EQ(w->PageCount(), 4);
    w->FormShow(nullptr);
    EXPECT_EQ(w->CurrentIndex(), 0);
    EXPECT_TRUE(w->IsFirstPage());
    w->PreviousPage(); // Back on the first page stays there
    EXPECT_EQ(w->CurrentIndex(), 0);
    w->NextPage();
    EXPECT_EQ(w->CurrentIndex(), 2);
    EXPECT_FALSE(w->IsFirstPage());
    EXPECT_FALSE(w->Finished());
    // Every later page is skipped: Next ends the wizard normally.
    w->NextPage();
    EXPECT_EQ(w->CurrentIndex(), 2);
    EXPECT_TRUE(w->Finished());
    w->PreviousPage();
    EXPECT_EQ(w->CurrentIndex(), 0);
}

TEST_F(WindowsTest, OnlyTheCurrentPageShows) {
    Load();
    AddSkippablePages({{1, false}, {2, false}, {3, false}});
    TBaseFormContainer* w = BuildWizard(Find<TDialogManager>("BeforeManager"));
    w->FormShow(nullptr);
    auto shown = [&] {
        std::vector<bool> v;
        for (int i = 0; i < w->PageCount(); ++i)
            v.push_back(w->Pages(i)->Visible());
        return v;
    };
    EXPECT_EQ(shown(), (std::vector<bool>{true, false, false}));
    w->NextPage();
    EXPECT_EQ(shown(), (std::vector<bool>{false, true, false}));
    w->PreviousPage();
    EXPECT_EQ(shown(), (std::vector<bool>{true, false, false}));
}

TEST_F(WindowsTest, BackWhileTheNextPageComesUpDoesNotEndTheWizard) {
    Load();
    AddSkippablePages({{1, false}, {2, false}, {3, false}});
    TBaseFormContainer* w = BuildWizard(Find<TDialogManager>("BeforeManager"));
    w->FormShow(nullptr);
    bool pressed = false;
    GWhileComingUp = [&] {
        if (!pressed && w->CurrentIndex() == 1) {
            pressed = true;
            w->PreviousPage();
        }
    };
    w->NextPage();
    GWhileComingUp = nullptr;
    ASSERT_TRUE(pressed);
    EXPECT_EQ(w->CurrentIndex(), 0);
    EXPECT_FALSE(w->Finished()) << "Next took the Back for the end of the wizard";
}

TEST_F(WindowsTest, FirstPageNotSkippedCountsAsFirst) {
    Load();
    AddSkippablePages({{1, true}, {2, false}, {3, false}});
    TBaseFormContainer* w = BuildWizard(Find<TDialogManager>("BeforeManager"));
    w->FormShow(nullptr);
    EXPECT_EQ(w->CurrentIndex(), 1);
    EXPECT_TRUE(w->IsFirstPage());
    auto* page = static_cast<TFramePage*>(w->Pages(1));
    EXPECT_FALSE(ShownOnPage(page, "BackBtn"));
    EXPECT_TRUE(ShownOnPage(page, "ProceedBtn"));
    EXPECT_FALSE(ShownOnPage(page, "FinishBtn"));
    EXPECT_EQ(w->Caption(), "Skippable");
    w->NextPage();
    page = static_cast<TFramePage*>(w->Pages(2));
    EXPECT_TRUE(ShownOnPage(page, "BackBtn"));
    EXPECT_FALSE(ShownOnPage(page, "ProceedBtn"));
    EXPECT_TRUE(ShownOnPage(page, "FinishBtn"));
}

TEST_F(WindowsTest, ButtonsOfTheClosingPages) {
    Load();
    auto* before = Find<TDialogManager>("BeforeManager");
    Find<TGoodInstallationDlg>("GoodInstallationDlg")->SetDialogManager(before);
    // The good-completion page alone: Finish, neither Next nor Back.
    TBaseFormContainer* w = BuildWizard(before);
    w->FormShow(nullptr);
    auto* good = static_cast<TFramePage*>(w->Pages(0));
    EXPECT_TRUE(ShownOnPage(good, "FinishBtn"));
    EXPECT_FALSE(ShownOnPage(good, "ProceedBtn"));
    EXPECT_FALSE(ShownOnPage(good, "BackBtn"));
    EXPECT_EQ(w->Caption(), "Setup complete");

    // After the welcome page: no Back on the welcome page, Back after it.
    FWizard.reset();
    Add<TWelcomeDlg>("WelcomeDlg");
    w = BuildWizard(before);
    w->FormShow(nullptr);
    EXPECT_EQ(w->Caption(), "Welcome");
    EXPECT_FALSE(ShownOnPage(static_cast<TFramePage*>(w->Pages(0)), "BackBtn"));
    w->NextPage();
    EXPECT_TRUE(ShownOnPage(static_cast<TFramePage*>(w->Pages(1)), "BackBtn"));
}

TEST_F(WindowsTest, RestartPageShowsAndRecordsReboot) {
    Load();
    auto* manager = Find<TDialogManager>("RebootManager");
    Add<TRebootDlg>("RebootDlg");
    TBaseFormContainer* w = BuildWizard(manager);
    ASSERT_EQ(w->PageCount(), 1);
    auto* page = static_cast<TRebootForm*>(w->Pages(0));
    Install()->SetReboot(true);
    w->FormShow(nullptr);
    EXPECT_EQ(page->RG()->ItemIndex(), 0);
    EXPECT_TRUE(Install()->Reboot()) << "showing the page changes nothing";
    Install()->SetReboot(false);
    page->PageActivated();
    EXPECT_EQ(page->RG()->ItemIndex(), 1);
    EXPECT_FALSE(Install()->Reboot());
    page->RG()->SetItemIndex(0); // a click, as the radio group reports it
    EXPECT_TRUE(Install()->Reboot());
    page->RG()->SetItemIndex(1);
    EXPECT_FALSE(Install()->Reboot());
}

TEST_F(WindowsTest, WizardWithoutAManagerFails) {
    Load();
    CurrentDialogManager() = nullptr;
    TOwnedPtr<TBaseFormContainer> w(static_cast<TBaseFormContainer*>(
        CreateFormOfKind(&TBaseFormContainer::StaticClass(), Application())));
    try {
        w->BuildPages();
        ADD_FAILURE() << "nothing raised";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "The current dialog manager is not defined");
    }
}

TEST_F(WindowsTest, PagesAreTranslatedWithTheLanguagesFont) {
    Load();
    auto* translator = new TTranslator(FForm.get());
    ASSERT_EQ(ActiveTranslator(), translator);
    translator->LanguageByIdent(qlEnglish)->Strings().Add("900;Setup complete");
    TLanguage* russian = translator->LanguageByIdent(qlRussian);
    russian->Strings().Add("900;Установка завершена");
    russian->Strings().Add("38;Программа установлена.");
    russian->Strings().Add("72;Готово");
    translator->SetTranslateIntoLanguage(qlRussian);
    auto* before = Find<TDialogManager>("BeforeManager");
    Find<TGoodInstallationDlg>("GoodInstallationDlg")->SetDialogManager(before);
    TBaseFormContainer* w = BuildWizard(before);
    w->FormShow(nullptr);
    auto* page = static_cast<TFramePage*>(w->Pages(0));
    EXPECT_EQ(page->Caption(), "Установка завершена") << "by its English text";
    EXPECT_EQ(w->Caption(), "Установка завершена");
    EXPECT_EQ(static_cast<TControl*>(page->FindComponent("Label1"))->Caption(), "Программа установлена.")
        << "by its GLID";
    EXPECT_EQ(page->FinishBtn()->Caption(), "Готово");
    // A GLID the language does not have leaves the English text.
    EXPECT_EQ(page->BackBtn()->Caption(), "< Previous");
    EXPECT_EQ(page->CurrentLanguage(), qlRussian);
    EXPECT_EQ(page->Font().Charset(), 204);
    EXPECT_EQ(page->FinishBtn()->Font().Charset(), 204);
    EXPECT_EQ(page->FinishBtn()->Font().Name(), "Arial");
}

TEST_F(WindowsTest, ProgressWindowFollowsTheParameterObjects) {
    Load();
    auto* manager = Find<TDialogManager>("CopyManager");
    TFileStatusParameter file;
    file.FileName = "saver.scr";
    file.FilePercentDone = 40;
    file.TotalPercentDone = 70;
    manager->HandleInformationEvent(nullptr, ieFileStatus, &file);
    ASSERT_EQ(manager->DuringCopyFormCount(), 1);
    auto* form = dynamic_cast<TCopyFileForm*>(manager->DuringCopyForms(0));
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(form->FileBar()->Position(), 40);
    EXPECT_EQ(form->TotalBar()->Position(), 70);
    EXPECT_EQ(form->FileLabel()->Caption(), "saver.scr");
    EXPECT_FALSE(form->TransferShown());
    // The picture beside the bars as the window shows it.
    auto* picturePanel = static_cast<TWinControl*>(form->FindComponent("Panel2"));
    ASSERT_NE(picturePanel, nullptr);
    const auto shown = [&] {
        int w = 0, h = 0;
        return WindowPixels(picturePanel->Handle(), w, h);
    };
    const std::vector<uint32_t> extracting = shown();
    ASSERT_FALSE(extracting.empty());
    EXPECT_GT(std::count_if(extracting.begin(), extracting.end(), [](uint32_t p) { return p == 0x10A010; }),
              20)
        << "the extraction picture's arrow";
    // Placed by its dialog component: 474 x 146, low on the screen.
    EXPECT_EQ(form->Width(), 474);
    EXPECT_EQ(form->Height(), 146);
    EXPECT_EQ(form->Top(), ScreenHeight() - CaptionHeight() - 146 - 30);

    // A download keeps the total and shows the transfer picture.
    TDownloadStatusParameter download("files.1", 100, 250, 1000);
    manager->HandleInformationEvent(nullptr, ieDownloadStatus, &download);
    EXPECT_EQ(form->FileBar()->Position(), 25);
    EXPECT_EQ(form->TotalBar()->Position(), 70);
    EXPECT_EQ(form->FileLabel()->Caption(), "files.1");
    EXPECT_TRUE(form->TransferShown());
    const std::vector<uint32_t> downloading = shown();
    EXPECT_NE(downloading, extracting) << "the download shows its own picture";
    EXPECT_EQ(std::count(downloading.begin(), downloading.end(), 0x10A010), 0)
        << "the extraction picture shows through the transfer picture";
    EXPECT_GT(std::count(downloading.begin(), downloading.end(), 0x2E6FD8), 20) << "the globe";
    file.FilePercentDone = 100;
    file.TotalPercentDone = 90;
    manager->HandleInformationEvent(nullptr, ieFileStatus, &file);
    EXPECT_FALSE(form->TransferShown());
    EXPECT_EQ(shown(), extracting) << "the extraction picture again";
    EXPECT_EQ(form->TotalBar()->Position(), 90);
    EXPECT_EQ(manager->DuringCopyFormCount(), 1) << "the same window goes on";

    manager->HandleInformationEvent(nullptr, ieOperationDone, nullptr);
    EXPECT_EQ(manager->DuringCopyFormCount(), 0);
    EXPECT_FALSE(form->Visible());
    // The next status opens a new window.
    manager->HandleInformationEvent(nullptr, ieFileStatus, &file);
    ASSERT_EQ(manager->DuringCopyFormCount(), 1);
    EXPECT_TRUE(manager->DuringCopyForms(0)->Visible());
    manager->HandleInformationEvent(nullptr, ieOperationDone, nullptr);
}

TEST_F(WindowsTest, ProgressBarsShowThePercentagesWithinTheirRange) {
    Load();
    auto* manager = Find<TDialogManager>("CopyManager");
    TFileStatusParameter file;
    file.FileName = "grown.dat";
    file.FilePercentDone = 130; // a file that grew while it was copied
    file.TotalPercentDone = -4;
    manager->HandleInformationEvent(nullptr, ieFileStatus, &file);
    ASSERT_EQ(manager->DuringCopyFormCount(), 1);
    auto* form = dynamic_cast<TCopyFileForm*>(manager->DuringCopyForms(0));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(ProgressBarPosition(form->FileBar()->Handle()), 100);
    EXPECT_EQ(ProgressBarPosition(form->TotalBar()->Handle()), 0);
    file.FilePercentDone = 55;
    file.TotalPercentDone = 12;
    manager->HandleInformationEvent(nullptr, ieFileStatus, &file);
    EXPECT_EQ(ProgressBarPosition(form->FileBar()->Handle()), 55);
    EXPECT_EQ(ProgressBarPosition(form->TotalBar()->Handle()), 12);
    // A download's share of its size, as its parameter object works it out.
    TDownloadStatusParameter download("files.2", 10, 2, 3);
    manager->HandleInformationEvent(nullptr, ieDownloadStatus, &download);
    EXPECT_EQ(ProgressBarPosition(form->FileBar()->Handle()), 67);
    EXPECT_EQ(ProgressBarPosition(form->TotalBar()->Handle()), 12);
    TDownloadStatusParameter empty("files.3", 10, 0, 0);
    manager->HandleInformationEvent(nullptr, ieDownloadStatus, &empty);
    EXPECT_EQ(ProgressBarPosition(form->FileBar()->Handle()), 0) << "nothing to download";
    manager->HandleInformationEvent(nullptr, ieOperationDone, nullptr);
}

TEST_F(WindowsTest, CancelInTheProgressWindowAsksTheInstallation) {
    Load();
    auto* manager = Find<TDialogManager>("CopyManager");
    TFileStatusParameter file;
    manager->HandleInformationEvent(nullptr, ieFileStatus, &file);
    ASSERT_EQ(manager->DuringCopyFormCount(), 1);
    TBaseDuringCopyForm* form = manager->DuringCopyForms(0);
    int asked = 0;
    Install()->OnUserAbort = [&](TCustomInstall*, bool& quit) {
        ++asked;
        quit = false;
    };
    form->ConfirmCancel();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(SharedArchive().Abort) << "the installation refused";
    Install()->OnUserAbort = nullptr;
    form->ConfirmCancel();
    EXPECT_TRUE(SharedArchive().Abort);
    EXPECT_TRUE(form->Visible()) << "the window stays until its manager closes it";
    manager->HandleInformationEvent(nullptr, ieOperationDone, nullptr);
}

// The captions of the buttons a person sees on the page, sorted.
std::vector<std::string> SortedButtons(TWindowHandle page) {
    std::vector<std::string> shown = ShownButtons(page);
    std::erase(shown, ""); // a radio group's frame
    std::sort(shown.begin(), shown.end());
    return shown;
}

TEST_F(WindowsTest, CompletionPageAloneEndsWithFinishOrRaisesOnItsCloseBox) {
    Load();
    auto* good = Find<TGoodInstallationDlg>("GoodInstallationDlg");
    bool result = false;
    std::vector<std::string> shown;
    auto failures = WithPerson(
        [&](TPerson& p) {
            TWindowHandle w = FindTopWindow("Setup complete", ThisProcess(), 10000);
            if (!p.Check(w != 0, "no page"))
                return;
            // A page on its own is first and last: Finish, not Next, no Back.
            shown = SortedButtons(w);
            p.Check(PressButton(w, "Finish"), "no Finish");
        },
        [&] { result = good->Execute(); });
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(shown, std::vector<std::string>{"Finish"});
    EXPECT_TRUE(result);
    EXPECT_EQ(good->Form(), nullptr) << "the page goes after showing";

    // Its close box ends it with Cancel: the user's abort.
    failures = WithPerson(
        [](TPerson& p) {
            TWindowHandle w = FindTopWindow("Setup complete", ThisProcess(), 10000);
            if (p.Check(w != 0, "no page"))
                CloseWindow(w);
        },
        [&] { EXPECT_THROW(good->HandleInformationEvent(nullptr, ieGoodInstall, nullptr), EAIUserAbort); });
    EXPECT_TRUE(failures.empty()) << failures.front();
}

TEST_F(WindowsTest, FailedInstallationPageAloneOffersFinishOnly) {
    Load();
    auto* bad = Find<TBadInstallationDlg>("BadInstallationDlg");
    bad->SetDialogManager(nullptr); // shown on its own, as the screen saver's setup shows it
    std::vector<std::string> shown;
    auto failures = WithPerson(
        [&](TPerson& p) {
            TWindowHandle w = FindTopWindow("Setup incomplete", ThisProcess(), 10000);
            if (!p.Check(w != 0, "no page"))
                return;
            shown = SortedButtons(w);
            p.Check(PressButton(w, "Finish"), "no Finish");
        },
        [&] { bad->HandleInformationEvent(nullptr, ieBadInstall, nullptr); });
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(shown, std::vector<std::string>{"Finish"});
}

TEST_F(WindowsTest, APageAloneEndsWithFinishAndKeepsWhatThePersonChose) {
    Load();
    auto* reboot = Add<TRebootDlg>("RebootDlg");
    reboot->SetDialogManager(nullptr); // no manager runs it: it is executed on its own
    Install()->SetReboot(true);
    bool result = false, aborted = false;
    std::vector<std::string> shown;
    auto failures = WithPerson(
        [&](TPerson& p) {
            TWindowHandle w = FindTopWindow("Reboot windows", ThisProcess(), 10000);
            if (!p.Check(w != 0, "no page"))
                return;
            shown = SortedButtons(w);
            p.Check(PressButton(w, "No, I would not like to reboot windows"), "no No");
            p.Check(PressButton(w, "Finish"), "no Finish");
            if (!p.Check(WaitFor([&] { return !IsWindowAlive(w); }, 3000), "Finish did not end the page"))
                CloseWindow(w);
        },
        [&] {
            try {
                result = reboot->Execute();
            } catch (const EAIUserAbort&) {
                aborted = true;
            }
        });
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(shown, (std::vector<std::string>{"Finish", "No, I would not like to reboot windows",
                                               "Yes, I would like to reboot windows"}));
    EXPECT_TRUE(result);
    EXPECT_FALSE(aborted);
    EXPECT_FALSE(Install()->Reboot());
}

TEST_F(WindowsTest, InAWizardOnlyTheLastPageOffersFinish) {
    Load();
    auto* before = Find<TDialogManager>("BeforeManager");
    Add<TWelcomeDlg>("WelcomeDlg");
    auto* reboot = Add<TRebootDlg>("RebootDlg");
    reboot->SetDialogManager(before);
    reboot->SetOrder(7);
    Find<TGoodInstallationDlg>("GoodInstallationDlg")->SetDialogManager(before);
    std::vector<std::string> welcomeShown, rebootShown, goodShown;
    // The pages lie one over the other in the wizard: each is read by itself.
    auto pageButtons = [](TPerson& p, const std::string& caption, std::vector<std::string>& into) {
        TWindowHandle wizard = FindTopWindow(caption, ThisProcess(), 10000);
        TWindowHandle page = wizard ? FindChild(wizard, caption) : 0;
        if (p.Check(page != 0, "no page " + caption))
            into = SortedButtons(page);
    };
    auto failures = WithPerson(
        [&](TPerson& p) {
            pageButtons(p, "Welcome", welcomeShown);
            Press(p, "Welcome", "Next >");
            pageButtons(p, "Reboot windows", rebootShown);
            Press(p, "Reboot windows", "Next >");
            pageButtons(p, "Setup complete", goodShown);
            Press(p, "Setup complete", "Finish");
        },
        [&] { EXPECT_NO_THROW(before->HandleInformationEvent(nullptr, ieBeforeInstall, nullptr)); });
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(welcomeShown, (std::vector<std::string>{"Cancel", "Next >"}));
    // The restart page's radio buttons are buttons too.
    EXPECT_EQ(rebootShown,
              (std::vector<std::string>{"< Previous", "Next >", "No, I would not like to reboot windows",
                                        "Yes, I would like to reboot windows"}));
    EXPECT_EQ(goodShown, (std::vector<std::string>{"< Previous", "Finish"}));
}

TEST_F(WindowsTest, CancelOnTheFirstPageAbortsUnlessTheInstallationRefuses) {
    Load();
    auto* before = Find<TDialogManager>("BeforeManager");
    Add<TWelcomeDlg>("WelcomeDlg");
    Find<TGoodInstallationDlg>("GoodInstallationDlg")->SetDialogManager(before);
    auto failures = WithPerson(
        [](TPerson& p) { Press(p, "Welcome", "Cancel"); },
        [&] {
            EXPECT_THROW(before->HandleInformationEvent(nullptr, ieBeforeInstall, nullptr), EAIUserAbort);
        });
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(CurrentDialogManager(), nullptr);

    // Refused: the wizard goes on, and Next, Finish end it normally.
    int asked = 0;
    Install()->OnUserAbort = [&](TCustomInstall*, bool& quit) {
        ++asked;
        quit = false;
    };
    failures = WithPerson(
        [](TPerson& p) {
            Press(p, "Welcome", "Cancel");
            Press(p, "Welcome", "Next >");
            Press(p, "Setup complete", "Finish");
        },
        [&] { EXPECT_NO_THROW(before->HandleInformationEvent(nullptr, ieBeforeInstall, nullptr)); });
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(asked, 1);
}

TEST_F(WindowsTest, CancelOnTheLastPageAborts) {
    Load();
    auto* before = Find<TDialogManager>("BeforeManager");
    Add<TWelcomeDlg>("WelcomeDlg")->SetOrder(20);
    Find<TGoodInstallationDlg>("GoodInstallationDlg")->SetDialogManager(before);
    auto failures = WithPerson(
        [](TPerson& p) {
            Press(p, "Setup complete", "Next >");
            Press(p, "Welcome", "Cancel");
        },
        [&] {
            EXPECT_THROW(before->HandleInformationEvent(nullptr, ieBeforeInstall, nullptr), EAIUserAbort);
        });
    EXPECT_TRUE(failures.empty()) << failures.front();
}

TEST_F(WindowsTest, FailedInstallationPageOfItsManager) {
    Load();
    auto* bad = Find<TDialogManager>("BadManager");
    std::string text;
    auto failures = WithPerson(
        [&](TPerson& p) {
            TWindowHandle w = FindTopWindow("Setup incomplete", ThisProcess(), 10000);
            if (!p.Check(w != 0, "no page"))
                return;
            for (const std::string& t : ChildTexts(w))
                text += t + "|";
            p.Check(PressButton(w, "Finish"), "no Finish");
        },
        [&] { bad->HandleInformationEvent(nullptr, ieAfterBadInstall, nullptr); });
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_NE(text.find("Finish"), std::string::npos) << text;
}

class ChangeDiskTest : public WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        // This program registers no change-disk window of its own; the test does.
        FEntry = RegisterBCDF(&TChangeDiskForm::StaticClass());
        Load();
        FManager = Add<TDialogManager>("DiskManager");
        FManager->SetManagerType(dmChangeDisk);
        FFile = Add<TInstallFile>("DiskFile");
        FDisk.DiskNumber = 2;
        FDisk.DiskPath = "A:\\";
    }
    void TearDown() override {
        UnregisterBCDF(FEntry);
        WindowsTest::TearDown();
    }
    std::string Refusal(TObject* parameter) {
        try {
            FManager->HandleInformationEvent(nullptr, ieNewDisk, parameter);
        } catch (const Exception& e) {
            return e.Message();
        }
        return "(nothing raised)";
    }

    TBCDFEntry* FEntry = nullptr;
    TDialogManager* FManager = nullptr;
    TInstallFile* FFile = nullptr;
    TDiskParameter FDisk;
};

TEST_F(ChangeDiskTest, BadRequestsShowNoWindow) {
    TMessageParameter other("x");
    TParameterList one{FFile};
    TParameterList wrongFirst{&other, &FDisk};
    TParameterList wrongSecond{FFile, &other};
    EXPECT_EQ(Refusal(nullptr),
              "The ParameterObject is Nil in the TDialogManager. Cannot show the change disk form");
    EXPECT_EQ(Refusal(&other), "TChangeDiskDlg--PO is not a TList object");
    EXPECT_EQ(Refusal(&one), "TChangeDiskDlg--Not engouh parameters for status event");
    EXPECT_EQ(Refusal(&wrongFirst), "TChangeDiskDlg says bad first parameter");
    EXPECT_EQ(Refusal(&wrongSecond), "TChangeDiskDlg says bad second parameter");
    EXPECT_EQ(FFile->Tag(), 0) << "no window took the request";
    EXPECT_EQ(CurrentDialogManager(), nullptr);
}

TEST_F(ChangeDiskTest, TheWindowTakesTheRequestAndProceedsOrAborts) {
    TParameterList request{FFile, &FDisk};
    std::string path;
    auto failures = WithPerson(
        [&](TPerson& p) {
            TWindowHandle w = FindTopWindow("Setup needs the next disk", ThisProcess(), 10000);
            if (!p.Check(w != 0, "no change-disk window"))
                return;
            path = ControlText(FindChild(w, "", "Edit"));
            p.Check(PressButton(w, "Proceed"), "no Proceed");
        },
        [&] { FManager->HandleInformationEvent(nullptr, ieNewDisk, &request); });
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(path, "A:\\");
    EXPECT_EQ(FFile->Tag(), 1) << "the install file learns that a window handled it";
    EXPECT_EQ(CurrentDialogManager(), nullptr);

    failures = WithPerson(
        [](TPerson& p) { Press(p, "Setup needs the next disk", "Cancel"); },
        [&] { EXPECT_THROW(FManager->HandleInformationEvent(nullptr, ieNewDisk, &request), EAIUserAbort); });
    EXPECT_TRUE(failures.empty()) << failures.front();
}

TEST_F(ChangeDiskTest, BrowseTakesAFolderAndCancelLeavesThePath) {
    TParameterList request{FFile, &FDisk};
    // Cancelled: the path stays as the install file gave it.
    std::string shown;
    auto failures = WithPerson(
        [&](TPerson& p) {
            TWindowHandle w = FindTopWindow("Setup needs the next disk", ThisProcess(), 10000);
            if (!p.Check(w != 0, "no change-disk window") ||
                !p.Check(PressButton(w, "Browse..."), "no Browse"))
                return;
            TWindowHandle browser = FindOwnWindow("#32770", "SysTreeView32");
            if (!p.Check(browser != 0, "the browser did not open"))
                return;
            p.Check(FindChild(browser, "", "Edit") == 0, "the disk's browser has a path box");
            p.Check(PressButton(browser, "Cancel"), "no Cancel in the browser");
            p.Check(WaitFor([&] { return !IsWindowAlive(browser); }), "the browser stayed");
            shown = ControlText(FindChild(w, "", "Edit"));
            p.Check(PressButton(w, "Proceed"), "no Proceed");
        },
        [&] { FManager->HandleInformationEvent(nullptr, ieNewDisk, &request); });
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(FDisk.DiskPath, "A:\\");
    EXPECT_EQ(shown, "A:\\");

    // Confirmed: the disk's path becomes the folder, for the install file to read.
    FDisk.DiskPath = TempDir();
    failures = WithPerson(
        [&](TPerson& p) {
            TWindowHandle w = FindTopWindow("Setup needs the next disk", ThisProcess(), 10000);
            if (!p.Check(w != 0, "no change-disk window") ||
                !p.Check(PressButton(w, "Browse..."), "no Browse"))
                return;
            TWindowHandle browser = FindOwnWindow("#32770", "SysTreeView32");
            if (!p.Check(browser != 0, "the browser did not open"))
                return;
            // The first browser of a program takes a while to fill its tree.
            const std::string name = ExtractFileName(RemoveBackslash(LongFolderName(TempDir())));
            TWindowHandle tree = FindChild(browser, "", "SysTreeView32");
            p.Check(WaitFor([&] { return SameText(SelectedTreeText(tree), name); }, 15000),
                    "the browser selects " + SelectedTreeText(tree) + ", not " + name);
            p.Check(PressButton(browser, "OK"), "no OK in the browser");
            p.Check(WaitFor([&] { return !IsWindowAlive(browser); }), "the browser stayed");
            shown = ControlText(FindChild(w, "", "Edit"));
            p.Check(PressButton(w, "Proceed"), "no Proceed");
        },
        [&] { FManager->HandleInformationEvent(nullptr, ieNewDisk, &request); });
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_TRUE(SameText(LongFolderName(FDisk.DiskPath), LongFolderName(TempDir()))) << FDisk.DiskPath;
    EXPECT_EQ(shown, FDisk.DiskPath);
}

TEST_F(WindowsTest, ALanguageWithoutTextsKeepsEnglishWithTheEnglishFont) {
    Load();
    auto* translator = new TTranslator(FForm.get());
    translator->SetTranslateIntoLanguage(qlGerman); // German has no lines
    auto* before = Find<TDialogManager>("BeforeManager");
    Find<TGoodInstallationDlg>("GoodInstallationDlg")->SetDialogManager(before);
    TBaseFormContainer* w = BuildWizard(before);
    auto* page = static_cast<TFramePage*>(w->Pages(0));
    EXPECT_EQ(page->Caption(), "Setup complete");
    EXPECT_EQ(page->FinishBtn()->Caption(), "Finish");
    EXPECT_EQ(page->CurrentLanguage(), qlEnglish);
    EXPECT_EQ(page->Font().Name(), "Arial");
    EXPECT_EQ(page->Font().Charset(), 0);
    EXPECT_LE(page->Font().Height(), -11) << "at least 8 points";
}

TEST_F(WindowsTest, PlainControlsAreTranslatedByTheirTextInAnyCase) {
    Load();
    auto* translator = new TTranslator(FForm.get());
    translator->LanguageByIdent(qlEnglish)->Strings().Add("6;CANCEL");
    translator->LanguageByIdent(qlGerman)->Strings().Add("6;Abbrechen");
    translator->SetTranslateIntoLanguage(qlGerman);
    TOwnedPtr<TForm> form(new TForm(nullptr));
    auto* plain = new TLabel(form.get());
    plain->SetParent(form.get());
    plain->SetCaption("Cancel");
    auto* other = new TLabel(form.get());
    other->SetParent(form.get());
    other->SetCaption("Keep me");
    auto* numbered = new TTranslateBitBtn(form.get());
    numbered->SetParent(form.get());
    numbered->SetCaption("anything");
    numbered->SetGLID(6);
    EXPECT_EQ(TranslateForm(qlEnglish, form.get()), qlGerman);
    EXPECT_EQ(plain->Caption(), "Abbrechen");
    EXPECT_EQ(other->Caption(), "Keep me");
    EXPECT_EQ(numbered->Caption(), "Abbrechen");
    EXPECT_TRUE(plain->Visible()) << "shown again after its translation";
}

// A group whose own selected files come to a fixed number of bytes.
class TBytesGroup : public TFileContainer {
public:
    using TFileContainer::TFileContainer;
    int64_t OwnBytes = 0;
    Int64 TotalSize(bool IncludeAll, bool Recurse) override {
        return Recurse ? TFileContainer::TotalSize(IncludeAll, Recurse) + OwnBytes : OwnBytes;
    }
};

class GroupPageTest : public WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        Load();
        Install()->SetDestDirType(nullptr);
        Install()->SetDestDir("C:\\Prog");
        FA = Group("GroupA", Install(), "C:\\A", 100);
        FA1 = Group("GroupA1", FA, "D:\\B", 50);
        Group("GroupB", Install(), "C:\\Other", 7);
        Add<TFileGroupSelectDlg>("GroupDlg");
    }
    TBytesGroup* Group(const char* name, TFileContainer* parent, const std::string& dest, int64_t bytes) {
        auto* g = new TBytesGroup(FForm.get());
        g->SetName(name);
        g->SetGroupName(name);
        g->SetContainer(parent);
        g->SetDestDirType(nullptr);
        g->SetDestDir(dest);
        g->OwnBytes = bytes;
        return g;
    }
    TFileGroupSelectForm* ShowPage() {
        TBaseFormContainer* w = BuildWizard(Find<TDialogManager>("BeforeManager"));
        w->FormShow(nullptr);
        return w->PageCount() ? dynamic_cast<TFileGroupSelectForm*>(w->Pages(0)) : nullptr;
    }
    TBytesGroup* FA = nullptr;
    TBytesGroup* FA1 = nullptr;
};

TEST_F(GroupPageTest, TreeColumnsAndDrivesFollowTheGroups) {
    TFileGroupSelectForm* page = ShowPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->GroupTree()->Items().Count(), 4);
    EXPECT_EQ(page->GroupTree()->Items().GetFirstNode()->Text(), "ScreenSaver");
    // Root and its two children show (GroupA is not expanded).
    ASSERT_EQ(page->RowCount(), 3);
    EXPECT_TRUE(page->IncludeBox(1)->Checked());
    EXPECT_EQ(page->SizeLabel(1)->Caption(), "150 Bytes") << "a group's size counts its selected subgroups";
    ASSERT_EQ(page->Drives().size(), 2u);
    EXPECT_EQ(page->Drives()[0].Drive, 'C');
    EXPECT_EQ(page->Drives()[0].Required, 107);
    EXPECT_EQ(page->Drives()[1].Required, 50);
    EXPECT_EQ(page->DriveSpaceView()->Count(), 2);
    EXPECT_EQ(page->DriveSpaceView()->Item(1)->SubItems()[0], "50 Bytes");

    // Unticking GroupA takes its bytes and its child's drive off the list.
    page->IncludeBox(1)->SetChecked(false);
    EXPECT_FALSE(FA->Include());
    EXPECT_TRUE(FA1->Include()) << "the child's box keeps its own state";
    ASSERT_EQ(page->Drives().size(), 1u);
    EXPECT_EQ(page->Drives()[0].Required, 7);

    // Typing a folder for the selected group sets it in lower case.
    page->SelectGroup(FA);
    auto* edit = static_cast<TEdit*>(page->FindComponent("DirectoryLabel"));
    EXPECT_EQ(edit->Text(), "c:\\a");
    EXPECT_EQ(FA->DestDir(), "C:\\A") << "showing the group changes nothing";
    edit->SetText("E:\\New");
    EXPECT_EQ(FA->DestDir(), "e:\\new");
    EXPECT_EQ(FA->DestDirType(), nullptr);
}

// A free drive letter of the Wine prefix for a folder, a small disk of its
// own where the system lets the script mount one (small_drive.sh); Letter()
// is 0 when there is none, and Why() tells why.
class TSmallDrive {
public:
    TSmallDrive(const std::string& folder, int64_t size) : FFolder(RemoveBackslash(folder)) {
        std::string c = UnixPathUnderWine("C:\\");
        while (!c.empty() && c.back() == '/')
            c.pop_back();
        if (c.empty()) {
            FWhy = "not under Wine";
            return;
        }
        // C: as Wine names it: dosdevices/c: or the drive_c folder beside it.
        const std::string parent = c.substr(0, c.find_last_of('/'));
        FDevices = SameText(c.substr(c.size() - 2), "c:") ? parent : parent + "/dosdevices";
        for (char l = 'y'; l >= 'm' && !FLetter; --l)
            if (!DirectoryExists(std::string(1, l) + ":\\")) {
                FWhy = Run("attach", l, std::to_string(size));
                if (FWhy.rfind("ok", 0) == 0 &&
                    WaitFor([&] { return DirectoryExists(std::string(1, l) + ":\\"); }, 5000))
                    FLetter = static_cast<char>(l - 'a' + 'A');
                else
                    break;
            }
    }
    ~TSmallDrive() {
        if (FLetter)
            Run("detach", static_cast<char>(FLetter - 'A' + 'a'), "");
    }
    char Letter() const { return FLetter; }
    const std::string& Why() const { return FWhy; }

private:
    std::string Run(const std::string& step, char letter, const std::string& size) {
        const std::string done = FFolder + ".done";
        RemoveFile(done);
        std::vector<std::string> args = {QFD_SMALL_DRIVE_SCRIPT, step, FDevices, std::string(1, letter),
                                         UnixPathUnderWine(FFolder)};
        if (!size.empty())
            args.push_back(size);
        args.push_back(UnixPathUnderWine(done));
        if (!StartUnixProgram("/bin/sh", args))
            return "cannot run the small-drive script";
        if (!WaitFor([&] { return FileExists(done); }, 20000))
            return "the small-drive script did not finish within 20 s";
        std::string reason = Trim(ReadWholeFile(done));
        RemoveFile(done);
        return reason;
    }
    std::string FFolder, FDevices, FWhy;
    char FLetter = 0;
};

// The separators a test sets, put back afterwards.
struct TSeparators {
    TFormatSettings Before = FormatSettings();
    explicit TSeparators(const char* thousands) { FormatSettings().ThousandSeparator = thousands; }
    ~TSeparators() { FormatSettings() = Before; }
};

// Red as the no-room mark has it, and grey as the drive has it.
bool Reddish(uint32_t p) {
    return ((p >> 16) & 0xFF) > 180 && ((p >> 8) & 0xFF) < 90 && (p & 0xFF) < 90;
}
bool Greyish(uint32_t p) {
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return r > 100 && r < 235 && r == g && g == b;
}

TEST_F(GroupPageTest, SizesShowWholeInTheLocalesDigitsAndTheColumnsEndWithTheTreesRows) {
    TSeparators german(".");
    FA->OwnBytes = 100LL * 1024 * 1024;
    auto* huge = Find<TBytesGroup>("GroupB");
    huge->OwnBytes = 5'000'000'000'000LL; // more than a column of the page can show in bytes
    TFileGroupSelectForm* page = ShowPage();
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->RowCount(), 3);
    EXPECT_EQ(page->SizeLabel(1)->Caption(), "104.857.650 Bytes");
    for (int row = 0; row < page->RowCount(); ++row) {
        TLabel* size = page->SizeLabel(row);
        EXPECT_LE(TextWidth(size->Caption(), size->Font()), size->Width()) << size->Caption() << " is cut";
    }
    const std::string total = page->SizeLabel(0)->Caption();
    EXPECT_EQ(total.find("Bytes"), std::string::npos) << total << ": too long for whole bytes";
    EXPECT_EQ(total.find(','), std::string::npos) << total << ": a unit keeps the locale's digits";

    // Each size of the drive list fits its column, and the free space of a
    // drive (up to hundreds of gigabytes) shows whole beside a need that
    // takes a unit.
    TWindowHandle list = page->DriveSpaceView()->Handle();
    for (int i = 0; i < page->DriveSpaceView()->Count(); ++i) {
        for (int sub = 0; sub < 2; ++sub) {
            const std::string text = page->DriveSpaceView()->Item(i)->SubItems()[static_cast<size_t>(sub)];
            EXPECT_LE(ListViewTextWidth(list, text) + 12, ListViewColumnWidth(list, sub + 1)) << text;
        }
        if (page->Drives()[static_cast<size_t>(i)].Available < 1'000'000'000'000LL) {
            EXPECT_EQ(page->DriveSpaceView()->Item(i)->SubItems()[1],
                      FormatBytes(page->Drives()[static_cast<size_t>(i)].Available));
        }
    }

    // The side columns end on the tree's last row, with or without its
    // horizontal scroll bar.
    const auto tree = ClientOnScreen(page->GroupTree()->Handle());
    for (const char* column : {"pnlInclude", "pnlSize"}) {
        const auto c = ClientOnScreen(static_cast<TWinControl*>(page->FindComponent(column))->Handle());
        EXPECT_EQ(c[3], tree[3]) << column;
        EXPECT_EQ(c[1], tree[1]) << column;
    }
}

TEST_F(GroupPageTest, ADestinationTypedOnAnotherDriveBringsThatDriveWithItsRoomAndMark) {
    const std::string folder = TempPath("second drive");
    ASSERT_TRUE(CreateDir(folder));
    TSmallDrive drive(folder, 4 << 20);
    ASSERT_NE(drive.Letter(), 0) << drive.Why();
    const std::string root = std::string(1, drive.Letter()) + ":\\";
    const int64_t free = DiskFreeBytes(root);
    ASSERT_GT(free, 0) << root;
    auto* b = Find<TBytesGroup>("GroupB");
    TFileGroupSelectForm* page = ShowPage();
    ASSERT_NE(page, nullptr);
    const auto row = [&]() -> int {
        for (size_t i = 0; i < page->Drives().size(); ++i)
            if (page->Drives()[i].Drive == drive.Letter())
                return static_cast<int>(i);
        return -1;
    };
    ASSERT_EQ(row(), -1);
    TWindowHandle list = page->DriveSpaceView()->Handle();
    TWindowHandle edit = static_cast<TWinControl*>(page->FindComponent("DirectoryLabel"))->Handle();

    // Typed as a person types it: the drive comes with its own free space.
    page->SelectGroup(b);
    TypeText(edit, root + "qs");
    ASSERT_TRUE(PumpUntil([&] { return row() >= 0; })) << "the typed drive is not in the list";
    const int r = row();
    EXPECT_EQ(page->Drives()[static_cast<size_t>(r)].Required, 7);
    EXPECT_NEAR(static_cast<double>(page->Drives()[static_cast<size_t>(r)].Available),
                static_cast<double>(free), 64.0 * 1024 * 1024);
    EXPECT_EQ(page->DriveSpaceView()->Item(r)->Caption(), std::string(1, drive.Letter()));
    EXPECT_EQ(ListViewStateImage(list, r), 0) << "room enough: no mark";

    // Typing on asks the drive no more; leaving the box counts it anew.
    const int64_t counted = page->Drives()[static_cast<size_t>(r)].Available;
    WriteTextFile(root + "fill.bin", std::string(1 << 20, 'x'));
    static_cast<TWinControl*>(page->FindComponent("DirectoryLabel"))->SetFocus();
    TypeText(edit, root + "qs1");
    ASSERT_TRUE(PumpUntil([&] { return SameText(b->DestDir(), root + "qs1"); }));
    EXPECT_EQ(page->Drives()[static_cast<size_t>(row())].Available, counted) << "counted again on a key";
    page->GroupTree()->SetFocus();
    EXPECT_TRUE(PumpUntil([&] { return page->Drives()[static_cast<size_t>(row())].Available < counted; }))
        << "leaving the box does not count the drive anew";
    EXPECT_TRUE(RemoveFile(root + "fill.bin"));

    // Every row shows the drive picture.
    int w = 0, h = 0;
    const std::vector<uint32_t> drivePicture = ListViewImagePixels(list, false, 0, w, h);
    EXPECT_EQ(w, 16);
    EXPECT_GT(std::count_if(drivePicture.begin(), drivePicture.end(), Greyish), 30);
    EXPECT_EQ(std::count_if(drivePicture.begin(), drivePicture.end(), Reddish), 0);

    // More than the drive has: the mark, whose picture is the red one.
    b->OwnBytes = free + 1024LL * 1024 * 1024;
    TypeText(edit, root + "qs2");
    ASSERT_TRUE(
        PumpUntil([&] { return row() >= 0 && page->Drives()[static_cast<size_t>(row())].ShortOfRoom(); }));
    const int state = ListViewStateImage(list, row());
    ASSERT_EQ(state, 2) << "the second image of the list marks a drive without room";
    const std::vector<uint32_t> mark = ListViewImagePixels(list, true, state - 1, w, h);
    EXPECT_GT(std::count_if(mark.begin(), mark.end(), Reddish), 80) << "the no-room mark is not drawn";
    EXPECT_NE(mark, drivePicture);
    EXPECT_LT(ListViewColumnWidth(list, 0) + ListViewColumnWidth(list, 1) + ListViewColumnWidth(list, 2),
              ClientOnScreen(list)[2] - ClientOnScreen(list)[0])
        << "the columns are wider than the list: a scroll bar hides the second row";
    // The other drives keep their rows; going back to C drops the typed one.
    TypeText(edit, "c:\\qs");
    EXPECT_TRUE(PumpUntil([&] { return row() == -1; }));
}

TEST_F(GroupPageTest, DriveColumnsSpeakThePagesLanguage) {
    auto* translator = new TTranslator(FForm.get());
    translator->LanguageByIdent(qlEnglish)->Strings().Add("800;Space Required:");
    translator->LanguageByIdent(qlEnglish)->Strings().Add("801;Space Available:");
    translator->LanguageByIdent(qlGerman)->Strings().Add("800;Benötigter Platz:");
    translator->LanguageByIdent(qlGerman)->Strings().Add("801;Freier Platz:");
    translator->LanguageByIdent(qlRussian)->Strings().Add("800;Нужно места:");
    translator->LanguageByIdent(qlRussian)->Strings().Add("801;Свободно:");
    translator->SetTranslateIntoLanguage(qlGerman);
    TFileGroupSelectForm* page = ShowPage();
    ASSERT_NE(page, nullptr);
    const std::vector<std::string> german = {"", "Benötigter Platz:", "Freier Platz:"};
    EXPECT_EQ(ListViewColumnTexts(page->DriveSpaceView()->Handle()), german);

    // Into another language, from the one the page is in now.
    translator->SetTranslateIntoLanguage(qlRussian);
    page->Retranslate();
    const std::vector<std::string> russian = {"", "Нужно места:", "Свободно:"};
    EXPECT_EQ(ListViewColumnTexts(page->DriveSpaceView()->Handle()), russian);
    EXPECT_EQ(page->DriveSpaceView()->Column(1).Caption, "Нужно места:");

    // A page with a language of its own, whatever the main translator's.
    FWizard.reset();
    translator->SetTranslateIntoLanguage(qlGerman);
    auto* dialog = Find<TFileGroupSelectDlg>("GroupDlg");
    dialog->SetOverrideMainTranslator(true);
    dialog->SetTranslateIntoLanguage(qlRussian);
    page = ShowPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(ListViewColumnTexts(page->DriveSpaceView()->Handle()), russian);
    EXPECT_EQ(page->DriveSpaceView()->Font().Charset(), 204);
}

// The page over real groups and install files, each with its install types.
TEST_F(WindowsTest, GroupPageTotalsOfNestedGroupsOfFilesWhateverTheirInstallTypes) {
    Load();
    Install()->SetDestDirType(nullptr);
    Install()->SetDestDir("C:\\Prog");
    Add<TFileGroupSelectDlg>("GroupDlg");
    auto group = [&](const char* name, TFileContainer* parent, const char* dest) {
        auto* g = new TFileContainer(FForm.get());
        g->SetName(name);
        g->SetGroupName(name);
        g->SetContainer(parent);
        g->SetDestDirType(nullptr);
        g->SetDestDir(dest);
        return g;
    };
    auto file = [&](const char* name, TFileContainer* parent, Integer size, TInstallType type) {
        auto* f = new TInstallFile(FForm.get());
        f->SetName(name);
        f->SetContainer(parent);
        f->SetRemoteFileInfo(size, 0, "");
        f->SetInstallTypes(InstallTypeBit(type));
        return f;
    };
    TFileContainer* docs = group("Docs", Install(), "C:\\Docs");
    docs->SetInstallTypes(InstallTypeBit(itCompact));
    TFileContainer* extra = group("Extra", docs, "D:\\Extra");
    extra->SetInstallTypes(InstallTypeBit(itFull));
    file("RootFile", Install(), 5, itAlways);
    file("DocFile", docs, 1000, itFull);
    file("ExtraFile", extra, 300, itCompact);
    file("ExtraOff", extra, 20, itAlways)->SetInclude(false); // never counts
    // A custom installation: whatever install types say, the ticks decide.
    Install()->SetCurrentInstallType(itCustom);
    TBaseFormContainer* w = BuildWizard(Find<TDialogManager>("BeforeManager"));
    w->FormShow(nullptr);
    auto* page = dynamic_cast<TFileGroupSelectForm*>(w->CurrentPage());
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->RowCount(), 2) << "the root and Docs; Extra lies in Docs, which is not expanded";
    EXPECT_EQ(page->SizeLabel(0)->Caption(), "1,305 Bytes");
    EXPECT_EQ(page->SizeLabel(1)->Caption(), "1,300 Bytes");
    ASSERT_EQ(page->Drives().size(), 2u);
    EXPECT_EQ(page->Drives()[0].Drive, 'C');
    EXPECT_EQ(page->Drives()[0].Required, 1005);
    EXPECT_EQ(page->Drives()[1].Drive, 'D');
    EXPECT_EQ(page->Drives()[1].Required, 300);

    // Opening Docs as a person does (the right arrow key) shows Extra's row
    // with its own size.
    page->SelectGroup(docs);
    PressKey(page->GroupTree()->Handle(), 0x27);
    EXPECT_TRUE(PumpUntil([&] { return page->RowCount() == 3; }));
    ASSERT_EQ(page->RowCount(), 3);
    EXPECT_EQ(page->SizeLabel(2)->Caption(), "300 Bytes");

    // Unticking Docs takes it and Extra off the totals; its own row still
    // tells what it would take.
    page->IncludeBox(1)->SetChecked(false);
    EXPECT_EQ(page->SizeLabel(0)->Caption(), "5 Bytes");
    EXPECT_EQ(page->SizeLabel(1)->Caption(), "1,300 Bytes");
    ASSERT_EQ(page->Drives().size(), 1u);
    EXPECT_EQ(page->Drives()[0].Required, 5);
    EXPECT_TRUE(page->IncludeBox(2)->Checked()) << "Extra keeps its own tick";

    // The same tree in a fixed installation type skips the page.
    Install()->SetCurrentInstallType(itFull);
    EXPECT_TRUE(page->SkipPage());
}

// Browse on the group page, with the folder browser driven as a person
// drives it while the wizard runs.
class GroupBrowseTest : public GroupPageTest {
protected:
    static constexpr const char* kPage = "Select components to install";
    void SetUp() override {
        GroupPageTest::SetUp();
        Application()->OnException = [this](TObject*, const Exception& e) { FErrors.push_back(e.Message()); };
    }
    void TearDown() override {
        Application()->OnException = nullptr;
        EXPECT_TRUE(FErrors.empty()) << FErrors.front();
        GroupPageTest::TearDown();
    }
    // Runs the wizard of the group page while the person acts; the person
    // ends it with Next.
    void RunWizard(const std::function<void(TPerson&, TWindowHandle)>& steps) {
        auto failures = WithPerson(
            [&](TPerson& p) {
                TWindowHandle wizard = FindTopWindow(kPage, ThisProcess(), 10000);
                if (!p.Check(wizard != 0, "no group page"))
                    return;
                steps(p, wizard);
                if (TWindowHandle left = FindOwnWindow("#32770", "SysTreeView32", 0)) {
                    p.Check(false, "a browser stayed open");
                    CloseWindow(left);
                }
                Press(p, kPage, "Next >");
            },
            [&] {
                Find<TDialogManager>("BeforeManager")
                    ->HandleInformationEvent(nullptr, ieBeforeInstall, nullptr);
            });
        for (const std::string& f : failures)
            ADD_FAILURE() << f;
    }
    std::vector<std::string> FErrors;
};

// The page's destination box (its only edit in the group box).
TWindowHandle DestinationBox(TWindowHandle wizard) {
    TWindowHandle box = FindChild(wizard, "Destination Directory");
    return box ? FindChild(box, "", "Edit") : 0;
}

// Waits until the edit shows the folder (case aside, as the system may spell it).
bool WaitForFolder(TPerson& p, TWindowHandle edit, const std::string& folder, const std::string& where) {
    const std::string want = LongFolderName(folder);
    bool ok = edit && WaitFor([&] { return SameText(LongFolderName(ControlText(edit)), want); }, 15000);
    return p.Check(ok,
                   where + " shows \"" + (edit ? ControlText(edit) : "(none)") + "\", not \"" + want + "\"");
}

// Presses Browse and waits for the browser to open on the folder; 0 when it does not.
TWindowHandle OpenBrowser(TPerson& p, TWindowHandle wizard, const std::string& folder) {
    if (!p.Check(PressButton(wizard, "Browse..."), "no Browse button"))
        return 0;
    TWindowHandle browser = FindOwnWindow("#32770", "SysTreeView32");
    if (!p.Check(browser != 0, "the browser did not open"))
        return 0;
    return WaitForFolder(p, FindChild(browser, "", "Edit"), folder, "the browser's path box") ? browser : 0;
}

bool BrowserGone(TPerson& p, TWindowHandle browser) {
    return p.Check(WaitFor([&] { return !IsWindowAlive(browser); }), "the browser stayed");
}

TEST_F(GroupBrowseTest, CreateFolderReopensTheBrowserOnItAndTheGroupTakesIt) {
    const std::string dest = TempPath("dest");
    ASSERT_TRUE(CreateDir(dest));
    Install()->SetDestDir(dest);
    RunWizard([&](TPerson& p, TWindowHandle wizard) {
        if (!WaitForFolder(p, DestinationBox(wizard), dest, "the destination box"))
            return;
        TWindowHandle first = OpenBrowser(p, wizard, dest);
        if (!first ||
            !p.Check(PressButton(first, TOFDResourceStrings::CreateFolderCaption()), "no create button"))
            return;
        TWindowHandle ask = FindTopWindow(TOFDResourceStrings::CreateFolderCaption(), ThisProcess(), 10000);
        if (!p.Check(ask != 0, "no box for the folder's name"))
            return;
        TypeText(FindChild(ask, "", "Edit"), "made");
        p.Check(PressButton(ask, "OK"), "no OK in the name box");
        if (!BrowserGone(p, first))
            return;
        TWindowHandle second = FindOwnWindow("#32770", "SysTreeView32");
        if (!p.Check(second != 0, "the browser did not open again") ||
            !WaitForFolder(p, FindChild(second, "", "Edit"), dest + "\\made",
                           "the reopened browser's path box"))
            return;
        p.Check(PressButton(second, "OK"), "no OK button");
        if (BrowserGone(p, second))
            WaitForFolder(p, DestinationBox(wizard), dest + "\\made", "the destination box");
    });
    EXPECT_TRUE(DirectoryExists(dest + "\\made"));
    EXPECT_TRUE(SameText(LongFolderName(Install()->DestDir()), LongFolderName(dest + "\\made")))
        << Install()->DestDir();
    EXPECT_NE(Install()->DestDir().back(), '\\');
    EXPECT_EQ(Install()->DestDirType(), nullptr);
}

TEST_F(GroupBrowseTest, ATypedFolderThatDoesNotExistIsMadeAndWhatBrowseMadeGoes) {
    // The destination does not exist: Browse makes it to open the browser
    // there, and takes it (with its parent) away again.
    const std::string dest = TempPath("missing\\leaf");
    const std::string typed = TempPath("typed\\deep");
    Install()->SetDestDir(dest);
    RunWizard([&](TPerson& p, TWindowHandle wizard) {
        TWindowHandle browser = OpenBrowser(p, wizard, dest);
        if (!browser)
            return;
        p.Check(DirectoryExists(dest), "the destination was not made for the browser");
        TypeText(FindChild(browser, "", "Edit"), typed);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        p.Check(PressButton(browser, "OK"), "no OK button");
        if (BrowserGone(p, browser))
            WaitForFolder(p, DestinationBox(wizard), typed, "the destination box");
    });
    EXPECT_TRUE(DirectoryExists(typed));
    EXPECT_TRUE(SameText(Install()->DestDir(), typed)) << Install()->DestDir();
    EXPECT_FALSE(DirectoryExists(dest));
    EXPECT_FALSE(DirectoryExists(TempPath("missing"))) << "a parent made for the browser stays behind";
}

TEST_F(GroupBrowseTest, CancelInTheBrowserLeavesTheDestination) {
    const std::string dest = TempPath("kept");
    ASSERT_TRUE(CreateDir(dest));
    Install()->SetDestDir(dest);
    RunWizard([&](TPerson& p, TWindowHandle wizard) {
        TWindowHandle browser = OpenBrowser(p, wizard, dest);
        if (!browser)
            return;
        TypeText(FindChild(browser, "", "Edit"), TempPath("other"));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        p.Check(PressButton(browser, "Cancel"), "no Cancel button");
        if (BrowserGone(p, browser))
            p.Check(SameText(ControlText(DestinationBox(wizard)), LowerCase(dest)),
                    "the destination box shows " + ControlText(DestinationBox(wizard)));
    });
    EXPECT_EQ(Install()->DestDir(), dest);
    EXPECT_FALSE(DirectoryExists(TempPath("other")));
    EXPECT_TRUE(DirectoryExists(dest));
}

TEST(MissingFolders, DeepestFirstUpToTheFirstThatExists) {
    TTempFolder temp;
    const std::string base = RemoveBackslash(temp.Path());
    EXPECT_EQ(MissingFolders(base + "\\a\\b\\"), (std::vector<std::string>{base + "\\a\\b", base + "\\a"}));
    EXPECT_TRUE(MissingFolders(base).empty());
    EXPECT_TRUE(MissingFolders("").empty());
    EXPECT_EQ(MissingFolders("nowhere"), std::vector<std::string>{"nowhere"});
}

TEST_F(GroupPageTest, SkippedForFixedInstallTypes) {
    Install()->SetCurrentInstallType(itFull);
    TBaseFormContainer* w = BuildWizard(Find<TDialogManager>("BeforeManager"));
    ASSERT_EQ(w->PageCount(), 1);
    EXPECT_TRUE(w->Pages(0)->SkipPage());
    Install()->SetCurrentInstallType(itCustom);
    EXPECT_FALSE(w->Pages(0)->SkipPage());
}

} // namespace
