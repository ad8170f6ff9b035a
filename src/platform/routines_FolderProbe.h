// Whether a folder takes what an installation will put into it, asked of the
// system itself: only an attempt tells a read-only medium or a folder without
// the right to add files (or folders) from one that takes them.
#pragma once
#include <cstdint>
#include <string>

// 0 when a new file (a new folder, with newFolder) can be made in the
// existing folder dir now, else the system's error code. The trial goes
// again at once and the folder's times are put back: nothing of it stays.
uint32_t TestFolderWritable(const std::string& dir, bool newFolder = false);
