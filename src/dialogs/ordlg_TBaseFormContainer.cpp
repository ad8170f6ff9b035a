#include "dialogs/ordlg_TBaseFormContainer.h"
#include "toolkit/forms_ComCtrls.h"
#include "toolkit/forms_ExtCtrls.h"

TBaseFormContainer::TBaseFormContainer(TComponent* AOwner) : TForm(AOwner) {}

TBaseFormContainer::~TBaseFormContainer() = default;

TPanel* TBaseFormContainer::DisplayPanel() const {
    auto* p = dynamic_cast<TPanel*>(FindComponent("DisplayPanel"));
    if (!p)
        throw EComponentError("The wizard window has no DisplayPanel");
    return p;
}

TTabControl* TBaseFormContainer::Tabs() const {
    auto* t = dynamic_cast<TTabControl*>(FindComponent("Tabs"));
    if (!t)
        throw EComponentError("The wizard window has no Tabs");
    return t;
}

void TBaseFormContainer::FormCreate(TObject*) {
    Font().SetCharset(0);
    FResizing = true;
    SetBounds(Left(), Top(), 478, 395);
    FResizing = false;
    FFinished = false;
}

void TBaseFormContainer::FormDestroy(TObject*) {
    // The pages themselves go with the window, which owns them.
    FPages.clear();
}

void TBaseFormContainer::PlaceWindow(TQuenfoldDialogPosition Position, int32_t LeftOffset,
                                     int32_t TopOffset) {
    TPoint p = PlaceOnScreen(Position, LeftOffset, TopOffset, Width(), Height());
    SetBounds(p.X, p.Y, Width(), Height());
}

int TBaseFormContainer::BuildPages() {
    TDialogManager* current = CurrentDialogManager();
    if (!current)
        throw Exception(TranslateText("The current dialog manager is not defined"));
    TPanel* display = DisplayPanel();
    for (int i = 0; i < BIFCount(); ++i) {
        TBIFEntry* entry = GetBIF(i);
        TCustomBaseInstallDlg* dialog = entry->Dialog;
        if (dialog && (dialog->DialogManager() != current || !dialog->CanExecute()))
            continue;
        auto* page = dynamic_cast<TBaseInstallForm*>(CreateFormOfKind(entry->FormClass, this));
        if (!page)
            continue; // the registry takes page kinds only
        if (!dialog && page->DM() != current) {
            page->Free();
            continue;
        }
        page->SetDC(dialog);
        if (dialog) {
            page->SetContainer(dialog->Container());
            page->SetOrder(dialog->Order());
            dialog->FForm = page;
            dialog->AssignDialogProperties();
        }
        Tabs()->AddTab(page->Caption());
        page->SetBounds(display->Left(), display->Top(), display->Width(), display->Height());
        page->TranslateForm();
        page->Show();
        FPages.push_back(page);
    }
    // Exchange sort, as the pages have always been ordered: pages of equal
    // Order do not keep their registry order.
    for (size_t i = 0; i < FPages.size(); ++i)
        for (size_t j = i + 1; j < FPages.size(); ++j)
            if (FPages[j]->Order() < FPages[i]->Order())
                std::swap(FPages[i], FPages[j]);
    return PageCount();
}

int TBaseFormContainer::CurrentIndex() const {
    return Tabs()->TabIndex();
}

TBaseInstallForm* TBaseFormContainer::CurrentPage() const {
    int i = CurrentIndex();
    return i >= 0 && i < PageCount() ? Pages(i) : nullptr;
}

bool TBaseFormContainer::ShowPage(int Index, bool Backwards) {
    if (Index < 0 || Index >= PageCount())
        return false;
    TBaseInstallForm* page = Pages(Index);
    if (page->SkipPage())
        return ShowPage(Backwards ? Index - 1 : Index + 1, Backwards);
    Tabs()->SetTabIndex(Index);
    SetCaption(page->Caption());
    // Only the current page shows: under Wine a page below kept painting its
    // controls over the one brought to the front.
    for (TBaseInstallForm* other : FPages)
        if (other != page)
            other->Hide();
    page->Show();
    page->PageActivated();
    return true;
}

void TBaseFormContainer::FormShow(TObject*) {
    if (!ShowPage(0, true))
        ShowPage(0, false);
}

void TBaseFormContainer::NextPage() {
    const int current = CurrentIndex();
    // A later page took over. Its activation lets messages run, so a Back
    // pressed meanwhile may already have moved the index again: that is no
    // end of the wizard.
    if (ShowPage(current + 1, false))
        return;
    ShowPage(current + 1, true);
    if (CurrentIndex() == current) {
        FFinished = true;
        Close();
    }
}

void TBaseFormContainer::PreviousPage() {
    const int current = CurrentIndex();
    if (!ShowPage(current - 1, true))
        ShowPage(current - 1, false);
}

bool TBaseFormContainer::IsFirstPage() {
    const int current = CurrentIndex();
    for (int i = 0; i < current && i < PageCount(); ++i)
        if (!Pages(i)->SkipPage())
            return false;
    return true;
}

bool TBaseFormContainer::IsLastPage() {
    return CurrentIndex() + 1 == PageCount();
}

void TBaseFormContainer::TabsChanging(TObject*, bool&) {
    if (TBaseInstallForm* page = CurrentPage())
        page->PageLeaving();
}

void TBaseFormContainer::TabsChange(TObject*) {
    const int index = CurrentIndex();
    if (!ShowPage(index, true))
        ShowPage(index, false);
}

void TBaseFormContainer::FormClose(TObject*, TCloseAction& Action) {
    // Next on the last page, Finish and a confirmed cancel are the only ways out.
    if (!FFinished && ModalResult() != mrAbort)
        Action = caNone;
}

void TBaseFormContainer::FormResize(TObject*) {
    if (FResizing)
        return;
    TPanel* display = DisplayPanel();
    for (TBaseInstallForm* page : FPages) {
        page->SetBounds(display->Left(), display->Top(), display->Width(), display->Height());
        page->Invalidate();
    }
}

const TClassInfo& TBaseFormContainer::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TBaseFormContainer, TForm>("TBaseFormContainer", [](auto& c) {
            using W = TBaseFormContainer;
            c.template Method<TNotifyEvent>("FormCreate", &W::FormCreate);
            c.template Method<TNotifyEvent>("FormDestroy", &W::FormDestroy);
            c.template Method<TNotifyEvent>("FormShow", &W::FormShow);
            c.template Method<TCloseEvent>("FormClose", &W::FormClose);
            c.template Method<TNotifyEvent>("FormResize", &W::FormResize);
            c.template Method<TNotifyEvent>("TabsChange", &W::TabsChange);
            c.template Method<TTabChangingEvent>("TabsChanging", &W::TabsChanging);
        });
    return info;
}
