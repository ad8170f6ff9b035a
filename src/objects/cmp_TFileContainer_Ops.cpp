// The whole-tree operations of a file container (install, compress for the
// build, plain copy), its byte totals and the relay of its files' events to
// its own events, its dialogs and its container.
#include "objects/cmp_TInstallContainer.h"
#include "objects/cmp_TPathSpecifier.h"
#include "objects/routines_Log.h"
#include "platform/routines_Files.h"
#include "platform/routines_Strings.h"
#include "toolkit/forms_Forms.h"
#include <cmath>

namespace {
// Shows the hourglass while it lives and puts the old cursor back.
class THourglass {
public:
    THourglass() {
        if (TApplication* app = Application()) {
            FOld = app->Cursor();
            app->SetCursor(crHourGlass);
        }
    }
    ~THourglass() {
        if (TApplication* app = Application())
            app->SetCursor(FOld);
    }
    THourglass(const THourglass&) = delete;
    THourglass& operator=(const THourglass&) = delete;

private:
    TCursor FOld = crDefault;
};

template <class T> T* Checked(TObject* o) {
    return dynamic_cast<T*>(o);
}
} // namespace

// --- life ------------------------------------------------------------------------------------------------

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

// --- totals ------------------------------------------------------------------------------------------

Int64 TFileContainer::TotalSize(bool IncludeAll, bool Recurse) {
    Int64 total = 0;
    for (TInstallContainer* h : FHelpers) {
        if (auto* f = dynamic_cast<TCustomInstallFile*>(h)) {
            if (IncludeAll || f->WillInstall())
                total += f->FileSize();
        } else if (auto* c = dynamic_cast<TFileContainer*>(h); c && Recurse) {
            if (IncludeAll || c->WillInstall())
                total += c->TotalSize(IncludeAll, true);
        }
    }
    return total;
}

Int64 TFileContainer::CompressedTotal(bool IncludeAll) {
    Int64 total = 0;
    for (TInstallContainer* h : FHelpers) {
        if (auto* f = dynamic_cast<TCustomInstallFile*>(h)) {
            if (IncludeAll || f->WillInstall())
                total += f->CompressedSize();
        } else if (auto* c = dynamic_cast<TFileContainer*>(h)) {
            if (IncludeAll || c->WillInstall())
                total += c->CompressedTotal(IncludeAll);
        }
    }
    return total;
}

Integer TFileContainer::PercentOfTotal(Int64 done) const {
    if (FTotalSize == 0)
        return 0;
    double v = std::nearbyint(static_cast<double>(done) / static_cast<double>(FTotalSize) * 100.0);
    if (!std::isfinite(v) || std::fabs(v) > INT32_MAX)
        return 0;
    return static_cast<Integer>(v);
}

// --- finding files ------------------------------------------------------------------------------------

TCustomInstallFile* TFileContainer::FindFileBySource(const std::string& Path) {
    for (TInstallContainer* h : FHelpers)
        if (auto* f = dynamic_cast<TCustomInstallFile*>(h);
            f && SameText(AddBackslash(f->IncludeFromDir()) + f->FileName(), Path))
            return f;
    return nullptr;
}

void TFileContainer::FreeFiles() {
    FreeHelpersOfType(TCustomInstallFile::StaticClass());
}

bool TFileContainer::HasNetFiles() {
    for (TInstallContainer* h : FHelpers)
        if (auto* f = dynamic_cast<TCustomInstallFile*>(h); f && f->Net())
            return true;
    return false;
}

bool TFileContainer::NeedsContainerDownload() {
    if (RunDistributeType() == dtTraditional)
        return false;
    for (TInstallContainer* h : FHelpers)
        if (auto* f = dynamic_cast<TCustomInstallFile*>(h);
            f && f->Net() && f->Include() && !f->NetLocation())
            return true;
    return false;
}

std::string TFileContainer::GetArchivePath() {
    std::string path;
    if (!GetRegisteredLocalFile(path))
        throw IEFileContainer("%s has not yet downloaded the archive file and therefore cannot retrieve the "
                              "path of the archive file",
                              {Name()});
    return path;
}

// --- reading sizes, dates and versions -------------------------------------------------------------------

void TFileContainer::ReadInfoFromArchive() {
    THourglass hourglass;
    const std::vector<TInstallContainer*> helpers = FHelpers;
    for (TInstallContainer* h : helpers)
        if (auto* f = dynamic_cast<TCustomInstallFile*>(h))
            f->ReadInfoFromArchive();
    for (TInstallContainer* h : helpers)
        if (auto* c = dynamic_cast<TFileContainer*>(h))
            c->ReadInfoFromArchive();
    FInfoRead = true;
}

void TFileContainer::ReadInfoFromSource() {
    THourglass hourglass;
    const std::vector<TInstallContainer*> helpers = FHelpers;
    for (TInstallContainer* h : helpers)
        if (auto* f = dynamic_cast<TCustomInstallFile*>(h))
            f->ReadInfoFromSource();
    for (TInstallContainer* h : helpers)
        if (auto* c = dynamic_cast<TFileContainer*>(h))
            c->ReadInfoFromSource();
}

// --- the relay ------------------------------------------------------------------------------------------

void TFileContainer::NewDisk(TCustomInstallFile* InstallFile, TDiskParameter* DiskParameter) {
    if (!OnNewDisk)
        return;
    OnNewDisk(InstallFile, DiskParameter->DiskNumber, DiskParameter->DiskPath);
    InstallFile->SetTag(1); // the request was handled
}

void TFileContainer::Replacing(TCustomInstallFile* InstallFile) {
    if (OnReplacing)
        OnReplacing(InstallFile);
    SendInformationEvent(this, ieReplacing, InstallFile);
}

void TFileContainer::FileStatus(TCustomInstallFile* InstallFile, TFileStatusParameter* StatusParameter) {
    if (OnStatus)
        OnStatus(InstallFile, StatusParameter->FilePercentDone, StatusParameter->TotalPercentDone);
    SendInformationEvent(this, ieFileStatus, StatusParameter);
}

void TFileContainer::PassUp(Integer Code, TObject* ParameterObject) {
    if (FContainer)
        FContainer->DoInformationEventControl(this, Code, ParameterObject);
}

namespace {
// The [install file, parameter] list of the status and disk events.
TParameterList& PairOf(TObject* PO) {
    auto* list = Checked<TParameterList>(PO);
    if (!list)
        throw IEFileContainer("DoInformationEventControl--PO is not a TList object");
    if (list->Count() < 2)
        throw IEFileContainer("DoInformationEventControl--Not engouh parameters for status event");
    return *list;
}
} // namespace

void TFileContainer::DoInformationEventControl(TObject* Sender, Integer Code, TObject* ParameterObject) {
    (void)Sender;
    if (FOperation == 0)
        return;
    if (!ParameterObject)
        throw IEFileContainer("%s got a nil PO parameter", {Name()});
    switch (Code) {
    case icReplacing: {
        auto* file = Checked<TCustomInstallFile>(ParameterObject);
        if (!file)
            throw IEFileContainer("DoInformationEventControl parameter is not TInstallFile");
        Replacing(file);
        break;
    }
    case icInstallStatus:
    case icCompressStatus:
    case icCopyStatus: {
        TParameterList& list = PairOf(ParameterObject);
        auto* file = Checked<TCustomInstallFile>(list.Items[0]);
        if (!file)
            throw IEFileContainer("DoInformationEventControl says bad first parameter");
        auto* status = Checked<TFileStatusParameter>(list.Items[1]);
        if (!status)
            throw IEFileContainer("DoInformationEventControl says bad second parameter");
        status->TotalDone = FDoneSize + status->FileBytesDone;
        status->TotalPercentDone = PercentOfTotal(status->TotalDone);
        FileStatus(file, status);
        if (status->FileStats.Finished && FOperation >= 1 && FOperation <= 3)
            FDoneSize += status->FileStats.FileSize;
        break;
    }
    case icNewDisk: {
        TParameterList& list = PairOf(ParameterObject);
        auto* file = Checked<TCustomInstallFile>(list.Items[0]);
        if (!file)
            throw IEFileContainer("DoInformationEventControl says bad %d parameter", {1});
        auto* disk = Checked<TDiskParameter>(list.Items[1]);
        if (!disk)
            throw IEFileContainer("DoInformationEventControl says bad %d parameter", {2});
        NewDisk(file, disk);
        SendInformationEvent(this, ieNewDisk, &list);
        break;
    }
    case icDownloadStatus:
        if (!Checked<TDownloadStatusParameter>(ParameterObject))
            throw IEFileContainer("The PO object passed to %s is not a TDownloadStatusParameter object",
                                  {Name()});
        SendInformationEvent(this, ieDownloadStatus, ParameterObject);
        break;
    case icFileSkipped:
    case icFileKept: {
        auto* file = Checked<TCustomInstallFile>(ParameterObject);
        if (!file)
            throw IEFileContainer("DoInformationEventControl says bad first parameter");
        TFileStatusParameter status;
        status.FileBytesDone = file->FileSize();
        status.FilePercentDone = 100;
        status.FileName = file->FileName();
        status.TotalDone = FDoneSize + file->FileSize();
        status.TotalPercentDone = PercentOfTotal(status.TotalDone);
        FileStatus(file, &status);
        FDoneSize += file->FileSize();
        break;
    }
    default:
        break;
    }
    PassUp(Code, ParameterObject);
}

// --- installing ------------------------------------------------------------------------------------------

void TFileContainer::InstallHelpers() {
    FOperation = 2;
    std::exception_ptr failure;
    {
        THourglass hourglass;
        try {
            std::string local;
            if (GetRegisteredLocalFile(local))
                FLocalArchive = local;
            ReadInfoFromArchive();
            SendInformationEvent(this, ieBeforeInstallObjects, nullptr);
            PassUp(icOperationBegin, this);
            FTotalSize = TotalSize(false, true);
            FDoneSize = 0;
            LogLine("Install", Name() + ": " + IntToStr(FTotalSize) + " bytes to install");
            if (OnBeforeInstallObjects)
                OnBeforeInstallObjects(this);
            TFileRelated::InstallHelpers();
            PassUp(icOperationEnd, this);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // A Cancel between two files never reaches the archive component.
    bool wasAborted = SharedArchive().Abort;
    if (failure && !wasAborted) {
        try {
            std::rethrow_exception(failure);
        } catch (const EAIUserAbort&) {
            wasAborted = true;
        } catch (...) {
        }
    }
    try {
        SendInformationEvent(this, ieOperationDone, nullptr);
        if (OnAfterInstallObjects)
            OnAfterInstallObjects(this, wasAborted);
    } catch (...) {
        FOperation = 0;
        if (!failure)
            throw;
    }
    FOperation = 0;
    if (failure)
        std::rethrow_exception(failure);
}

void TFileContainer::RunOperation(Byte Operation) {
    struct Reset {
        Byte& op;
        ~Reset() { op = 0; }
    } reset{FOperation};
    switch (Operation) {
    case 1:
        Compress(0);
        break;
    case 2:
        Install();
        break;
    case 3:
        CopyAll();
        break;
    default:
        break;
    }
}

TFileContainer::TOperationScope::TOperationScope(TFileContainer& c, Byte operation) : FContainer(c) {
    c.FOperation = operation;
}

TFileContainer::TOperationScope::~TOperationScope() {
    FContainer.FOperation = 0;
    try {
        FContainer.SendInformationEvent(&FContainer, ieOperationDone, nullptr);
    } catch (...) {
        // Already unwinding or done: the operation's own result counts.
    }
}

// --- plain copy --------------------------------------------------------------------------------------------

void TFileContainer::CopyAll() {
    TOperationScope scope(*this, 3);
    if (!FInclude)
        return;
    PassUp(icOperationBegin, this);
    ReadInfoFromSource();
    FTotalSize = TotalSize(false, true);
    FDoneSize = 0;
    const std::vector<TInstallContainer*> helpers = FHelpers;
    for (TInstallContainer* h : helpers)
        if (auto* f = dynamic_cast<TCustomInstallFile*>(h))
            f->SetState(ifsCopying);
    for (TInstallContainer* h : helpers)
        if (auto* c = dynamic_cast<TFileContainer*>(h))
            c->CopyAll();
    PassUp(icOperationEnd, this);
}

// --- compressing for the build --------------------------------------------------------------------------

namespace {
bool Has(TCompressOptions options, TCompressOption o) {
    return (options & (1u << o)) != 0;
}

// Removes a file before a new archive is written; raises when it stays.
void DeleteArchive(const std::string& owner, const std::string& path) {
    if (!FileExists(path))
        return;
    if (!RemoveFile(path)) {
        LogLine("Build", SystemFailure("DeleteFile(" + path + ")", LastSystemError()));
        throw IEFileContainer("%s cannot delete the archive file %s", {owner, path});
    }
}

// The directory of an archive path, without trailing backslash.
std::string ArchiveDir(const std::string& archive) {
    return RemoveBackslash(ExtractFilePath(archive));
}
} // namespace

void TFileContainer::Compress(TCompressOptions Options) {
    if (Has(Options, coForceNetFilesLocal) && Has(Options, coForceFilesNet))
        throw IEFileContainer("Cannot pass both coForceNetFilesLocal and coForceFilesNet to Compress");
    TOperationScope scope(*this, 1);
    if (!FInclude)
        return;
    PassUp(icOperationBegin, this);
    ReadInfoFromSource();
    const bool includeAll = Has(Options, coIncludeAll);
    FTotalSize = TotalSize(includeAll, true);
    FDoneSize = 0;

    const std::string ownArchive = ExpandedArchiveFile();
    const std::string buildDir = ArchiveDir(ownArchive);
    FLocalArchive = buildDir + "\\" + Name() + ".1";
    if (FAddToArchive == lzcOverwrite)
        DeleteArchive(Name(), ChangeFileExt(ownArchive, ".1"));
    if (HasNetFiles() ||
        (Has(Options, coForceFilesNet) && HelperCountOfType(TCustomInstallFile::StaticClass()) > 0))
        DeleteArchive(Name(), FLocalArchive);

    std::string mainArchive = RunState().Install ? RunState().Install->ExpandedArchiveFile() : ownArchive;
    const std::vector<TInstallContainer*> helpers = FHelpers;
    for (TInstallContainer* h : helpers) {
        auto* item = dynamic_cast<TFileRelated*>(h);
        if (!item)
            continue;
        const TlzhCommand oldAdd = item->FAddToArchive;
        const std::string oldFile = item->FArchiveFile;
        TCustomPathSpecifier* const oldType = item->FArchiveFileType;
        const bool oldInclude = item->FInclude;
        struct Restore {
            TFileRelated& i;
            TlzhCommand add;
            std::string file;
            TCustomPathSpecifier* type;
            bool include;
            ~Restore() {
                i.FAddToArchive = add;
                i.FArchiveFile = file;
                i.FArchiveFileType = type;
                i.FInclude = include;
            }
        } restore{*item, oldAdd, oldFile, oldType, oldInclude};
        if (includeAll)
            item->FInclude = true;

        auto* file = dynamic_cast<TCustomInstallFile*>(item);
        const bool netFile =
            file && !Has(Options, coForceNetFilesLocal) && (file->Net() || Has(Options, coForceFilesNet));
        if (netFile && file->NetLocation()) {
            item->FAddToArchive = lzcOverwrite;
            item->FArchiveFileType = nullptr;
            item->FArchiveFile = buildDir + "\\" + file->Name() + ".1";
        } else if (netFile) {
            item->FAddToArchive = lzcOnlyAdd;
            item->FArchiveFileType = nullptr;
            const TOverwriteType mode = file->OverwriteMode();
            item->FArchiveFile = mode == owVersion || mode == owDate || mode == owVersionDate
                                     ? buildDir + "\\" + file->Name() + ".1"
                                     : FLocalArchive;
        } else if (Has(Options, coOnlyAddNoArchive)) {
            item->FAddToArchive = lzcOnlyAdd;
            item->FArchiveFileType = nullptr;
            item->FArchiveFile.clear();
        } else if (dynamic_cast<TpsContainerArchiveFile*>(oldType)) {
            item->FAddToArchive = lzcOnlyAdd;
        } else if (dynamic_cast<TpsInstallSource*>(oldType)) {
            item->FAddToArchive = lzcOverwrite;
            item->FArchiveFileType = nullptr;
            item->FArchiveFile = ArchiveDir(mainArchive) + oldFile;
        } else if (Has(Options, coSeparateToBuildDir)) {
            std::string own = item->ExpandedArchiveFile();
            // The drive goes; a path without one is placed below the build
            // folder as it stands, with one separator between.
            if (size_t colon = own.find(':'); colon != std::string::npos)
                own.erase(0, colon + 1);
            if (own.empty() || own[0] != '\\')
                own.insert(0, "\\");
            item->FAddToArchive = lzcOverwrite;
            item->FArchiveFileType = nullptr;
            item->FArchiveFile = buildDir + own;
        }
        if (auto* c = dynamic_cast<TFileContainer*>(item))
            c->Compress(Options);
        else if (file)
            file->SetState(ifsCompress);
    }
    PassUp(icOperationEnd, this);
}
