#include "dialogs/dlgcmp_TInstallStatusDlg.h"
#include "dialogs/ordlg_BaseForms.h"
#include "dialogs/ordlg_Progress.h"
#include "objects/routines_Log.h"
#include "toolkit/forms_ExtCtrls.h"
#include <cmath>

const TClassInfo& InstallStatusFormKind() {
    return TInstallStatusForm::StaticClass();
}

void TInstallStatusDlg::Translate() {
    TCustomBaseInstallDlg::Translate();
    FCurrentLanguage = qlEnglish;
}

void TInstallStatusDlg::HandleInformationEvent(TObject* Sender, int32_t Code, TObject* ParameterObject) {
    TCustomBaseInstallDlg::HandleInformationEvent(Sender, Code, ParameterObject);
    if (FDialogManager)
        return;
    if (Code == ieStatusMessage) {
        if (!ParameterObject)
            throw IException("%s got a nil PO parameter", {Name()});
        auto* message = dynamic_cast<TMessageParameter*>(ParameterObject);
        if (!message)
            throw IException("The PO object passed to %s is not a TMessageParameter object", {Name()});
        FMessage = message->MessageText;
        FMessages.Add(FMessage);
        ShowStatusWindow();
    } else if (Code == ieRemoveStatusMessage) {
        if (FMessages.Count() > 0)
            FMessages.Delete(FMessages.Count() - 1);
        if (FMessages.Count() > 0) {
            FMessage = FMessages[FMessages.Count() - 1];
            ShowStatusWindow();
        } else {
            HideStatusWindow();
        }
    }
}

TInstallStatusDlg::~TInstallStatusDlg() {
    if (FForm) {
        RemoveFreeNotification(FForm);
        FForm->Free();
    }
}

void TInstallStatusDlg::Notification(TComponent* AComponent, TOperation Operation) {
    TCustomBaseInstallDlg::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FForm)
        FForm = nullptr;
}

void TInstallStatusDlg::ShowStatusWindow() {
    LogLine("Status", FMessage);
    if (Application()->Quiet())
        return;
    if (!FForm) {
        FForm = CreateFormOfKind(FormClass(), Application());
        FreeNotification(FForm);
        AssignDialogProperties();
    }
    auto* form = static_cast<TInstallStatusForm*>(FForm);
    TLabel* label = form->MessageLabel();
    label->SetAlign(alNone);
    label->SetWordWrap(false);
    label->SetCaption(FMessage);
    Translate();
    // Off and on again: the label takes the size of its text.
    label->SetAutoSize(false);
    label->SetAutoSize(true);
    label->SetTop(static_cast<int32_t>(std::nearbyint(form->ClientHeight() / 2.0 - label->Height() / 2.0)));
    auto* back = dynamic_cast<TControl*>(form->FindComponent("pnlBack"));
    auto* panel = dynamic_cast<TControl*>(form->FindComponent("pnlMessage"));
    const int32_t width = TextWidth(label->Caption(), form->Font()) + (back ? back->Left() : 0) +
                          (panel ? panel->Left() : 0) + label->Left() + 25;
    const auto left = static_cast<int32_t>(std::nearbyint(ScreenWidth() / 2.0 - width / 2.0));
    form->SetBounds(left, form->Top(), width, form->Height());
    form->Show();
    form->Repaint();
    Application()->ProcessMessages();
}

void TInstallStatusDlg::HideStatusWindow() {
    if (FForm)
        FForm->Hide();
    Application()->ProcessMessages();
}

const TClassInfo& TInstallStatusDlg::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TInstallStatusDlg, TCustomBaseInstallDlg>("TInstallStatusDlg", [](auto& c) {
            PublishDialogProps(c, {"AutoSetFont", "AutoTranslate", "OverrideMainTranslator", "ThemeBitmap",
                                   "TranslateIntoLanguage"});
        });
    return info;
}
