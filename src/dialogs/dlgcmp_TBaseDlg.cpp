#include "dialogs/dlgcmp_TBaseDlg.h"
#include "dialogs/dlgcmp_TBadInstallationDlg.h"
#include "dialogs/dlgcmp_TCopyFile.h"
#include "dialogs/dlgcmp_TGoodInstallationDlg.h"
#include "dialogs/dlgcmp_TInstallStatusDlg.h"
#include "engine/cmp_TInstall.h"
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

TClassInfo DescribeFormKind(const char* name, const TClassInfo& parent) {
    TClassInfo info;
    info.Name = name;
    info.Parent = &parent;
    return info;
}

const TClassInfo& BaseQuenfoldFormKind() {
    static const TClassInfo info = DescribeFormKind("TBaseQuenfoldForm", TForm::StaticClass());
    return info;
}
const TClassInfo& BaseInstallFormKind() {
    static const TClassInfo info = DescribeFormKind("TBaseInstallForm", BaseQuenfoldFormKind());
    return info;
}
const TClassInfo& BaseDuringCopyFormKind() {
    static const TClassInfo info = DescribeFormKind("TBaseDuringCopyForm", BaseQuenfoldFormKind());
    return info;
}
const TClassInfo& BaseChangeDiskFormKind() {
    static const TClassInfo info = DescribeFormKind("TBaseChangeDiskForm", BaseQuenfoldFormKind());
    return info;
}

void RaiseWindowNotBuilt(const std::string& who, const std::string& window) {
    throw IException("%s needs the %s, which is not built yet", {who, window});
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
    RaiseWindowNotBuilt(Name(), "translation of its window");
}

void TCustomBaseInstallDlg::AssignDialogProperties() {
    if (!FForm)
        throw Exception(
            FormatTranslated("Cannot AssignDialogProperties for %s because the Dialog is Nil", {Name()}));
    RaiseWindowNotBuilt(Name(), std::string(FormClass()->Name) + " window");
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
    RaiseWindowNotBuilt(Name(), std::string(FormClass()->Name) + " window");
}

void TCustomBaseInstallDlg::PlaceForm() {
    if (!FForm)
        return;
    RaiseWindowNotBuilt(Name(), "placement of its window");
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

void TDialogManager::ShowDialogs() {
    // The wizard takes the pages of the dialogs attached to this manager and
    // every page kind registered on its own; with none it shows nothing.
    bool anyPage = false;
    for (int i = 0; i < BIFCount() && !anyPage; ++i) {
        TBIFEntry* entry = GetBIF(i);
        anyPage = !entry->Dialog || (entry->Dialog->DialogManager() == this && entry->Dialog->CanExecute());
    }
    if (anyPage)
        RaiseWindowNotBuilt(Name(), "wizard window");
}

void TDialogManager::ShowChangeDisk(TObject*) {
    if (BCDFCount() == 0)
        return;
    RaiseWindowNotBuilt(Name(), "change-disk window");
}

void TDialogManager::UpdateDuringCopyForms(TObject*, TObject*) {
    // The copy-progress window comes with the windows. Progress must not stop
    // the copying it reports, so until then it shows nowhere; the run's log
    // names every file instead.
}

void TDialogManager::CloseDuringCopyForms() {
    // No progress window can be open before the windows exist: nothing to close.
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
    TInstallContainer* install = CurrentInstall();
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

struct TRegistries {
    TRegistries() {
        EnsureList(GBIFList, "BIFList");
        EnsureList(GDCFList, "DCFList");
        EnsureList(GBCDFList, "BCDFList");
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

void RegisterDialogClasses() {
    RegisterClass(TDialogManager::StaticClass());
    RegisterClass(TGoodInstallationDlg::StaticClass());
    RegisterClass(TBadInstallationDlg::StaticClass());
    RegisterClass(TCopyFileDlg::StaticClass());
    RegisterClass(TInstallStatusDlg::StaticClass());
}
