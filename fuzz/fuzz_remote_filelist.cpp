// Feeds arbitrary bytes to the reader of "filelist.lst": they must either give
// records within the field limits or raise the reader's error, never crash,
// hang or allocate by an unchecked count.
#include "engine/routines_RemoteFileList.h"
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
    return 0;
}
