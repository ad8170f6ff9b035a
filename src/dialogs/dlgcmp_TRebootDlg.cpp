#include "dialogs/dlgcmp_TRebootDlg.h"
#include "dialogs/ordlg_Pages.h"

TRebootDlg::TRebootDlg(TComponent* AOwner) : TBaseInstallDlg(AOwner) {
    FOrder = 10;
    FEntry = RegisterBIF(&TRebootForm::StaticClass(), this);
    AttachToManagerOfType(dmReboot);
}

TRebootDlg::~TRebootDlg() {
    UnregisterBIF(FEntry);
}

TFormClass TRebootDlg::FormClass() const {
    return &TRebootForm::StaticClass();
}

const TClassInfo& TRebootDlg::StaticClass() {
    static const TClassInfo info = DescribeClass<TRebootDlg, TBaseInstallDlg>("TRebootDlg", [](auto&) {});
    return info;
}
