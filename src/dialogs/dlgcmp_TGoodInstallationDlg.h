// The component of the good-installation page. Without a dialog manager it
// shows the page on its own after a good installation; with one, only that
// manager's wizard shows it.
#pragma once
#include "dialogs/dlgcmp_TBaseDlg.h"

// The page kind (TGoodInstallForm).
const TClassInfo& GoodInstallFormKind();

class TGoodInstallationDlg : public TBaseInstallDlg {
    QFD_CLASS(TGoodInstallationDlg)
public:
    explicit TGoodInstallationDlg(TComponent* AOwner);
    ~TGoodInstallationDlg() override;

    TFormClass FormClass() const override { return &GoodInstallFormKind(); }
    void HandleInformationEvent(TObject* Sender, int32_t Code, TObject* ParameterObject) override;
    // Alone, the page closes with OK from Next or Finish and has no Back.
    void AssignDialogProperties() override;
    // The component's entry in the page registry.
    TBIFEntry* Entry() const { return FEntry; }

private:
    TBIFEntry* FEntry = nullptr;
};
