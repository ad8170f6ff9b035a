// Extracts every member of arbitrary bytes into a scratch folder: each member
// is written or refused with a message; nothing but the members' own file
// names lands in the folder, and nothing outside it.
#include "archive/cmp_TQnfdCompress.h"
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

const std::string& Scratch() {
    static const std::string dir = [] {
        std::string d = TempDirectory() + "qfd_fuzz_extract_" + std::to_string(getpid());
        ForceDirectory(d + "/out");
        return d;
    }();
    return dir;
}

void Clean(const std::string& dir) {
    for (const std::string& n : ListDirectory(dir))
        if (!n.empty() && n.back() != '\\')
            RemoveFile(dir + "/" + n);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = Scratch();
    // The same bytes serve as disk 1, 2 and 3 of a set.
    for (const char* ext : {".1", ".2", ".3"}) {
        TFileStream f(dir + "/arc" + ext, fmCreate);
        f.WriteBuffer(data, static_cast<int64_t>(size));
    }
    TQnfdCompress c;
    c.SetCompressedFile(dir + "/arc.1");
    c.ExtractDirectory = dir + "/out";
    c.Overwrite = static_cast<TOverwriteType>(size % 5);
    std::vector<std::string> names; // what the members may be written as
    try {
        int n = c.FileCount();
        for (int i = 0; i < n; ++i) {
            std::string name = c.FileStats(i).FileName;
            names.push_back(UpperCase(ExtractFileName(name)));
            try {
                c.TestMember(i);
            } catch (const Exception&) {
            }
            c.SetCompressedFile(dir + "/arc.1");
            c.FilesToProcess().Add(name);
            try {
                c.Extract();
            } catch (const Exception&) {
            }
            c.SetCompressedFile(dir + "/arc.1");
        }
    } catch (const Exception&) {
    }
    // Only the three disk files and the output folder are in the scratch folder.
    if (ListDirectory(dir).size() != 4)
        std::abort();
    for (const std::string& n : ListDirectory(dir + "/out"))
        if (std::find(names.begin(), names.end(), UpperCase(n)) == names.end())
            std::abort();
    Clean(dir + "/out");
    return 0;
}
