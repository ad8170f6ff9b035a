// Archives fetched over the network: the registered local copy, the location
// an object downloads from and the relay of download progress. The download
// itself goes through a network install location, which this program does
// not have yet; asking for one says so.
#include "objects/cmp_TInstallContainer.h"
#include "objects/routines_Log.h"

TCustomNetInstallLocation* TFileRelated::FindNetLocation() {
    if (FNetLocation)
        return FNetLocation;
    if (dynamic_cast<TCustomInstallFile*>(this) && FContainer) {
        auto* container = dynamic_cast<TFileContainer*>(FContainer);
        return container ? container->NetLocation() : nullptr;
    }
    // The installation component's own location comes with the network
    // install locations; until then it has none.
    if (RunState().Install && RunState().Install != this)
        return RunState().Install->NetLocation();
    return nullptr;
}

void TFileRelated::DownloadArchive() {
    std::string local;
    if (GetRegisteredLocalFile(local)) {
        // An archive is downloaded once per installation.
        FLocalArchive = local;
        LogLine("Download", "uses the archive downloaded before for " + Name() + ": " + local);
        return;
    }
    if (!FindNetLocation())
        throw Exception(Format("Could not find a net install location for %s", {Name()}));
    throw IEFileRelated("%s is not built into this setup program yet",
                        {"Downloading an archive from a network install location"});
}

void TFileRelated::DownloadStatus(const std::string& RemoteFile, Integer ChunkSize, Integer DownloadedBytes,
                                  Integer DownloadSize, const void*) {
    TDownloadStatusParameter parameter(RemoteFile, ChunkSize, DownloadedBytes, DownloadSize);
    SendInformationEvent(this, ieDownloadStatus, &parameter);
    if (FContainer)
        FContainer->DoInformationEventControl(this, icDownloadStatus, &parameter);
}
