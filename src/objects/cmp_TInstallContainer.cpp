#include "objects/cmp_TInstallContainer.h"
#include "objects/cmp_TPathSpecifier.h"
#include "objects/cmp_TUninstallEXE.h"
#include "objects/types_RunState.h"
#include "platform/routines_Strings.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Forms.h"
#include <algorithm>

// --- the global lists ------------------------------------------------------------------

// The lists are never freed: components may be destroyed by static destructors
// that run after any list of ours would have gone.
TInstallContainerList& InstallContainerList() {
    static auto* list = new TInstallContainerList;
    return *list;
}

TCustomInstallFileList& InstallFileList() {
    static auto* list = new TCustomInstallFileList;
    return *list;
}

TCustomInstallFileList& FailedRegistrationList() {
    static auto* list = new TCustomInstallFileList;
    return *list;
}

bool& RaiseRegistrationErrors() {
    return RunState().RaiseRegistrationErrors;
}

TQnfdCompress& SharedArchive() {
    static auto* archive = new TQnfdCompress;
    return *archive;
}

int TInstallContainerList::IndexOf(const TInstallContainer* c) const {
    auto it = std::find(FItems.begin(), FItems.end(), c);
    return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TInstallContainerList::Add(TInstallContainer* c) {
    if (!c)
        throw IEContainerList("Cannot add a blank entry to the TInstallContainerList object");
    FItems.push_back(c);
}

void TInstallContainerList::Remove(TInstallContainer* c) {
    FItems.erase(std::remove(FItems.begin(), FItems.end(), c), FItems.end());
}

int TCustomInstallFileList::IndexOf(const TCustomInstallFile* f) const {
    auto it = std::find(FItems.begin(), FItems.end(), f);
    return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TCustomInstallFileList::Add(TCustomInstallFile* f) {
    if (!f)
        throw IECustomInstallFileList("Cannot add a blank entry to the TCustomInstallFileList object");
    FItems.push_back(f);
}

void TCustomInstallFileList::Remove(TCustomInstallFile* f) {
    FItems.erase(std::remove(FItems.begin(), FItems.end(), f), FItems.end());
}

std::string UninstallKey() {
    if (!RunState().Install)
        throw IEInstallContainer("There is no TInstall component, so there is no uninstall key");
    // Without a name the key would be the list of installed programs itself,
    // and the uninstall entries would corrupt it.
    if (Trim(RunState().ProductName).empty())
        throw IEInstallContainer(
            "The product has no name, so it cannot be entered in the list of installed programs and nothing "
            "was installed");
    return "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + RunState().ProductName;
}

// --- TInstallContainer ---------------------------------------------------------------------

TInstallContainer::TInstallContainer(TComponent* AOwner) : TComponent(AOwner) {
    // Before joining the registry: a failure here must not leave us listed.
    if (dynamic_cast<TForm*>(AOwner))
        PathSpecifiers().CreateStandardSpecifiers(AOwner, true);
    InstallContainerList().Add(this);
}

TInstallContainer::~TInstallContainer() {
    // Reached without Free() (or from a constructor that failed): nobody has
    // been told, so drop the references by hand.
    ForgetRawReferences();
}

void TInstallContainer::BeforeDestruction() {
    LeaveTree();
    TComponent::BeforeDestruction();
}

void TInstallContainer::LeaveTree() {
    if (FLeftTree)
        return;
    FLeftTree = true;
    TInstallContainerList& list = InstallContainerList();
    for (int i = list.Count() - 1; i >= 0; --i) {
        if (i >= list.Count())
            continue;
        TInstallContainer* c = list.Items(i);
        if (c == this)
            continue;
        try {
            c->ContainerDestroying(this);
        } catch (...) {
            // Destruction goes on; the pass below still drops the reference.
        }
    }
    ForgetRawReferences();
}

void TInstallContainer::ForgetRawReferences() {
    TInstallContainerList& list = InstallContainerList();
    for (int i = 0; i < list.Count(); ++i) {
        TInstallContainer* c = list.Items(i);
        if (c == this)
            continue;
        c->FHelpers.erase(std::remove(c->FHelpers.begin(), c->FHelpers.end(), this), c->FHelpers.end());
        if (auto* io = dynamic_cast<TInstallObject*>(c); io && io->FContainer == this)
            io->FContainer = nullptr;
    }
    FHelpers.clear();
    list.Remove(this);
}

void TInstallContainer::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FDestDirType)
        FDestDirType = nullptr;
}

Integer TInstallContainer::FileContainerCount() {
    Integer n = 0;
    for (TInstallContainer* h : FHelpers)
        if (dynamic_cast<TFileContainer*>(h))
            ++n;
    return n;
}

TFileContainer* TInstallContainer::FileContainers(int Index) {
    return static_cast<TFileContainer*>(Comp(Index, TFileContainer::StaticClass()));
}

void TInstallContainer::SetDestDir(const std::string& Value) {
    FDestDir = Value;
}

void TInstallContainer::SetDestDirType(TCustomPathSpecifier* Value) {
    if (!Loading() && Value)
        Value->ValidateObject(this);
    FDestDirType = Value;
    if (Value)
        FreeNotification(Value);
}

void TInstallContainer::ContainerDestroying(TInstallContainer* Container) {
    // Whatever its class: a helper that goes must not stay listed.
    if (std::find(FHelpers.begin(), FHelpers.end(), Container) != FHelpers.end())
        RemoveHelper(Container);
}

void TInstallContainer::PushStatusMessage(const std::string& Text) {
    TMessageParameter parameter(Text);
    SendInformationEvent(this, ieStatusMessage, &parameter);
}

void TInstallContainer::PopStatusMessage() {
    SendInformationEvent(this, ieRemoveStatusMessage, nullptr);
}

void TInstallContainer::DoInformationEventControl(TObject*, Integer, TObject*) {}

void TInstallContainer::HandleInformationEvent(TObject*, Integer, TObject*) {}

std::string TInstallContainer::ExpandedDestDir() {
    std::string base = FDestDirType ? FDestDirType->ExpandPath(this) : std::string();
    return RemoveBackslash(base + FDestDir);
}

Integer TInstallContainer::RegisteredType() {
    throw IEInstallContainer("Class must declare a registered type");
}

void TInstallContainer::AddHelper(TInstallContainer* Helper) {
    if (!Helper)
        throw IEInstallContainer("Cannot add a blank base helper component to %s", {Name()});
    if (Helper == this)
        throw IEInstallContainer("Circular reference");
    // Nothing above us in the tree may become our helper. The walk is bounded
    // by the number of live containers.
    auto* up = dynamic_cast<TInstallObject*>(this);
    TInstallContainer* c = up ? up->Container() : nullptr;
    for (int steps = 0; c && steps <= InstallContainerList().Count(); ++steps) {
        if (c == Helper)
            throw IEInstallContainer("Circular reference");
        auto* io = dynamic_cast<TInstallObject*>(c);
        c = io ? io->Container() : nullptr;
    }
    const Integer type = Helper->RegisteredType(); // raises for a class without one, before any change

    FHelpers.erase(std::remove(FHelpers.begin(), FHelpers.end(), Helper), FHelpers.end());
    // A helper that is being loaded joins the end of its group: the list then
    // follows the order of the stored layout, and its stored Order stays as read.
    const Integer order = Helper->Loading() ? -1 : Helper->FOrder;
    size_t pos = FHelpers.size();
    if (SameText(Helper->ClassName(), "TINSTALLBDE")) {
        pos = 0;
    } else {
        for (size_t i = 0; i < FHelpers.size(); ++i) {
            const Integer t = FHelpers[i]->RegisteredType();
            if (t > type || (t == type && order != -1 && FHelpers[i]->FOrder >= order)) {
                pos = i;
                break;
            }
        }
    }
    FHelpers.insert(FHelpers.begin() + static_cast<std::ptrdiff_t>(pos), Helper);
    if (!Loading())
        RenumberHelpers();
}

void TInstallContainer::RemoveHelper(TInstallContainer* Helper) {
    if (!Helper)
        return;
    auto it = std::find(FHelpers.begin(), FHelpers.end(), Helper);
    if (it == FHelpers.end())
        return;
    FHelpers.erase(it);
    if (!Loading())
        RenumberHelpers();
}

void TInstallContainer::RenumberHelpers() {
    Integer counter = 0;
    Integer previous = 0;
    bool first = true;
    for (TInstallContainer* h : FHelpers) {
        const Integer type = h->RegisteredType();
        if (first || type != previous)
            counter = 0;
        h->FOrder = counter++;
        previous = type;
        first = false;
    }
}

TInstallContainer* TInstallContainer::Helpers(int Index) const {
    if (Index < 0 || Index >= HelperCount())
        throw IEInstallContainer("Tried to reference a helper component in the following component: %s. The "
                                 "following index was used: %d",
                                 {Name(), Index});
    return FHelpers[static_cast<size_t>(Index)];
}

TInstallContainer* TInstallContainer::Comp(int Index, const TClassInfo& ComponentType) const {
    int n = 0;
    for (TInstallContainer* h : FHelpers)
        if (h->InheritsFrom(ComponentType) && n++ == Index)
            return h;
    // The message has a number where the type goes; the class name says more.
    std::string text =
        TranslateText("Bad call to the Comp procedure which returns a TInstallObject for a "
                      "TInstallContainer component. The parameters are probably reversed. Index: "
                      "%d, ComponentType: %d");
    if (size_t at = text.rfind("%d"); at != std::string::npos)
        text.replace(at, 2, "%s");
    throw IEInstallContainer("%s", {Format(text, {Index, ComponentType.Name})});
}

int TInstallContainer::HelperCountOfType(const TClassInfo& ComponentType) const {
    int n = 0;
    for (TInstallContainer* h : FHelpers)
        if (h->InheritsFrom(ComponentType))
            ++n;
    return n;
}

void TInstallContainer::FreeHelpersOfType(const TClassInfo& ComponentType) {
    while (true) {
        auto it = std::find_if(FHelpers.rbegin(), FHelpers.rend(),
                               [&](TInstallContainer* h) { return h->InheritsFrom(ComponentType); });
        if (it == FHelpers.rend())
            return;
        TInstallContainer* victim = *it;
        victim->Free(); // its destruction takes it out of our list
        FHelpers.erase(std::remove(FHelpers.begin(), FHelpers.end(), victim), FHelpers.end());
    }
}

void TInstallContainer::SendInformationEvent(TObject* Sender, Integer Code, TObject* ParameterObject) {
    // A handler may change the list; only helpers still listed are called.
    const std::vector<TInstallContainer*> helpers = FHelpers;
    for (TInstallContainer* h : helpers) {
        if (std::find(FHelpers.begin(), FHelpers.end(), h) == FHelpers.end())
            continue;
        if (h->RegisteredType() == rtDialog)
            h->HandleInformationEvent(Sender, Code, ParameterObject);
    }
}

void TInstallContainer::SetCurrentInstallType(TInstallType Value) {
    for (TInstallContainer* h : FHelpers)
        h->SetCurrentInstallType(Value);
    FCurrentInstallType = Value;
}

void TInstallContainer::SetInstallTypes(TInstallTypeSet Value) {
    Value &= AllInstallTypes;
    const TInstallTypeSet always = InstallTypeBit(itAlways);
    const TInstallTypeSet others = Value & static_cast<TInstallTypeSet>(~always);
    if (Value == 0)
        FInstallTypes = always;
    else if ((Value & always) && !(FInstallTypes & always))
        FInstallTypes = always;
    else if (others != 0)
        FInstallTypes = others;
    else
        FInstallTypes = Value;
}

bool TInstallContainer::SelectedByInstallType() const {
    return FCurrentInstallType == itAlways || FCurrentInstallType == itCustom ||
           HasInstallType(FInstallTypes, itAlways) || HasInstallType(FInstallTypes, FCurrentInstallType);
}

bool TInstallContainer::WillInstall() {
    return FInclude && SelectedByInstallType();
}

void TInstallContainer::Install() {
    try {
        SendInformationEvent(this, ieBeforeObjectInstall, nullptr);
        if (!FInclude)
            return;
        SendInformationEvent(this, ieObjectIncluded, nullptr);
        if (!SelectedByInstallType())
            return;
        // Asked before the step: a product without a name is refused before
        // anything is written.
        const std::string key = RunState().Install ? UninstallKey() : std::string();
        InstallHelpers();
        FInstalled = true;
        if (RunState().Install)
            WriteUninstallEntries(key);
        SendInformationEvent(this, ieAfterObjectInstall, nullptr);
    } catch (const EAbort&) {
        // Skips this object only; the next one goes on.
    }
}

void TInstallContainer::InstallHelpers() {
    FInstalled = true;
    const std::vector<TInstallContainer*> helpers = FHelpers;
    for (TInstallContainer* h : helpers)
        if (std::find(FHelpers.begin(), FHelpers.end(), h) != FHelpers.end() && h->FInstallable)
            h->Install();
}

void TInstallContainer::CompleteAfterRestart() {}

void TInstallContainer::RefreshTranslation() {}

void TInstallContainer::WriteUninstallEntries(const std::string&) {}

// --- TInstallObject -------------------------------------------------------------------------

TInstallObject::TInstallObject(TComponent* AOwner) : TInstallContainer(AOwner) {}

void TInstallObject::ContainerDestroying(TInstallContainer* Container) {
    TInstallContainer::ContainerDestroying(Container);
    if (Container == FContainer)
        SetContainer(nullptr);
}

void TInstallObject::SetContainer(TInstallContainer* Value) {
    if (Value == FContainer)
        return;
    // Looked up first: a project without the specifier fails before anything moves.
    TCustomPathSpecifier* containerDir = nullptr;
    if (!Loading() && Value)
        containerDir = StandardPathSpecifiers().FindSpecifier(TpsContainerDestDir::StaticClass());
    if (Value)
        Value->AddHelper(this);
    if (FContainer)
        FContainer->RemoveHelper(this);
    FContainer = Value;
    if (Loading())
        return;
    if (Value) {
        SetDestDirType(containerDir);
        SetDestDir("");
    } else if (dynamic_cast<TpsContainerDestDir*>(FDestDirType)) {
        SetDestDirType(nullptr);
    }
}

void TInstallObject::SetOrder(Integer Value) {
    if (Loading()) {
        FOrder = Value;
        return;
    }
    if (Value == FOrder || !FContainer)
        return;
    const Integer old = FOrder;
    FContainer->RemoveHelper(this);
    FOrder = Value;
    try {
        FContainer->AddHelper(this);
    } catch (...) {
        // Back where it was.
        FOrder = old;
        FContainer->AddHelper(this);
        throw;
    }
}

// --- class descriptions ------------------------------------------------------------------------

const TClassInfo& TInstallContainer::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TInstallContainer, TComponent>("TInstallContainer", [](auto& c) {
            using T = TInstallContainer;
            c.Bool("Include", &T::Include, &T::SetInclude, true);
            c.Set(
                "InstallTypes", {"itFull", "itDefault", "itCompact", "itAlways", "itCustom"},
                &T::InstallTypes,
                [](T& o, uint32_t v) {
                    o.SetInstallTypes(static_cast<TInstallTypeSet>(v & AllInstallTypes));
                },
                InstallTypeBit(itAlways));
            c.Str("DestDir", &T::DestDir, &T::SetDestDir, "");
            c.template Ref<TCustomPathSpecifier>("DestDirType", &T::DestDirType, &T::SetDestDirType);
        });
    return info;
}

const TClassInfo& TInstallObject::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TInstallObject, TInstallContainer>("TInstallObject", [](auto& c) {
            using T = TInstallObject;
            c.template Ref<TInstallContainer>("Container", &T::Container, &T::SetContainer);
            c.Int("Order", &T::Order, &T::SetOrder, -1);
        });
    return info;
}

void RegisterObjectClasses() {
    RegisterClass(TFileContainer::StaticClass());
    RegisterClass(TInstallFile::StaticClass());
    RegisterClass(TUninstallEXE::StaticClass());
    RegisterPathSpecifierClasses();
}
