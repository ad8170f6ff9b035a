#include "dialogs/routines_DriveSpace.h"
#include "platform/routines_Files.h"
#include "platform/routines_Format.h"
#include "platform/routines_Strings.h"
#include <algorithm>

namespace {
void AddDriveSpace(std::vector<TDriveSpace>& table, char drive, int64_t bytes,
                   const std::function<int64_t(char)>& freeBytes) {
    auto it =
        std::find_if(table.begin(), table.end(), [drive](const TDriveSpace& d) { return d.Drive == drive; });
    if (it != table.end()) {
        it->Required += bytes;
        return;
    }
    if (table.size() >= kDriveTableSize)
        return;
    table.push_back({drive, bytes, freeBytes(drive)});
}

void Collect(TFileContainer& group, std::vector<TDriveSpace>& table,
             const std::function<int64_t(char)>& freeBytes) {
    const std::string dest = UpperCase(group.ExpandedDestDir());
    const bool selected = group.WillInstall();
    if (!dest.empty() && dest[0] != '\\')
        AddDriveSpace(table, dest[0], selected ? group.TotalSize(false, false) : 0, freeBytes);
    if (!selected)
        return;
    for (int i = 0; i < group.FileContainerCount(); ++i)
        if (TFileContainer* child = group.FileContainers(i))
            Collect(*child, table, freeBytes);
}
} // namespace

std::vector<TDriveSpace> CollectDriveSpace(TFileContainer& install,
                                           const std::function<int64_t(char drive)>& freeBytes) {
    std::vector<TDriveSpace> table;
    Collect(install, table, freeBytes);
    return table;
}

int64_t DriveFreeBytes(char drive) {
    return DiskFreeBytes(std::string(1, drive) + ":\\");
}

std::string FormatBytes(int64_t bytes) {
    if (bytes < 0)
        return TranslateText("Unknown");
    return GroupThousands(std::to_string(bytes), FormatSettings().ThousandSeparator) + " " +
           TranslateText("Bytes");
}

std::string FitBytes(int64_t bytes, int32_t room, const std::function<int32_t(const std::string&)>& measure) {
    std::string text = FormatBytes(bytes);
    if (bytes < 0 || measure(text) <= room)
        return text;
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
    uint64_t unit = 1;
    for (const char* name : kUnits) {
        unit *= 1024;
        const uint64_t whole = (static_cast<uint64_t>(bytes) + unit / 2) / unit;
        text = GroupThousands(std::to_string(whole), FormatSettings().ThousandSeparator) + " " +
               TranslateText(name);
        if (measure(text) <= room)
            break;
    }
    return text;
}

int32_t DriveSpacePanelHeight(size_t rows) {
    return rows > 2 ? 61 : static_cast<int32_t>(25 + 18 * rows);
}
