// The component of the failed-installation page. Without a dialog manager it
// shows the page on its own after a failed installation; with one, only that
// manager's wizard shows it.
#pragma once
#include "dialogs/dlgcmp_TBaseDlg.h"

// The page kind (TBadInstallForm).
const TClassInfo& BadInstallFormKind();

class TBadInstallationDlg : public TBaseInstallDlg {
    QFD_CLASS(TBadInstallationDlg)
public:
    explicit TBadInstallationDlg(TComponent* AOwner);
    ~TBadInstallationDlg() override;

    TFormClass FormClass() const override { return &BadInstallFormKind(); }
    void HandleInformationEvent(TObject* Sender, int32_t Code, TObject* ParameterObject) override;
    // Alone, the page closes with OK from Next or Finish and has no Back.
    void AssignDialogProperties() override;
    // The component's entry in the page registry.
    TBIFEntry* Entry() const { return FEntry; }

private:
    TBIFEntry* FEntry = nullptr;
};
