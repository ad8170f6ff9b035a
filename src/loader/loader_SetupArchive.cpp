#include "loader_SetupArchive.h"
#include "platform/routines_Format.h"
#include <algorithm>

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

// The archive component reading setup.1 inside another file: whatever name
// it asks for as its archive, it gets that part of the file or nothing.
class TSetupArchiveReader : public TQnfdCompress {
public:
    explicit TSetupArchiveReader(const TSetupArchivePlace& place) : FPlace(place) {
        SetCompressedFile(place.File);
    }

protected:
    std::unique_ptr<TStream> OpenFile(const std::string& fileName, uint32_t mode, TqcFileRole role) override {
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
    const TSetupArchivePlace& FPlace;
};

} // namespace

std::vector<std::string> ExtractSetupArchive(const TSetupArchivePlace& place, const std::string& folder) {
    TSetupArchiveReader reader(place);
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
