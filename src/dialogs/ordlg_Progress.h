// The windows the engine raises while it works: the copy-progress window,
// the status-message box and the change-disk window.
#pragma once
#include "dialogs/ordlg_BaseForms.h"

class TProgressBar;
class TTranslateLabel;
class TLabel;
class TEdit;

class TCopyFileForm : public TBaseDuringCopyForm {
    QFD_CLASS(TCopyFileForm)
public:
    explicit TCopyFileForm(TComponent* AOwner);
    void Loaded() override;
    void UpdateStatus(TFileStatusParameter* FileStatus, TDownloadStatusParameter* DownloadStatus) override;

    TProgressBar* FileBar() const;
    TProgressBar* TotalBar() const;
    TTranslateLabel* FileLabel() const;
    bool TransferShown() const;
};

// A plain form: it keeps its English message and is translated by its dialog.
class TInstallStatusForm : public TForm {
    QFD_CLASS(TInstallStatusForm)
public:
    using TForm::TForm;
    void Loaded() override;
    TLabel* MessageLabel() const;
};

class TChangeDiskForm : public TBaseChangeDiskForm {
    QFD_CLASS(TChangeDiskForm)
public:
    explicit TChangeDiskForm(TComponent* AOwner);
    void Loaded() override;
    void FormShow(TObject*);
    void BrowseBtnClick(TObject*);
    TEdit* PathEdit() const;
};
