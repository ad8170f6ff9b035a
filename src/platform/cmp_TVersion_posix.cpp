// The native build of the portable code reads no version blocks: every file
// counts as having none, so version rules fall back to equal versions.
#include "cmp_TVersion.h"
#include <climits>
#include <unistd.h>

namespace VersionBlock {

std::vector<uint8_t> Read(const std::string&) {
    return {};
}
bool QueryFixed(const std::vector<uint8_t>&, TFixedInfo&) {
    return false;
}
bool QueryString(const std::vector<uint8_t>&, const std::string&, std::string&) {
    return false;
}
bool QueryTranslation(const std::vector<uint8_t>&, Word&, Word&) {
    return false;
}

void SetLibraryLoader(TLibraryLoader) {}

std::string ProgramPath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

} // namespace VersionBlock
