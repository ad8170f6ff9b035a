#include "dialogs/routines_DriveSpace.h"
#include "platform/routines_Files.h"
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
    const uint64_t magnitude = bytes < 0 ? 0 - static_cast<uint64_t>(bytes) : static_cast<uint64_t>(bytes);
    const std::string digits = std::to_string(magnitude);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return (bytes < 0 ? "-" : "") + grouped + " " + TranslateText("Bytes");
}

int32_t DriveSpacePanelHeight(size_t rows) {
    return rows > 2 ? 61 : static_cast<int32_t>(25 + 18 * rows);
}
