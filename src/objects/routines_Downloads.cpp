#include "objects/routines_Downloads.h"
#include "objects/routines_Log.h"
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_API.h"
#include "platform/routines_AdminFolder.h"
#include "platform/routines_Files.h"
#include "platform/routines_Journal.h"
#include "platform/routines_TrustedFolder.h"
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace {
struct TDigestState {
    // Empty: the distribution carries no digests.
    std::optional<std::vector<TDownloadDigest>> Digests;
    // Files checked in this run; a kept copy is hashed once, not at every use.
    std::set<std::string> Checked;
    // The downloads held from their check to their use, by Key().
    std::map<std::string, std::unique_ptr<TFileStream>> Held;
    // The folder downloads are kept in, once chosen.
    std::string Folder;
};
TDigestState& State() {
    static TDigestState state;
    return state;
}

std::string Key(const std::string& path) {
    return UpperCase(path);
}

// Opens path for reading, shared for reading only, and keeps it so; the
// reason when it cannot (another process has it open for writing, or it is
// gone), else empty.
std::string Hold(const std::string& path) {
    if (State().Held.count(Key(path)))
        return "";
    try {
        State().Held[Key(path)] = std::make_unique<TFileStream>(path, fmOpenRead | fmShareDenyWrite);
    } catch (const EStreamError& e) {
        return "it cannot be held for the run (" + e.Message() + ")";
    }
    return "";
}

// Why the file is not the author's (empty when it is); ms, how long the
// hashing took. The file is held first, so what was hashed is what is used.
std::string Examine(const std::string& remoteName, const std::string& path, long long& ms) {
    if (std::string why = Hold(path); !why.empty())
        return why;
    const auto start = std::chrono::steady_clock::now();
    TSha256Digest actual{};
    try {
        actual = Sha256OfFile(path);
    } catch (const EStreamError& e) {
        return "it cannot be read (" + e.Message() + ")";
    }
    ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
             .count();
    const TDownloadDigest* recorded = FindDownloadDigest(*State().Digests, remoteName);
    if (!recorded)
        return "the distribution records no digest for " + remoteName + " (SHA-256 " + DigestToHex(actual) +
               ")";
    if (recorded->Digest != actual)
        return "SHA-256 " + DigestToHex(actual) + ", the build recorded " + DigestToHex(recorded->Digest);
    return "";
}
} // namespace

namespace {
const char* const kFolderPrefix = "Downloads-";

std::string DownloadBase() {
    return MachineFolder();
}

// A folder of this run's own, made new with an unguessable name and, when
// the run is elevated, an access list that lets only administrators and the
// system change it. A kept copy from an earlier run stays in that run's
// folder; the install record names it.
std::string DownloadFolder() {
    std::string& chosen = State().Folder;
    if (!chosen.empty() && DirectoryExists(chosen))
        return chosen;
    const std::string base = DownloadBase();
    try {
        // Elevated, the downloads lie where only administrators can write.
        if (RunningElevated())
            EnsureAdminFolder(MachineFolderTop(), base, nullptr);
        else
            ForceDirectory(base);
    } catch (const Exception& e) {
        throw EInOutError(Format("Cannot create the folder %s for the downloads. %s", {base, e.Message()}));
    }
    uint32_t error = 0;
    for (int attempt = 0; attempt < 10; ++attempt) {
        const std::string folder = base + "\\" + UnguessableName(kFolderPrefix);
        if (CreateTrustedFolder(folder))
            return chosen = folder;
        error = LastSystemError();
    }
    throw EInOutError(
        Format("Cannot create a folder for the downloads in %s. %s", {base, SystemErrorText(error)}));
}

// Removes folder when it is an empty download folder, and Quenfold above it
// when that is empty then.
void RemoveIfEmptyDownloadFolder(const std::string& folder) {
    const std::string name = ExtractFileName(folder);
    if (folder.empty() || name.rfind(kFolderPrefix, 0) != 0 || !DirectoryExists(folder) ||
        !ListDirectory(folder).empty() || !RemoveDir(folder))
        return;
    if (SameText(folder, State().Folder))
        State().Folder.clear();
    const std::string base = ExtractFileDir(folder);
    if (SameText(base, DownloadBase()) && ListDirectory(base).empty())
        RemoveDir(base);
}
} // namespace

std::string NewDownloadFileName(const std::string& ext) {
    // A folder only administrators can change and a name nobody can guess:
    // nothing can be put in the download's place before it is written.
    return AddBackslash(DownloadFolder()) + UnguessableName("qfd") + ext;
}

std::string ChosenDownloadFolder() {
    return State().Folder;
}

void RemoveDownloadFolderIfEmpty() {
    RemoveIfEmptyDownloadFolder(State().Folder);
}

void ReleaseDownload(const std::string& localPath) {
    State().Held.erase(Key(localPath));
    State().Checked.erase(Key(localPath));
}

void ReleaseAllDownloads() {
    State().Held.clear();
    State().Checked.clear();
}

bool DownloadHeld(const std::string& localPath) {
    return State().Held.count(Key(localPath)) != 0;
}

bool RemoveDownload(const std::string& localPath) {
    ReleaseDownload(localPath);
    if (!RemoveFile(localPath))
        return false;
    RemoveIfEmptyDownloadFolder(ExtractFileDir(localPath));
    return true;
}

void LoadDownloadDigests(const std::string& folder) {
    ForgetDownloadDigests();
    const std::string path = AddBackslash(folder) + kDownloadDigestsName;
    if (!FileExists(path)) {
        LogLine("Digest", "the distribution carries no digests of its downloads (it was built before they "
                          "were recorded): downloads are used unchecked");
        return;
    }
    std::string text;
    try {
        TFileStream f(path, fmOpenRead | fmShareDenyWrite);
        if (f.Size() > static_cast<int64_t>(kMaxDownloadDigestsSize))
            throw IEInstall("The list of download digests %s is damaged: it is larger than %d bytes",
                            {path, static_cast<Integer>(kMaxDownloadDigestsSize)});
        text.resize(static_cast<size_t>(f.Size()));
        f.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
    } catch (const EStreamError& e) {
        throw IEInstall("The list of download digests %s cannot be read: %s", {path, e.Message()});
    }
    State().Digests = ParseDownloadDigests(text, path);
    LogLine("Digest", "downloads are checked against the " + std::to_string(State().Digests->size()) +
                          " SHA-256 digests of the build in " + path);
}

void SetDownloadDigests(std::vector<TDownloadDigest> digests) {
    ForgetDownloadDigests();
    State().Digests = std::move(digests);
}

void ForgetDownloadDigests() {
    State().Digests.reset();
    State().Checked.clear();
}

bool HaveDownloadDigests() {
    return State().Digests.has_value();
}

void CheckDownload(const std::string& remoteName, const std::string& localPath, const std::string& from) {
    ReleaseDownload(localPath);
    if (const std::string why = Hold(localPath); !why.empty()) {
        LogLine("Download", remoteName + " in " + localPath + ": " + why);
        RemoveDownload(localPath);
        throw EInOutError(
            Format("The file %s downloaded from %s cannot be used: %s", {remoteName, from, why}));
    }
    if (!HaveDownloadDigests()) {
        LogLine("Digest", remoteName + " is not checked: the distribution has no digests");
        return;
    }
    long long ms = 0;
    const std::string why = Examine(remoteName, localPath, ms);
    if (why.empty()) {
        State().Checked.insert(Key(localPath));
        LogLine("Digest", remoteName + " is the build's (SHA-256 checked in " + std::to_string(ms) + " ms)");
        return;
    }
    LogLine("Digest", remoteName + " from " + from + " is not the build's: " + why);
    if (RemoveDownload(localPath))
        LogLine("Digest", "removed " + localPath);
    else
        LogLine("Digest", SystemFailure("DeleteFile(" + localPath + ")", LastSystemError()));
    throw ENIL_NotAuthentic(Format(
        "The file %s downloaded from %s is not the one this distribution was built with. It was removed.",
        {remoteName, from}));
}

bool CheckKeptDownload(const std::string& remoteName, const std::string& localPath) {
    if (State().Checked.count(Key(localPath)))
        return true;
    long long ms = 0;
    std::string why;
    if (!HaveDownloadDigests()) {
        // Unchecked, as before digests, but held all the same.
        why = Hold(localPath);
        if (why.empty())
            return true;
    } else {
        why = Examine(remoteName, localPath, ms);
    }
    if (why.empty()) {
        State().Checked.insert(Key(localPath));
        LogLine("Digest", "the copy of " + remoteName + " kept in " + localPath +
                              " is the build's (SHA-256 checked in " + std::to_string(ms) + " ms)");
        return true;
    }
    LogLine("Digest", "the copy of " + remoteName + " kept in " + localPath + " is not the build's: " + why +
                          "; it is removed and downloaded again");
    if (!RemoveDownload(localPath))
        LogLine("Digest", SystemFailure("DeleteFile(" + localPath + ")", LastSystemError()));
    return false;
}
