#include "dialogs/ordlg_Progress.h"
#include "dialogs/routines_Pictures.h"
#include "toolkit/forms_ComCtrls.h"
#include "toolkit/forms_ExtCtrls.h"
#include "toolkit/forms_FolderBrowser.h"
#include "toolkit/forms_StdCtrls.h"
#include "translate/cmp_TTranslateControls.h"

namespace {
// Puts a picture of our own into an image of the window that has none.
void GivePicture(TForm& form, const char* image, const std::vector<uint8_t>& bitmap) {
    auto* i = dynamic_cast<TImage*>(form.FindComponent(image));
    if (!i || !i->Picture().Empty())
        return;
    TPicture picture;
    picture.SetData(bitmap);
    i->SetTransparent(true);
    i->SetPicture(picture);
}
} // namespace

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

void TCopyFileForm::Loaded() {
    TBaseDuringCopyForm::Loaded();
    GivePicture(*this, "UnZipImage", ExtractionBitmap());
    GivePicture(*this, "TransferBitmap", TransferBitmap());
}

bool TCopyFileForm::TransferShown() const {
    return Part<TImage>("TransferBitmap")->Visible();
}

void TCopyFileForm::UpdateStatus(TFileStatusParameter* FileStatus, TDownloadStatusParameter* DownloadStatus) {
    // The two pictures lie in the same place: the transfer while a file is
    // downloaded, the archive otherwise.
    auto* transfer = Part<TImage>("TransferBitmap");
    auto* unzip = Part<TImage>("UnZipImage");
    if (FileStatus) {
        transfer->Hide();
        unzip->Show();
        TotalBar()->SetPosition(FileStatus->TotalPercentDone);
        FileBar()->SetPosition(FileStatus->FilePercentDone);
        FileLabel()->SetCaption(FileStatus->FileName);
    } else if (DownloadStatus) {
        transfer->Show();
        unzip->Hide();
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

void TInstallStatusForm::Loaded() {
    TForm::Loaded();
    GivePicture(*this, "Image1", StatusIconBitmap());
}

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

void TChangeDiskForm::Loaded() {
    TBaseChangeDiskForm::Loaded();
    GivePicture(*this, "ThemeBitmap", DiskBitmap());
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
