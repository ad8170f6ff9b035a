// The component of the copy-progress window: its settings and its entry in
// the progress-window registry. Its dialog manager (dmDuringCopyFiles) opens,
// places and feeds the window; the component has no behaviour of its own on
// information codes.
//
// Still to come with the progress windows: the window itself (TCopyFileForm),
// opening and feeding it; until then the manager raises when it would.
#pragma once
#include "dialogs/dlgcmp_TBaseDlg.h"

// The window kind; the form comes with the progress windows.
const TClassInfo& CopyFileFormKind();

class TCopyFileDlg : public TCustomBaseInstallDlg {
    QFD_CLASS(TCopyFileDlg)
public:
    explicit TCopyFileDlg(TComponent* AOwner);
    ~TCopyFileDlg() override;

    TFormClass FormClass() const override { return &CopyFileFormKind(); }
    // The component's entry in the progress-window registry.
    TDCFEntry* Entry() const { return FEntry; }

private:
    TDCFEntry* FEntry = nullptr;
};
