#include "dialogs/dlgcmp_TBadInstallationDlg.h"
#include "dialogs/ordlg_Pages.h"

const TClassInfo& BadInstallFormKind() {
    return TBadInstallForm::StaticClass();
}

TBadInstallationDlg::TBadInstallationDlg(TComponent* AOwner) : TBaseInstallDlg(AOwner) {
    FOrder = 10;
    FEntry = RegisterBIF(&BadInstallFormKind(), this);
    AttachToManagerOfType(dmAfterBadInstall);
}

TBadInstallationDlg::~TBadInstallationDlg() {
    UnregisterBIF(FEntry);
}

void TBadInstallationDlg::AssignDialogProperties() {
    TBaseInstallDlg::AssignDialogProperties();
    PrepareClosingPage(*this);
}

void TBadInstallationDlg::HandleInformationEvent(TObject* Sender, int32_t Code, TObject* ParameterObject) {
    TBaseInstallDlg::HandleInformationEvent(Sender, Code, ParameterObject);
    if (Code == ieBadInstall && !FDialogManager)
        Execute();
}

const TClassInfo& TBadInstallationDlg::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TBadInstallationDlg, TBaseInstallDlg>("TBadInstallationDlg", [](auto&) {});
    return info;
}
