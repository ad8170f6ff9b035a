// The component of the restart page, shown by a dmReboot manager's wizard.
// The page appears only through a manager: the component joins the first
// manager of its kind when it is made.
#pragma once
#include "dialogs/dlgcmp_TBaseDlg.h"

class TRebootDlg : public TBaseInstallDlg {
    QFD_CLASS(TRebootDlg)
public:
    explicit TRebootDlg(TComponent* AOwner);
    ~TRebootDlg() override;

    TFormClass FormClass() const override;
    // The component's entry in the page registry.
    TBIFEntry* Entry() const { return FEntry; }

private:
    TBIFEntry* FEntry = nullptr;
};
