// File-related objects and install files: their data, their place in the
// tree, their archive settings and the rules that follow a change of an
// install file's name, type or folder. The operations live in files of
// their own, one per kind of step.
#include "objects/cmp_TInstallContainer.h"
#include "objects/cmp_TPathSpecifier.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_Registry.h"
#include "platform/routines_Strings.h"
#include "toolkit/classes_Publish.h"
#include <cmath>

namespace {
bool NamesWholeFile(TCustomPathSpecifier* s) {
    return dynamic_cast<TpsContainerArchiveFile*>(s) || dynamic_cast<TpsMainArchiveFile*>(s);
}

// The registry key of this object's local archive; empty when the setup
// program has no install record (then nothing is read or written: the key
// would otherwise land at the root of HKEY_LOCAL_MACHINE).
std::string LocalFileKey(const std::string& name) {
    const std::string& record = RunState().InstallRecordKey;
    if (Trim(record).empty() || Trim(name).empty())
        return "";
    return AddBackslash(record) + name;
}
} // namespace

// --- parameter objects -----------------------------------------------------------------------

TDownloadStatusParameter::TDownloadStatusParameter(const std::string& remoteFile, Integer chunkSize,
                                                   Integer downloadedBytes, Integer downloadSize)
    : ChunkSize(chunkSize), RemoteFile(remoteFile), DownloadSize(downloadSize),
      DownloadedBytes(downloadedBytes) {
    if (downloadSize != 0) {
        double percent = std::nearbyint(static_cast<double>(downloadedBytes) / downloadSize * 100.0);
        if (std::isfinite(percent) && std::fabs(percent) <= INT32_MAX)
            PercentDone = static_cast<Integer>(percent);
    }
}

// --- TFileRelated ----------------------------------------------------------------------------------

TFileRelated::TFileRelated(TComponent* AOwner) : TInstallObject(AOwner) {
    FInstallable = true;
}

void TFileRelated::SetContainer(TInstallContainer* Value) {
    if (Value == FContainer)
        return;
    const bool inFileRelated = dynamic_cast<TFileRelated*>(Value) != nullptr;
    // Looked up before anything moves, like the destination specifier.
    TCustomPathSpecifier* containerArchive = nullptr;
    if (!Loading() && inFileRelated)
        containerArchive = StandardPathSpecifiers().FindSpecifier(TpsContainerArchiveFile::StaticClass());
    TInstallObject::SetContainer(Value);
    if (Loading())
        return;
    if (inFileRelated) {
        // The object lives in its container's archive.
        SetArchiveFileType(containerArchive);
        FArchiveFile.clear();
    } else if (dynamic_cast<TpsContainerArchiveFile*>(FArchiveFileType)) {
        FArchiveFileType = nullptr;
    }
}

void TFileRelated::Notification(TComponent* AComponent, TOperation Operation) {
    TInstallObject::Notification(AComponent, Operation);
    if (Operation != opRemove)
        return;
    if (AComponent == FNetLocation)
        SetNetLocation(nullptr);
    if (AComponent == FArchiveFileType)
        FArchiveFileType = nullptr;
}

void TFileRelated::Loaded() {
    TInstallObject::Loaded();
    std::string local;
    if (GetRegisteredLocalFile(local))
        FLocalArchive = local;
}

bool TFileRelated::HasLocalArchive() {
    if (!Trim(FLocalArchive).empty())
        return true;
    std::string path;
    return GetRegisteredLocalFile(path);
}

bool TFileRelated::GetRegisteredLocalFile(std::string& Path) {
    std::string key = LocalFileKey(Name());
    if (key.empty())
        return false;
    std::string value = ReadRegString(rkLocalMachine, key, "LocalFile", "");
    if (Trim(value).empty() || !FileExists(value))
        return false;
    Path = value;
    return true;
}

void TFileRelated::RegisterLocalFile(const std::string& Path) {
    std::string key = LocalFileKey(Name());
    if (key.empty())
        return;
    TRegKey k;
    if (Trim(Path).empty()) {
        // Forgets the copy registered before.
        if (k.Open(RegLocalMachine, key))
            k.DeleteValue("LocalFile");
        return;
    }
    if (k.Create(RegLocalMachine, key))
        k.WriteString("LocalFile", Path); // a failed write is not an error here
}

void TFileRelated::SetArchiveFile(const std::string& Value) {
    if (!Loading() && NamesWholeFile(FArchiveFileType))
        FArchiveFile.clear(); // the specifier names the whole file
    else
        FArchiveFile = Value;
}

void TFileRelated::SetArchiveFileType(TCustomPathSpecifier* Value) {
    if (!Loading() && Value) {
        Value->ValidateObject(this);
        if (NamesWholeFile(Value))
            FArchiveFile.clear();
    }
    FArchiveFileType = Value;
    if (Value)
        FreeNotification(Value);
}

void TFileRelated::SetNet(bool Value) {
    FNet = Value;
}

void TFileRelated::SetNetLocation(TCustomNetInstallLocation* Value) {
    FNetLocation = Value;
    if (Value)
        FreeNotification(Value);
}

std::string TFileRelated::ExpandedArchiveFile() {
    std::string base = FArchiveFileType ? FArchiveFileType->ExpandPath(this) : std::string();
    return RemoveBackslash(base + FArchiveFile);
}

// --- archive member identifiers -------------------------------------------------------------------------

TUniqueIDTable& UniqueIDTable() {
    static TUniqueIDTable table;
    return table;
}

void TCustomInstallFile::MarkID(Integer id) {
    ReleaseID();
    if (id < 0 || id >= TUniqueIDTable::Size)
        return;
    ++UniqueIDTable().Used[static_cast<size_t>(id)];
    FMarkedID = id;
}

void TCustomInstallFile::ReleaseID() {
    if (FMarkedID < 0)
        return;
    int& used = UniqueIDTable().Used[static_cast<size_t>(FMarkedID)];
    if (used > 0)
        --used;
    FMarkedID = -1;
}

void TCustomInstallFile::SetUniqueID(Integer v) {
    FUniqueID = v;
    if (!Loading())
        MarkID(v);
}

// --- TCustomInstallFile ----------------------------------------------------------------------------------

TCustomInstallFile::TCustomInstallFile(TComponent* AOwner) : TFileRelated(AOwner) {
    FInstallable = true;
    FInclude = true;
    FNet = false;
    const TUniqueIDTable& table = UniqueIDTable();
    for (Integer id = 0; id < TUniqueIDTable::Size; ++id)
        if (!table.InUse(id)) {
            FUniqueID = id;
            MarkID(id);
            break;
        }
    // All identifiers taken: 0, unmarked (and never freed by this file).
    InstallFileList().Add(this);
}

TCustomInstallFile::TCustomInstallFile(TComponent* AOwner, const std::string& Path)
    : TCustomInstallFile(AOwner) {
    SetIncludeFromDir(RemoveBackslash(ExtractFilePath(Path)));
    SetFileName(ExtractFileName(Path));
}

TCustomInstallFile::TCustomInstallFile(TComponent* AOwner, TInstallContainer* Container,
                                       const std::string& Path)
    : TCustomInstallFile(AOwner, Path) {
    SetContainer(Container);
}

TCustomInstallFile::~TCustomInstallFile() {
    ReleaseID();
    InstallFileList().Remove(this);
    FailedRegistrationList().Remove(this);
}

Integer TCustomInstallFile::RegisteredType() {
    return rtInstallFile;
}

void TCustomInstallFile::Loaded() {
    TFileRelated::Loaded();
    // The constructor's identifier gives way to the stored one.
    UniqueIDTable().Rebuilt = true;
    MarkID(FUniqueID);
}

void TCustomInstallFile::ArchiveAborted() {
    throw EAIUserAbort();
}

// --- property rules ------------------------------------------------------------------------------------

TCustomInstallFile::TFileProps TCustomInstallFile::CurrentProps() const {
    return {FContainer, FIncludeFromDir, FActiveX, FFileType, FDestDirType, FDestName, FDestDir, FFileName};
}

void TCustomInstallFile::ApplyFileProperties(TFileProps p) {
    // Everything that can fail is asked first, so that a refused change
    // leaves the file as it was.
    if (p.Container && !dynamic_cast<TFileContainer*>(p.Container))
        throw IECustomInstallFile(
            "The following TInstallFile component %s requires the Container property to "
            "be a component descended from the TFileContainer component",
            {Name()});
    const bool nameChanged = p.FileName != FFileName;
    const bool sourceChanged = nameChanged || !SameText(p.IncludeFromDir, FIncludeFromDir);
    // A file without a name has no source yet to be a duplicate of.
    if (p.Container && !Trim(p.FileName).empty() && (sourceChanged || p.Container != FContainer)) {
        const std::string path = AddBackslash(p.IncludeFromDir) + p.FileName;
        TCustomInstallFile* other = static_cast<TFileContainer*>(p.Container)->FindFileBySource(path);
        if (other && other != this)
            throw IEfcDuplicateFile("There is already a file with the name :%s", {path});
    }
    if (nameChanged && !Trim(p.FileName).empty())
        p.DestName = p.FileName;
    const std::string ext = UpperCase(ExtractFileExt(p.FileName));
    bool registerAsHelp = FRegisterAsHelp;
    if (p.FileName != FFileName || p.IncludeFromDir != FIncludeFromDir) {
        registerAsHelp = ext == ".HLP" || ext == ".CNT";
        bool selfRegister = false;
        try {
            selfRegister = FileHasOLESelfRegister(AddBackslash(p.IncludeFromDir) + p.FileName);
        } catch (const Exception&) {
            // A file that cannot be read simply does not register itself.
        }
        p.ActiveX = ext == ".OCX" || selfRegister;
        if (p.ActiveX && p.ActiveX != FActiveX)
            p.FileType = iftSystemWideDLL;
    }
    TOverwriteType overwrite = FOverwriteMode;
    bool updateCounter = FUpdateDLLCounter;
    if (p.DestDirType != FDestDirType && (ext == ".DLL" || ext == ".OCX" || ext == ".BLL" || ext == ".EXE")) {
        if (dynamic_cast<TpsWindow*>(p.DestDirType) || dynamic_cast<TpsBDEDLL*>(p.DestDirType))
            overwrite = owVersionDate;
        else if (dynamic_cast<TpsSystem*>(p.DestDirType))
            p.FileType = iftSystemWideDLL;
    }
    if (p.FileType != FFileType) {
        if (p.FileType == iftJustADLL || p.FileType == iftApplicationSpecificDLL) {
            overwrite = owVersionDate;
        } else if (p.FileType == iftVendorSharedDLL || p.FileType == iftSystemWideDLL) {
            updateCounter = true;
            overwrite = owVersionDate;
        }
    }
    // The folder a library type takes.
    TCustomPathSpecifier* typeFolder = nullptr;
    if (p.FileType == iftApplicationSpecificDLL)
        typeFolder = StandardPathSpecifiers().FindSpecifier(TpsMainInstall::StaticClass());
    else if (p.FileType == iftVendorSharedDLL)
        typeFolder = StandardPathSpecifiers().FindSpecifier(TpsCommonFiles::StaticClass());
    else if (p.FileType == iftSystemWideDLL)
        typeFolder = StandardPathSpecifiers().FindSpecifier(TpsSystem::StaticClass());
    if (typeFolder)
        typeFolder->ValidateObject(this);
    if (p.DestDirType && p.DestDirType != FDestDirType && p.Container == FContainer)
        p.DestDirType->ValidateObject(this);

    // The container's own setters call back into ours: those only store.
    FApplying = true;
    struct Reset {
        bool& f;
        ~Reset() { f = false; }
    } reset{FApplying};
    const bool containerChanged = p.Container != FContainer;
    if (p.DestDirType != FDestDirType)
        TInstallContainer::SetDestDirType(p.DestDirType);
    TFileRelated::SetContainer(p.Container);
    if (containerChanged && p.Container) {
        // Joining a container points the file at the container's folder.
        p.DestDir = FDestDir;
        p.DestDirType = FDestDirType;
    }
    if (typeFolder) {
        p.DestDir = p.FileType == iftSystemWideDLL ? std::string() : std::string("\\System");
        TInstallContainer::SetDestDirType(typeFolder);
    }
    FRegisterAsHelp = registerAsHelp;
    FOverwriteMode = overwrite;
    FUpdateDLLCounter = updateCounter;
    FIncludeFromDir = p.IncludeFromDir;
    FFileName = p.FileName;
    FDestDir = p.DestDir;
    FDestName = p.DestName;
    FFileType = p.FileType;
    FActiveX = p.ActiveX;
}

void TCustomInstallFile::SetActiveX(bool Value) {
    if (Loading() || FApplying) {
        FActiveX = Value;
        return;
    }
    TFileProps p = CurrentProps();
    p.ActiveX = Value;
    ApplyFileProperties(p);
}

void TCustomInstallFile::SetDestName(const std::string& Value) {
    if (Loading() || FApplying) {
        FDestName = Value;
        return;
    }
    TFileProps p = CurrentProps();
    p.DestName = Value;
    ApplyFileProperties(p);
}

void TCustomInstallFile::SetFileName(const std::string& Value) {
    if (Loading() || FApplying) {
        FFileName = Value;
        return;
    }
    TFileProps p = CurrentProps();
    p.FileName = Value;
    ApplyFileProperties(p);
}

void TCustomInstallFile::SetFileType(TInstallFileType Value) {
    if (Loading() || FApplying) {
        FFileType = Value;
        return;
    }
    TFileProps p = CurrentProps();
    p.FileType = Value;
    ApplyFileProperties(p);
}

void TCustomInstallFile::SetIncludeFromDir(const std::string& Value) {
    if (Loading() || FApplying) {
        FIncludeFromDir = Value;
        return;
    }
    TFileProps p = CurrentProps();
    p.IncludeFromDir = Value;
    ApplyFileProperties(p);
}

void TCustomInstallFile::SetDestDir(const std::string& Value) {
    if (Loading() || FApplying) {
        FDestDir = Value;
        return;
    }
    TFileProps p = CurrentProps();
    p.DestDir = Value;
    ApplyFileProperties(p);
}

void TCustomInstallFile::SetDestDirType(TCustomPathSpecifier* Value) {
    if (Loading() || FApplying) {
        TInstallContainer::SetDestDirType(Value);
        return;
    }
    TFileProps p = CurrentProps();
    p.DestDirType = Value;
    ApplyFileProperties(p);
}

void TCustomInstallFile::SetContainer(TInstallContainer* Value) {
    if (Loading() || FApplying) {
        TFileRelated::SetContainer(Value);
        return;
    }
    TFileProps p = CurrentProps();
    p.Container = Value;
    ApplyFileProperties(p);
}

std::string TCustomInstallFile::SourcePath() const {
    return AddBackslash(FIncludeFromDir) + FFileName;
}

std::string TCustomInstallFile::DestFilePath() {
    return AddBackslash(ExpandedDestDir()) + FDestName;
}

std::string TCustomInstallFile::FinalDestPath() {
    return FReplacedAtRestart && !FRestartTarget.empty() ? FRestartTarget : DestFilePath();
}

bool TCustomInstallFile::NeedsOwnArchive() const {
    return FNetLocation || FOverwriteMode == owVersion || FOverwriteMode == owDate ||
           FOverwriteMode == owVersionDate;
}

void TCustomInstallFile::SetState(TInstallFileState Value) {
    // A stored State must not start an operation while the project loads.
    if (Loading() || Value == ifsNone)
        return;
    try {
        switch (Value) {
        case ifsCompress:
            CompressFile();
            break;
        case ifsInstall:
            Install();
            break;
        case ifsCopying:
            CopyPlain();
            break;
        default:
            break;
        }
    } catch (...) {
        FState = ifsNone;
        throw;
    }
    FState = ifsNone;
}

// --- class descriptions ----------------------------------------------------------------------------------

const TClassInfo& TFileRelated::StaticClass() {
    static const TClassInfo info = DescribeClass<TFileRelated, TInstallObject>("TFileRelated", [](auto& c) {
        using T = TFileRelated;
        c.Enum("AddToArchive", {"lzcOverwrite", "lzcOnlyAdd"}, &T::AddToArchive, &T::SetAddToArchive,
               lzcOverwrite);
        c.Str("ArchiveFile", &T::ArchiveFile, &T::SetArchiveFile, "");
        c.template Ref<TCustomPathSpecifier>("ArchiveFileType", &T::ArchiveFileType, &T::SetArchiveFileType);
        c.Bool("Net", &T::Net, &T::SetNet, true);
        c.template Ref<TCustomNetInstallLocation>("NetLocation", &T::NetLocation, &T::SetNetLocation);
    });
    return info;
}

const TClassInfo& TFileContainer::StaticClass() {
    static const TClassInfo info = DescribeClass<TFileContainer, TFileRelated>("TFileContainer", [](auto& c) {
        using T = TFileContainer;
        c.Bool("AllowChangeDir", &T::AllowChangeDir, &T::SetAllowChangeDir, true);
        c.Strings("Description", &T::Description, &T::SetDescription);
        c.Str("GroupName", &T::GroupName, &T::SetGroupName, "");
        c.Event("OnStatus", &T::OnStatus);
        c.Event("OnNewDisk", &T::OnNewDisk);
        c.Event("OnReplacing", &T::OnReplacing);
        c.Event("OnAfterInstallObjects", &T::OnAfterInstallObjects);
        c.Event("OnBeforeInstallObjects", &T::OnBeforeInstallObjects);
    });
    return info;
}

const TClassInfo& TCustomInstallFile::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TCustomInstallFile, TFileRelated>("TCustomInstallFile", [](auto& c) {
            using T = TCustomInstallFile;
            c.Str("DestName", &T::DestName, &T::SetDestName, "");
            c.Str("FileName", &T::FileName, &T::SetFileName, "");
            c.Enum("FileType",
                   {"iftNormal", "iftJustADLL", "iftApplicationSpecificDLL", "iftVendorSharedDLL",
                    "iftSystemWideDLL"},
                   &T::FileType, &T::SetFileType, iftNormal);
            c.Str("IncludeFromDir", &T::IncludeFromDir, &T::SetIncludeFromDir, "");
            // Install files are local unless they say otherwise.
            c.Bool("Net", &T::Net, &T::SetNet, false);
            c.Enum("OverwriteMode", {"owAlways", "owNever", "owVersion", "owDate", "owVersionDate"},
                   &T::OverwriteMode, &T::SetOverwriteMode, owAlways);
            // Always stored: the archive member of the file.
            c.Int("UniqueID", &T::UniqueID, &T::SetUniqueID, -1);
            c.Bool("UpdateDLLCounter", &T::UpdateDLLCounter, &T::SetUpdateDLLCounter, false);
            c.Event("OnAfterCompress", &T::OnAfterCompress);
            c.Event("OnAfterCopy", &T::OnAfterCopy);
            c.Event("OnAfterInstall", &T::OnAfterInstall);
            c.Event("OnBeforeCompress", &T::OnBeforeCompress);
            c.Event("OnBeforeCopy", &T::OnBeforeCopy);
            c.Event("OnBeforeInstall", &T::OnBeforeInstall);
            c.Event("OnStatus", &T::OnStatus);
            c.Event("OnNewDisk", &T::OnNewDisk);
            c.Event("OnReplacing", &T::OnReplacing);
        });
    return info;
}

const TClassInfo& TInstallFile::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TInstallFile, TCustomInstallFile>("TInstallFile", [](auto& c) {
            using T = TCustomInstallFile;
            c.Bool("ActiveX", &T::ActiveX, &T::SetActiveX, false);
            c.Bool("RegisterAsHelp", &T::RegisterAsHelp, &T::SetRegisterAsHelp, false);
            c.Bool("RunAfterInstall", &T::RunAfterInstall, &T::SetRunAfterInstall, false);
        });
    return info;
}
