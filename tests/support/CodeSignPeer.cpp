#include "support/CodeSignPeer.h"
#include "support/SystemHelpers.h"
#include "support/WindowDriver.h"

namespace {
// openssl makes three RSA keys; a slow machine under load takes its time,
// but the wait ends well within the test program's own limit (120 s), so
// that a peer that never reports fails the test with a reason.
constexpr uint32_t kPeerTimeoutMs = 60000;
} // namespace

TCodeSignPeer::TCodeSignPeer() {
    const std::string folder = UnixPathUnderWine(RemoveBackslash(FFolder.Path()));
    if (folder.empty()) {
        FError = "the code-signing peer runs under Wine only";
        return;
    }
    const std::string report = Run("credentials", {folder});
    if (report.rfind("ok\n", 0) != 0)
        FError = report;
}

std::string TCodeSignPeer::Verify(const std::string& path) const {
    const std::string file = UnixPathUnderWine(path), ca = UnixPathUnderWine(File("ca.pem"));
    if (file.empty() || ca.empty())
        return "no Unix path for " + path;
    const std::string report = Run("verify", {file, ca});
    return report.rfind("ok\n", 0) == 0 ? std::string() : report;
}

std::string TCodeSignPeer::Run(const std::string& step, const std::vector<std::string>& args) const {
    static int counter = 0;
    const std::string done = FWork / ("done" + std::to_string(++counter) + ".txt");
    std::vector<std::string> all = {QFD_CODESIGN_PEER, step};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back(UnixPathUnderWine(done));
    if (all.back().empty() || !StartUnixProgram("/bin/sh", all))
        return "cannot start codesign_peer.sh";
    if (!WindowDriver::WaitFor([&] { return FileExists(done); }, kPeerTimeoutMs, 50))
        return "codesign_peer.sh " + step + " did not finish in time";
    return ReadWholeFile(done);
}
