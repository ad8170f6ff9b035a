// File-related objects, file containers and install files: their data, their
// place in the tree and their archive settings. The operations on files are
// later stages and say so when called.
#include "engine/cmp_TInstall.h"
#include "objects/cmp_TInstallContainer.h"
#include "objects/cmp_TPathSpecifier.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_Registry.h"
#include "platform/routines_Strings.h"
#include "toolkit/classes_Publish.h"
#include <cmath>

namespace {
const char* const kNotBuilt = "%s is not built into this setup program yet";

bool NamesWholeFile(TCustomPathSpecifier* s) {
    return dynamic_cast<TpsContainerArchiveFile*>(s) || dynamic_cast<TpsMainArchiveFile*>(s);
}

// The registry key of this object's local archive; empty when the setup
// program has no install record (then nothing is read or written: the key
// would otherwise land at the root of HKEY_LOCAL_MACHINE).
std::string LocalFileKey(const std::string& name) {
    const std::string& record = InstallRecordKey();
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

void TFileRelated::DownloadStatus(const std::string&, Integer, Integer, Integer, const void*) {
    throw IEFileRelated(kNotBuilt, {"Downloading archives"});
}

void TFileRelated::DownloadArchive() {
    throw IEFileRelated(kNotBuilt, {"Downloading archives"});
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
    if (key.empty() || Trim(Path).empty())
        return;
    TRegKey k;
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

// --- TFileContainer ---------------------------------------------------------------------------------

TFileContainer::TFileContainer(TComponent* AOwner) : TFileRelated(AOwner) {}

TFileContainer::~TFileContainer() {
    // Reached without Free(): the install files still go with their container.
    FreeHelpersOfType(TCustomInstallFile::StaticClass());
}

void TFileContainer::BeforeDestruction() {
    FreeFiles();
    TFileRelated::BeforeDestruction();
}

Integer TFileContainer::RegisteredType() {
    return rtFileContainer;
}

void TFileContainer::DoInformationEventControl(TObject*, Integer, TObject*) {
    // Events only travel while an operation runs, and no operation can run yet.
    if (FOperation == 0)
        return;
    throw IEFileContainer(kNotBuilt, {"Relaying the progress of file operations"});
}

void TFileContainer::InstallHelpers() {
    throw IEFileContainer(kNotBuilt, {"Installing the objects of a file container"});
}

void TFileContainer::NewDisk(TCustomInstallFile*, TDiskParameter*) {
    throw IEFileContainer(kNotBuilt, {"Asking for the next disk"});
}

void TFileContainer::Replacing(TCustomInstallFile*) {
    throw IEFileContainer(kNotBuilt, {"Relaying the progress of file operations"});
}

void TFileContainer::FileStatus(TCustomInstallFile*, TFileStatusParameter*) {
    throw IEFileContainer(kNotBuilt, {"Relaying the progress of file operations"});
}

Integer TFileContainer::TotalSize(bool, bool) {
    throw IEFileContainer(kNotBuilt, {"Adding up the sizes of the files"});
}

void TFileContainer::RunOperation(Byte) {
    throw IEFileContainer(kNotBuilt, {"Running file operations"});
}

void TFileContainer::CopyAll() {
    throw IEFileContainer(kNotBuilt, {"Copying files"});
}

void TFileContainer::FreeFiles() {
    FreeHelpersOfType(TCustomInstallFile::StaticClass());
}

void TFileContainer::Compress(TCompressOptions) {
    throw IEFileContainer(kNotBuilt, {"Compressing files"});
}

TCustomInstallFile* TFileContainer::FindFileBySource(const std::string&) {
    throw IEFileContainer(kNotBuilt, {"Finding a file by its source"});
}

Integer TFileContainer::CompressedTotal(bool) {
    throw IEFileContainer(kNotBuilt, {"Adding up the sizes of the files"});
}

std::string TFileContainer::GetArchivePath() {
    throw IEFileContainer(kNotBuilt, {"Downloading archives"});
}

void TFileContainer::ReadInfoFromArchive() {
    throw IEFileContainer(kNotBuilt, {"Reading sizes, dates and versions of files"});
}

void TFileContainer::ReadInfoFromSource() {
    throw IEFileContainer(kNotBuilt, {"Reading sizes, dates and versions of files"});
}

bool TFileContainer::NeedsContainerDownload() {
    throw IEFileContainer(kNotBuilt, {"Downloading archives"});
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

void TCustomInstallFile::InstallHelpers() {
    throw IECustomInstallFile(kNotBuilt, {"Installing files"});
}

void TCustomInstallFile::CompleteAfterRestart() {
    if (FActiveX)
        throw IECustomInstallFile(kNotBuilt, {"Registering ActiveX components"});
}

void TCustomInstallFile::WriteUninstallEntries(const std::string&) {
    throw IECustomInstallFile(kNotBuilt, {"Logging installed files for the uninstaller"});
}

void TCustomInstallFile::ArchiveAborted() {
    throw EAIUserAbort();
}

void TCustomInstallFile::RegisterDll() {
    throw IECustomInstallFile(kNotBuilt, {"Registering ActiveX components"});
}

void TCustomInstallFile::RegisterExe() {
    throw IECustomInstallFile(kNotBuilt, {"Registering ActiveX components"});
}

void TCustomInstallFile::PrepareDestination() {
    throw IECustomInstallFile(kNotBuilt, {"Replacing files that are in use"});
}

// The rules that follow a change (destination name, help and ActiveX flags,
// file type and folder) come with the per-file stage; until then the setters
// store their values.
void TCustomInstallFile::SetActiveX(bool Value) {
    FActiveX = Value;
}
void TCustomInstallFile::SetDestName(const std::string& Value) {
    FDestName = Value;
}
void TCustomInstallFile::SetFileName(const std::string& Value) {
    FFileName = Value;
}
void TCustomInstallFile::SetFileType(TInstallFileType Value) {
    FFileType = Value;
}
void TCustomInstallFile::SetIncludeFromDir(const std::string& Value) {
    FIncludeFromDir = Value;
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

void TCustomInstallFile::CompressFile() {
    throw IECustomInstallFile(kNotBuilt, {"Compressing files"});
}

void TCustomInstallFile::CopyPlain() {
    throw IECustomInstallFile(kNotBuilt, {"Copying files"});
}

void TCustomInstallFile::ReadInfoFromArchive() {
    throw IECustomInstallFile(kNotBuilt, {"Reading sizes, dates and versions of files"});
}

void TCustomInstallFile::ReadInfoFromSource() {
    throw IECustomInstallFile(kNotBuilt, {"Reading sizes, dates and versions of files"});
}

bool TCustomInstallFile::HasOLESelfRegister() {
    throw IECustomInstallFile(kNotBuilt, {"Reading the self-registration flag of files"});
}

bool TCustomInstallFile::IncrementSharedDLLCount() {
    throw IECustomInstallFile(kNotBuilt, {"Counting shared libraries"});
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
