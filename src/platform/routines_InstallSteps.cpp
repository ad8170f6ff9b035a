#include "routines_InstallSteps.h"
#include "routines_Registry.h"
#include "routines_Undo.h"
#include "routines_WinText.h"
#include <windows.h>
// After windows.h, which it needs.
#include <objbase.h>

uint32_t MoveFileDelayed(const std::string& from, const std::string& to) {
    // The system keeps the rename in this value until the restart.
    if (UndoHooks().ValueChanging)
        UndoHooks().ValueChanging(RegLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                  "PendingFileRenameOperations");
    if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                    MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING))
        return 0;
    DWORD code = GetLastError();
    return code ? code : ERROR_GEN_FAILURE;
}

uint32_t TestFileReplaceable(const std::string& path) {
    std::wstring w = Wide(path);
    DWORD attributes = GetFileAttributesW(w.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0; // nothing there to replace
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return ERROR_ACCESS_DENIED;
    // Delete access without sharing: refused exactly when somebody holds the
    // file open in a way that would make the later replacement fail.
    HANDLE h = CreateFileW(w.c_str(), DELETE | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        return code ? code : ERROR_GEN_FAILURE;
    }
    CloseHandle(h);
    return 0;
}

namespace {
TServerResult CallServerEntry(const std::string& path, const char* entryName) {
    TServerResult r;
    HRESULT ole = OleInitialize(nullptr);
    // The server's own folder counts for the libraries it needs; the program's
    // folder and the current one do not (a planted library must not load).
    HMODULE m = LoadLibraryExW(Wide(path).c_str(), nullptr,
                               LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!m) {
        r.Step = TServerStep::ssLoadLibrary;
        r.ErrorCode = GetLastError();
    } else {
        using TEntry = HRESULT(__stdcall*)();
        auto entry = reinterpret_cast<TEntry>(reinterpret_cast<void (*)()>(GetProcAddress(m, entryName)));
        if (!entry) {
            r.Step = TServerStep::ssFindEntry;
            r.ErrorCode = GetLastError();
        } else {
            r.Result = entry();
            if (r.Result != 0)
                r.Step = TServerStep::ssCall;
        }
        FreeLibrary(m);
    }
    if (SUCCEEDED(ole))
        OleUninitialize();
    return r;
}
} // namespace

TServerResult RegisterServerLibrary(const std::string& path) {
    return CallServerEntry(path, "DllRegisterServer");
}

TServerResult UnregisterServerLibrary(const std::string& path) {
    return CallServerEntry(path, "DllUnregisterServer");
}

bool SetCurrentFolder(const std::string& path) {
    return SetCurrentDirectoryW(Wide(path).c_str()) != 0;
}
