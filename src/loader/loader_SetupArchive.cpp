#include "loader_SetupArchive.h"
#include "platform/routines_Format.h"
#include "platform/routines_Hash.h"
#include <algorithm>
#include <zlib.h>

TWindowStream::TWindowStream(std::unique_ptr<TStream> inner, int64_t start, int64_t length)
    : FInner(std::move(inner)), FStart(start), FLength(length) {}

int64_t TWindowStream::Read(void* buffer, int64_t count) {
    int64_t n = std::min(count, FLength - FPos);
    if (n <= 0)
        return 0;
    FInner->SetPosition(FStart + FPos);
    int64_t got = FInner->Read(buffer, n);
    if (got > 0)
        FPos += got;
    return got;
}

int64_t TWindowStream::Write(const void*, int64_t) {
    return 0;
}

int64_t TWindowStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? FPos : FLength;
    FPos = std::max<int64_t>(0, base + offset);
    return FPos;
}

namespace {

// A file being extracted: what is written passes through to it and is
// counted and summed up on the way.
class TDigestStream : public TStream {
public:
    TDigestStream(std::unique_ptr<TStream> inner, TExtractedFile& into)
        : FInner(std::move(inner)), FInto(into) {
        FInto.Size = 0;
    }
    ~TDigestStream() override {
        FInner.reset();
        FInto.Digest = FSha.Finish();
    }
    int64_t Read(void* buffer, int64_t count) override { return FInner->Read(buffer, count); }
    int64_t Write(const void* buffer, int64_t count) override {
        int64_t put = FInner->Write(buffer, count);
        // The extraction writes each file once, front to back.
        if (put > 0)
            FSha.Update(buffer, static_cast<size_t>(put));
        FInto.Size += std::max<int64_t>(put, 0);
        return put;
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override { return FInner->Seek(offset, origin); }
    void SetSize(int64_t newSize) override { FInner->SetSize(newSize); }

private:
    std::unique_ptr<TStream> FInner;
    TExtractedFile& FInto;
    TSha256 FSha;
};

// The archive component reading setup.1 inside another file: whatever name
// it asks for as its archive, it gets that part of the file or nothing.
class TSetupArchiveReader : public TQnfdCompress {
public:
    TSetupArchiveReader(const TSetupArchivePlace& place, std::vector<TExtractedFile>* written,
                        const TOnExtracted& done)
        : FPlace(place), FWritten(written), FDone(done) {
        SetCompressedFile(place.File);
        // The name the member gets, before its file is opened.
        OnBeforeExtracting = [this](TQnfdCompress&, const TlzhFileStats&) {
            FCurrent = ExtractFileName(DestName);
        };
        // In its place under its name, the file is handed on at once: the
        // less time between its writing and its hold, the less time for
        // another program to change it.
        OnAfterExtracting = [this](TQnfdCompress&, const TlzhFileStats&) {
            if (FDone && FWritten && !FWritten->empty() && SameText(FWritten->back().Name, FCurrent))
                FDone(FWritten->back());
        };
    }

protected:
    std::unique_ptr<TStream> OpenFile(const std::string& fileName, uint32_t mode, TqcFileRole role) override {
        if (role == TqcFileRole::Destination && FWritten) {
            // A later member of the same name replaces the earlier one's file.
            auto same = [this](const TExtractedFile& f) { return SameText(f.Name, FCurrent); };
            FWritten->erase(std::remove_if(FWritten->begin(), FWritten->end(), same), FWritten->end());
            FWritten->push_back({FCurrent, 0, {}});
            if (FReplacing)
                FReplacing(FCurrent);
            // Its own record: the vector does not grow again while the file is written.
            return std::make_unique<TDigestStream>(TQnfdCompress::OpenFile(fileName, mode, role),
                                                   FWritten->back());
        }
        if (role != TqcFileRole::Archive)
            return TQnfdCompress::OpenFile(fileName, mode, role);
        // Another name is a disk file of a disk set: setup.1 never is one.
        if (!SameText(fileName, FPlace.File) || (mode & 3) != fmOpenRead)
            throw EQnfdCompress(Format("Cannot open the compressed file %s", {fileName}));
        std::unique_ptr<TStream> file = FPlace.Open();
        int64_t length = FPlace.Length >= 0 ? FPlace.Length : file->Size() - FPlace.Start;
        return std::make_unique<TWindowStream>(std::move(file), FPlace.Start, length);
    }

private:
public:
    std::function<void(const std::string&)> FReplacing;

private:
    const TSetupArchivePlace& FPlace;
    std::vector<TExtractedFile>* FWritten;
    TOnExtracted FDone;
    std::string FCurrent;
};

} // namespace

TExtractedFile DigestOf(TStream& stream) {
    TExtractedFile d;
    TSha256 sha;
    std::vector<uint8_t> buffer(64 * 1024);
    for (;;) {
        int64_t n = stream.Read(buffer.data(), static_cast<int64_t>(buffer.size()));
        if (n <= 0)
            break;
        sha.Update(buffer.data(), static_cast<size_t>(n));
        d.Size += n;
    }
    d.Digest = sha.Finish();
    return d;
}

std::vector<std::string> ExtractSetupArchive(const TSetupArchivePlace& place, const std::string& folder,
                                             std::vector<TExtractedFile>* written, const TOnExtracted& done,
                                             const std::function<void(const std::string&)>& replacing) {
    if (written)
        written->clear();
    TSetupArchiveReader reader(place, written, done);
    reader.FReplacing = replacing;
    reader.Overwrite = owAlways;
    reader.ExtractDirectory = folder;
    std::vector<std::string> names;
    TStringList items;
    for (int i = 0, n = reader.FileCount(); i < n; ++i) {
        std::string stored = reader.FileStats(i).FileName;
        items.Add(stored);
        names.push_back(ExtractFileName(stored));
    }
    reader.SetFilesToProcess(items);
    reader.Extract();
    // Extract ends quietly on an abort; a half-extracted setup must never start.
    for (const std::string& name : names)
        if (!FileExists(AddBackslash(folder) + name))
            throw EQnfdCompress(Format("The file <%s> was not extracted", {name}));
    return names;
}
