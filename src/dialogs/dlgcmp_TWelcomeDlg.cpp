#include "dialogs/dlgcmp_TWelcomeDlg.h"
#include "dialogs/ordlg_Pages.h"

TWelcomeDlg::TWelcomeDlg(TComponent* AOwner) : TBaseInstallDlg(AOwner) {
    FOrder = 5;
    FEntry = RegisterBIF(&TWelcomeForm::StaticClass(), this);
    AttachToManagerOfType(dmBeforeInstall);
}

TWelcomeDlg::~TWelcomeDlg() {
    UnregisterBIF(FEntry);
}

TFormClass TWelcomeDlg::FormClass() const {
    return &TWelcomeForm::StaticClass();
}

const TClassInfo& TWelcomeDlg::StaticClass() {
    static const TClassInfo info = DescribeClass<TWelcomeDlg, TBaseInstallDlg>("TWelcomeDlg", [](auto&) {});
    return info;
}
