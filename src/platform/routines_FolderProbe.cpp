#include "routines_FolderProbe.h"
#include "routines_Format.h"
#include "routines_Strings.h"
#include "routines_WinText.h"
#include <windows.h>

namespace {
// The folder's own times, taken before the trial file and put back after it.
class TFolderTimes {
public:
    explicit TFolderTimes(const std::wstring& dir) {
        FHandle = CreateFileW(dir.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        FKept = FHandle != INVALID_HANDLE_VALUE && GetFileTime(FHandle, &FCreated, &FAccessed, &FWritten);
    }
    ~TFolderTimes() {
        if (FKept)
            SetFileTime(FHandle, &FCreated, &FAccessed, &FWritten);
        if (FHandle != INVALID_HANDLE_VALUE)
            CloseHandle(FHandle);
    }
    TFolderTimes(const TFolderTimes&) = delete;
    TFolderTimes& operator=(const TFolderTimes&) = delete;

private:
    HANDLE FHandle = INVALID_HANDLE_VALUE;
    bool FKept = false;
    FILETIME FCreated{}, FAccessed{}, FWritten{};
};
} // namespace

namespace {
// One trial under name: 0 when it could be made (and is gone again).
DWORD Try(const std::wstring& name, bool newFolder) {
    if (newFolder) {
        if (!CreateDirectoryW(name.c_str(), nullptr))
            return GetLastError();
        RemoveDirectoryW(name.c_str());
        return 0;
    }
    // Deleted by the system when closed, also when the program dies first.
    HANDLE h =
        CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError();
    CloseHandle(h);
    return 0;
}
} // namespace

uint32_t TestFolderWritable(const std::string& dir, bool newFolder) {
    const std::string folder = RemoveBackslash(dir);
    TFolderTimes times(Wide(folder));
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string name = AddBackslash(folder) + "~qfdchk" +
                                 Format("%.8x", {unsigned(GetTickCount() + attempt * 7919u)}) + ".tmp";
        const DWORD code = Try(Wide(name), newFolder);
        if (code == 0)
            return 0;
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS)
            return code;
    }
    return ERROR_FILE_EXISTS;
}
