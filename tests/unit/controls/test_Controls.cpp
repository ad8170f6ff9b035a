// The controls of the windows, created from a stored layout in a real window.
#include "ControlsDriver.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_ComCtrls.h"
#include "toolkit/forms_Dialogs.h"
#include "toolkit/forms_ExtCtrls.h"
#include "toolkit/forms_StdCtrls.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <windows.h>
// After the Windows types.
#include <commctrl.h>

using namespace WindowDriver;

namespace {

class TControlsForm : public TForm {
    QFD_CLASS(TControlsForm)
public:
    using TForm::TForm;
    void NameEditChange(TObject*) { ++Changes; }
    void AgreeClick(TObject*) { ++AgreeClicks; }
    void ChoiceClick(TObject*) { ++ChoiceClicks; }
    void OkBtnClick(TObject*) { ++OkClicks; }
    void GroupsCheckChange(TObject*, TTreeNode* node) { Ticked.push_back(node); }
    template <class T> T* Get(const char* name) { return dynamic_cast<T*>(FindComponent(name)); }

    int Changes = 0, AgreeClicks = 0, ChoiceClicks = 0, OkClicks = 0;
    std::vector<TTreeNode*> Ticked;
};

const TClassInfo& TControlsForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TControlsForm, TForm>("TControlsForm", [](auto& c) {
        c.template Method<TNotifyEvent>("NameEditChange", &TControlsForm::NameEditChange);
        c.template Method<TNotifyEvent>("AgreeClick", &TControlsForm::AgreeClick);
        c.template Method<TNotifyEvent>("ChoiceClick", &TControlsForm::ChoiceClick);
        c.template Method<TNotifyEvent>("OkBtnClick", &TControlsForm::OkBtnClick);
        c.template Method<TTVChangedEvent>("GroupsCheckChange", &TControlsForm::GroupsCheckChange);
    });
    return info;
}

HWND H(const TWinControl* c) {
    return reinterpret_cast<HWND>(c->Handle());
}

TWindowHandle W(const TWinControl* c) {
    return c->Handle();
}

class Controls : public ::testing::Test {
protected:
    void SetUp() override {
        Application()->Initialize();
        Application()->OnException = [this](TObject*, const Exception& e) { Errors.push_back(e.Message()); };
        Form = new TControlsForm(Application());
        Form->InitFromResource();
    }
    void TearDown() override {
        if (Form)
            Form->Free();
        Application()->OnException = nullptr;
        EXPECT_TRUE(Errors.empty()) << Errors.front();
    }
    // Shows the form modally while the person acts.
    TModalResult RunModal(std::function<void(TPerson&)> steps) {
        TPerson person([steps](TPerson& p) {
            TWindowHandle w = FindTopWindow("Controls test window", GetCurrentProcessId());
            if (!p.Check(w != 0, "the form did not show"))
                return;
            steps(p);
            // Whatever happened, the modal loop must end.
            if (!WaitFor([&] { return !IsWindowVisible(reinterpret_cast<HWND>(w)); }, 3000)) {
                p.Check(false, "the form stayed open");
                CloseWindow(w);
            }
        });
        TModalResult r = Form->ShowModal();
        person.Join();
        for (const std::string& f : person.Failures())
            ADD_FAILURE() << f;
        return r;
    }
    TControlsForm* Form = nullptr;
    std::vector<std::string> Errors;
};

TEST_F(Controls, StoredLayoutMakesSystemControlsWithTheStoredProperties) {
    Form->Show();
    auto* inner = Form->Get<TPanel>("Inner");
    auto* ok = Form->Get<TBitBtn>("OkBtn");
    auto* edit = Form->Get<TEdit>("NameEdit");
    auto* bar = Form->Get<TProgressBar>("Bar");
    auto* agree = Form->Get<TCheckBox>("Agree");
    auto* choice = Form->Get<TRadioGroup>("Choice");
    auto* drives = Form->Get<TListView>("Drives");
    ASSERT_TRUE(inner && ok && edit && bar && agree && choice && drives);

    EXPECT_EQ(ClassNameOf(W(ok)), "Button");
    EXPECT_EQ(ClassNameOf(W(edit)), "Edit");
    EXPECT_EQ(ClassNameOf(W(bar)), "msctls_progress32");
    EXPECT_EQ(ClassNameOf(W(Form->Get<TTreeView>("Groups"))), "SysTreeView32");
    EXPECT_EQ(ClassNameOf(W(drives)), "SysListView32");
    // Inside the outer bevel (2), the border (3) and the inner bevel (2).
    EXPECT_EQ(inner->BoundsRect(), (TRect{7, 7, 473, 353}));
    // A child of a group box sits in the box's window.
    EXPECT_EQ(GetParent(H(Form->Get<TEdit>("DirEdit"))), H(Form->Get<TGroupBox>("Box")));

    EXPECT_EQ(ControlText(W(edit)), "mixed case");
    // Position comes before Max in the layout and still holds.
    EXPECT_EQ(SendMessageW(H(bar), PBM_GETPOS, 0, 0), 150);
    EXPECT_EQ(SendMessageW(H(bar), PBM_GETRANGE, FALSE, 0), 200);
    EXPECT_EQ(SendMessageW(H(agree), BM_GETCHECK, 0, 0), BST_CHECKED);
    ASSERT_NE(choice->Button(1), nullptr);
    EXPECT_EQ(ControlText(W(choice->Button(1))), "No, I would not like to reboot windows");
    EXPECT_EQ(SendMessageW(H(choice->Button(1)), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(H(choice->Button(0)), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    // Loading sets values; it clicks and changes nothing.
    EXPECT_EQ(Form->AgreeClicks + Form->ChoiceClicks + Form->Changes, 0);

    // Kind OK: the modal result and the default key, the stored caption kept.
    EXPECT_EQ(ok->ModalResult(), mrOk);
    EXPECT_TRUE(ok->Default());
    EXPECT_EQ(ControlText(W(ok)), "Proceed");
    EXPECT_TRUE(Form->Get<TBitBtn>("CancelBtn")->Cancel());
    // The two-image glyph fills the button's six states.
    BUTTON_IMAGELIST bil{};
    ASSERT_TRUE(SendMessageW(H(ok), BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&bil)));
    ASSERT_NE(bil.himl, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(bil.himl), 6);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(bil.himl, &cx, &cy);
    EXPECT_EQ(cx, 18);
    EXPECT_EQ(cy, 18);
    EXPECT_EQ(Form->Get<TImageList>("Images")->Count(), 2);

    LONG_PTR style = GetWindowLongPtrW(H(drives), GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_TRUE(style & LVS_NOLABELWRAP);
    EXPECT_TRUE(style & LVS_SHAREIMAGELISTS);
}

TEST_F(Controls, ImageDrawsItsPictureCentredAndLeavesOutTheCornerColourWhenTransparent) {
    Form->Show();
    auto* inner = Form->Get<TPanel>("Inner");
    auto* image = Form->Get<TImage>("Picture");
    EXPECT_EQ(image->DestRect(), (TRect{12, 12, 28, 28}));
    auto pixel = [&](int x, int y) {
        RedrawWindow(H(inner), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
        HDC dc = GetDC(H(inner));
        COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(H(inner), dc);
        return c;
    };
    const int left = image->Left() + 12, top = image->Top() + 12;
    EXPECT_EQ(pixel(left + 8, top + 8), RGB(255, 255, 0));
    EXPECT_EQ(pixel(left, top + 15), RGB(255, 0, 255));
    EXPECT_EQ(pixel(left - 1, top + 8), GetSysColor(COLOR_BTNFACE));
    image->SetTransparent(true);
    EXPECT_EQ(pixel(left, top + 15), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(pixel(left + 8, top + 8), RGB(255, 255, 0));
}

TEST_F(Controls, ReturnPressesTheFocusedOrTheDefaultButtonAndEscapeTheCancelButton) {
    auto* edit = Form->Get<TEdit>("NameEdit");
    auto* notes = Form->Get<TMemo>("Notes");
    auto* cancel = Form->Get<TBitBtn>("CancelBtn");
    EXPECT_EQ(RunModal([&](TPerson&) { PressKey(W(edit), VK_RETURN); }), mrOk);
    EXPECT_EQ(Form->OkClicks, 1);

    EXPECT_EQ(RunModal([&](TPerson& p) {
                  // The memo keeps Return for a new line.
                  PressKey(W(notes), VK_RETURN);
                  Sleep(300);
                  p.Check(IsWindowVisible(H(Form)), "Return in the memo ended the form");
                  PressKey(W(notes), VK_ESCAPE);
              }),
              mrCancel);

    // A focused button takes Return itself, not the default one.
    EXPECT_EQ(RunModal([&](TPerson&) { PressKey(W(cancel), VK_RETURN); }), mrCancel);
    EXPECT_EQ(Form->OkClicks, 1);
}

TEST_F(Controls, CheckBoxRadioGroupAndEditStatesRoundTripThroughTheirWindows) {
    Form->Show();
    auto* agree = Form->Get<TCheckBox>("Agree");
    // A person's clicks with grey allowed: checked, grey, unchecked.
    SendMessageW(H(agree), BM_CLICK, 0, 0);
    EXPECT_EQ(agree->State(), cbGrayed);
    EXPECT_EQ(SendMessageW(H(agree), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
    SendMessageW(H(agree), BM_CLICK, 0, 0);
    EXPECT_FALSE(agree->Checked());
    EXPECT_EQ(Form->AgreeClicks, 2);
    agree->SetChecked(true);
    EXPECT_EQ(SendMessageW(H(agree), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(Form->AgreeClicks, 3);
    // The state outlives the window.
    agree->DestroyHandle();
    agree->HandleNeeded();
    EXPECT_EQ(SendMessageW(H(agree), BM_GETCHECK, 0, 0), BST_CHECKED);

    auto* choice = Form->Get<TRadioGroup>("Choice");
    SendMessageW(H(choice->Button(0)), BM_CLICK, 0, 0);
    EXPECT_EQ(choice->ItemIndex(), 0);
    EXPECT_EQ(Form->ChoiceClicks, 1);
    EXPECT_EQ(SendMessageW(H(choice->Button(1)), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    choice->SetItemIndex(1);
    EXPECT_EQ(SendMessageW(H(choice->Button(0)), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(H(choice->Button(1)), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(Form->ChoiceClicks, 2);

    auto* edit = Form->Get<TEdit>("NameEdit");
    SetWindowTextW(H(edit), L"Typed Here");
    EXPECT_EQ(edit->Text(), "typed here");
    EXPECT_EQ(Form->Changes, 1);
    edit->SetText("Set BY Program");
    EXPECT_EQ(ControlText(W(edit)), "set by program");
    EXPECT_EQ(Form->Changes, 2);
    edit->SetText("set by program");
    EXPECT_EQ(Form->Changes, 2);
}

TEST_F(Controls, ProgressBarKeepsItsPositionWithinTheRange) {
    Form->Show();
    auto* bar = Form->Get<TProgressBar>("Bar");
    bar->SetPosition(250);
    EXPECT_EQ(SendMessageW(H(bar), PBM_GETPOS, 0, 0), 200);
    bar->SetPosition(-5);
    EXPECT_EQ(bar->Position(), 0);
    bar->SetMax(100);
    bar->SetPosition(95);
    bar->StepIt();
    EXPECT_EQ(bar->Position(), 5);
    // A new window (Smooth changes its style) shows the same position.
    bar->SetPosition(42);
    bar->SetSmooth(false);
    EXPECT_EQ(SendMessageW(H(bar), PBM_GETPOS, 0, 0), 42);
    EXPECT_EQ(SendMessageW(H(bar), PBM_GETRANGE, FALSE, 0), 100);
}

TEST_F(Controls, TabControlKeepsItsIndexAndLetsOnChangingRefuseAPersonsChange) {
    Form->Show();
    auto* tabs = Form->Get<TTabControl>("Tabs");
    ASSERT_TRUE(tabs);
    // The index comes before the tabs in the layout and still holds.
    EXPECT_EQ(SendMessageW(H(tabs), TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(H(tabs), TCM_GETCURSEL, 0, 0), 1);
    int changing = 0, changed = 0;
    bool allow = false;
    tabs->OnChanging = [&](TObject*, bool& a) {
        ++changing;
        a = allow;
    };
    tabs->OnChange = [&](TObject*) { ++changed; };
    tabs->SetTabIndex(0);
    EXPECT_EQ(tabs->TabIndex(), 0);
    EXPECT_EQ(changing + changed, 0);
    // A person clicks the second tab.
    tabs->SetHeight(30);
    tabs->Show();
    RECT r{};
    SendMessageW(H(tabs), TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r));
    auto click = [&] {
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(H(tabs), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(H(tabs), WM_LBUTTONUP, 0, at);
    };
    click();
    EXPECT_EQ(tabs->TabIndex(), 0);
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(changed, 0);
    allow = true;
    click();
    EXPECT_EQ(tabs->TabIndex(), 1);
    EXPECT_EQ(changed, 1);
}

TEST_F(Controls, TreeViewTicksReadBackFromTheWindowAndSurviveANewWindow) {
    Form->Show();
    auto* tree = Form->Get<TTreeView>("Groups");
    TTreeNodes& items = tree->Items();
    TTreeNode* root = items.AddChild(nullptr, "Program");
    TTreeNode* docs = items.AddChild(root, "Documents");
    TTreeNode* samples = items.AddChild(root, "Samples");
    TTreeNode* deep = items.AddChild(samples, "Deep");
    docs->SetChecked(true);
    deep->SetChecked(true);
    auto tick = [&](TTreeNode* n) {
        return static_cast<UINT>(SendMessageW(H(tree), TVM_GETITEMSTATE, n->ItemId(), TVIS_STATEIMAGEMASK)) >>
               12;
    };
    EXPECT_EQ(tick(docs), 2u);
    EXPECT_EQ(tick(samples), 1u);
    EXPECT_EQ(tick(deep), 2u);
    EXPECT_EQ(items.Count(), 4);
    EXPECT_EQ(items.Item(3), deep);

    root->Expand(false);
    EXPECT_TRUE(docs->IsVisible());
    EXPECT_FALSE(deep->IsVisible());
    EXPECT_EQ(deep->DisplayRect(false).Height(), 0);
    EXPECT_GT(samples->DisplayRect(false).Top, docs->DisplayRect(false).Top);

    // The person ticks the selected node with the space bar.
    samples->SetSelected(true);
    PressKey(W(tree), VK_SPACE);
    EXPECT_TRUE(PumpUntil([&] { return !Form->Ticked.empty(); }));
    ASSERT_EQ(Form->Ticked.size(), 1u);
    EXPECT_EQ(Form->Ticked[0], samples);
    EXPECT_TRUE(samples->Checked());
    EXPECT_EQ(tick(samples), 2u);

    // A new window brings back ticks, expansion and selection.
    docs->SetChecked(false);
    tree->DestroyHandle();
    tree->HandleNeeded();
    EXPECT_EQ(tick(docs), 1u);
    EXPECT_EQ(tick(samples), 2u);
    EXPECT_EQ(tick(deep), 2u);
    EXPECT_TRUE(root->Expanded());
    EXPECT_FALSE(samples->Expanded());
    EXPECT_EQ(tree->Selected(), samples);
    EXPECT_EQ(Form->Ticked.size(), 1u);

    samples->Delete();
    EXPECT_EQ(items.Count(), 2);
    EXPECT_EQ(SendMessageW(H(tree), TVM_GETCOUNT, 0, 0), 2);
    items.Clear();
    EXPECT_EQ(SendMessageW(H(tree), TVM_GETCOUNT, 0, 0), 0);
}

TEST_F(Controls, ListViewShowsRowsWithImagesAndLetsGoOfAFreedImageList) {
    Form->Show();
    auto* list = Form->Get<TListView>("Drives");
    list->AddColumn("", 50);
    list->AddColumn("Space Required:", 120, taRightJustify);
    list->AddColumn("Space Available:", 120, taRightJustify);
    TListItem* c = list->Add();
    c->SetCaption("C");
    c->SetImageIndex(0);
    c->AddSubItem("1,234 Bytes");
    c->AddSubItem("5,678 Bytes");
    c->SetStateIndex(1);
    TListItem* d = list->Add();
    d->SetCaption("D");
    auto text = [&](int item, int sub) {
        wchar_t buf[128] = {};
        LVITEMW it{};
        it.iSubItem = sub;
        it.pszText = buf;
        it.cchTextMax = 128;
        SendMessageW(H(list), LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&it));
        return std::wstring(buf);
    };
    EXPECT_EQ(text(0, 0), L"C");
    EXPECT_EQ(text(0, 1), L"1,234 Bytes");
    EXPECT_EQ(text(0, 2), L"5,678 Bytes");
    EXPECT_EQ(text(1, 0), L"D");
    EXPECT_EQ(SendMessageW(H(list), LVM_GETITEMSTATE, 0, LVIS_STATEIMAGEMASK) >> 12, 2);
    EXPECT_EQ(SendMessageW(H(list), LVM_GETITEMSTATE, 1, LVIS_STATEIMAGEMASK) >> 12, 0);
    EXPECT_EQ(c->StateIndex(), 1);
    HWND header = reinterpret_cast<HWND>(SendMessageW(H(list), LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 3);

    auto* images = Form->Get<TImageList>("Images");
    EXPECT_EQ(SendMessageW(H(list), LVM_GETIMAGELIST, LVSIL_SMALL, 0),
              static_cast<LRESULT>(images->Handle()));
    EXPECT_EQ(SendMessageW(H(Form->Get<TTreeView>("Groups")), TVM_GETIMAGELIST, TVSIL_NORMAL, 0),
              static_cast<LRESULT>(images->Handle()));
    images->Free();
    EXPECT_EQ(list->SmallImages(), nullptr);
    EXPECT_EQ(SendMessageW(H(list), LVM_GETIMAGELIST, LVSIL_SMALL, 0), 0);
    EXPECT_EQ(SendMessageW(H(list), LVM_GETIMAGELIST, LVSIL_STATE, 0), 0);
    EXPECT_EQ(SendMessageW(H(Form->Get<TTreeView>("Groups")), TVM_GETIMAGELIST, TVSIL_NORMAL, 0), 0);

    d->Delete();
    list->Clear();
    EXPECT_EQ(SendMessageW(H(list), LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(Controls, InputBoxReturnsTheTypedTextAndKeepsTheValueWhenCancelled) {
    std::string shown;
    const DWORD mainThread = GetCurrentThreadId();
    auto answer = [&](const std::string& text, bool confirm) {
        return [&, text, confirm](TPerson& p) {
            TWindowHandle box = FindTopWindow("Folder name", GetCurrentProcessId());
            if (!p.Check(box != 0, "the input box did not show"))
                return;
            TWindowHandle edit = FindChild(box, "", "Edit");
            shown = ControlText(edit);
            // Typing goes into the edit box at once.
            GUITHREADINFO gui{};
            gui.cbSize = sizeof gui;
            p.Check(WaitFor([&] {
                        return GetGUIThreadInfo(mainThread, &gui) &&
                               reinterpret_cast<TWindowHandle>(gui.hwndFocus) == edit;
                    }),
                    "the edit box has no focus");
            std::vector<std::string> texts = ChildTexts(box);
            p.Check(std::find(texts.begin(), texts.end(), "OK") != texts.end(), "no OK button");
            TypeText(edit, text);
            if (confirm)
                PressKey(edit, VK_RETURN);
            else
                p.Check(PressButton(box, "Cancel"), "no Cancel button");
            if (!WaitFor(
                    [&] { return !IsWindowAlive(box) || !IsWindowVisible(reinterpret_cast<HWND>(box)); })) {
                p.Check(false, "the input box stayed open");
                CloseWindow(box);
            }
        };
    };
    std::string value = "old name";
    {
        TPerson person(answer("new name", true));
        EXPECT_TRUE(InputQuery("Folder name", "Name of the new folder:", value));
        person.Join();
        EXPECT_TRUE(person.Failures().empty()) << person.Failures().front();
    }
    EXPECT_EQ(shown, "old name");
    EXPECT_EQ(value, "new name");
    {
        TPerson person(answer("thrown away", false));
        EXPECT_FALSE(InputQuery("Folder name", "Name:", value));
        person.Join();
        EXPECT_TRUE(person.Failures().empty()) << person.Failures().front();
    }
    EXPECT_EQ(value, "new name");
    {
        TPerson person(answer("thrown away", false));
        EXPECT_EQ(InputBox("Folder name", "Name:", "default"), "default");
    }
}

TEST_F(Controls, ConfirmationBoxReportsTheButtonPressed) {
    TPerson person([](TPerson& p) {
        TWindowHandle box = FindTopWindow("Confirm", GetCurrentProcessId());
        if (!p.Check(box != 0, "the confirmation did not show"))
            return;
        p.Check(MessageBoxText(box) == "Please insert disk 2", "wrong text: " + MessageBoxText(box));
        p.Check(PressButton(box, "Cancel"), "no Cancel button");
    });
    EXPECT_EQ(MessageDlg("Please insert disk 2", mtConfirmation, mbOKCancel), mrCancel);
    person.Join();
    for (const std::string& f : person.Failures())
        ADD_FAILURE() << f;
    EXPECT_THROW(MessageDlg("x", mtConfirmation, (1u << mbYes) | (1u << mbOK)), EInvalidOperation);
}

} // namespace
