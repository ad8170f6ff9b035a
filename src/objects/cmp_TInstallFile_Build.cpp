// An install file in build mode and around it: compressing it into its
// archive, copying it plainly, and reading its size, date and version from
// the source file or from its archive member.
#include "objects/cmp_TInstallContainer.h"
#include "objects/routines_Log.h"
#include "platform/cmp_TVersion.h"
#include "platform/routines_Files.h"
#include "platform/routines_Strings.h"
#include <memory>

namespace {
const char* const kDestBlank = "Cannot compress,copy, or install the following file because it's destination "
                               "directory is blank. File is :%s";
const char* const kArchiveBlank = "Cannot either compress or decompress the following file because it's "
                                  "archive file property is blank. File is :%s";

// Ends an operation of the file: its state, the broadcast, and the handlers
// that point at it.
struct TOperationEnd {
    TCustomInstallFile& File;
    TQnfdCompress& Archive;
    std::function<void()> Done;
    ~TOperationEnd() {
        Archive.OnStatus = nullptr;
        Archive.OnAborted = nullptr;
        try {
            Done();
        } catch (...) {
            // Unwinding already, or finished: the operation's own result counts.
        }
    }
};
} // namespace

void TCustomInstallFile::CompressFile() {
    TQnfdCompress& archive = SharedArchive();
    FState = ifsCompress;
    TOperationEnd end{*this, archive, [this, &archive] {
                          FState = ifsNone;
                          archive.Abort = true;
                          SendInformationEvent(this, ieOperationDone, nullptr);
                      }};
    try {
        if (OnBeforeCompress)
            OnBeforeCompress(this);
        PassToContainer(icBeforeCompress, this);
        const std::string archivePath = ExpandedArchiveFile();
        if (Trim(archivePath).empty())
            throw IECustomInstallFile(kArchiveBlank, {FFileName});
        if (!FInclude)
            return;
        // A bare archive name lies in the current folder, which exists.
        const std::string archiveDir = RemoveBackslash(ExtractFilePath(archivePath));
        if (!archiveDir.empty())
            ForceDirectory(archiveDir);
        archive.SetCompressedFile(archivePath);
        archive.OnAborted = [this](TQnfdCompress&) { ArchiveAborted(); };
        archive.OnStatus = [this](TQnfdCompress& a, const TlzhFileStats& s) { ArchiveStatus(a, s); };
        TStringList files;
        files.Add(SourcePath());
        archive.SetFilesToProcess(files);
        archive.Compress(FAddToArchive == lzcOnlyAdd, FUniqueID);
        LogLine("Build", "compressed " + SourcePath() + " into " + archivePath);
        FCompressState = 2;
        if (OnAfterCompress)
            OnAfterCompress(this);
        PassToContainer(icAfterCompress, this);
    } catch (const EAbort&) {
    }
}

void TCustomInstallFile::CopyPlain() {
    TQnfdCompress& archive = SharedArchive();
    FState = ifsCopying;
    TOperationEnd end{*this, archive, [this] {
                          FState = ifsNone;
                          SendInformationEvent(this, ieOperationDone, nullptr);
                      }};
    try {
        if (OnBeforeCopy)
            OnBeforeCopy(this);
        PassToContainer(icBeforeCopy, this);
        if (!FInclude)
            return;
        if (Trim(ExpandedDestDir()).empty())
            throw IECustomInstallFile(kDestBlank, {Name()});
        ForceDirectory(ExpandedDestDir());
        archive.OnStatus = [this](TQnfdCompress& a, const TlzhFileStats& s) { ArchiveStatus(a, s); };
        archive.Overwrite = FOverwriteMode;
        archive.CopyPlainFile(SourcePath(), DestFilePath());
        LogLine("File", "copied " + SourcePath() + " to " + DestFilePath());
        if (OnAfterCopy)
            OnAfterCopy(this);
        PassToContainer(icAfterCopy, this);
    } catch (const EAbort&) {
    }
}

void TCustomInstallFile::ReadInfoFromSource() {
    const std::string path = SourcePath();
    Int64 size = 0;
    TDateTime date = 0;
    try {
        TFileStream f(path, fmOpenRead | fmShareDenyNone);
        size = f.Size();
        if (!f.GetModified(date))
            date = 0;
    } catch (const Exception&) {
        throw IECustomInstallFile(
            "Could not open or find the following file when trying to read the Size, Date, and Version :%s",
            {path});
    }
    // The archive's records hold sizes of 32 bits.
    if (size > INT32_MAX)
        throw IECustomInstallFile("The file %s is %s bytes long; a file in an archive can have at most "
                                  "2,147,483,647 bytes",
                                  {path, IntToStr(size)});
    FFileDate = date;
    FFileSize = static_cast<Integer>(size);
    TVersionResource& reader = SharedVersionResource();
    reader.SetFileName(path);
    FFileVersion = Utf8Truncate(reader.VersionInfo().FileVersion, kMaxFileVersionLength);
}

void TCustomInstallFile::ReadInfoFromArchive() {
    if (RunState().Running && FInfoRead)
        return;
    std::string archivePath;
    const TDistributeType type = RunDistributeType();
    if (type == dtTraditional || (type == dtTraditionalNet && !FNet)) {
        archivePath = ExpandedArchiveFile();
    } else if (NeedsOwnArchive() && HasLocalArchive()) {
        archivePath = FLocalArchive;
        if (Trim(archivePath).empty())
            GetRegisteredLocalFile(archivePath);
    } else {
        auto* container = dynamic_cast<TFileContainer*>(FContainer);
        if (!container)
            throw IECustomInstallFile("%s cannot perform ReadInfoFromArchive because either no container is "
                                      "assigned or the container is not TFileContainer",
                                      {Name()});
        if (!container->HasLocalArchive())
            return; // nothing downloaded yet, nothing to read
        archivePath = container->LocalArchive();
        if (Trim(archivePath).empty())
            archivePath = container->GetArchivePath();
    }
    if (Trim(archivePath).empty())
        throw IECustomInstallFile(kArchiveBlank, {FFileName});

    std::unique_ptr<TQnfdCompress> own;
    TQnfdCompress* archive = nullptr;
    if (TFileContainer* install = RunState().Install;
        install && SameText(archivePath, install->ExpandedArchiveFile()))
        archive = &SharedArchive();
    else {
        own = std::make_unique<TQnfdCompress>();
        archive = own.get();
    }
    archive->SetCompressedFile(archivePath);
    const int index = archive->HeaderIndexOfID(FUniqueID);
    if (index < 0)
        return;
    const TlzhFileStats stats = archive->FileStats(index);
    FCompressedSize = stats.CompressedSize;
    FFileSize = stats.FileSize;
    TFileHeader header;
    header.SetRecord(stats.Header);
    FFileDate = header.FileDate;
    FFileVersion = Utf8Truncate(header.FileVersion, kMaxFileVersionLength);
    FInfoRead = true;
}
