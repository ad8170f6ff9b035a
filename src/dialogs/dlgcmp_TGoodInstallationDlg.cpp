#include "dialogs/dlgcmp_TGoodInstallationDlg.h"

const TClassInfo& GoodInstallFormKind() {
    static const TClassInfo info = DescribeFormKind("TGoodInstallForm", BaseInstallFormKind());
    return info;
}

TGoodInstallationDlg::TGoodInstallationDlg(TComponent* AOwner) : TBaseInstallDlg(AOwner) {
    FOrder = 10;
    FEntry = RegisterBIF(&GoodInstallFormKind(), this);
    AttachToManagerOfType(dmAfterGoodInstall);
}

TGoodInstallationDlg::~TGoodInstallationDlg() {
    UnregisterBIF(FEntry);
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
