// Feeds arbitrary bytes to the archive's header reader: it must read a list
// or raise its message, never crash, hang or allocate by an unchecked count.
#include "archive/cmp_TQnfdCompress.h"
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s;
    s.WriteBuffer(data, static_cast<int64_t>(size));
    // The first byte also serves as an offset, as for an archive at the end of a program.
    for (int32_t offset : {0, size > 0 ? static_cast<int32_t>(data[0] % 32) : 0}) {
        TFileHeaders list;
        try {
            list.LoadFromStream(s, offset);
        } catch (const EQnfdCompress&) {
            continue;
        }
        // A list is only read when every header fits into the bytes.
        if (static_cast<int64_t>(list.Count()) * kFileHeaderSize + kArchivePrefixSize + offset >
            static_cast<int64_t>(size))
            std::abort();
        TlzhFileStats stats;
        list.ComputeTotals(stats);
        for (int i = 0; i < list.Count(); ++i) {
            TFileHeader& h = list.FileHeaders(i);
            h.FillFileStats(stats);
            // Writing a header that was read gives back its bytes.
            TFileHeader again;
            again.SetRecord(h.Record());
            if (again.Record() != h.Record() || again.FileName != h.FileName)
                std::abort();
        }
    }
    return 0;
}
