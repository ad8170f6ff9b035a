// "filelist.lst", the list of product files that a web or network
// distribution publishes beside its archives: a 32-bit count, then one
// 72-byte record per file (little-endian):
//   0  Int32   size of the file in bytes
//   4  Double  date and time of the file
//   12 40 bytes component name of the install file, zero-terminated
//   52 20 bytes version text, zero-terminated
// The reader is portable, so that it can be fuzzed natively.
#pragma once
#include "platform/routines_Files.h"
#include "platform/types_Base.h"
#include <string>
#include <vector>

constexpr int64_t kRemoteFileRecordSize = 72;

struct TRemoteFileRecord {
    Integer FileSize = 0;
    TDateTime FileDate = 0;
    std::string Name;    // at most 39 bytes
    std::string Version; // at most 19 bytes
};

// Every record of the list in stream. A count or a record cut short, or a
// negative count, raises IEInstall "Cannot read the remote list of files: %s"
// with path. Nothing is allocated beyond what the stream holds.
std::vector<TRemoteFileRecord> ReadRemoteFileRecords(TStream& stream, const std::string& path);

// The 72 bytes of one record (names and versions cut at a character
// boundary to fit); the build writes the list with it.
std::string RemoteFileRecordBytes(const TRemoteFileRecord& record);
