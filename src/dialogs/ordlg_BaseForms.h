// The base forms of every window the dialog framework shows: the common
// settings copied from a dialog component and the window's translation
// (TBaseQuenfoldForm), wizard pages (TBaseInstallForm), progress windows
// (TBaseDuringCopyForm) and the change-disk window (TBaseChangeDiskForm).
#pragma once
#include "dialogs/dlgcmp_TBaseDlg.h"

class TBaseFormContainer;
class TImage;

class TBaseQuenfoldForm : public TForm {
    QFD_CLASS(TBaseQuenfoldForm)
public:
    explicit TBaseQuenfoldForm(TComponent* AOwner);

    virtual void Retranslate() { TranslateForm(); }
    // Pages set their buttons here when they become current.
    virtual void UpdateControls() {}
    // The language's fonts and texts, as the copied settings say.
    virtual void TranslateForm();

    bool AutoSetFont() const { return FAutoSetFont; }
    void SetAutoSetFont(bool v) { FAutoSetFont = v; }
    bool AutoTranslate() const { return FAutoTranslate; }
    void SetAutoTranslate(bool v) { FAutoTranslate = v; }
    TInstallContainer* Container() const { return FContainer; }
    void SetContainer(TInstallContainer* v) { FContainer = v; }
    bool OverrideMainTranslator() const { return FOverrideMainTranslator; }
    void SetOverrideMainTranslator(bool v) { FOverrideMainTranslator = v; }
    TQnfdLanguage TranslateIntoLanguage() const { return FTranslateIntoLanguage; }
    void SetTranslateIntoLanguage(TQnfdLanguage v) { FTranslateIntoLanguage = v; }
    TQnfdLanguage CurrentLanguage() const { return FCurrentLanguage; }

protected:
    // A control of the stored layout; raises when the layout lacks it.
    template <class T> T* Part(const char* name) const {
        T* part = dynamic_cast<T*>(FindComponent(name));
        if (!part)
            throw EComponentError(Format("The window %s has no %s", {ClassName(), std::string(name)}));
        return part;
    }

    bool FAutoSetFont = true;
    bool FAutoTranslate = true;
    TInstallContainer* FContainer = nullptr;
    bool FOverrideMainTranslator = false;
    TQnfdLanguage FTranslateIntoLanguage = qlUser;
    TQnfdLanguage FCurrentLanguage = qlEnglish;
};

// A wizard page. Created with a form as owner it is a child window of that
// form; alone it is a window of its own.
class TBaseInstallForm : public TBaseQuenfoldForm {
    QFD_CLASS(TBaseInstallForm)
public:
    explicit TBaseInstallForm(TComponent* AOwner);
    void Loaded() override;

    virtual bool IsFirstPage();
    virtual bool IsLastPage();
    virtual void PageLeaving() {}
    virtual void CancelWizard();
    virtual void GoNext();
    virtual void GoBack();
    virtual void PageActivated();
    virtual bool SkipPage() { return false; }
    virtual void ConfirmCancel();

    // The install component's theme picture into an empty image.
    void AssignDefaultThemeBitmap(TImage* image);

    TCustomBaseInstallDlg* DC() const { return FDC; }
    void SetDC(TCustomBaseInstallDlg* v) { FDC = v; }
    TDialogManager* DM() const { return FDM; }
    void SetDM(TDialogManager* v) { FDM = v; }
    int32_t Order() const { return FOrder; }
    void SetOrder(int32_t v) { FOrder = v; }

    // The handlers the stored layouts bind by name.
    void FormCreate(TObject*) { PageCreate(); }
    void BackBtnClick(TObject*) { GoBack(); }
    void ProceedBtnClick(TObject*) { GoNext(); }
    void CancelBtnClick(TObject*) { ConfirmCancel(); }

protected:
    TBaseFormContainer* Wizard() const;
    // The window whose modal result ends the page: its wizard, or itself.
    TForm* ModalWindow();
    // The page's own create handler: the theme picture.
    void PageCreate();

    TCustomBaseInstallDlg* FDC = nullptr;
    TDialogManager* FDM = nullptr;
    int32_t FOrder = 0;
};

// A progress window, shown while the files are copied.
class TBaseDuringCopyForm : public TBaseQuenfoldForm {
    QFD_CLASS(TBaseDuringCopyForm)
public:
    using TBaseQuenfoldForm::TBaseQuenfoldForm;
    virtual void ConfirmCancel();
    // Either status may be none.
    virtual void UpdateStatus(TFileStatusParameter* FileStatus, TDownloadStatusParameter* DownloadStatus) {}

    TDialogManager* DM() const { return FDM; }
    void SetDM(TDialogManager* v) { FDM = v; }
    void CancelBtnClick(TObject*) { ConfirmCancel(); }

protected:
    TDialogManager* FDM = nullptr;
};

class TBaseChangeDiskForm : public TBaseQuenfoldForm {
    QFD_CLASS(TBaseChangeDiskForm)
public:
    using TBaseQuenfoldForm::TBaseQuenfoldForm;
    virtual void ConfirmCancel();

    TDiskParameter* DiskParameter() const { return FDiskParameter; }
    void SetDiskParameter(TDiskParameter* v) { FDiskParameter = v; }
    TDialogManager* DM() const { return FDM; }
    void SetDM(TDialogManager* v) { FDM = v; }
    void CancelBtnClick(TObject*) { ConfirmCancel(); }

protected:
    TDiskParameter* FDiskParameter = nullptr;
    TDialogManager* FDM = nullptr;
};

// True when the person may cancel: no installation component to ask, or its
// OnUserAbort agrees.
bool UserMayAbort();

// Creates a window of the kind from its stored layout in the program's
// resources; nothing is left behind when that fails.
TForm* CreateFormOfKind(TFormClass kind, TComponent* owner);

// The placement rule of windows: left and top of a window of width w and
// height h at position with the offsets, on a screen of sw x sh whose
// window captions are captionHeight high.
TPoint PlaceRect(TQuenfoldDialogPosition position, int32_t leftOffset, int32_t topOffset, int32_t w,
                 int32_t h, int32_t sw, int32_t sh, int32_t captionHeight);
// The same on this screen.
TPoint PlaceOnScreen(TQuenfoldDialogPosition position, int32_t leftOffset, int32_t topOffset, int32_t w,
                     int32_t h);
