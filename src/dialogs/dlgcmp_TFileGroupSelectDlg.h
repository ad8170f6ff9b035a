// The component of the file group selection page, shown by a dmBeforeInstall manager's wizard.
// The page appears only through a manager: the component joins the first
// manager of its kind when it is made.
#pragma once
#include "dialogs/dlgcmp_TBaseDlg.h"

class TFileGroupSelectDlg : public TBaseInstallDlg {
    QFD_CLASS(TFileGroupSelectDlg)
public:
    explicit TFileGroupSelectDlg(TComponent* AOwner);
    ~TFileGroupSelectDlg() override;

    TFormClass FormClass() const override;
    // The component's entry in the page registry.
    TBIFEntry* Entry() const { return FEntry; }

private:
    TBIFEntry* FEntry = nullptr;
};
