// The check before the run writes anything. The files the run will write, as
// each install file decides it (PlanInstall), must fit on their drives;
// nothing may stand in the way of a destination (a folder of the file's name,
// a file where a folder must go, a folder nothing can be written into); and
// each member must be in its archive. A shortfall ends the run before the
// machine is changed, instead of half way through.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TFileContainer;

// Raises IEInstall naming the shortfalls (the first few; the log names them
// all). Files kept by their overwrite rule need nothing; files fetched over
// the network during the run need room, but their members are not looked at.
void CheckBeforeInstall(TFileContainer& Install);

// The root of the volume that holds path: "C:\" or "\\server\share\"; empty
// for a path that is not a full one.
std::string VolumeRoot(const std::string& Path);

// The bytes that files of these sizes take on one drive: each rounded up to
// whole clusters, and the largest once more as a margin.
int64_t RoomNeeded(const std::vector<int64_t>& Sizes);

// Tests fake a small drive or a folder on a read-only medium here; empty
// members make the real calls.
struct TInstallCheckSeams {
    // Free bytes for the caller on the volume of Root; -1 when unknown.
    std::function<int64_t(const std::string& Root)> FreeBytes;
    // 0 when a file (a folder, with NewFolder) can be made in the existing
    // Folder, else the system's error code.
    std::function<uint32_t(const std::string& Folder, bool NewFolder)> FolderWritable;
};
TInstallCheckSeams& InstallCheckSeams();
