// "digests.lst", the SHA-256 digests of every file a network distribution
// publishes on its server (each archive "<name>.1" and "filelist.lst"),
// written by the build and carried in setup.1 beside the setup program, so
// that the run can tell the author's bytes from anything else a server or
// the path to it delivers. Text, one file per line in the form sha256sum
// writes and checks:
//   <64 hexadecimal digits><two blanks><remote file name>
// Lines that are blank or start with "#" say nothing. The reader is
// portable, so that it can be fuzzed natively.
#pragma once
#include "platform/routines_Hash.h"
#include <string>
#include <vector>

constexpr const char* kDownloadDigestsName = "digests.lst";
// A list larger than this is not one the build wrote.
constexpr size_t kMaxDownloadDigestsSize = 1u << 20;

struct TDownloadDigest {
    std::string Name; // the remote file name, as the run asks the server for it
    TSha256Digest Digest{};
};

// Every entry of the text. A line that is not an entry, an empty name, a
// name given twice (in any case) or a text beyond kMaxDownloadDigestsSize
// raises IEInstall "The list of download digests %s is damaged: ..." with path.
std::vector<TDownloadDigest> ParseDownloadDigests(const std::string& text, const std::string& path);

// The text of a list, in the order given.
std::string DownloadDigestsText(const std::vector<TDownloadDigest>& digests);

// The entry for a remote file name (compared without regard to case); nullptr when there is none.
const TDownloadDigest* FindDownloadDigest(const std::vector<TDownloadDigest>& digests,
                                          const std::string& name);
