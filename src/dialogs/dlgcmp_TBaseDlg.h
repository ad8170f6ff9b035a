// The dialog framework: dialog components (install objects that stand for one
// window kind and carry its settings), the dialog manager that reacts to the
// engine's information broadcasts, and the registries of the window kinds.
//
// Built so far: the components' settings as a project stores them, their place
// among the install objects, the links between dialogs and managers and the
// registries. Still to come with the windows: the forms themselves, showing
// them (Execute, ShowForm, ShowDialogs, the progress and change-disk windows),
// translating them and placing them on the screen. Reaching one of those now
// raises an IException that says the window is not built yet; only the
// progress of copying, which must not stop the copying, shows nowhere.
#pragma once
#include "objects/cmp_TInstallContainer.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Forms.h"
#include "toolkit/graphics_Types.h"
#include "translate/cmp_TTranslator.h"
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TDialogManager;
class TCopyFileDlg;

// When a manager shows its windows (the information code it answers).
enum TManagerType : int32_t {
    dmBeforeInstall,
    dmAfterGoodInstall,
    dmAfterBadInstall,
    dmDuringCopyFiles,
    dmChangeDisk,
    dmReboot
};
const std::vector<std::string>& ManagerTypeNames();

// Where a window is placed on the screen.
enum TQuenfoldDialogPosition : int32_t {
    qdpCenterLeft,
    qdpCenter,
    qdpCenterRight,
    qdpBottomLeft,
    qdpBottomCenter,
    qdpBottomRight,
    qdpTopLeft,
    qdpTopCenter,
    qdpTopRight
};
const std::vector<std::string>& DialogPositionNames();

// A form kind is named by its class description, which creates it.
using TFormClass = const TClassInfo*;
const TClassInfo& BaseQuenfoldFormKind();
const TClassInfo& BaseInstallFormKind();    // wizard pages
const TClassInfo& BaseDuringCopyFormKind(); // progress windows
const TClassInfo& BaseChangeDiskFormKind(); // the change-disk window
class TBaseDuringCopyForm;

// The base of every dialog component.
class TCustomBaseInstallDlg : public TInstallObject {
    QFD_CLASS(TCustomBaseInstallDlg)
public:
    explicit TCustomBaseInstallDlg(TComponent* AOwner);
    ~TCustomBaseInstallDlg() override;

    Integer RegisteredType() override { return rtDialog; }
    void ContainerDestroying(TInstallContainer* Container) override;
    void RefreshTranslation() override { Translate(); }

    virtual void SetDialogManager(TDialogManager* Value);
    // Copies the picture; none empties the component's own.
    virtual void SetThemeBitmap(const TPicture* Value);
    virtual void Translate();
    virtual void AssignDialogProperties();
    // True when the form was confirmed or not needed.
    virtual bool Execute();
    virtual bool ShowForm();
    virtual TFormClass FormClass() const = 0;
    virtual bool CanExecute() { return true; }
    void PlaceForm();
    // Gives a window's picture the theme bitmap (the installation's when the
    // component has none).
    void AssignThemeBitmap(TPicture* Picture);

    bool AutoSetFont() const { return FAutoSetFont; }
    void SetAutoSetFont(bool v) { FAutoSetFont = v; }
    bool AutoTranslate() const { return FAutoTranslate; }
    void SetAutoTranslate(bool v) { FAutoTranslate = v; }
    TQnfdLanguage CurrentLanguage() const { return FCurrentLanguage; }
    TForm* Form() const { return FForm; }
    TDialogManager* DialogManager() const { return FDialogManager; }
    int32_t Height() const { return FHeight; }
    void SetHeight(int32_t v) { FHeight = v; }
    bool OverrideMainTranslator() const { return FOverrideMainTranslator; }
    void SetOverrideMainTranslator(bool v) { FOverrideMainTranslator = v; }
    TQuenfoldDialogPosition Position() const { return FPosition; }
    void SetPosition(TQuenfoldDialogPosition v) { FPosition = v; }
    int32_t RelativeLeftOffset() const { return FRelativeLeftOffset; }
    void SetRelativeLeftOffset(int32_t v) { FRelativeLeftOffset = v; }
    int32_t RelativeTopOffset() const { return FRelativeTopOffset; }
    void SetRelativeTopOffset(int32_t v) { FRelativeTopOffset = v; }
    TQnfdLanguage TranslateIntoLanguage() const { return FTranslateIntoLanguage; }
    void SetTranslateIntoLanguage(TQnfdLanguage v) { FTranslateIntoLanguage = v; }
    TPicture& ThemeBitmap() { return FThemeBitmap; }
    int32_t Width() const { return FWidth; }
    void SetWidth(int32_t v) { FWidth = v; }

    TNotifyEvent OnAfterExecute, OnBeforeExecute;

protected:
    // The constructor's link to the manager of the component's kind: the
    // manager learns of the dialog too, so the two sides always agree.
    void AttachToManagerOfType(TManagerType type);

    bool FAutoSetFont = true;
    bool FAutoTranslate = true;
    TQnfdLanguage FCurrentLanguage = qlEnglish;
    TForm* FForm = nullptr;
    TDialogManager* FDialogManager = nullptr;
    int32_t FHeight = 0;
    bool FOverrideMainTranslator = false;
    TQuenfoldDialogPosition FPosition = qdpCenter;
    int32_t FRelativeLeftOffset = 0;
    int32_t FRelativeTopOffset = 0;
    TQnfdLanguage FTranslateIntoLanguage = qlUser;
    TPicture FThemeBitmap;
    int32_t FWidth = 0;

private:
    friend class TDialogManager;
    friend class TBaseFormContainer;
};

// Publishes the settings every wizard-page component shows in a project.
class TBaseInstallDlg : public TCustomBaseInstallDlg {
    QFD_CLASS(TBaseInstallDlg)
public:
    using TCustomBaseInstallDlg::TCustomBaseInstallDlg;
};

// Shows the wizard, the progress windows or the change-disk window of one
// moment of the installation, as its ManagerType says.
class TDialogManager : public TInstallObject {
    QFD_CLASS(TDialogManager)
public:
    explicit TDialogManager(TComponent* AOwner);
    ~TDialogManager() override;

    Integer RegisteredType() override { return rtDialog; }
    void ContainerDestroying(TInstallContainer* Container) override;
    void HandleInformationEvent(TObject* Sender, int32_t Code, TObject* ParameterObject) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

    virtual void ShowDialogs();
    virtual void ShowChangeDisk(TObject* ParameterObject);
    // Raises a plain Exception for none; a dialog already attached stays once.
    virtual void AddDialog(TCustomBaseInstallDlg* Dialog);
    virtual void RemoveDialog(TCustomBaseInstallDlg* Dialog);

    int DialogCount() const { return static_cast<int>(FDialogs.size()); }
    TCustomBaseInstallDlg* Dialogs(int i) const { return FDialogs.at(static_cast<size_t>(i)); }

    int32_t Height() const { return FHeight; }
    void SetHeight(int32_t v) { FHeight = v; }
    TManagerType ManagerType() const { return FManagerType; }
    void SetManagerType(TManagerType v) { FManagerType = v; }
    TQuenfoldDialogPosition Position() const { return FPosition; }
    void SetPosition(TQuenfoldDialogPosition v) { FPosition = v; }
    int32_t RelativeLeftOffset() const { return FRelativeLeftOffset; }
    void SetRelativeLeftOffset(int32_t v) { FRelativeLeftOffset = v; }
    int32_t RelativeTopOffset() const { return FRelativeTopOffset; }
    void SetRelativeTopOffset(int32_t v) { FRelativeTopOffset = v; }
    int32_t Width() const { return FWidth; }
    void SetWidth(int32_t v) { FWidth = v; }

protected:
    // The progress windows: opened on the first status, fed, closed on -996.
    virtual void CreateDuringCopyForms();
    virtual void UpdateDuringCopyForms(TFileStatusParameter* FileStatus,
                                       TDownloadStatusParameter* DownloadStatus);
    virtual void CloseDuringCopyForms();

public:
    // The progress windows open now.
    int DuringCopyFormCount() const { return static_cast<int>(FDuringCopyForms.size()); }
    TBaseDuringCopyForm* DuringCopyForms(int i) const { return FDuringCopyForms.at(static_cast<size_t>(i)); }

private:
    int32_t FHeight = 395;
    TManagerType FManagerType = dmBeforeInstall;
    TQuenfoldDialogPosition FPosition = qdpCenter;
    int32_t FRelativeLeftOffset = 0;
    int32_t FRelativeTopOffset = 0;
    int32_t FWidth = 478;
    std::vector<TCustomBaseInstallDlg*> FDialogs;
    std::vector<TBaseDuringCopyForm*> FDuringCopyForms;
};

// The first manager of the given type whose container is the installation
// component; none without an installation component.
TDialogManager* FindDialogManager(TManagerType type);
// The manager that is building and showing a wizard or change-disk window.
TDialogManager*& CurrentDialogManager();

// ---------------------------------------------------------------------------
// Registries of the window kinds. Each registry owns its entries; a dialog
// component adds its entry when it is made and withdraws it when it goes.

struct TBIFEntry {
    TFormClass FormClass = nullptr; // a wizard page kind
    TCustomBaseInstallDlg* Dialog = nullptr;
};
struct TDCFEntry {
    TFormClass FormClass = nullptr; // a progress window kind
    TCopyFileDlg* Dialog = nullptr;
};
struct TBCDFEntry {
    TFormClass FormClass = nullptr; // a change-disk window kind
};

// An ordered registry of entries; Name appears in its messages ("BIFList").
template <class Entry> class TFormRegistry {
public:
    explicit TFormRegistry(const char* name) : FName(name) {}
    Entry* Add(std::unique_ptr<Entry> e) {
        FEntries.push_back(std::move(e));
        return FEntries.back().get();
    }
    // Removes and frees the entry; one not in the registry is ignored.
    void Remove(const Entry* e) {
        for (auto it = FEntries.begin(); it != FEntries.end(); ++it)
            if (it->get() == e) {
                FEntries.erase(it);
                return;
            }
    }
    int Count() const { return static_cast<int>(FEntries.size()); }
    Entry* Get(int index) const;
    const char* Name() const { return FName; }

private:
    const char* FName;
    std::vector<std::unique_ptr<Entry>> FEntries;
};
using TBIFList = TFormRegistry<TBIFEntry>;
using TDCFList = TFormRegistry<TDCFEntry>;
using TBCDFList = TFormRegistry<TBCDFEntry>;

template <class Entry> Entry* TFormRegistry<Entry>::Get(int index) const {
    std::string list(FName);
    if (index < 0 || index >= Count())
        throw Exception(FormatTranslated("%d is an invalid index in the " + list, {index}));
    Entry* e = FEntries[static_cast<size_t>(index)].get();
    if (!e)
        throw Exception(FormatTranslated("The %d 'th entry in the " + list + " is NIL", {index}));
    return e;
}

// Creates the registry when it does not exist yet; returns the new entry.
// A form kind that does not fit the registry raises a plain Exception.
TBIFEntry* RegisterBIF(TFormClass formClass, TCustomBaseInstallDlg* dialog);
void UnregisterBIF(const TBIFEntry* entry);
int BIFCount();
TBIFEntry* GetBIF(int index);

TDCFEntry* RegisterDCF(TFormClass formClass, TCopyFileDlg* dialog);
void UnregisterDCF(const TDCFEntry* entry);
int DCFCount();
TDCFEntry* GetDCF(int index);

TBCDFEntry* RegisterBCDF(TFormClass formClass);
void UnregisterBCDF(const TBCDFEntry* entry);
int BCDFCount();
TBCDFEntry* GetBCDF(int index);

// The declared defaults of the placement settings, which differ per kind.
struct TDialogDefaults {
    int32_t Height = 0;
    TQuenfoldDialogPosition Position = qdpCenter;
    int32_t RelativeLeftOffset = 0;
    int32_t RelativeTopOffset = 0;
    int32_t Width = 0;
};

// Publishes the named dialog settings in the given order; each dialog kind
// shows its own selection of them in a project. Container and Order come
// published with every install object.
template <class T>
void PublishDialogProps(TClassBuilder<T>& c, std::initializer_list<std::string_view> names,
                        const TDialogDefaults& def = {}) {
    using D = TCustomBaseInstallDlg;
    for (std::string_view n : names) {
        if (n == "AutoSetFont")
            c.Bool("AutoSetFont", &D::AutoSetFont, &D::SetAutoSetFont, true);
        else if (n == "AutoTranslate")
            c.Bool("AutoTranslate", &D::AutoTranslate, &D::SetAutoTranslate, true);
        else if (n == "DialogManager")
            c.template Ref<TDialogManager>("DialogManager", &D::DialogManager, &D::SetDialogManager);
        else if (n == "Height")
            c.Int("Height", &D::Height, &D::SetHeight, def.Height);
        else if (n == "OverrideMainTranslator")
            c.Bool("OverrideMainTranslator", &D::OverrideMainTranslator, &D::SetOverrideMainTranslator,
                   false);
        else if (n == "Position")
            c.Enum("Position", DialogPositionNames(), &D::Position, &D::SetPosition, def.Position);
        else if (n == "RelativeLeftOffset")
            c.Int("RelativeLeftOffset", &D::RelativeLeftOffset, &D::SetRelativeLeftOffset,
                  def.RelativeLeftOffset);
        else if (n == "RelativeTopOffset")
            c.Int("RelativeTopOffset", &D::RelativeTopOffset, &D::SetRelativeTopOffset,
                  def.RelativeTopOffset);
        else if (n == "ThemeBitmap")
            c.Picture("ThemeBitmap", [](T& o) -> TPicture& { return o.ThemeBitmap(); });
        else if (n == "TranslateIntoLanguage")
            c.Enum("TranslateIntoLanguage", LanguageIdentNames(), &D::TranslateIntoLanguage,
                   &D::SetTranslateIntoLanguage, qlUser);
        else if (n == "Width")
            c.Int("Width", &D::Width, &D::SetWidth, def.Width);
        else if (n == "OnAfterExecute")
            c.Event("OnAfterExecute", static_cast<TNotifyEvent T::*>(&D::OnAfterExecute));
        else if (n == "OnBeforeExecute")
            c.Event("OnBeforeExecute", static_cast<TNotifyEvent T::*>(&D::OnBeforeExecute));
        else
            throw EComponentError("No dialog setting is named " + std::string(n));
    }
}

// The settings a wizard-page component publishes.
template <class T> void PublishBaseInstallDlg(TClassBuilder<T>& c) {
    PublishDialogProps(c, {"AutoSetFont", "AutoTranslate", "DialogManager", "OverrideMainTranslator",
                           "ThemeBitmap", "TranslateIntoLanguage", "OnAfterExecute", "OnBeforeExecute"});
}

// Every dialog class a stored project may create by name.
void RegisterDialogClasses();
