// Helpers for the loading program's tests: archives made with the archive
// component and self-extracting files put together as the build mode does.
#pragma once
#include "archive/cmp_TQnfdCompress.h"
#include "archive/types_ExtractionInfo.h"
#include "support/FakePeImage.h"
#include "support/TempFolder.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

inline void MakeArchive(const std::string& archive, const std::vector<std::string>& files) {
    TQnfdCompress c;
    c.SetCompressedFile(archive);
    for (const std::string& f : files)
        c.FilesToProcess().Add(f);
    c.Compress(false, 0);
}

// Appends setup1 (and files1 when given) and the extraction information to
// exe, which must exist; returns what was written. With checksum as the
// build writes it: zeros up to an 8-byte boundary and the checksum in the
// record; without, as files built before checksums were.
inline TExtractionInfo AppendDistribution(const std::string& exe, const std::string& setup1,
                                          const std::string& files1, const std::string& title,
                                          bool checksum = true) {
    TFileStream out(exe, fmOpenReadWrite);
    out.Seek(0, TSeekOrigin::soEnd);
    auto append = [&out](const std::string& path, Integer& first, Integer& last) {
        TFileStream in(path, fmOpenRead);
        first = static_cast<Integer>(out.Position());
        out.CopyFrom(in, 0);
        last = static_cast<Integer>(out.Position() - 1);
    };
    TExtractionInfo info;
    append(setup1, info.Setup1Start, info.Setup1End);
    if (!files1.empty())
        append(files1, info.Files1Start, info.Files1End);
    info.ProductTitle = title;
    if (checksum) {
        while ((out.Position() + kExtractionInfoSize) % kExtractionInfoAlignment)
            out.WriteBuffer("", 1);
        const int64_t at = out.Position();
        // A real loading program gets its seal, as the build gives it; a stand-in has none.
        WriteExtractionInfo(out, info);
        WritePayloadSeal(out, at + kExtractionInfoSize);
        EXPECT_TRUE(SealExtractionInfo(out, at, info));
        out.SetPosition(at);
    }
    WriteExtractionInfo(out, info);
    return info;
}

// The seal the build would give the loading program of exe as it is now:
// what the image of a stand-in that has none would carry.
inline TPayloadSeal SealFor(const std::string& exe) {
    TFileStream in(exe, fmOpenRead | fmShareDenyNone);
    TPayloadSeal seal;
    seal.InfoEnd = FindExtractionInfoEnd(in);
    seal.Sealed = ComputePayloadDigest(in, seal.InfoEnd, seal.Digest);
    return seal;
}

inline std::string FileBytes(const std::string& path) {
    return ReadWholeFile(path);
}

// Writes bytes at position at of an existing file.
inline void PatchFile(const std::string& path, int64_t at, const std::string& bytes) {
    TFileStream f(path, fmOpenReadWrite);
    f.SetPosition(at);
    f.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

inline void CutFile(const std::string& path, int64_t size) {
    TFileStream f(path, fmOpenReadWrite);
    f.SetSize(size);
}

inline std::string Int32Bytes(int32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>(static_cast<uint32_t>(v) >> (8 * i));
    return s;
}
