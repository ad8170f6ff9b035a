#include "dialogs/dlgcmp_TGoodInstallationDlg.h"
#include "dialogs/ordlg_Pages.h"

const TClassInfo& GoodInstallFormKind() {
    return TGoodInstallForm::StaticClass();
}

TGoodInstallationDlg::TGoodInstallationDlg(TComponent* AOwner) : TBaseInstallDlg(AOwner) {
    FOrder = 10;
    FEntry = RegisterBIF(&GoodInstallFormKind(), this);
    AttachToManagerOfType(dmAfterGoodInstall);
}

TGoodInstallationDlg::~TGoodInstallationDlg() {
    UnregisterBIF(FEntry);
}

void TGoodInstallationDlg::AssignDialogProperties() {
    TBaseInstallDlg::AssignDialogProperties();
    PrepareClosingPage(*this);
}

void TGoodInstallationDlg::HandleInformationEvent(TObject* Sender, int32_t Code, TObject* ParameterObject) {
    TBaseInstallDlg::HandleInformationEvent(Sender, Code, ParameterObject);
    if (Code == ieGoodInstall && !FDialogManager)
        Execute();
}

const TClassInfo& TGoodInstallationDlg::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TGoodInstallationDlg, TBaseInstallDlg>("TGoodInstallationDlg", [](auto&) {});
    return info;
}
