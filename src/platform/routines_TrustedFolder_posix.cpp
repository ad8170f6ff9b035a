// POSIX side of the trusted folders, for the native build of the portable
// code: no access lists, no elevation; a folder only its owner may enter.
#include "routines_Files.h"
#include "routines_TrustedFolder.h"
#include <random>
#include <sys/stat.h>

bool RunningElevated() {
    return false;
}

std::string ProcessUserSid() {
    return std::string();
}

bool CreateTrustedFolder(const std::string& folder) {
    return CreateDir(folder);
}

std::string UnguessableName(const std::string& prefix) {
    std::random_device random;
    std::string name = prefix;
    for (int i = 0; i < 16; ++i)
        name += "0123456789abcdef"[random() & 15];
    return name;
}

std::string SecurityDescriptorText(const std::string&) {
    return std::string();
}

TFolderHold::TFolderHold(const std::string& folder) {
    if (DirectoryExists(folder))
        FHandle = 0;
}

TFolderHold::~TFolderHold() = default;
