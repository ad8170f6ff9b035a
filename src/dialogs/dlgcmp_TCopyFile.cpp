#include "dialogs/dlgcmp_TCopyFile.h"
#include "dialogs/ordlg_Progress.h"

const TClassInfo& CopyFileFormKind() {
    return TCopyFileForm::StaticClass();
}

namespace {
// Below the screen's centre, clear of the task bar.
TDialogDefaults CopyFileDefaults() {
    TDialogDefaults d;
    d.Height = 146;
    d.Position = qdpBottomCenter;
    d.RelativeTopOffset = 30;
    d.Width = 474;
    return d;
}
} // namespace

TCopyFileDlg::TCopyFileDlg(TComponent* AOwner) : TCustomBaseInstallDlg(AOwner) {
    const TDialogDefaults d = CopyFileDefaults();
    FHeight = d.Height;
    FPosition = d.Position;
    FRelativeLeftOffset = d.RelativeLeftOffset;
    FRelativeTopOffset = d.RelativeTopOffset;
    FWidth = d.Width;
    FEntry = RegisterDCF(&CopyFileFormKind(), this);
    AttachToManagerOfType(dmDuringCopyFiles);
}

TCopyFileDlg::~TCopyFileDlg() {
    UnregisterDCF(FEntry);
}

const TClassInfo& TCopyFileDlg::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TCopyFileDlg, TCustomBaseInstallDlg>("TCopyFileDlg", [](auto& c) {
            PublishDialogProps(c,
                               {"AutoSetFont", "AutoTranslate", "DialogManager", "Height",
                                "OverrideMainTranslator", "Position", "RelativeLeftOffset",
                                "RelativeTopOffset", "ThemeBitmap", "TranslateIntoLanguage", "Width"},
                               CopyFileDefaults());
        });
    return info;
}
