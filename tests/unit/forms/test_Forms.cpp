#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Forms.h"
#include <chrono>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

class TTestForm : public TForm {
    QFD_CLASS(TTestForm)
public:
    using TForm::TForm;
    void FormCreate(TObject*) { ++Created; }
    void FormActivate(TObject*) {
        ++Activated;
        if (ThrowOnActivate)
            throw IEInstall("Activation failed on purpose");
    }
    void FormCloseQuery(TObject*, bool& canClose) { canClose = AllowClose; }
    void FormClose(TObject*, TCloseAction& action) { ++Closed; }

    int Created = 0, Activated = 0, Closed = 0;
    bool AllowClose = true;
    bool ThrowOnActivate = false;
};

const TClassInfo& TTestForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TTestForm, TForm>("TTestForm", [](auto& c) {
        c.template Method<TNotifyEvent>("FormCreate", &TTestForm::FormCreate);
        c.template Method<TNotifyEvent>("FormActivate", &TTestForm::FormActivate);
        c.template Method<TCloseQueryEvent>("FormCloseQuery", &TTestForm::FormCloseQuery);
        c.template Method<TCloseEvent>("FormClose", &TTestForm::FormClose);
    });
    return info;
}

// Runs messages until done() holds or the time is up.
template <class F> bool PumpUntil(F done, int ms = 3000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        Application()->ProcessMessages();
        Sleep(5);
    }
    return true;
}

class Forms : public ::testing::Test {
protected:
    void SetUp() override {
        Application()->Initialize();
        Application()->OnException = [this](TObject*, const Exception& e) { Errors.push_back(e.Message()); };
        Form = new TTestForm(Application());
        Form->InitFromResource();
    }
    void TearDown() override {
        if (Form)
            Form->Free();
        Application()->OnException = nullptr;
    }
    TTestForm* Form = nullptr;
    std::vector<std::string> Errors;
};

TEST_F(Forms, StoredLayoutBecomesARealWindowThatIsActivated) {
    EXPECT_EQ(Form->Created, 1);
    EXPECT_EQ(Form->Caption(), "Forms test window");
    EXPECT_EQ(Form->ComponentCount(), 4);
    Form->Show();
    HWND h = FindWindowW(L"QfdWindow", L"Forms test window");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(h), Form->Handle());
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_TRUE(PumpUntil([&] { return Form->Activated > 0; }));
    EXPECT_TRUE(Form->Active());
    RECT client;
    GetClientRect(h, &client);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 300);
    // Centred on the screen.
    RECT win;
    GetWindowRect(h, &win);
    EXPECT_NEAR((win.left + win.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 2);
}

TEST_F(Forms, AlignedControlsTakeStripsThenTheClientRest) {
    Form->Show();
    auto* header = static_cast<TControl*>(Form->FindComponent("Header"));
    auto* footer = static_cast<TControl*>(Form->FindComponent("Footer"));
    auto* side = static_cast<TControl*>(Form->FindComponent("Side"));
    auto* notes = static_cast<TMemo*>(Form->FindComponent("Notes"));
    EXPECT_EQ(header->BoundsRect(), (TRect{0, 0, 400, 30}));
    EXPECT_EQ(footer->BoundsRect(), (TRect{0, 280, 400, 300}));
    EXPECT_EQ(side->BoundsRect(), (TRect{0, 30, 50, 280}));
    EXPECT_EQ(notes->BoundsRect(), (TRect{50, 30, 400, 280}));
    // The memo is a real edit window holding the stored lines.
    ASSERT_TRUE(notes->HandleAllocated());
    wchar_t buf[64];
    GetWindowTextW(reinterpret_cast<HWND>(notes->Handle()), buf, 64);
    EXPECT_STREQ(buf, L"first\r\nsecond");
    notes->SetLines(TStringList{"a", "b", "c"});
    EXPECT_EQ(notes->Lines().Count(), 3);
    EXPECT_EQ(notes->Text(), "a\r\nb\r\nc");
    // Font set in the layout: the header no longer follows the form.
    EXPECT_FALSE(header->ParentFont());
    EXPECT_EQ(header->Font().Name(), "Arial");
    EXPECT_TRUE(side->ParentFont());
    EXPECT_EQ(side->Font().Name(), "MS Sans Serif");
    // Hiding a strip gives its room to the others.
    header->SetVisible(false);
    EXPECT_EQ(side->BoundsRect(), (TRect{0, 0, 50, 280}));
    Form->SetBorderWidth(5);
    EXPECT_EQ(footer->BoundsRect(), (TRect{5, 275, 395, 295}));
}

TEST_F(Forms, CloseQueryThatAnswersNoKeepsTheFormOpen) {
    Form->Show();
    HWND h = reinterpret_cast<HWND>(Form->Handle());
    Form->AllowClose = false;
    SendMessageW(h, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_EQ(Form->Closed, 0);
    Form->AllowClose = true;
    SendMessageW(h, WM_CLOSE, 0, 0);
    EXPECT_EQ(Form->Closed, 1);
    EXPECT_FALSE(IsWindowVisible(h));
    EXPECT_FALSE(Form->Visible());
}

TEST_F(Forms, ExceptionInAnEventHandlerReachesTheInstalledHandler) {
    Form->ThrowOnActivate = true;
    Form->Show();
    EXPECT_TRUE(PumpUntil([&] { return !Errors.empty(); }));
    ASSERT_FALSE(Errors.empty());
    EXPECT_EQ(Errors[0], "Activation failed on purpose");
    // The program goes on: the window still works.
    Form->ThrowOnActivate = false;
    EXPECT_TRUE(IsWindow(reinterpret_cast<HWND>(Form->Handle())));
    EXPECT_EQ(Form->Caption(), "Forms test window");
}

// A timer plays the person while the modal loop runs.
struct ModalScript {
    static inline TTestForm* Dialog = nullptr;
    static inline HWND Owner = nullptr;
    static inline int Step = 0;
    static inline bool OwnerDisabled = false, StayedAfterRefusal = false;
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
        if (Step == 0) {
            OwnerDisabled = !IsWindowEnabled(Owner);
            Dialog->SetModalResult(mrOk); // refused by the close query
        } else {
            StayedAfterRefusal = Dialog->Visible() && Dialog->ModalResult() == mrNone;
            Dialog->AllowClose = true;
            Dialog->SetModalResult(mrAbort);
            KillTimer(nullptr, id);
        }
        ++Step;
    }
};

TEST_F(Forms, ShowModalReturnsTheModalResultAndReenablesOtherWindows) {
    Form->Show();
    auto* dialog = new TTestForm(Application());
    dialog->InitFromText("object Dialog: TTestForm\n  Caption = 'Modal one'\n  BorderStyle = bsDialog\n"
                         "  OnCloseQuery = FormCloseQuery\nend\n");
    dialog->AllowClose = false;
    ModalScript::Dialog = dialog;
    ModalScript::Owner = reinterpret_cast<HWND>(Form->Handle());
    SetTimer(nullptr, 0, 50, ModalScript::Tick);
    TModalResult result = dialog->ShowModal();
    EXPECT_EQ(result, mrAbort);
    EXPECT_TRUE(ModalScript::OwnerDisabled);
    EXPECT_TRUE(ModalScript::StayedAfterRefusal);
    EXPECT_FALSE(dialog->Visible());
    EXPECT_TRUE(IsWindowEnabled(reinterpret_cast<HWND>(Form->Handle())));
    dialog->Free();
}

TEST_F(Forms, AFormClosedWithCaFreeIsFreedOnceAndNeverAfterItWasFreed) {
    int destroyed = 0;
    auto make = [&] {
        auto* f = new TTestForm(Application());
        f->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
        f->OnDestroy = [&](TObject*) { ++destroyed; };
        return f;
    };
    // Closed twice before the release runs: freed once.
    TTestForm* twice = make();
    twice->Close();
    twice->Close();
    Application()->ProcessMessages();
    EXPECT_EQ(destroyed, 1);
    // Freed by its owner before the release runs: the release leaves it alone.
    TTestForm* early = make();
    early->Close();
    early->Free();
    EXPECT_EQ(destroyed, 2);
    Application()->ProcessMessages();
    EXPECT_EQ(destroyed, 2);
    // The usual case still frees it.
    TTestForm* once = make();
    once->Close();
    EXPECT_EQ(destroyed, 2);
    Application()->ProcessMessages();
    EXPECT_EQ(destroyed, 3);
}

// Last: the application stays terminated afterwards.
TEST_F(Forms, ClosingTheMainFormEndsTheMessageLoop) {
    TForm* previous = Application()->MainForm();
    Application()->SetMainForm(Form);
    Form->Show();
    PostMessageW(reinterpret_cast<HWND>(Form->Handle()), WM_CLOSE, 0, 0);
    Application()->Run(); // returns once the main form closes
    EXPECT_TRUE(Application()->Terminated());
    EXPECT_EQ(Form->Closed, 1);
    Application()->SetMainForm(previous);
}

} // namespace
