#include "dialogs/dlgcmp_TInstallStatusDlg.h"
#include "objects/routines_Log.h"

const TClassInfo& InstallStatusFormKind() {
    static const TClassInfo info = DescribeFormKind("TInstallStatusForm", TForm::StaticClass());
    return info;
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

// The window comes with the progress windows. Until then the message goes to
// the run's log only: a status message must not stop the installation it
// describes.
void TInstallStatusDlg::ShowStatusWindow() {
    LogLine("Status", FMessage + " (the status-message window is not built yet)");
}

void TInstallStatusDlg::HideStatusWindow() {}

const TClassInfo& TInstallStatusDlg::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TInstallStatusDlg, TCustomBaseInstallDlg>("TInstallStatusDlg", [](auto& c) {
            PublishDialogProps(c, {"AutoSetFont", "AutoTranslate", "OverrideMainTranslator", "ThemeBitmap",
                                   "TranslateIntoLanguage"});
        });
    return info;
}
