// The install object tree. Every component of an installation project is an
// install container: it holds an ordered list of helpers (the objects that
// belong to it), expands its destination folder through a path specifier,
// knows whether it is selected for the install type of the run, installs
// itself and its helpers and broadcasts information events to the dialogs
// among its helpers. An install object belongs to a container through its
// Container link; the links form a tree whose root is the installation
// component.
//
// File-related objects, file containers and install files live here too:
// file containers run the whole-tree operations (compress, install, copy) and
// relay the progress of their files upward; install files extract, compress
// and copy themselves and write their registry records. Their operations are
// spread over one source file per kind of step (cmp_TFileContainer_Ops,
// cmp_TInstallFile_Install, _Room, _Registry, _ActiveX, _Build, _Plan,
// cmp_TFileRelated_Download).
#pragma once
#include "archive/cmp_TQnfdCompress.h"
#include "objects/cmp_TNetInstallLocation.h"
#include "objects/types_RunState.h"
#include "platform/cmp_TVersion.h"
#include "platform/exceptions_Quenfold.h"
#include "platform/types_Base.h"
#include "toolkit/classes_Components.h"
#include <array>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

class TCustomPathSpecifier;
class TInstallContainer;
class TFileContainer;
class TCustomInstallFile;

// --- install types ---------------------------------------------------------------------

enum TInstallType : Byte { itFull, itDefault, itCompact, itAlways, itCustom };
// A set of install types in one byte: bit n stands for ordinal n.
using TInstallTypeSet = Byte;
constexpr TInstallTypeSet InstallTypeBit(TInstallType t) {
    return static_cast<TInstallTypeSet>(1u << t);
}
constexpr TInstallTypeSet MakeInstallTypes(std::initializer_list<TInstallType> types) {
    TInstallTypeSet s = 0;
    for (TInstallType t : types)
        s = static_cast<TInstallTypeSet>(s | InstallTypeBit(t));
    return s;
}
constexpr bool HasInstallType(TInstallTypeSet s, TInstallType t) {
    return (s & InstallTypeBit(t)) != 0;
}
constexpr TInstallTypeSet AllInstallTypes = 0x1F;

// --- information events ------------------------------------------------------------------

// Broadcast by an object to the dialogs among its helpers (registered type 9000).
constexpr Integer ieObjectIncluded = -999;
constexpr Integer ieFileStatus = -998;
constexpr Integer ieReplacing = -997;
constexpr Integer ieOperationDone = -996;
constexpr Integer ieGoodInstall = -995;
constexpr Integer ieBadInstall = -994;
constexpr Integer ieNewDisk = -993;
constexpr Integer ieBeforeInstallObjects = -992;
constexpr Integer ieBeforeObjectInstall = -990;
constexpr Integer ieAfterObjectInstall = -989;
constexpr Integer ieDownloadStatus = -988;
constexpr Integer ieReboot = -987;
constexpr Integer ieBeforeInstall = -980;
constexpr Integer ieAfterGoodInstall = -979;
constexpr Integer ieAfterBadInstall = -978;
constexpr Integer ieStatusMessage = -974;
constexpr Integer ieRemoveStatusMessage = -973;

// Passed upward from a child to its container (DoInformationEventControl).
constexpr Integer icFileInstalled = 1001;
constexpr Integer icBeforeFileInstall = 1002;
constexpr Integer icReplacing = 1003;
constexpr Integer icBeforeCompress = 1004;
constexpr Integer icAfterCompress = 1005;
constexpr Integer icBeforeCopy = 1006;
constexpr Integer icAfterCopy = 1007;
constexpr Integer icInstallStatus = 1008;
constexpr Integer icCompressStatus = 1009;
constexpr Integer icCopyStatus = 1010;
constexpr Integer icNewDisk = 1011;
constexpr Integer icOperationBegin = 1012;
constexpr Integer icOperationEnd = 1013;
constexpr Integer icDownloadStatus = 1014;
constexpr Integer icFileSkipped = 1015;
constexpr Integer icFileKept = 1016;

// Helper groups in a container's list, in install order.
constexpr Integer rtFileContainer = 1000;
constexpr Integer rtInstallFile = 2000;
constexpr Integer rtDialog = 9000;

// --- parameter objects of the progress protocol ---------------------------------------------
// Created by the sender for one event and freed by it; receivers only read them
// during the call.

// Byte counts are 64-bit: a product of more than 2 GiB must not overflow.
class TFileStatusParameter : public TObject {
public:
    Int64 FileBytesDone = 0;
    Integer FilePercentDone = 0;
    std::string FileName;
    // The archive component's progress record; all zero when the status did
    // not come from it.
    TlzhFileStats FileStats;
    Int64 TotalDone = 0;
    Integer TotalPercentDone = 0;
};

class TDownloadStatusParameter : public TObject {
public:
    TDownloadStatusParameter() = default;
    // PercentDone is computed: DownloadedBytes / DownloadSize x 100 to the
    // nearest integer, 0 when the size is 0.
    TDownloadStatusParameter(const std::string& remoteFile, Integer chunkSize, Integer downloadedBytes,
                             Integer downloadSize);
    Integer ChunkSize = 0;
    std::string RemoteFile;
    Integer DownloadSize = 0;
    Integer DownloadedBytes = 0;
    Integer PercentDone = 0;
};

class TMessageParameter : public TObject {
public:
    explicit TMessageParameter(std::string text = {}) : MessageText(std::move(text)) {}
    std::string MessageText;
};

class TDiskParameter : public TObject {
public:
    Integer DiskNumber = 0;
    // Without trailing backslash; a handler may change it.
    std::string DiskPath;
};

// The list parameter of the status and disk events: [install file, parameter].
class TParameterList : public TObject {
public:
    TParameterList() = default;
    TParameterList(std::initializer_list<TObject*> items) : Items(items) {}
    int Count() const { return static_cast<int>(Items.size()); }
    std::vector<TObject*> Items;
};

// --- event types -------------------------------------------------------------------------------

using TInstallFileNotifyEvent = std::function<void(TCustomInstallFile* InstallFile)>;
using TInstallFileStatusEvent = std::function<void(
    TCustomInstallFile* InstallFile, const Integer FilePercentDone, const Integer TotalPercentDone)>;
using TInstallFileNewDiskEvent =
    std::function<void(TCustomInstallFile* InstallFile, const Integer NewDisk, std::string& Path)>;
using TInstallContainerNotifyEvent = std::function<void(TInstallContainer* Container)>;
using TAfterInstallObjectsEvent = std::function<void(TInstallContainer* Container, bool WasAborted)>;

// --- TInstallContainer ---------------------------------------------------------------------------

class TInstallContainer : public TComponent {
    QFD_CLASS(TInstallContainer)
public:
    // Joins InstallContainerList; with a form as owner, makes sure the project
    // holds one path specifier of every standard kind.
    explicit TInstallContainer(TComponent* AOwner);
    ~TInstallContainer() override;

    virtual Integer FileContainerCount();
    virtual TFileContainer* FileContainers(int Index);
    virtual void SetDestDir(const std::string& Value);
    // Outside loading the specifier first validates this object.
    virtual void SetDestDirType(TCustomPathSpecifier* Value);
    // Container is going away: drop every reference to it.
    virtual void ContainerDestroying(TInstallContainer* Container);
    virtual void PushStatusMessage(const std::string& Text);
    virtual void DoInformationEventControl(TObject* Sender, Integer Code, TObject* ParameterObject);
    virtual void HandleInformationEvent(TObject* Sender, Integer Code, TObject* ParameterObject);
    // The specifier's path for this object directly followed by DestDir, one
    // trailing backslash removed.
    virtual std::string ExpandedDestDir();
    // The helper group of the class; the base has none and raises.
    virtual Integer RegisteredType();
    // Inserts Helper by registered type and Order; raises for nil, for this
    // container itself and for a helper above it in the tree.
    virtual void AddHelper(TInstallContainer* Helper);
    // The install step; EAbort inside it ends the step quietly.
    virtual void Install();
    virtual void InstallHelpers();
    virtual bool WillInstall();
    virtual void CompleteAfterRestart();
    virtual void RefreshTranslation();
    virtual void RemoveHelper(TInstallContainer* Helper);
    virtual void WriteUninstallEntries(const std::string& Key);

    int HelperCount() const { return static_cast<int>(FHelpers.size()); }
    // Raises IEInstallContainer for an index out of range.
    TInstallContainer* Helpers(int Index) const;
    // The Index-th helper among those of ComponentType or derived from it.
    TInstallContainer* Comp(int Index, const TClassInfo& ComponentType) const;
    int HelperCountOfType(const TClassInfo& ComponentType) const;
    // Destroys every helper of ComponentType (or derived), last first.
    void FreeHelpersOfType(const TClassInfo& ComponentType);
    // Order becomes 0, 1, 2 ... within each registered-type group.
    void RenumberHelpers();
    // Calls HandleInformationEvent of every helper of registered type 9000.
    void SendInformationEvent(TObject* Sender, Integer Code, TObject* ParameterObject);
    void PopStatusMessage();
    // Sets the install type of the run on the whole subtree.
    void SetCurrentInstallType(TInstallType Value);

    bool Include() const { return FInclude; }
    void SetInclude(bool v) { FInclude = v; }
    bool Installed() const { return FInstalled; }
    bool Installable() const { return FInstallable; }
    TInstallTypeSet InstallTypes() const { return FInstallTypes; }
    // itAlways never stands with another type: choosing it clears the others,
    // choosing another clears it; an empty set means [itAlways].
    void SetInstallTypes(TInstallTypeSet Value);
    TInstallType CurrentInstallType() const { return FCurrentInstallType; }
    const std::string& DestDir() const { return FDestDir; }
    TCustomPathSpecifier* DestDirType() const { return FDestDirType; }
    Integer Order() const { return FOrder; }

    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    void BeforeDestruction() override;
    // The install-type part of WillInstall.
    bool SelectedByInstallType() const;

    bool FInstallable = false;
    std::vector<TInstallContainer*> FHelpers;
    bool FInclude = true;
    bool FInstalled = false;
    TInstallTypeSet FInstallTypes = InstallTypeBit(itAlways);
    TInstallType FCurrentInstallType = itAlways;
    std::string FDestDir;
    TCustomPathSpecifier* FDestDirType = nullptr;
    Integer FOrder = -1;

private:
    void LeaveTree();
    void ForgetRawReferences();
    bool FLeftTree = false;
};

// --- TInstallObject ---------------------------------------------------------------------------------

class TInstallObject : public TInstallContainer {
    QFD_CLASS(TInstallObject)
public:
    explicit TInstallObject(TComponent* AOwner);

    void ContainerDestroying(TInstallContainer* Container) override;
    // Joins Value's helpers (checks first, nothing changes when they fail) and
    // leaves the old container; outside loading the object then installs into
    // its container's folder.
    virtual void SetContainer(TInstallContainer* Value);
    // Outside loading Order is a target position: the object moves there in
    // its group and the group is renumbered. Without a container nothing changes.
    void SetOrder(Integer Value);

    TInstallContainer* Container() const { return FContainer; }

protected:
    TInstallContainer* FContainer = nullptr;
    friend class TInstallContainer;
};

// --- TFileRelated ---------------------------------------------------------------------------------------

enum TlzhCommand : Byte { lzcOverwrite, lzcOnlyAdd };

class TFileRelated : public TInstallObject {
    QFD_CLASS(TFileRelated)
public:
    explicit TFileRelated(TComponent* AOwner);

    void SetContainer(TInstallContainer* Value) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void Loaded() override;

    // Broadcasts and relays the progress of a download.
    virtual void DownloadStatus(const std::string& RemoteFile, Integer ChunkSize, Integer DownloadedBytes,
                                Integer DownloadSize, const void* Buffer);
    // Uses a registered local archive, else downloads Name + ".1" from the
    // object's network location into a temporary file and registers it. A
    // cancel by the user removes the partial file and raises EAIUserAbort.
    // A download that is not the one of the build (its digest) is removed
    // and raises ENIL_NotAuthentic.
    virtual void DownloadArchive();
    // Takes up the registered local archive kept from an earlier download
    // when it checks out against the build's digest; one that does not is
    // removed and forgotten (false), so that it is downloaded again.
    bool CheckKeptArchive();
    virtual bool HasLocalArchive();
    // An empty Path forgets the registered archive.
    virtual void RegisterLocalFile(const std::string& Path);
    virtual void SetArchiveFile(const std::string& Value);
    virtual void SetArchiveFileType(TCustomPathSpecifier* Value);
    virtual void SetNet(bool Value);
    virtual void SetNetLocation(TCustomNetInstallLocation* Value);
    // The path of ArchiveFileType for this object directly followed by
    // ArchiveFile, one trailing backslash removed.
    virtual std::string ExpandedArchiveFile();

    // The local archive registered under the install record ("LocalFile" of
    // the subkey named after this object), when it names an existing file.
    bool GetRegisteredLocalFile(std::string& Path);
    // The object's own location, else its container's (install files), else
    // the installation component's.
    TCustomNetInstallLocation* FindNetLocation();

    TlzhCommand AddToArchive() const { return FAddToArchive; }
    void SetAddToArchive(TlzhCommand v) { FAddToArchive = v; }
    bool InfoRead() const { return FInfoRead; }
    const std::string& ArchiveFile() const { return FArchiveFile; }
    TCustomPathSpecifier* ArchiveFileType() const { return FArchiveFileType; }
    bool Net() const { return FNet; }
    TCustomNetInstallLocation* NetLocation() const { return FNetLocation; }
    const std::string& LocalArchive() const { return FLocalArchive; }

protected:
    // After a download: when the user cancelled it, forgets the archive and
    // raises EAIUserAbort.
    void EndAbortedDownload();

    std::string FLocalArchive;
    TlzhCommand FAddToArchive = lzcOverwrite;
    bool FInfoRead = false;
    std::string FArchiveFile;
    TCustomPathSpecifier* FArchiveFileType = nullptr;
    bool FNet = true;
    TCustomNetInstallLocation* FNetLocation = nullptr;
    // Compress sets the archive settings of its children for one build and
    // puts them back.
    friend class TFileContainer;
};

// --- TFileContainer ---------------------------------------------------------------------------------------

// Options of Compress, one bit each.
enum TCompressOption : Byte {
    coOnlyAddNoArchive,
    coSeparateToBuildDir,
    coReserved2,
    coForceNetFilesLocal,
    coForceFilesNet,
    coIncludeAll
};
using TCompressOptions = Byte;

class TFileContainer : public TFileRelated {
    QFD_CLASS(TFileContainer)
public:
    explicit TFileContainer(TComponent* AOwner);
    ~TFileContainer() override;

    Integer RegisteredType() override;
    void DoInformationEventControl(TObject* Sender, Integer Code, TObject* ParameterObject) override;
    void InstallHelpers() override;

    virtual void NewDisk(TCustomInstallFile* InstallFile, TDiskParameter* DiskParameter);
    virtual void Replacing(TCustomInstallFile* InstallFile);
    virtual void FileStatus(TCustomInstallFile* InstallFile, TFileStatusParameter* StatusParameter);
    // Uncompressed bytes of the files that IncludeAll or WillInstall selects.
    virtual Int64 TotalSize(bool IncludeAll, bool Recurse);
    virtual void RunOperation(Byte Operation);
    virtual void CopyAll();
    virtual void FreeFiles();
    virtual void Compress(TCompressOptions Options);
    virtual TCustomInstallFile* FindFileBySource(const std::string& Path);
    virtual Int64 CompressedTotal(bool IncludeAll);
    virtual std::string GetArchivePath();
    virtual void ReadInfoFromArchive();
    virtual void ReadInfoFromSource();
    virtual bool NeedsContainerDownload();
    // Some install file of the container is fetched over the network.
    bool HasNetFiles();

    Int64 DoneSize() const { return FDoneSize; }
    Int64 TotalSizeOfOperation() const { return FTotalSize; }

    bool AllowChangeDir() const { return FAllowChangeDir; }
    void SetAllowChangeDir(bool v) { FAllowChangeDir = v; }
    bool AllowChangeInclude() const { return FAllowChangeInclude; }
    const TStringList& Description() const { return FDescription; }
    void SetDescription(const TStringList& v) { FDescription = v; }
    const std::string& GroupName() const { return FGroupName; }
    void SetGroupName(const std::string& v) { FGroupName = v; }
    Byte Operation() const { return FOperation; }

    TInstallFileStatusEvent OnStatus;
    TInstallFileNewDiskEvent OnNewDisk;
    TInstallFileNotifyEvent OnReplacing;
    TAfterInstallObjectsEvent OnAfterInstallObjects;
    TInstallContainerNotifyEvent OnBeforeInstallObjects;

protected:
    // Its install files go first.
    void BeforeDestruction() override;

    // Passes an event on to the container, with this container as sender.
    void PassUp(Integer Code, TObject* ParameterObject);
    // TotalDone of the whole operation in percent, 0 without a total.
    Integer PercentOfTotal(Int64 done) const;

    Int64 FTotalSize = 0;
    Int64 FDoneSize = 0;
    bool FAllowChangeDir = true;
    bool FAllowChangeInclude = true;
    TStringList FDescription;
    std::string FGroupName;
    Byte FOperation = 0; // 0 none, 1 compress, 2 install, 3 copy

    // Sets the operation for a whole-tree copy or compress and, however it
    // ends, clears it and tells the dialogs.
    class TOperationScope {
    public:
        TOperationScope(TFileContainer& c, Byte operation);
        ~TOperationScope();
        TOperationScope(const TOperationScope&) = delete;
        TOperationScope& operator=(const TOperationScope&) = delete;

    private:
        TFileContainer& FContainer;
    };
};

// --- install files
// -------------------------------------------------------------------------------------------

enum TInstallFileType : Byte {
    iftNormal,
    iftJustADLL,
    iftApplicationSpecificDLL,
    iftVendorSharedDLL,
    iftSystemWideDLL
};
enum TInstallFileState : Byte { ifsNone, ifsCompress, ifsInstall, ifsCopying };

// Archive member identifiers 0..1999 in use by live install files. A
// counter per identifier, so that two files that carry the same identifier
// (a damaged project) do not free each other's.
struct TUniqueIDTable {
    static constexpr int Size = kFileIDCount;
    std::array<int, Size> Used{};
    // Set once the first loaded install file has taken its stored identifier.
    bool Rebuilt = false;
    bool InUse(int id) const { return id >= 0 && id < Size && Used[static_cast<size_t>(id)] > 0; }
};
TUniqueIDTable& UniqueIDTable();

// A file as the install step will write it, seen before the run touches
// anything (the check of room, folders and members).
struct TFileInstallPlan {
    std::string Name; // the install file's component name
    std::string Dest; // the destination path
    // False when the overwrite rule keeps the file there: it needs no room.
    bool Written = false;
    Int64 Size = 0;
    // Its archive is fetched over the network during the run.
    bool FromNetwork = false;
    // The local archive of its member and the member's stored path.
    std::string Archive;
    std::string Member;
};

// One file of an installation: a source on the build machine, a member of an
// archive and a destination. Changing its name, type or folder applies the
// rules of ApplyFileProperties; installing extracts it under its overwrite
// rule, makes room for it (a file in use is replaced at the next restart)
// and writes its registry records.
class TCustomInstallFile : public TFileRelated {
    QFD_CLASS(TCustomInstallFile)
public:
    explicit TCustomInstallFile(TComponent* AOwner);
    // IncludeFromDir and FileName from a source path.
    TCustomInstallFile(TComponent* AOwner, const std::string& Path);
    // The same, then joins Container.
    TCustomInstallFile(TComponent* AOwner, TInstallContainer* Container, const std::string& Path);
    ~TCustomInstallFile() override;

    Integer RegisteredType() override;
    void Loaded() override;
    // The per-file install step.
    void InstallHelpers() override;
    void CompleteAfterRestart() override;
    // Logs the file once under "Files" (or "ActiveX") of the uninstall key;
    // somebody else's file that was there under "Existed" (or
    // "ExistedActiveX"); a kept file only when it is counted as shared.
    void WriteUninstallEntries(const std::string& Key) override;
    void SetContainer(TInstallContainer* Value) override;
    void SetDestDir(const std::string& Value) override;
    void SetDestDirType(TCustomPathSpecifier* Value) override;
    // While installing a network file: its downloaded archive.
    std::string ExpandedArchiveFile() override;

    // Raises the user's abort; the archive component calls it when it was cancelled.
    virtual void ArchiveAborted();
    virtual void RegisterDll();
    virtual void RegisterExe();
    virtual void PrepareDestination();
    virtual void SetActiveX(bool Value);
    virtual void SetDestName(const std::string& Value);
    virtual void SetFileName(const std::string& Value);
    virtual void SetFileType(TInstallFileType Value);
    virtual void SetIncludeFromDir(const std::string& Value);
    // Runs an operation (1 compress, 2 install, 3 copy); ifsNone afterwards.
    virtual void SetState(TInstallFileState Value);
    virtual void CompressFile();
    virtual void CopyPlain();
    virtual void ReadInfoFromArchive();
    virtual void ReadInfoFromSource();
    virtual bool HasOLESelfRegister();
    virtual bool IncrementSharedDLLCount();
    // What the install step will do with the file, decided as the step
    // decides it; false when the step writes no file of its own (a blank
    // destination fails there with its own message).
    virtual bool PlanInstall(TFileInstallPlan& Plan);

    // IncludeFromDir (backslash added) + FileName.
    std::string SourcePath() const;
    // ExpandedDestDir (backslash added) + DestName.
    std::string DestFilePath();
    // The path the file has once the installation is complete: the
    // destination, also while the new file waits under a candidate name for
    // the restart.
    std::string FinalDestPath();
    // Has its own network location, or compares versions or dates.
    bool NeedsOwnArchive() const;
    // Help file, shared DLL count, unfinished business and ActiveX.
    void RegisterAfterInstall();
    // By extension: "/REGSERVER" for a program, DllRegisterServer otherwise.
    void RegisterActiveX();

    bool ReplacedAtRestart() const { return FReplacedAtRestart; }
    // The destination held open, during and after an install step: the new
    // file's candidate path and the path it replaces at the restart.
    const std::string& RestartSource() const { return FRestartSource; }
    const std::string& RestartTarget() const { return FRestartTarget; }
    bool WillReplace() const { return FWillReplace; }
    bool ActiveX() const { return FActiveX; }
    Integer CompressedSize() const { return FCompressedSize; }
    Byte CompressState() const { return FCompressState; }
    // A build starts with no file compressed.
    void ResetCompressState() { FCompressState = 0; }
    TDateTime FileDate() const { return FFileDate; }
    const std::string& DestName() const { return FDestName; }
    const std::string& FileName() const { return FFileName; }
    TInstallFileType FileType() const { return FFileType; }
    const std::string& IncludeFromDir() const { return FIncludeFromDir; }
    TOverwriteType OverwriteMode() const { return FOverwriteMode; }
    void SetOverwriteMode(TOverwriteType v) { FOverwriteMode = v; }
    bool RegisterAsHelp() const { return FRegisterAsHelp; }
    void SetRegisterAsHelp(bool v) { FRegisterAsHelp = v; }
    bool RunAfterInstall() const { return FRunAfterInstall; }
    void SetRunAfterInstall(bool v) { FRunAfterInstall = v; }
    Integer FileSize() const { return FFileSize; }
    TInstallFileState State() const { return FState; }
    Integer UniqueID() const { return FUniqueID; }
    // While loading only stores: the table is brought up to date in Loaded.
    void SetUniqueID(Integer v);
    bool UpdateDLLCounter() const { return FUpdateDLLCounter; }
    void SetUpdateDLLCounter(bool v) { FUpdateDLLCounter = v; }
    const std::string& FileVersion() const { return FFileVersion; }
    // Size, date and version as the remote list of files gives them (the
    // version cut to 20 characters).
    void SetRemoteFileInfo(Integer Size, TDateTime Date, const std::string& Version);

    TInstallFileNotifyEvent OnAfterCompress, OnAfterCopy, OnAfterInstall, OnBeforeCompress, OnBeforeCopy,
        OnBeforeInstall;
    TInstallFileStatusEvent OnStatus;
    TInstallFileNewDiskEvent OnNewDisk;
    TInstallFileNotifyEvent OnReplacing;

protected:
    bool FReplacedAtRestart = false;
    bool FWillReplace = false;
    bool FActiveX = false;
    Integer FCompressedSize = 0;
    Byte FCompressState = 0;
    TDateTime FFileDate = 0;
    std::string FDestName;
    std::string FFileName;
    TInstallFileType FFileType = iftNormal;
    std::string FIncludeFromDir;
    TOverwriteType FOverwriteMode = owAlways;
    bool FRegisterAsHelp = false;
    bool FRunAfterInstall = false;
    Integer FFileSize = 0;
    TInstallFileState FState = ifsNone;
    Integer FUniqueID = 0;
    bool FUpdateDLLCounter = false;
    std::string FFileVersion; // at most 20 characters

    // The archive component's handlers while the file works with it.
    void ArchiveStatus(TQnfdCompress& Sender, const TlzhFileStats& Stats);
    void NewDiskRequest(TQnfdCompress& Sender, int DiskNumber, std::string& Path);
    // Hands the event to the container (a file container, or none).
    void PassToContainer(Integer Code, TObject* ParameterObject);
    // Extracts the member into the destination (or its candidate name).
    void ExtractFromArchive(TQnfdCompress& Archive);
    // The rest of the install step for a file that is not written.
    void KeepExisting();
    // Steps 4 to 6 of making room: run once the new file has checked out.
    void ScheduleRestartReplacement();
    void WriteRestartBatch(const std::string& shortTarget, const std::string& shortNew);

    bool FRestartScheduled = false;
    std::string FRestartSource, FRestartTarget;
    // The destination existed before this install step.
    bool FDestExisted = false;

private:
    struct TFileProps {
        TInstallContainer* Container;
        std::string IncludeFromDir;
        bool ActiveX;
        TInstallFileType FileType;
        TCustomPathSpecifier* DestDirType;
        std::string DestName, DestDir, FileName;
    };
    TFileProps CurrentProps() const;
    // The rules that follow a change of one property (the one replaced in p).
    void ApplyFileProperties(TFileProps p);
    void MarkID(Integer id);
    void ReleaseID();
    Integer FMarkedID = -1; // the identifier this file holds in the table
    bool FApplying = false; // inside ApplyFileProperties: setters only store
};

// The OLESelfRegister flag in the version block of a file.
bool FileHasOLESelfRegister(const std::string& path);

class TInstallFile : public TCustomInstallFile {
    QFD_CLASS(TInstallFile)
public:
    using TCustomInstallFile::TCustomInstallFile;
};

// --- the global lists
// --------------------------------------------------------------------------------------------

class TInstallContainerList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    TInstallContainer* Items(int index) const { return FItems.at(static_cast<size_t>(index)); }
    int IndexOf(const TInstallContainer* c) const;
    // Raises IEContainerList for nil.
    void Add(TInstallContainer* c);
    void Remove(TInstallContainer* c);

private:
    std::vector<TInstallContainer*> FItems;
};

class TCustomInstallFileList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    TCustomInstallFile* Items(int index) const { return FItems.at(static_cast<size_t>(index)); }
    int IndexOf(const TCustomInstallFile* f) const;
    // Raises IECustomInstallFileList for nil.
    void Add(TCustomInstallFile* f);
    void Remove(TCustomInstallFile* f);
    void Clear() { FItems.clear(); }

private:
    std::vector<TCustomInstallFile*> FItems;
};

// Every live install container, in creation order.
TInstallContainerList& InstallContainerList();
// Every live install file; and those whose registration failed in this run.
TCustomInstallFileList& InstallFileList();
TCustomInstallFileList& FailedRegistrationList();
// True until the installation run collects registration failures instead.
bool& RaiseRegistrationErrors();
// The archive component that install files and file containers share, from
// first use to program end.
TQnfdCompress& SharedArchive();

// "\Software\Microsoft\Windows\CurrentVersion\Uninstall\" + the product name of
// the installation component; raises IEInstallContainer when there is none.
std::string UninstallKey();

// Makes every class of the object model that a stored layout may create known
// by name: file containers, install files, the uninstaller entry and the
// standard path specifiers.
void RegisterObjectClasses();
