#include "dialogs/dlgcmp_TBaseDlg.h"
#include "dialogs/dlgcmp_TBadInstallationDlg.h"
#include "dialogs/dlgcmp_TCopyFile.h"
#include "dialogs/dlgcmp_TFileGroupSelectDlg.h"
#include "dialogs/dlgcmp_TGoodInstallationDlg.h"
#include "dialogs/dlgcmp_TInstallStatusDlg.h"
#include "dialogs/dlgcmp_TRebootDlg.h"
#include "dialogs/dlgcmp_TWelcomeDlg.h"
#include "dialogs/ordlg_BaseForms.h"
#include "dialogs/ordlg_Pages.h"
#include "dialogs/ordlg_Progress.h"
#include "dialogs/ordlg_TBaseFormContainer.h"
#include "dialogs/ordlg_TFileGroupSelectForm.h"
#include "objects/routines_Log.h"
#include "objects/types_RunState.h"
#include "translate/cmp_TTranslateControls.h"
#include <algorithm>

const std::vector<std::string>& ManagerTypeNames() {
    static const std::vector<std::string> names = {"dmBeforeInstall",   "dmAfterGoodInstall",
                                                   "dmAfterBadInstall", "dmDuringCopyFiles",
                                                   "dmChangeDisk",      "dmReboot"};
    return names;
}

const std::vector<std::string>& DialogPositionNames() {
    static const std::vector<std::string> names = {"qdpCenterLeft", "qdpCenter",       "qdpCenterRight",
                                                   "qdpBottomLeft", "qdpBottomCenter", "qdpBottomRight",
                                                   "qdpTopLeft",    "qdpTopCenter",    "qdpTopRight"};
    return names;
}

const TClassInfo& BaseQuenfoldFormKind() {
    return TBaseQuenfoldForm::StaticClass();
}
const TClassInfo& BaseInstallFormKind() {
    return TBaseInstallForm::StaticClass();
}
const TClassInfo& BaseDuringCopyFormKind() {
    return TBaseDuringCopyForm::StaticClass();
}
const TClassInfo& BaseChangeDiskFormKind() {
    return TBaseChangeDiskForm::StaticClass();
}

// ---------------------------------------------------------------------------
// TCustomBaseInstallDlg

TCustomBaseInstallDlg::TCustomBaseInstallDlg(TComponent* AOwner) : TInstallObject(AOwner) {
    // Dialogs count their Order from 0; a new one still stands in no container.
    FOrder = 0;
}

TCustomBaseInstallDlg::~TCustomBaseInstallDlg() {
    if (FDialogManager)
        FDialogManager->RemoveDialog(this);
    FDialogManager = nullptr;
}

void TCustomBaseInstallDlg::ContainerDestroying(TInstallContainer* Container) {
    TInstallObject::ContainerDestroying(Container);
    if (FDialogManager && static_cast<TInstallContainer*>(FDialogManager) == Container)
        FDialogManager = nullptr;
}

void TCustomBaseInstallDlg::SetDialogManager(TDialogManager* Value) {
    if (Value == FDialogManager)
        return;
    if (Value)
        Value->AddDialog(this);
    if (FDialogManager)
        FDialogManager->RemoveDialog(this);
    FDialogManager = Value;
}

void TCustomBaseInstallDlg::AttachToManagerOfType(TManagerType type) {
    TDialogManager* manager = FindDialogManager(type);
    if (!manager)
        return;
    manager->AddDialog(this);
    FDialogManager = manager;
}

void TCustomBaseInstallDlg::SetThemeBitmap(const TPicture* Value) {
    if (Value)
        FThemeBitmap = *Value;
    else
        FThemeBitmap.Clear();
}

void TCustomBaseInstallDlg::Translate() {
    if (!FForm)
        return;
    if (FAutoSetFont) {
        if (FOverrideMainTranslator)
            SetFormFont(FForm, FTranslateIntoLanguage);
        else
            SetFormFont(FForm);
    }
    if (FAutoTranslate)
        FCurrentLanguage = static_cast<TQnfdLanguage>(
            FOverrideMainTranslator ? TranslateForm(FCurrentLanguage, FForm, FTranslateIntoLanguage)
                                    : TranslateForm(FCurrentLanguage, FForm));
}

void TCustomBaseInstallDlg::AssignDialogProperties() {
    if (!FForm)
        throw Exception(
            FormatTranslated("Cannot AssignDialogProperties for %s because the Dialog is Nil", {Name()}));
    if (auto* form = dynamic_cast<TBaseQuenfoldForm*>(FForm)) {
        form->SetAutoSetFont(FAutoSetFont);
        form->SetAutoTranslate(FAutoTranslate);
        form->SetContainer(FContainer);
        form->SetOverrideMainTranslator(FOverrideMainTranslator);
        form->SetTranslateIntoLanguage(FTranslateIntoLanguage);
    }
    if (auto* page = dynamic_cast<TBaseInstallForm*>(FForm))
        page->SetDC(this);
    Translate();
}

bool TCustomBaseInstallDlg::Execute() {
    try {
        if (OnBeforeExecute)
            OnBeforeExecute(this);
        bool result = ShowForm();
        Application()->ProcessMessages();
        if (OnAfterExecute)
            OnAfterExecute(this);
        return result;
    } catch (const EAbort&) {
        return false;
    }
}

bool TCustomBaseInstallDlg::ShowForm() {
    if (!CanExecute())
        return true;
    // Nobody would press its button: it counts as confirmed.
    if (Application()->Quiet()) {
        LogLine("Dialog", Name() + " not shown, unattended");
        return true;
    }
    FForm = CreateFormOfKind(FormClass(), Application());
    TModalResult result = mrNone;
    try {
        AssignDialogProperties();
        // No wizard makes it current: its buttons are set before it shows.
        if (auto* form = dynamic_cast<TBaseQuenfoldForm*>(FForm))
            form->UpdateControls();
        result = FForm->ShowModal();
    } catch (...) {
        FForm->Free();
        FForm = nullptr;
        throw;
    }
    FForm->Free();
    FForm = nullptr;
    if (result != mrOk)
        throw EAIUserAbort();
    return true;
}

void TCustomBaseInstallDlg::PlaceForm() {
    if (!FForm)
        return;
    TPoint p = PlaceOnScreen(FPosition, FRelativeLeftOffset, FRelativeTopOffset, FWidth, FHeight);
    FForm->SetBounds(p.X, p.Y, FWidth, FHeight);
}

void TCustomBaseInstallDlg::AssignThemeBitmap(TPicture* Picture) {
    if (!Picture)
        return;
    if (!FThemeBitmap.Empty()) {
        *Picture = FThemeBitmap;
        return;
    }
    if (TRunInstall* install = CurrentRunInstall())
        *Picture = install->DialogThemeBitmap();
}

const TClassInfo& TCustomBaseInstallDlg::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TCustomBaseInstallDlg, TInstallObject>("TCustomBaseInstallDlg", [](auto&) {});
    return info;
}

const TClassInfo& TBaseInstallDlg::StaticClass() {
    static const TClassInfo info = DescribeClass<TBaseInstallDlg, TCustomBaseInstallDlg>(
        "TBaseInstallDlg", [](auto& c) { PublishBaseInstallDlg(c); });
    return info;
}

// ---------------------------------------------------------------------------
// TDialogManager

TDialogManager::TDialogManager(TComponent* AOwner) : TInstallObject(AOwner) {}

TDialogManager::~TDialogManager() {
    for (TCustomBaseInstallDlg* dialog : FDialogs)
        if (dialog->FDialogManager == this)
            dialog->FDialogManager = nullptr;
    FDialogs.clear();
    if (CurrentDialogManager() == this)
        CurrentDialogManager() = nullptr;
}

void TDialogManager::ContainerDestroying(TInstallContainer* Container) {
    TInstallObject::ContainerDestroying(Container);
    // By identity: the going object may be half torn down already.
    std::erase_if(FDialogs, [Container](TCustomBaseInstallDlg* d) {
        return static_cast<TInstallContainer*>(d) == Container;
    });
}

void TDialogManager::AddDialog(TCustomBaseInstallDlg* Dialog) {
    if (!Dialog)
        throw Exception(FormatTranslated("Cannot add a NIL Dialog to the Dialog Manager %s", {Name()}));
    if (std::find(FDialogs.begin(), FDialogs.end(), Dialog) == FDialogs.end())
        FDialogs.push_back(Dialog);
}

void TDialogManager::RemoveDialog(TCustomBaseInstallDlg* Dialog) {
    std::erase(FDialogs, Dialog);
}

namespace {
template <class Param>
Param* CheckParameter(const TDialogManager& m, TObject* parameter, const char* wrongClassMessage) {
    if (!parameter)
        throw IException("%s got a nil PO parameter", {m.Name()});
    auto* p = dynamic_cast<Param*>(parameter);
    if (!p)
        throw IException(wrongClassMessage, {m.Name()});
    return p;
}
} // namespace

void TDialogManager::HandleInformationEvent(TObject* Sender, int32_t Code, TObject* ParameterObject) {
    TInstallObject::HandleInformationEvent(Sender, Code, ParameterObject);
    switch (FManagerType) {
    case dmBeforeInstall:
        if (Code == ieBeforeInstall)
            ShowDialogs();
        break;
    case dmAfterGoodInstall:
        if (Code == ieAfterGoodInstall)
            ShowDialogs();
        break;
    case dmAfterBadInstall:
        if (Code == ieAfterBadInstall)
            ShowDialogs();
        break;
    case dmReboot:
        if (Code == ieReboot)
            ShowDialogs();
        break;
    case dmDuringCopyFiles:
        if (Code == ieFileStatus)
            UpdateDuringCopyForms(CheckParameter<TFileStatusParameter>(
                                      *this, ParameterObject,
                                      "The PO object passed to %s is not a TFileStatusParameter object"),
                                  nullptr);
        else if (Code == ieDownloadStatus)
            UpdateDuringCopyForms(nullptr,
                                  CheckParameter<TDownloadStatusParameter>(
                                      *this, ParameterObject,
                                      "The PO object passed to %s is not a TDownloadStatusParameter object"));
        else if (Code == ieOperationDone)
            CloseDuringCopyForms();
        break;
    case dmChangeDisk:
        if (Code == ieNewDisk)
            ShowChangeDisk(ParameterObject);
        break;
    }
}

void TDialogManager::Notification(TComponent* AComponent, TOperation Operation) {
    TInstallObject::Notification(AComponent, Operation);
    if (Operation == opRemove)
        std::erase(FDuringCopyForms, static_cast<TBaseDuringCopyForm*>(dynamic_cast<TForm*>(AComponent)));
}

namespace {
// Clears the current manager and frees the window however the showing ends.
struct TShowingWindow {
    TForm* Form = nullptr;
    ~TShowingWindow() {
        CurrentDialogManager() = nullptr;
        if (Form)
            Form->Free();
    }
};
} // namespace

void TDialogManager::ShowDialogs() {
    // Unattended, every page keeps the defaults it would have offered.
    if (Application()->Quiet()) {
        LogLine("Dialog", Name() + ": wizard not shown, unattended; its pages keep their defaults");
        return;
    }
    TShowingWindow showing;
    CurrentDialogManager() = this;
    auto* wizard = dynamic_cast<TBaseFormContainer*>(
        CreateFormOfKind(&TBaseFormContainer::StaticClass(), Application()));
    showing.Form = wizard;
    wizard->SetPosition(poDesigned);
    wizard->SetBounds(wizard->Left(), wizard->Top(), FWidth, FHeight);
    wizard->PlaceWindow(FPosition, FRelativeLeftOffset, FRelativeTopOffset);
    if (wizard->BuildPages() == 0)
        return;
    if (wizard->ShowModal() == mrAbort)
        throw EAIUserAbort();
    if (TForm* main = Application()->MainForm())
        main->Repaint();
    Application()->ProcessMessages();
}

void TDialogManager::ShowChangeDisk(TObject* ParameterObject) {
    // Unattended, nobody can insert a disk: the install file looks where it
    // was told and fails when the disk file is not there.
    if (BCDFCount() == 0 || Application()->Quiet())
        return;
    TShowingWindow showing;
    TForm* made = CreateFormOfKind(GetBCDF(0)->FormClass, Application());
    showing.Form = made;
    CurrentDialogManager() = this;
    auto* form = dynamic_cast<TBaseChangeDiskForm*>(made);
    if (!form || form->DM() != this)
        return;
    if (!ParameterObject)
        throw Exception(TranslateText(
            "The ParameterObject is Nil in the TDialogManager. Cannot show the change disk form"));
    auto* list = dynamic_cast<TParameterList*>(ParameterObject);
    if (!list)
        throw Exception(TranslateText("TChangeDiskDlg--PO is not a TList object"));
    if (list->Count() < 2)
        throw Exception(TranslateText("TChangeDiskDlg--Not engouh parameters for status event"));
    auto* file = dynamic_cast<TCustomInstallFile*>(list->Items[0]);
    if (!file)
        throw Exception("TChangeDiskDlg says bad first parameter");
    auto* disk = dynamic_cast<TDiskParameter*>(list->Items[1]);
    if (!disk)
        throw Exception("TChangeDiskDlg says bad second parameter");
    // Tells the install file that a window took the request.
    file->SetTag(1);
    form->SetDiskParameter(disk);
    form->UpdateControls();
    form->TranslateForm();
    if (form->ShowModal() == mrAbort)
        throw EAIUserAbort();
}

void TDialogManager::CreateDuringCopyForms() {
    for (int i = 0; i < DCFCount(); ++i) {
        TDCFEntry* entry = GetDCF(i);
        auto* form = dynamic_cast<TBaseDuringCopyForm*>(CreateFormOfKind(entry->FormClass, Application()));
        if (!form)
            continue;
        if (form->DM() != this) {
            form->Free();
            continue;
        }
        try {
            if (entry->Dialog) {
                entry->Dialog->FForm = form;
                entry->Dialog->PlaceForm();
            }
            form->UpdateControls();
            form->TranslateForm();
            form->Show();
        } catch (...) {
            form->Free();
            throw;
        }
        FreeNotification(form);
        FDuringCopyForms.push_back(form);
    }
}

void TDialogManager::UpdateDuringCopyForms(TFileStatusParameter* FileStatus,
                                           TDownloadStatusParameter* DownloadStatus) {
    // Progress is for a person watching; unattended there is none.
    if (FDuringCopyForms.empty() && Application()->Quiet())
        return;
    if (FDuringCopyForms.empty())
        CreateDuringCopyForms();
    // A copy: a window may go while it is fed.
    std::vector<TBaseDuringCopyForm*> forms = FDuringCopyForms;
    for (TBaseDuringCopyForm* form : forms)
        if (std::find(FDuringCopyForms.begin(), FDuringCopyForms.end(), form) != FDuringCopyForms.end())
            form->UpdateStatus(FileStatus, DownloadStatus);
}

void TDialogManager::CloseDuringCopyForms() {
    std::vector<TBaseDuringCopyForm*> forms;
    forms.swap(FDuringCopyForms);
    for (TBaseDuringCopyForm* form : forms) {
        RemoveFreeNotification(form);
        form->Close();
        // The next status opens new windows: this one is freed once the
        // message that may have come from its own button is done.
        for (int i = 0; i < DCFCount(); ++i)
            if (GetDCF(i)->Dialog && GetDCF(i)->Dialog->FForm == form)
                GetDCF(i)->Dialog->FForm = nullptr;
        Application()->ReleaseForm(form);
    }
}

const TClassInfo& TDialogManager::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TDialogManager, TInstallObject>("TDialogManager", [](auto& c) {
            c.Int("Height", &TDialogManager::Height, &TDialogManager::SetHeight, 395);
            c.Enum("ManagerType", ManagerTypeNames(), &TDialogManager::ManagerType,
                   &TDialogManager::SetManagerType, dmBeforeInstall);
            c.Enum("Position", DialogPositionNames(), &TDialogManager::Position, &TDialogManager::SetPosition,
                   qdpCenter);
            c.Int("RelativeLeftOffset", &TDialogManager::RelativeLeftOffset,
                  &TDialogManager::SetRelativeLeftOffset, 0);
            c.Int("RelativeTopOffset", &TDialogManager::RelativeTopOffset,
                  &TDialogManager::SetRelativeTopOffset, 0);
            c.Int("Width", &TDialogManager::Width, &TDialogManager::SetWidth, 478);
        });
    return info;
}

TDialogManager* FindDialogManager(TManagerType type) {
    TInstallContainer* install = CurrentInstallContainer();
    if (!install)
        return nullptr;
    TInstallContainerList& list = InstallContainerList();
    for (int i = 0; i < list.Count(); ++i) {
        auto* manager = dynamic_cast<TDialogManager*>(list.Items(i));
        if (manager && manager->ManagerType() == type && manager->Container() == install)
            return manager;
    }
    return nullptr;
}

TDialogManager*& CurrentDialogManager() {
    static TDialogManager* current = nullptr;
    return current;
}

// ---------------------------------------------------------------------------
// Registries. They live from program start to program end; a component that
// outlives them (destroyed during the program's exit) finds none and leaves
// its entry alone.

namespace {
TBIFList* GBIFList = nullptr;
TDCFList* GDCFList = nullptr;
TBCDFList* GBCDFList = nullptr;

template <class List> List& EnsureList(List*& list, const char* name) {
    if (!list)
        list = new List(name);
    return *list;
}

void RegisterStandaloneForms();

struct TRegistries {
    TRegistries() {
        EnsureList(GBIFList, "BIFList");
        EnsureList(GDCFList, "DCFList");
        EnsureList(GBCDFList, "BCDFList");
        RegisterStandaloneForms();
    }
    ~TRegistries() {
        delete GBIFList;
        GBIFList = nullptr;
        delete GDCFList;
        GDCFList = nullptr;
        delete GBCDFList;
        GBCDFList = nullptr;
    }
} GRegistries;

template <class List> List& Existing(List* list, const char* name) {
    if (!list)
        throw Exception(TranslateText(std::string("The ") + name + " is NIL"));
    return *list;
}

void CheckKind(TFormClass formClass, const TClassInfo& kind, const char* list) {
    if (!formClass || !formClass->InheritsFrom(kind))
        throw Exception(Format("The %s takes only form kinds derived from %s, not %s",
                               {list, kind.Name, formClass ? formClass->Name : std::string("NIL")}));
}
} // namespace

TBIFEntry* RegisterBIF(TFormClass formClass, TCustomBaseInstallDlg* dialog) {
    CheckKind(formClass, BaseInstallFormKind(), "BIFList");
    return EnsureList(GBIFList, "BIFList").Add(std::make_unique<TBIFEntry>(TBIFEntry{formClass, dialog}));
}
void UnregisterBIF(const TBIFEntry* entry) {
    if (GBIFList)
        GBIFList->Remove(entry);
}
int BIFCount() {
    return GBIFList ? GBIFList->Count() : 0;
}
TBIFEntry* GetBIF(int index) {
    return Existing(GBIFList, "BIFList").Get(index);
}

TDCFEntry* RegisterDCF(TFormClass formClass, TCopyFileDlg* dialog) {
    CheckKind(formClass, BaseDuringCopyFormKind(), "DCFList");
    return EnsureList(GDCFList, "DCFList").Add(std::make_unique<TDCFEntry>(TDCFEntry{formClass, dialog}));
}
void UnregisterDCF(const TDCFEntry* entry) {
    if (GDCFList)
        GDCFList->Remove(entry);
}
int DCFCount() {
    return GDCFList ? GDCFList->Count() : 0;
}
TDCFEntry* GetDCF(int index) {
    return Existing(GDCFList, "DCFList").Get(index);
}

TBCDFEntry* RegisterBCDF(TFormClass formClass) {
    CheckKind(formClass, BaseChangeDiskFormKind(), "BCDFList");
    return EnsureList(GBCDFList, "BCDFList").Add(std::make_unique<TBCDFEntry>(TBCDFEntry{formClass}));
}
void UnregisterBCDF(const TBCDFEntry* entry) {
    if (GBCDFList)
        GBCDFList->Remove(entry);
}
int BCDFCount() {
    return GBCDFList ? GBCDFList->Count() : 0;
}
TBCDFEntry* GetBCDF(int index) {
    return Existing(GBCDFList, "BCDFList").Get(index);
}

namespace {
// Every window kind registers on its own at program start; a kind that has a
// dialog-component kind withdraws that entry at once, because its component
// registers it with its settings. Every kind of this program has one, so no
// standalone entry stays.
void RegisterStandaloneForms() {
    struct TKind {
        TFormClass Form;
        bool HasComponentKind;
    };
    const TKind pages[] = {{&TWelcomeForm::StaticClass(), true},
                           {&TGoodInstallForm::StaticClass(), true},
                           {&TBadInstallForm::StaticClass(), true},
                           {&TRebootForm::StaticClass(), true},
                           {&TFileGroupSelectForm::StaticClass(), true}};
    for (const TKind& k : pages)
        if (TBIFEntry* e = RegisterBIF(k.Form, nullptr); k.HasComponentKind)
            UnregisterBIF(e);
    if (TDCFEntry* e = RegisterDCF(&TCopyFileForm::StaticClass(), nullptr))
        UnregisterDCF(e);
    if (TBCDFEntry* e = RegisterBCDF(&TChangeDiskForm::StaticClass()))
        UnregisterBCDF(e);
}
} // namespace

void RegisterDialogClasses() {
    RegisterTranslateControlClasses();
    RegisterClass(TDialogManager::StaticClass());
    RegisterClass(TGoodInstallationDlg::StaticClass());
    RegisterClass(TBadInstallationDlg::StaticClass());
    RegisterClass(TCopyFileDlg::StaticClass());
    RegisterClass(TInstallStatusDlg::StaticClass());
    RegisterClass(TWelcomeDlg::StaticClass());
    RegisterClass(TRebootDlg::StaticClass());
    RegisterClass(TFileGroupSelectDlg::StaticClass());
}
