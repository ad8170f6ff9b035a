#include "dialogs/dlgcmp_TFileGroupSelectDlg.h"
#include "dialogs/ordlg_TFileGroupSelectForm.h"

TFileGroupSelectDlg::TFileGroupSelectDlg(TComponent* AOwner) : TBaseInstallDlg(AOwner) {
    FOrder = 50;
    FEntry = RegisterBIF(&TFileGroupSelectForm::StaticClass(), this);
    AttachToManagerOfType(dmBeforeInstall);
}

TFileGroupSelectDlg::~TFileGroupSelectDlg() {
    UnregisterBIF(FEntry);
}

TFormClass TFileGroupSelectDlg::FormClass() const {
    return &TFileGroupSelectForm::StaticClass();
}

const TClassInfo& TFileGroupSelectDlg::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TFileGroupSelectDlg, TBaseInstallDlg>("TFileGroupSelectDlg", [](auto&) {});
    return info;
}
