#include "routines_Batch.h"
#include "routines_API.h"
#include "routines_Files.h"
#include "routines_Locale.h"

std::optional<std::string> PathForBatch(const std::string& path) {
    const uint32_t codePage = OemCodePage();
    if (Utf8ToCodePage(path, codePage))
        return path;
    const std::string shortPath = GetShortPath(path);
    if (shortPath != path && Utf8ToCodePage(shortPath, codePage))
        return shortPath;
    return std::nullopt;
}

bool WriteBatchFile(const std::string& batch, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    const std::optional<std::string> bytes = Utf8ToCodePage(text, OemCodePage());
    if (!bytes)
        return false;
    TFileStream out(batch, fmCreate);
    out.WriteBuffer(bytes->data(), static_cast<int64_t>(bytes->size()));
    return true;
}
