// The component of the copy-progress window: its settings and its entry in
// the progress-window registry. Its dialog manager (dmDuringCopyFiles) opens,
// places and feeds the window; the component has no behaviour of its own on
// information codes.
#pragma once
#include "dialogs/dlgcmp_TBaseDlg.h"

// The window kind (TCopyFileForm).
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
