// The per-file install step: the overwrite decision, extracting the member
// from its archive (the archive component writes a scratch file and replaces
// the destination only once the member checked out), a kept file, and the
// handlers the archive component calls while it works for the file.
#include "objects/cmp_TInstallContainer.h"
#include "objects/routines_Log.h"
#include "platform/routines_Files.h"
#include "platform/routines_Strings.h"
#include "toolkit/forms_Forms.h"
#include <memory>

namespace {
const char* const kDestBlank = "Cannot compress,copy, or install the following file because it's destination "
                               "directory is blank. File is :%s";
const char* const kArchiveBlank = "Cannot either compress or decompress the following file because it's "
                                  "archive file property is blank. File is :%s";

std::string KeptReason(TFileCompare c, TOverwriteType mode) {
    if (mode == owNever)
        return "it exists and is never overwritten";
    return c == fcSame ? "the file there is as new as this one" : "the file there is newer";
}
} // namespace

void TCustomInstallFile::PassToContainer(Integer Code, TObject* ParameterObject) {
    if (FContainer)
        FContainer->DoInformationEventControl(this, Code, ParameterObject);
}

std::string TCustomInstallFile::ExpandedArchiveFile() {
    const TDistributeType type = RunDistributeType();
    if (FState == ifsInstall && (type == dtWeb || (type != dtTraditional && FNet))) {
        if (NeedsOwnArchive() && HasLocalArchive()) {
            std::string local = FLocalArchive;
            if (Trim(local).empty())
                GetRegisteredLocalFile(local);
            return local;
        }
        if (auto* c = dynamic_cast<TFileContainer*>(FContainer); c && c->HasLocalArchive())
            return !Trim(c->LocalArchive()).empty() ? c->LocalArchive() : c->GetArchivePath();
    }
    return TFileRelated::ExpandedArchiveFile();
}

void TCustomInstallFile::InstallHelpers() {
    FReplacedAtRestart = false;
    FRestartScheduled = false;
    FRestartSource.clear();
    FRestartTarget.clear();
    try {
        PassToContainer(icBeforeFileInstall, this);
        if (OnBeforeInstall)
            OnBeforeInstall(this);
    } catch (const EAbort&) {
        LogLine("File", "skipped " + FFileName + ": its install step was cancelled by the project");
        PassToContainer(icFileSkipped, this);
        // Ends the object's install step quietly: a skipped file is not logged.
        throw;
    }
    if (Trim(ExpandedDestDir()).empty())
        throw IECustomInstallFile(kDestBlank, {Name()});

    const std::string dest = DestFilePath();
    FDestExisted = FileExists(dest);
    const TFileCompare decision = IsFileNewer(FFileVersion, dest, FOverwriteMode, FFileDate);
    FWillReplace = decision == fcError || decision == fcNewer;
    const std::string destName = FDestName;
    // A Cancel confirmed since the last file ends the run before this one is
    // touched or downloaded.
    if (FWillReplace && RunState().CancelRequested)
        ArchiveAborted();
    if (FWillReplace) {
        try {
            PrepareDestination();
        } catch (const EAbort&) {
            FWillReplace = false;
        }
    }
    if (!FWillReplace) {
        const bool cancelled = decision == fcError || decision == fcNewer;
        LogLine("File", "kept " + dest + ": " +
                            (cancelled ? std::string("replacing it was cancelled by the project")
                                       : KeptReason(decision, FOverwriteMode)));
        KeepExisting();
        return;
    }

    std::string local;
    if (GetRegisteredLocalFile(local))
        FLocalArchive = local;
    std::unique_ptr<TQnfdCompress> own;
    TQnfdCompress* archive = nullptr;
    const TDistributeType type = RunDistributeType();
    if (type != dtTraditional && (FNet || type == dtWeb)) {
        if (NeedsOwnArchive())
            DownloadArchive();
        else if (auto* c = dynamic_cast<TFileContainer*>(FContainer); c && !c->HasLocalArchive())
            c->DownloadArchive();
    } else if (TFileContainer* install = RunState().Install;
               install && SameText(ExpandedArchiveFile(), install->ExpandedArchiveFile())) {
        archive = &SharedArchive();
    }
    if (!archive) {
        own = std::make_unique<TQnfdCompress>();
        archive = own.get();
    }
    try {
        ExtractFromArchive(*archive);
    } catch (...) {
        // Nothing was scheduled: the old file stays as it was, and so does the
        // file's name; a new file already under the candidate name would never
        // reach its place.
        if (FReplacedAtRestart && !FRestartScheduled) {
            if (FileExists(FRestartSource) && RemoveFile(FRestartSource))
                LogLine("File", "removed " + FRestartSource + " again");
            FReplacedAtRestart = false;
            FDestName = destName;
        }
        throw;
    }
}

void TCustomInstallFile::ExtractFromArchive(TQnfdCompress& Archive) {
    struct Finally {
        TCustomInstallFile& f;
        TQnfdCompress& a;
        ~Finally() {
            // The handlers point at this file, which may go before the archive component.
            a.OnNewDisk = nullptr;
            a.OnStatus = nullptr;
            a.OnAborted = nullptr;
            f.FState = ifsNone;
        }
    } finally{*this, Archive};
    FState = ifsInstall;
    ForceDirectory(ExpandedDestDir());
    const std::string archivePath = ExpandedArchiveFile();
    if (Trim(archivePath).empty())
        throw IECustomInstallFile(kArchiveBlank, {FFileName});

    Archive.SetCompressedFile(archivePath);
    Archive.ExtractDirectory = ExpandedDestDir();
    Archive.DestName = FDestName;
    // The decision was taken above, and a destination that cannot be compared
    // is written: the archive component must not take it again.
    Archive.Overwrite = owAlways;
    Archive.OnAborted = [this](TQnfdCompress&) { ArchiveAborted(); };
    Archive.OnNewDisk = [this](TQnfdCompress& a, int disk, std::string& path) {
        NewDiskRequest(a, disk, path);
    };
    Archive.OnStatus = [this](TQnfdCompress& a, const TlzhFileStats& s) { ArchiveStatus(a, s); };
    TStringList files;
    files.Add(SourcePath());
    Archive.SetFilesToProcess(files);
    try {
        Archive.Extract();
    } catch (const Exception& e) {
        // The message says what happened; the log keeps why (zlib's own text).
        const auto* damaged = dynamic_cast<const EqcDamagedMember*>(&e);
        LogLine("File", "could not write " + DestFilePath() + " from " + archivePath + ": " + e.Message() +
                            (damaged ? ": " + damaged->Cause() : std::string()) +
                            (FDestExisted ? " (the file there is unchanged)" : ""));
        throw;
    }
    LogLine("File", "wrote " + IntToStr(FFileSize) + " bytes to " + DestFilePath() +
                        (FReplacedAtRestart ? ", to replace " + FRestartTarget + " at the next restart"
                         : FDestExisted     ? ", replacing the file there"
                                            : ""));
    if (FReplacedAtRestart)
        ScheduleRestartReplacement();
    RegisterAfterInstall();
    if (OnAfterInstall)
        OnAfterInstall(this);
    PassToContainer(icFileInstalled, this);
    TFileRelated::InstallHelpers();

    Archive.OnNewDisk = nullptr;
    Archive.OnStatus = nullptr;
    if (Archive.Abort)
        SharedArchive().Abort = true;
    try {
        SendInformationEvent(this, ieOperationDone, nullptr);
    } catch (...) {
        Archive.Abort = true;
        throw;
    }
}

void TCustomInstallFile::KeepExisting() {
    PassToContainer(icFileKept, this);
    RegisterAfterInstall();
    if (OnAfterInstall)
        OnAfterInstall(this);
    PassToContainer(icFileInstalled, this);
    TFileRelated::InstallHelpers();
}

// --- the archive component's handlers ---------------------------------------------------------------------

void TCustomInstallFile::ArchiveStatus(TQnfdCompress&, const TlzhFileStats& Stats) {
    TFileStatusParameter status;
    status.FileBytesDone = Stats.BytesDone;
    status.FilePercentDone = Stats.FilePercent;
    status.FileName = FFileName;
    status.FileStats = Stats;
    status.TotalDone = Stats.TotalDone;
    status.TotalPercentDone = Stats.TotalPercent;
    if (OnStatus)
        OnStatus(this, Stats.FilePercent, Stats.TotalPercent);
    SendInformationEvent(this, ieFileStatus, &status);
    TParameterList list{this, &status};
    switch (FState) {
    case ifsCompress:
        PassToContainer(icCompressStatus, &list);
        break;
    case ifsInstall:
        PassToContainer(icInstallStatus, &list);
        break;
    case ifsCopying:
        PassToContainer(icCopyStatus, &list);
        break;
    default:
        break;
    }
}

void TCustomInstallFile::NewDiskRequest(TQnfdCompress& Sender, int DiskNumber, std::string& Path) {
    SetTag(0);
    struct ResetTag {
        TCustomInstallFile& f;
        ~ResetTag() { f.SetTag(0); }
    } resetTag{*this};
    TDiskParameter disk;
    disk.DiskNumber = DiskNumber;
    disk.DiskPath = RemoveBackslash(ExtractFilePath(ExpandedArchiveFile()));
    TParameterList list{this, &disk};
    if (OnNewDisk) {
        std::string path = disk.DiskPath;
        OnNewDisk(this, DiskNumber, path);
        disk.DiskPath = path;
    }
    SendInformationEvent(this, ieNewDisk, &list);
    PassToContainer(icNewDisk, &list);
    if (!OnNewDisk && Tag() == 0) {
        constexpr uint32_t kOkCancelInformation = 0x00000001 | 0x00000040;
        constexpr int32_t kCancel = 2;
        TApplication* app = Application();
        const std::string text = Format(TranslateText("Please insert disk #%d"), {DiskNumber});
        if (app && app->MessageBox(text, app->Title(), kOkCancelInformation) == kCancel)
            Sender.Abort = true;
    }
    Path = RemoveBackslash(disk.DiskPath);
}
