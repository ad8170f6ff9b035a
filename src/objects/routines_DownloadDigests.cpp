#include "objects/routines_DownloadDigests.h"
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Strings.h"

namespace {
const char* const kDamaged = "The list of download digests %s is damaged: %s";

[[noreturn]] void Damaged(const std::string& path, const std::string& why) {
    throw IEInstall(kDamaged, {path, why});
}
} // namespace

std::vector<TDownloadDigest> ParseDownloadDigests(const std::string& text, const std::string& path) {
    if (text.size() > kMaxDownloadDigestsSize)
        Damaged(path, "it is larger than " + std::to_string(kMaxDownloadDigestsSize) + " bytes");
    std::vector<TDownloadDigest> digests;
    size_t start = 0;
    int number = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        const std::string where = "line " + std::to_string(number);
        TDownloadDigest entry;
        // sha256sum separates with two blanks, or a blank and "*" in binary mode.
        if (line.size() < 67 || !DigestFromHex(line.substr(0, 64), entry.Digest) || line[64] != ' ' ||
            (line[65] != ' ' && line[65] != '*'))
            Damaged(path, where + " is not a digest and a file name");
        entry.Name = std::string(line.substr(66));
        if (Trim(entry.Name) != entry.Name || entry.Name.find('\0') != std::string::npos)
            Damaged(path, where + " names its file with blanks around it or a zero byte");
        if (FindDownloadDigest(digests, entry.Name))
            Damaged(path, where + " names " + entry.Name + " a second time");
        digests.push_back(std::move(entry));
    }
    return digests;
}

std::string DownloadDigestsText(const std::vector<TDownloadDigest>& digests) {
    std::string text = "# SHA-256 of the files this distribution publishes on its server\r\n";
    for (const TDownloadDigest& d : digests)
        text += DigestToHex(d.Digest) + "  " + d.Name + "\r\n";
    return text;
}

const TDownloadDigest* FindDownloadDigest(const std::vector<TDownloadDigest>& digests,
                                          const std::string& name) {
    for (const TDownloadDigest& d : digests)
        if (SameText(d.Name, name))
            return &d;
    return nullptr;
}
