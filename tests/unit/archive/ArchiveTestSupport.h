// Helpers for the archive tests: source files with known content and date,
// hand-made archives, and disks of limited size.
#pragma once
#include "archive/cmp_TQnfdCompress.h"
#include "support/TempFolder.h"
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <zlib.h>

inline std::string RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 r(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(r() & 0xFF);
    return s;
}

inline std::string ZlibCompress(const std::string& data, int level = 9) {
    uLongf n = compressBound(static_cast<uLong>(data.size()));
    std::string out(n, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uLong>(data.size()), level);
    out.resize(n);
    return out;
}

// Content whose zlib stream at level 9 is exactly `target` bytes long.
inline std::string ContentCompressingTo(size_t target, uint32_t seed) {
    for (uint32_t s = seed; s < seed + 50; ++s)
        for (size_t len = 1; len < 4 * target; ++len) {
            std::string c;
            std::mt19937 r(s);
            for (size_t i = 0; i < len; ++i)
                c += static_cast<char>('A' + r() % 26);
            if (ZlibCompress(c).size() == target)
                return c;
        }
    ADD_FAILURE() << "no content compresses to " << target << " bytes";
    return "";
}

inline TDateTime SomeDate(int second = 6) {
    return EncodeDateTime(2001, 2, 3, 4, 5, second);
}

inline void MakeFile(const std::string& path, const std::string& content, TDateTime date = SomeDate()) {
    WriteTextFile(path, content);
    ASSERT_TRUE(FileSetModified(path, date));
}

inline int32_t Int32At(const std::string& bytes, size_t at) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= static_cast<uint32_t>(static_cast<uint8_t>(bytes.at(at + i))) << (8 * i);
    return static_cast<int32_t>(u);
}

inline void PutInt32At(std::string& bytes, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<char>(static_cast<uint32_t>(v) >> (8 * i));
}

inline std::string RecordBytes(const TFileHeader& h) {
    TFileHeaderRecord r = h.Record();
    return std::string(reinterpret_cast<const char*>(r.data()), r.size());
}

// A one-file archive made by hand: each member is (stored name, content);
// fields can be changed afterwards in the returned bytes.
inline std::string HandMadeArchive(const std::vector<std::pair<std::string, std::string>>& members,
                                   int32_t offset = 0) {
    std::string out(5, '\0');
    PutInt32At(out, 0, static_cast<int32_t>(members.size()));
    for (size_t i = 0; i < members.size(); ++i) {
        std::string z = ZlibCompress(members[i].second);
        TFileHeader h;
        h.FileNumber = static_cast<int32_t>(i + 1);
        h.FileDate = SomeDate();
        h.FileName = members[i].first;
        h.FileSize = static_cast<int32_t>(members[i].second.size());
        h.DataStart = static_cast<int32_t>(out.size() + 172);
        h.CompressedSize = static_cast<int32_t>(z.size());
        h.EndOffset = h.DataStart + h.CompressedSize - 1;
        h.NextHeader = h.EndOffset + 1;
        h.FileID = static_cast<int32_t>(i);
        out += RecordBytes(h) + z;
    }
    return std::string(static_cast<size_t>(offset), 'X') + out;
}

// A stream that takes at most Capacity bytes, like a floppy.
class TCappedStream : public TStream {
public:
    TCappedStream(std::unique_ptr<TStream> inner, int64_t capacity)
        : FInner(std::move(inner)), FCap(capacity) {}
    int64_t Read(void* b, int64_t n) override { return FInner->Read(b, n); }
    int64_t Write(const void* b, int64_t n) override {
        int64_t room = std::max<int64_t>(0, FCap - FInner->Position());
        return FInner->Write(b, std::min(n, room));
    }
    int64_t Seek(int64_t o, TSeekOrigin origin) override { return FInner->Seek(o, origin); }
    void SetSize(int64_t n) override { FInner->SetSize(n); }

private:
    std::unique_ptr<TStream> FInner;
    int64_t FCap;
};

// The component with disks (or the archive) of limited size.
class TLimitedCompress : public TQnfdCompress {
public:
    std::vector<int64_t> DiskCapacities; // per created disk file, in order; the last one repeats
    int64_t ArchiveCapacity = -1;
    std::vector<std::string> CreatedDisks;

protected:
    std::unique_ptr<TStream> OpenFile(const std::string& name, uint32_t mode, TqcFileRole role) override {
        auto s = TQnfdCompress::OpenFile(name, mode, role);
        if (role == TqcFileRole::DiskFile && mode == fmCreate && !DiskCapacities.empty()) {
            size_t i = std::min(CreatedDisks.size(), DiskCapacities.size() - 1);
            CreatedDisks.push_back(name);
            return std::make_unique<TCappedStream>(std::move(s), DiskCapacities[i]);
        }
        if (role == TqcFileRole::Archive && ArchiveCapacity >= 0 && mode != (fmOpenRead | fmShareDenyNone))
            return std::make_unique<TCappedStream>(std::move(s), ArchiveCapacity);
        return s;
    }
};

template <class E, class F> std::string MessageOf(F f) {
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return std::string("wrong exception: ") + e.what();
    }
    return "no exception";
}

inline const char* kCorruptMessage =
    "Could not read the file headers for the compressed file. The Archive file could possible be corrupt";

inline std::string operator/(const std::string& dir, const std::string& name) {
    return AddBackslash(dir) + name;
}
