#include "objects/cmp_TPathSpecifier.h"
#include "objects/cmp_TInstallContainer.h"
#include "objects/types_RunState.h"
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_API.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_Strings.h"
#include "toolkit/classes_Publish.h"
#include <algorithm>

TPathSpecifierList& PathSpecifiers() {
    // Never freed: components may outlive any static destructor order.
    static auto* list = new TPathSpecifierList;
    return *list;
}

TStandardPathSpecList& StandardPathSpecifiers() {
    static auto* list = new TStandardPathSpecList;
    return *list;
}

namespace {

std::string NameOf(TComponent* obj) {
    return obj ? obj->Name() : std::string();
}

// The installation component, or the failure every engine-bound specifier raises.
TRunInstall& RequireInstall(TComponent* obj) {
    TRunInstall* install = CurrentRunInstall();
    if (!install)
        throw IEPathSpecifier(
            "There is no TInstall component so the path specifier could not be expanded for %s",
            {NameOf(obj)});
    return *install;
}

TInstallObject& RequireInstallObject(TComponent* obj, const std::string& standardName) {
    auto* io = dynamic_cast<TInstallObject*>(obj);
    if (!io)
        throw IEPathSpecifier("%s must be a %s to use the %s path specifier",
                              {NameOf(obj), "TInstallObject", standardName});
    return *io;
}

} // namespace

// --- TCustomPathSpecifier --------------------------------------------------------

TCustomPathSpecifier::TCustomPathSpecifier(TComponent* AOwner) : TComponent(AOwner) {
    PathSpecifiers().AddSpecifier(this);
}

TCustomPathSpecifier::~TCustomPathSpecifier() {
    Unregister();
}

void TCustomPathSpecifier::BeforeDestruction() {
    Unregister();
    TComponent::BeforeDestruction();
}

void TCustomPathSpecifier::Unregister() {
    PathSpecifiers().RemoveSpecifier(this);
}

void TCustomPathSpecifier::ValidateObject(TComponent*) {}

std::string TCustomPathSpecifier::GetDescription() {
    return "Unspecified";
}

std::string TCustomPathSpecifier::GetObjectDescription(TComponent*) {
    return GetDescription();
}

std::string TCustomPathSpecifier::ExpandPath(TComponent* obj) {
    std::string path;
    if (OnExpand)
        OnExpand(this, obj, path);
    return path;
}

// --- TStandardPathSpecifier ------------------------------------------------------

TStandardPathSpecifier::TStandardPathSpecifier(TComponent* AOwner, const std::string& standardName)
    : TCustomPathSpecifier(AOwner) {
    FStandardName = standardName;
    StandardPathSpecifiers().AddSpecifier(this);
}

TStandardPathSpecifier::~TStandardPathSpecifier() {
    Unregister();
}

void TStandardPathSpecifier::BeforeDestruction() {
    Unregister();
    TCustomPathSpecifier::BeforeDestruction();
}

void TStandardPathSpecifier::Unregister() {
    StandardPathSpecifiers().RemoveSpecifier(this);
}

// --- the standard kinds ---------------------------------------------------------------

#define QFD_SPECIFIER_CTOR(Class, Standard)                                                                  \
    Class::Class(TComponent* AOwner) : TStandardPathSpecifier(AOwner, Standard) {}

QFD_SPECIFIER_CTOR(TpsBDEDLL, "psBDEDLL")
QFD_SPECIFIER_CTOR(TpsCommonFiles, "psCommonFiles")
QFD_SPECIFIER_CTOR(TpsContainerArchiveFile, "psContainerArchiveFile")
QFD_SPECIFIER_CTOR(TpsContainerDestDir, "psContainerDestDir")
QFD_SPECIFIER_CTOR(TpsDesktopMenu, "psDesktopMenu")
QFD_SPECIFIER_CTOR(TpsInstallSource, "psInstallSource")
QFD_SPECIFIER_CTOR(TpsMainInstall, "psMainInstall")
QFD_SPECIFIER_CTOR(TpsProgramFiles, "psProgramFiles")
QFD_SPECIFIER_CTOR(TpsProgramMenu, "psProgramMenu")
QFD_SPECIFIER_CTOR(TpsStartMenu, "psStartMenu")
QFD_SPECIFIER_CTOR(TpsStartupMenu, "psStartupMenu")
QFD_SPECIFIER_CTOR(TpsSystem, "psSystem")
QFD_SPECIFIER_CTOR(TpsMainArchiveFile, "psMainArchiveFile")
QFD_SPECIFIER_CTOR(TpsWindow, "psWindow")
#undef QFD_SPECIFIER_CTOR

// Kinds that accept any object.
#define QFD_ANY_OBJECT(Class)                                                                                \
    void Class::ValidateObject(TComponent*) {}
QFD_ANY_OBJECT(TpsBDEDLL)
QFD_ANY_OBJECT(TpsCommonFiles)
QFD_ANY_OBJECT(TpsDesktopMenu)
QFD_ANY_OBJECT(TpsProgramFiles)
QFD_ANY_OBJECT(TpsProgramMenu)
QFD_ANY_OBJECT(TpsStartMenu)
QFD_ANY_OBJECT(TpsStartupMenu)
QFD_ANY_OBJECT(TpsSystem)
QFD_ANY_OBJECT(TpsWindow)
#undef QFD_ANY_OBJECT

std::string TpsBDEDLL::GetDescription() {
    return "Borland Database Engine DLL Path";
}
std::string TpsBDEDLL::ExpandPath(TComponent*) {
    std::string path = ReadRegString(rkLocalMachine, "\\Software\\Borland\\Database Engine", "DLLPath", "");
    if (path.empty())
        path = AddBackslash(GetProgramFilesDir()) + "Borland\\Common Files\\BDE";
    // The value may list several folders; the engine's own comes first.
    return path.substr(0, path.find(';'));
}

std::string TpsCommonFiles::GetDescription() {
    return "Path of the common files directory under the program files directory";
}
std::string TpsCommonFiles::ExpandPath(TComponent*) {
    return RemoveBackslash(GetCommonFilesDir());
}

std::string TpsContainerArchiveFile::GetDescription() {
    return "Path to the archive file of the container";
}
void TpsContainerArchiveFile::ValidateObject(TComponent* obj) {
    TInstallObject& io = RequireInstallObject(obj, FStandardName);
    if (!io.Container())
        throw IEPathSpecifier("Cannot use ddContainerArchiveFile for %s unless you assign a Container",
                              {io.Name()});
    if (!dynamic_cast<TFileRelated*>(io.Container()))
        throw IEPathSpecifier(
            "Cannot use the ddContainerArchiveFile path specifier for %s because the Container is "
            "not a TFileRelated descendant",
            {io.Name()});
}
std::string TpsContainerArchiveFile::ExpandPath(TComponent* obj) {
    ValidateObject(obj);
    auto* container = static_cast<TFileRelated*>(static_cast<TInstallObject*>(obj)->Container());
    return RemoveBackslash(container->ExpandedArchiveFile());
}

std::string TpsContainerDestDir::GetDescription() {
    return "Path of the group (container)";
}
void TpsContainerDestDir::ValidateObject(TComponent* obj) {
    TInstallObject& io = RequireInstallObject(obj, FStandardName);
    if (!io.Container())
        throw IEPathSpecifier("Cannot use ddContainerDestDir for %s unless you assign a Container",
                              {io.Name()});
}
std::string TpsContainerDestDir::GetObjectDescription(TComponent* obj) {
    try {
        ValidateObject(obj);
    } catch (const IEPathSpecifier&) {
        return GetDescription();
    }
    TInstallContainer* container = static_cast<TInstallObject*>(obj)->Container();
    auto* files = dynamic_cast<TFileContainer*>(container);
    return Format("Path of the <%s> group", {files ? files->GroupName() : container->Name()});
}
std::string TpsContainerDestDir::ExpandPath(TComponent* obj) {
    ValidateObject(obj);
    return RemoveBackslash(static_cast<TInstallObject*>(obj)->Container()->ExpandedDestDir());
}

std::string TpsDesktopMenu::GetDescription() {
    return "Path of the Desktop";
}
std::string TpsDesktopMenu::ExpandPath(TComponent*) {
    return RemoveBackslash(GetDesktopDir());
}

std::string TpsInstallSource::GetDescription() {
    return "Path from which the user ran the install";
}
void TpsInstallSource::ValidateObject(TComponent* obj) {
    RequireInstall(obj);
}
std::string TpsInstallSource::ExpandPath(TComponent* obj) {
    ValidateObject(obj);
    return RemoveBackslash(RequireInstall(obj).SourceDir());
}

std::string TpsMainInstall::GetDescription() {
    return "Path of the destination directory of the TInstall";
}
void TpsMainInstall::ValidateObject(TComponent* obj) {
    TRunInstall& install = RequireInstall(obj);
    if (obj == install.InstallContainer())
        throw IEPathSpecifier("Cannot use the ddMainInstallDir path specifier for a TInstall component");
}
std::string TpsMainInstall::ExpandPath(TComponent* obj) {
    ValidateObject(obj);
    return RemoveBackslash(RequireInstall(obj).InstallContainer()->ExpandedDestDir());
}

std::string TpsProgramFiles::GetDescription() {
    return "Path of the program files directory";
}
std::string TpsProgramFiles::ExpandPath(TComponent*) {
    return RemoveBackslash(GetProgramFilesDir());
}

std::string TpsProgramMenu::GetDescription() {
    return "Path of the Programs folder under the Start Menu";
}
std::string TpsProgramMenu::ExpandPath(TComponent*) {
    return RemoveBackslash(GetProgramsDir());
}

std::string TpsStartMenu::GetDescription() {
    return "Path of Start Menu";
}
std::string TpsStartMenu::ExpandPath(TComponent*) {
    return RemoveBackslash(GetStartMenuDir());
}

std::string TpsStartupMenu::GetDescription() {
    return "Path of the Startup folder in the Programs folder under the Start Menu";
}
std::string TpsStartupMenu::ExpandPath(TComponent*) {
    return RemoveBackslash(GetStartupDir());
}

std::string TpsSystem::GetDescription() {
    return "Path of system directory";
}
std::string TpsSystem::ExpandPath(TComponent*) {
    return RemoveBackslash(GetSystemDir());
}

std::string TpsMainArchiveFile::GetDescription() {
    return "Archive containing most or all non-internet installation files";
}
void TpsMainArchiveFile::ValidateObject(TComponent* obj) {
    RequireInstall(obj);
}
std::string TpsMainArchiveFile::ExpandPath(TComponent* obj) {
    ValidateObject(obj);
    TRunInstall& install = RequireInstall(obj);
    if (!install.HasSwitch(swSelfExtracted))
        return AddBackslash(install.SourceDir()) + "files.1";
    const std::string& exe = install.SwitchArg(swSelfExtracted);
    if (Trim(exe).empty())
        throw IEInstall("You forgot to pass in the name of the self-extracting executable. Usage example: "
                        "\"-eSetup.exe\"");
    return AddBackslash(install.SourceDir()) + exe;
}

std::string TpsWindow::GetDescription() {
    return "Path of the Windows directory";
}
std::string TpsWindow::ExpandPath(TComponent*) {
    return RemoveBackslash(GetWindowsDir());
}

// --- TPathSpecifierList ------------------------------------------------------------

void TPathSpecifierList::AddSpecifier(TCustomPathSpecifier* specifier) {
    if (!specifier)
        throw IEPathSpecifierList("Tried to add a nil object to the path specifier list");
    FItems.push_back(specifier);
}

void TPathSpecifierList::RemoveSpecifier(TCustomPathSpecifier* specifier) {
    auto it = std::find(FItems.begin(), FItems.end(), specifier);
    if (it != FItems.end())
        FItems.erase(it);
}

TCustomPathSpecifier* TPathSpecifierList::FindSpecifier(const TClassInfo& cls) {
    for (TCustomPathSpecifier* s : FItems)
        if (s->InheritsFrom(cls))
            return s;
    throw IEPathSpecifier("Could not find the path specifier");
}

namespace {
// The standard kinds in the order a project holds them.
const TClassInfo& (*const kStandardKinds[])() = {
    &TpsBDEDLL::StaticClass,           &TpsCommonFiles::StaticClass,  &TpsContainerArchiveFile::StaticClass,
    &TpsContainerDestDir::StaticClass, &TpsDesktopMenu::StaticClass,  &TpsInstallSource::StaticClass,
    &TpsMainInstall::StaticClass,      &TpsProgramFiles::StaticClass, &TpsProgramMenu::StaticClass,
    &TpsStartMenu::StaticClass,        &TpsStartupMenu::StaticClass,  &TpsSystem::StaticClass,
    &TpsMainArchiveFile::StaticClass,  &TpsWindow::StaticClass};
} // namespace

void TPathSpecifierList::CreateStandardSpecifiers(TComponent* owner, bool onlyIfMissing) {
    if (!owner)
        return;
    for (auto kind : kStandardKinds) {
        const TClassInfo& cls = kind();
        if (onlyIfMissing) {
            bool present = false;
            for (int i = 0; i < PathSpecifiers().Count() && !present; ++i)
                present = PathSpecifiers().Items(i)->InheritsFrom(cls);
            if (present)
                continue;
        }
        TOwnedPtr<TComponent> created(cls.Create(owner));
        // A name the owner refuses (taken by another component) is an error,
        // and the unnamed specifier does not stay behind.
        created->SetName(static_cast<TCustomPathSpecifier*>(created.get())->StandardName());
        created.release();
    }
}

// --- class descriptions ------------------------------------------------------------------

const TClassInfo& TCustomPathSpecifier::StaticClass() {
    static const TClassInfo info = DescribeClass<TCustomPathSpecifier, TComponent>(
        "TCustomPathSpecifier", [](auto& c) { c.Event("OnExpand", &TCustomPathSpecifier::OnExpand); });
    return info;
}

const TClassInfo& TStandardPathSpecifier::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TStandardPathSpecifier, TCustomPathSpecifier>("TStandardPathSpecifier", [](auto&) {});
    return info;
}

#define QFD_SPECIFIER_CLASS(Class)                                                                           \
    const TClassInfo& Class::StaticClass() {                                                                 \
        static const TClassInfo info = DescribeClass<Class, TStandardPathSpecifier>(#Class, [](auto&) {});   \
        return info;                                                                                         \
    }
QFD_SPECIFIER_CLASS(TpsBDEDLL)
QFD_SPECIFIER_CLASS(TpsCommonFiles)
QFD_SPECIFIER_CLASS(TpsContainerArchiveFile)
QFD_SPECIFIER_CLASS(TpsContainerDestDir)
QFD_SPECIFIER_CLASS(TpsDesktopMenu)
QFD_SPECIFIER_CLASS(TpsInstallSource)
QFD_SPECIFIER_CLASS(TpsMainInstall)
QFD_SPECIFIER_CLASS(TpsProgramFiles)
QFD_SPECIFIER_CLASS(TpsProgramMenu)
QFD_SPECIFIER_CLASS(TpsStartMenu)
QFD_SPECIFIER_CLASS(TpsStartupMenu)
QFD_SPECIFIER_CLASS(TpsSystem)
QFD_SPECIFIER_CLASS(TpsMainArchiveFile)
QFD_SPECIFIER_CLASS(TpsWindow)
#undef QFD_SPECIFIER_CLASS

void RegisterPathSpecifierClasses() {
    for (auto kind : kStandardKinds)
        RegisterClass(kind());
}
