#include "objects/routines_Downloads.h"
#include "objects/routines_Log.h"
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include <chrono>
#include <optional>
#include <set>

namespace {
struct TDigestState {
    // Empty: the distribution carries no digests.
    std::optional<std::vector<TDownloadDigest>> Digests;
    // Files checked in this run; a kept copy is hashed once, not at every use.
    std::set<std::string> Checked;
};
TDigestState& State() {
    static TDigestState state;
    return state;
}

std::string Key(const std::string& path) {
    return UpperCase(path);
}

// Why the file is not the author's (empty when it is); ms, how long the hashing took.
std::string Examine(const std::string& remoteName, const std::string& path, long long& ms) {
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

std::string NewDownloadFileName(const std::string& ext) {
    // The user's temporary folder. An elevated run should keep its downloads
    // where only administrators and the system can write, so that nothing
    // changes them between their check and their use.
    return ChangeFileExt(GetTempFile(false), ext);
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
    State().Checked.erase(Key(localPath));
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
    if (RemoveFile(localPath))
        LogLine("Digest", "removed " + localPath);
    else
        LogLine("Digest", SystemFailure("DeleteFile(" + localPath + ")", LastSystemError()));
    throw ENIL_NotAuthentic(Format(
        "The file %s downloaded from %s is not the one this distribution was built with. It was removed.",
        {remoteName, from}));
}

bool CheckKeptDownload(const std::string& remoteName, const std::string& localPath) {
    if (!HaveDownloadDigests() || State().Checked.count(Key(localPath)))
        return true;
    long long ms = 0;
    const std::string why = Examine(remoteName, localPath, ms);
    if (why.empty()) {
        State().Checked.insert(Key(localPath));
        LogLine("Digest", "the copy of " + remoteName + " kept in " + localPath +
                              " is the build's (SHA-256 checked in " + std::to_string(ms) + " ms)");
        return true;
    }
    LogLine("Digest", "the copy of " + remoteName + " kept in " + localPath + " is not the build's: " + why +
                          "; it is removed and downloaded again");
    if (!RemoveFile(localPath))
        LogLine("Digest", SystemFailure("DeleteFile(" + localPath + ")", LastSystemError()));
    return false;
}
