// The component of the failed-installation page. Without a dialog manager it
// shows the page on its own after a failed installation; with one, only that
// manager's wizard shows it.
//
// Still to come with the completion pages: the page itself (TBadInstallForm)
// and what showing it sets on the page; until then showing it raises.
#pragma once
#include "dialogs/dlgcmp_TBaseDlg.h"

// The page kind; the form comes with the completion pages.
const TClassInfo& BadInstallFormKind();

class TBadInstallationDlg : public TBaseInstallDlg {
    QFD_CLASS(TBadInstallationDlg)
public:
    explicit TBadInstallationDlg(TComponent* AOwner);
    ~TBadInstallationDlg() override;

    TFormClass FormClass() const override { return &BadInstallFormKind(); }
    void HandleInformationEvent(TObject* Sender, int32_t Code, TObject* ParameterObject) override;
    // The component's entry in the page registry.
    TBIFEntry* Entry() const { return FEntry; }

private:
    TBIFEntry* FEntry = nullptr;
};
