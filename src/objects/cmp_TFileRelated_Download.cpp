// Archives fetched over the network: the registered local copy, the location
// an object downloads from, the download itself through that location and
// the relay of its progress.
#include "objects/cmp_TInstallContainer.h"
#include "objects/routines_Downloads.h"
#include "objects/routines_Log.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"

TCustomNetInstallLocation* TFileRelated::FindNetLocation() {
    if (FNetLocation)
        return FNetLocation;
    if (dynamic_cast<TCustomInstallFile*>(this) && FContainer) {
        auto* container = dynamic_cast<TFileContainer*>(FContainer);
        return container ? container->NetLocation() : nullptr;
    }
    if (RunState().Install && RunState().Install != this)
        return RunState().Install->NetLocation();
    return nullptr;
}

bool TFileRelated::CheckKeptArchive() {
    std::string local;
    if (!GetRegisteredLocalFile(local))
        return false;
    if (CheckKeptDownload(Name() + ".1", local)) {
        FLocalArchive = local;
        return true;
    }
    // The copy is gone: nothing may name it any longer.
    RegisterLocalFile("");
    if (SameText(FLocalArchive, local))
        FLocalArchive.clear();
    return false;
}

void TFileRelated::DownloadArchive() {
    if (CheckKeptArchive()) {
        // An archive is downloaded once per installation.
        LogLine("Download", "uses the archive downloaded before for " + Name() + ": " + FLocalArchive);
        return;
    }
    TCustomNetInstallLocation* location = FindNetLocation();
    if (!location)
        throw Exception(Format("Could not find a net install location for %s", {Name()}));
    if (!location->LoginInformation().IsComplete()) {
        if (FNetLocation)
            throw IEFileRelated(
                "%s could not install itself because the TNetLocation component's properties, in "
                "the NetLocation property, have not been filled in",
                {Name()});
        throw IEFileRelated(
            "%s could not install itself because the LoginInformation property of the TInstall "
            "component has not been properly filled in",
            {Name()});
    }
    FLocalArchive = NewDownloadFileName(".1");
    const std::string remote = Name() + ".1";
    location->OnObjectProgress = [this](TObject*, const std::string& RemoteName, const void* Buffer,
                                        Integer Total, Integer Received, Integer Block) {
        DownloadStatus(RemoteName, Block, Received, Total, Buffer);
    };
    try {
        location->Download(remote, FLocalArchive);
    } catch (const Exception& e) {
        location->OnObjectProgress = nullptr;
        LogLine("Download", "failed: " + remote + " from " + location->LoginInformation().Hostname() + ": " +
                                e.Message());
        // The location leaves nothing of a failed download; neither may the name.
        EndAbortedDownload();
        FLocalArchive.clear();
        throw;
    }
    location->OnObjectProgress = nullptr;
    EndAbortedDownload();
    const std::string host = location->LoginInformation().Hostname();
    LogLine("Download", "wrote " + std::to_string(FileSizeOf(FLocalArchive)) + " bytes of " + remote +
                            " from " + host + " to " + FLocalArchive);
    // Nothing reads the archive, and nothing names it for later, before it checked out.
    try {
        CheckDownload(remote, FLocalArchive, host);
    } catch (...) {
        FLocalArchive.clear();
        throw;
    }
    RegisterLocalFile(FLocalArchive);
}

void TFileRelated::EndAbortedDownload() {
    if (!DownloadAborted)
        return;
    RemoveFile(FLocalArchive);
    FLocalArchive.clear();
    LogLine("Download", "cancelled by the user: " + Name() + ".1");
    throw EAIUserAbort();
}

void TFileRelated::DownloadStatus(const std::string& RemoteFile, Integer ChunkSize, Integer DownloadedBytes,
                                  Integer DownloadSize, const void*) {
    TDownloadStatusParameter parameter(RemoteFile, ChunkSize, DownloadedBytes, DownloadSize);
    SendInformationEvent(this, ieDownloadStatus, &parameter);
    if (FContainer)
        FContainer->DoInformationEventControl(this, icDownloadStatus, &parameter);
}
