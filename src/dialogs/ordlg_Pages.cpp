#include "dialogs/ordlg_Pages.h"
#include "objects/types_RunState.h"
#include "toolkit/forms_ExtCtrls.h"
#include "toolkit/forms_StdCtrls.h"
#include "translate/cmp_TTranslateControls.h"

TTranslateBitBtn* TFramePage::BackBtn() const {
    return Part<TTranslateBitBtn>("BackBtn");
}
TTranslateBitBtn* TFramePage::ProceedBtn() const {
    return Part<TTranslateBitBtn>("ProceedBtn");
}
TTranslateBitBtn* TFramePage::FinishBtn() const {
    return Part<TTranslateBitBtn>("FinishBtn");
}

void TFramePage::FocusIfShowing(TWinControl* control) {
    if (control->Visible() && Visible() && control->HandleAllocated())
        control->SetFocus();
}

void TFramePage::UpdateClosingButtons(bool focusFinish) {
    static_cast<TControl*>(BackBtn())->SetVisible(!IsFirstPage());
    static_cast<TControl*>(ProceedBtn())->SetVisible(!IsLastPage());
    static_cast<TControl*>(FinishBtn())->SetVisible(!ProceedBtn()->Visible());
    FocusIfShowing(ProceedBtn());
    if (focusFinish)
        FocusIfShowing(FinishBtn());
}

const TClassInfo& TFramePage::StaticClass() {
    static const TClassInfo info = DescribeClass<TFramePage, TBaseInstallForm>("TFramePage", [](auto&) {});
    return info;
}

TWelcomeForm::TWelcomeForm(TComponent* AOwner) : TFramePage(AOwner) {
    FDM = FindDialogManager(dmBeforeInstall);
    FOrder = 5;
}

void TWelcomeForm::UpdateControls() {
    static_cast<TControl*>(BackBtn())->SetVisible(!IsFirstPage());
    FocusIfShowing(ProceedBtn());
}

TGoodInstallForm::TGoodInstallForm(TComponent* AOwner) : TFramePage(AOwner) {
    FDM = FindDialogManager(dmAfterGoodInstall);
    FOrder = 10;
}

TBadInstallForm::TBadInstallForm(TComponent* AOwner) : TFramePage(AOwner) {
    FDM = FindDialogManager(dmAfterBadInstall);
    FOrder = 10;
}

TRebootForm::TRebootForm(TComponent* AOwner) : TFramePage(AOwner) {
    FDM = FindDialogManager(dmReboot);
    FOrder = 10;
}

TRadioGroup* TRebootForm::RG() const {
    return Part<TRadioGroup>("RG");
}

void TRebootForm::UpdateControls() {
    UpdateClosingButtons(false);
    // Showing the page reflects Reboot; it never changes it.
    FInitializing = true;
    RG()->SetItemIndex(1);
    TRunInstall* install = CurrentRunInstall();
    if (install && install->Reboot())
        RG()->SetItemIndex(0);
    FInitializing = false;
}

void TRebootForm::RGClick(TObject*) {
    if (FInitializing)
        return;
    if (TRunInstall* install = CurrentRunInstall())
        install->SetReboot(RG()->ItemIndex() == 0);
}

const TClassInfo& TWelcomeForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TWelcomeForm, TFramePage>("TWelcomeForm", [](auto&) {});
    return info;
}
const TClassInfo& TGoodInstallForm::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TGoodInstallForm, TFramePage>("TGoodInstallForm", [](auto&) {});
    return info;
}
const TClassInfo& TBadInstallForm::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TBadInstallForm, TFramePage>("TBadInstallForm", [](auto&) {});
    return info;
}
const TClassInfo& TRebootForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TRebootForm, TFramePage>(
        "TRebootForm", [](auto& c) { c.template Method<TNotifyEvent>("RGClick", &TRebootForm::RGClick); });
    return info;
}

void PrepareClosingPage(TCustomBaseInstallDlg& dialog) {
    auto* page = dynamic_cast<TFramePage*>(dialog.Form());
    if (!page)
        return;
    page->BackBtn()->Hide();
    page->ProceedBtn()->SetModalResult(mrOk);
    page->FinishBtn()->SetModalResult(mrOk);
    if (auto* image = dynamic_cast<TImage*>(page->FindComponent("ThemeBitmap"))) {
        TPicture picture = image->Picture();
        dialog.AssignThemeBitmap(&picture);
        image->SetPicture(picture);
    }
}
