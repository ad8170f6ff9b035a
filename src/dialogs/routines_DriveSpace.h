// The drive list of the file group selection page: the drives the selected
// groups go to, with the bytes they need there and the bytes free. Sizes are
// 64-bit: a drive of more than 4 GB is counted right.
#pragma once
#include "objects/cmp_TInstallContainer.h"
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TDriveSpace {
    char Drive = 0;
    int64_t Required = 0;
    int64_t Available = 0; // -1 when it cannot be determined
    // The mark for a drive without enough room: required is not below available.
    bool ShortOfRoom() const { return !(Required < Available); }
};

// Room for this many drives; a further drive is left out of the list.
constexpr size_t kDriveTableSize = 25;

// Walks the groups in tree order from the install: a group adds its own
// selected bytes (0 when it is not selected) to the drive of its expanded
// destination, unless that is empty or a network path; the children of a
// group that is not selected are not visited. freeBytes gives the free bytes
// of a drive's root, asked once per drive.
std::vector<TDriveSpace> CollectDriveSpace(TFileContainer& install,
                                           const std::function<int64_t(char drive)>& freeBytes);
// The free bytes of a drive's root on this machine; -1 when unknown.
int64_t DriveFreeBytes(char drive);

// "1,234,567 Bytes": thousands separated as the user's locale separates
// them, no decimals, the unit translated; "Unknown" (translated) for a free
// space that could not be read.
std::string FormatBytes(int64_t bytes);
// The size as it fits into room pixels, measure giving a text's width: the
// whole number of bytes when that fits, else the finest of KB, MB, GB and TB
// (1024 each, rounded to the nearest) whose text fits, else TB.
std::string FitBytes(int64_t bytes, int32_t room, const std::function<int32_t(const std::string&)>& measure);
// The height of the drive list's panel for this many rows.
int32_t DriveSpacePanelHeight(size_t rows);
