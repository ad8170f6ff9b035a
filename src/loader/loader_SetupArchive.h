// Unpacking setup.1 (the setup program and the files that travel with it)
// from the part of the loading program's file that holds it, or from a
// setup.1 beside it.
#pragma once
#include "archive/cmp_TQnfdCompress.h"
#include "platform/routines_Hash.h"
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Bytes [start, start + length) of another stream, seen as a read-only
// stream of their own: the archive reader cannot reach past them.
class TWindowStream : public TStream {
public:
    TWindowStream(std::unique_ptr<TStream> inner, int64_t start, int64_t length);
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

private:
    std::unique_ptr<TStream> FInner;
    int64_t FStart, FLength, FPos = 0;
};

// Where setup.1 lies: in File from byte Start, Length bytes long (-1: to the
// end of File). Open opens File for reading; the archive is read through it
// alone.
struct TSetupArchivePlace {
    std::string File;
    int64_t Start = 0;
    int64_t Length = -1;
    std::function<std::unique_ptr<TStream>()> Open;
};

// A file as the extraction wrote it: its name in the folder, its size and
// the SHA-256 of its bytes, taken while they were written.
struct TExtractedFile {
    std::string Name;
    int64_t Size = 0;
    TSha256Digest Digest{};
};

// Told of each file as soon as it is in its place under its name; must not
// raise.
using TOnExtracted = std::function<void(const TExtractedFile&)>;

// Extracts every member of the archive in order into folder, by the file
// name part of its stored path. Returns those names; the first one is the
// setup program. Archive failures raise as the archive raises them. written,
// when given, receives each file of the folder once, as it was written last.
// done, when given, is told of each file once it is closed; replacing of
// a name about to be written again (a later member of the same name).
std::vector<std::string>
ExtractSetupArchive(const TSetupArchivePlace& place, const std::string& folder,
                    std::vector<TExtractedFile>* written = nullptr, const TOnExtracted& done = nullptr,
                    const std::function<void(const std::string&)>& replacing = nullptr);

// Size and SHA-256 of what stream holds from its position to its end.
TExtractedFile DigestOf(TStream& stream);
