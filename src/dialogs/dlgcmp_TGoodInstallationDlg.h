// The component of the good-installation page. Without a dialog manager it
// shows the page on its own after a good installation; with one, only that
// manager's wizard shows it.
//
// Still to come with the completion pages: the page itself (TGoodInstallForm)
// and what showing it sets on the page; until then showing it raises.
#pragma once
#include "dialogs/dlgcmp_TBaseDlg.h"

// The page kind; the form comes with the completion pages.
const TClassInfo& GoodInstallFormKind();

class TGoodInstallationDlg : public TBaseInstallDlg {
    QFD_CLASS(TGoodInstallationDlg)
public:
    explicit TGoodInstallationDlg(TComponent* AOwner);
    ~TGoodInstallationDlg() override;

    TFormClass FormClass() const override { return &GoodInstallFormKind(); }
    void HandleInformationEvent(TObject* Sender, int32_t Code, TObject* ParameterObject) override;
    // The component's entry in the page registry.
    TBIFEntry* Entry() const { return FEntry; }

private:
    TBIFEntry* FEntry = nullptr;
};
