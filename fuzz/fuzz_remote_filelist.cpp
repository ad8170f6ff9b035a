// Feeds arbitrary bytes to the readers of what a network distribution
// publishes, "filelist.lst" and "digests.lst": they must either give records
// within the field limits or raise the reader's error, never crash, hang or
// allocate by an unchecked count.
#include "engine/routines_RemoteFileList.h"
#include "objects/routines_DownloadDigests.h"
#include "platform/exceptions_Quenfold.h"
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s;
    s.Write(data, static_cast<int64_t>(size));
    s.SetPosition(0);
    try {
        std::vector<TRemoteFileRecord> records = ReadRemoteFileRecords(s, "filelist.lst");
        if (static_cast<int64_t>(records.size()) * kRemoteFileRecordSize + 4 > static_cast<int64_t>(size))
            __builtin_trap(); // more records than bytes
        for (const TRemoteFileRecord& r : records)
            if (r.Name.size() > 39 || r.Version.size() > 19)
                __builtin_trap();
    } catch (const IEInstall&) {
    }
    try {
        const std::string text(reinterpret_cast<const char*>(data), size);
        std::vector<TDownloadDigest> digests = ParseDownloadDigests(text, "digests.lst");
        // Each entry takes a line of at least 67 bytes; what is read is written back the same.
        if (digests.size() * 67 > size)
            __builtin_trap();
        if (ParseDownloadDigests(DownloadDigestsText(digests), "again").size() != digests.size())
            __builtin_trap();
        for (const TDownloadDigest& d : digests)
            if (d.Name.empty() || FindDownloadDigest(digests, d.Name) != &d)
                __builtin_trap();
    } catch (const IEInstall&) {
    }
    return 0;
}
