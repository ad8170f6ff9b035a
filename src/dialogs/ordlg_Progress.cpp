#include "dialogs/ordlg_Progress.h"
#include "platform/routines_FileSystem.h"
#include "toolkit/forms_ComCtrls.h"
#include "toolkit/forms_ExtCtrls.h"
#include "toolkit/forms_StdCtrls.h"
#include "translate/cmp_TTranslateControls.h"

// ---------------------------------------------------------------------------
// TCopyFileForm

TCopyFileForm::TCopyFileForm(TComponent* AOwner) : TBaseDuringCopyForm(AOwner) {
    FDM = FindDialogManager(dmDuringCopyFiles);
}

TProgressBar* TCopyFileForm::FileBar() const {
    return Part<TProgressBar>("ProgressBar1");
}
TProgressBar* TCopyFileForm::TotalBar() const {
    return Part<TProgressBar>("ProgressBar2");
}
TTranslateLabel* TCopyFileForm::FileLabel() const {
    return Part<TTranslateLabel>("lblCopyingFile");
}

bool TCopyFileForm::TransferShown() const {
    return Part<TImage>("TransferBitmap")->Visible();
}

void TCopyFileForm::UpdateStatus(TFileStatusParameter* FileStatus, TDownloadStatusParameter* DownloadStatus) {
    auto* transfer = Part<TImage>("TransferBitmap");
    if (FileStatus) {
        transfer->Hide();
        TotalBar()->SetPosition(FileStatus->TotalPercentDone);
        FileBar()->SetPosition(FileStatus->FilePercentDone);
        FileLabel()->SetCaption(FileStatus->FileName);
    } else if (DownloadStatus) {
        transfer->Show();
        FileBar()->SetPosition(DownloadStatus->PercentDone);
        FileLabel()->SetCaption(DownloadStatus->RemoteFile);
    }
    Repaint();
}

const TClassInfo& TCopyFileForm::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TCopyFileForm, TBaseDuringCopyForm>("TCopyFileForm", [](auto&) {});
    return info;
}

// ---------------------------------------------------------------------------
// TInstallStatusForm

TLabel* TInstallStatusForm::MessageLabel() const {
    auto* l = dynamic_cast<TLabel*>(FindComponent("lblMessage"));
    if (!l)
        throw EComponentError("The status window has no lblMessage");
    return l;
}

const TClassInfo& TInstallStatusForm::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TInstallStatusForm, TForm>("TInstallStatusForm", [](auto&) {});
    return info;
}

// ---------------------------------------------------------------------------
// TChangeDiskForm

TChangeDiskForm::TChangeDiskForm(TComponent* AOwner) : TBaseChangeDiskForm(AOwner) {
    FDM = FindDialogManager(dmChangeDisk);
}

TEdit* TChangeDiskForm::PathEdit() const {
    return Part<TEdit>("PathEdit");
}

void TChangeDiskForm::FormShow(TObject*) {
    if (FDiskParameter) {
        Part<TTranslateLabel>("PromptDiskLabel")
            ->SetCaption(FormatTranslated("Please insert disk number %d", {FDiskParameter->DiskNumber}));
        PathEdit()->SetText(FDiskParameter->DiskPath);
    }
    auto* install = Part<TTranslateBitBtn>("InstallBtn");
    if (install->HandleAllocated())
        install->SetFocus();
}

void TChangeDiskForm::BrowseBtnClick(TObject*) {
    TOwnedPtr<TOpenFolderDialog> browser(new TOpenFolderDialog(nullptr));
    browser->SetShowCreateButton(false);
    browser->SetShowPathEdit(false);
    if (FDiskParameter) {
        browser->SetDirectory(FDiskParameter->DiskPath);
        if (browser->Execute())
            FDiskParameter->DiskPath = browser->Directory();
        PathEdit()->SetText(FDiskParameter->DiskPath);
    }
}

const TClassInfo& TChangeDiskForm::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TChangeDiskForm, TBaseChangeDiskForm>("TChangeDiskForm", [](auto& c) {
            c.template Method<TNotifyEvent>("FormShow", &TChangeDiskForm::FormShow);
            c.template Method<TNotifyEvent>("BrowseBtnClick", &TChangeDiskForm::BrowseBtnClick);
        });
    return info;
}
