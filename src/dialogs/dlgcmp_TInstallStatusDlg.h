// The component of the status-message window: a stack of status messages
// that the engine pushes and pops while it does long steps; the window shows
// the top one. It always acts alone (it publishes no dialog manager). It
// keeps its window from the first message to the end of the program.
#pragma once
#include "dialogs/dlgcmp_TBaseDlg.h"

// The window kind: a plain form (TInstallStatusForm).
const TClassInfo& InstallStatusFormKind();

class TInstallStatusDlg : public TCustomBaseInstallDlg {
    QFD_CLASS(TInstallStatusDlg)
public:
    using TCustomBaseInstallDlg::TCustomBaseInstallDlg;
    ~TInstallStatusDlg() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

    TFormClass FormClass() const override { return &InstallStatusFormKind(); }
    // Messages are set in English before they are translated.
    void Translate() override;
    void HandleInformationEvent(TObject* Sender, int32_t Code, TObject* ParameterObject) override;

    // The message shown and the stack (last = top).
    const std::string& Message() const { return FMessage; }
    const TStringList& Messages() const { return FMessages; }

private:
    void ShowStatusWindow();
    void HideStatusWindow();

    std::string FMessage;
    TStringList FMessages;
};
