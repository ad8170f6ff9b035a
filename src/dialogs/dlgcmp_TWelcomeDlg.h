// The component of the welcome page, shown by a dmBeforeInstall manager's wizard before the installation.
// The page appears only through a manager: the component joins the first
// manager of its kind when it is made.
#pragma once
#include "dialogs/dlgcmp_TBaseDlg.h"

class TWelcomeDlg : public TBaseInstallDlg {
    QFD_CLASS(TWelcomeDlg)
public:
    explicit TWelcomeDlg(TComponent* AOwner);
    ~TWelcomeDlg() override;

    TFormClass FormClass() const override;
    // The component's entry in the page registry.
    TBIFEntry* Entry() const { return FEntry; }

private:
    TBIFEntry* FEntry = nullptr;
};
