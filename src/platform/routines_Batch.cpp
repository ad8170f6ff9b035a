#include "routines_Batch.h"
#include "routines_API.h"
#include "routines_AdminFolder.h"
#include "routines_Files.h"
#include "routines_Locale.h"
#include "routines_Strings.h"
#include "routines_TrustedFolder.h"

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

std::string NewTrustedBatchFile(const std::string& prefix, std::string& folder) {
    // Elevated, cmd reads it from where only administrators can write.
    folder = RunningElevated() ? MakeAdminWorkFolder(prefix) : MakeTrustedTempFolder(prefix);
    return folder + "\\" + prefix + ".bat";
}

std::string SystemBatchCommand(const std::string& batch, const std::string& folder) {
    // The outer quotes are cmd's to take away.
    std::string command = "\"" + GetSystemDir() + "\\cmd.exe\" /D /C \"CALL \"" + batch + "\"";
    if (!folder.empty())
        command += " & RMDIR \"" + folder + "\"";
    return command + "\"";
}

bool RemoveTrustedBatch(const std::string& batch, const std::string& prefix) {
    if (!RemoveFile(batch))
        return false;
    const std::string folder = ExtractFileDir(batch);
    const std::string name = ExtractFileName(folder);
    if (!prefix.empty() && name.size() > prefix.size() && SameText(name.substr(0, prefix.size()), prefix))
        RemoveDir(folder);
    return true;
}
