// A picture of the whole screen as a PNG file, for the README's pictures;
// shared by the screenshot programs, which run inside Wine on a display of
// their own.
#pragma once
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/WindowDriver.h"
#include <algorithm>
#include <cstdint>
#include <string>
#include <windows.h>

namespace ScreenPicture {

// A Unix path as Wine's programs reach it, through drive Z:.
inline std::string WindowsPathOf(const std::string& unixPath) {
    std::string p = "Z:" + unixPath;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

// The Unix program "import" writes the picture; Wine cannot wait for a Unix
// program, so the file is watched until its size stays the same. False, with
// the reason in why, when no picture came within the time limit.
inline bool Take(const std::string& unixPath, std::string& why) {
    const std::string winPath = WindowsPathOf(unixPath);
    DeleteFileW(Wide(winPath).c_str());
    if (!StartUnixProgram("/usr/bin/import", {"-window", "root", unixPath})) {
        why = "cannot start import";
        return false;
    }
    int64_t last = -1;
    bool done = WindowDriver::WaitFor(
        [&] {
            WIN32_FILE_ATTRIBUTE_DATA a{};
            if (!GetFileAttributesExW(Wide(winPath).c_str(), GetFileExInfoStandard, &a))
                return false;
            const int64_t size = (int64_t(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
            const bool same = size > 0 && size == last;
            last = size;
            return same;
        },
        20000, 300);
    if (!done)
        why = "no picture " + unixPath;
    return done;
}

} // namespace ScreenPicture
