// System calls of the per-file install steps that the file interface does not
// offer: replacing a file at the next restart, testing whether a file can be
// replaced without touching it, and registering a server library. Each one
// reports the system's error code instead of raising.
#pragma once
#include <cstdint>
#include <string>

// MoveFileEx(from, to, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING).
// 0 when the move is recorded, else the system's error code.
uint32_t MoveFileDelayed(const std::string& from, const std::string& to);

// 0 when path could be replaced now (nobody holds it open in a way that
// forbids deleting it, and it is not read-only); else the system's error
// code (32 for a file in use). The file is opened and closed again, never changed.
uint32_t TestFileReplaceable(const std::string& path);

enum class TServerStep { ssDone, ssLoadLibrary, ssFindEntry, ssCall };
struct TServerResult {
    TServerStep Step = TServerStep::ssDone;
    uint32_t ErrorCode = 0; // the system's code after LoadLibrary or GetProcAddress
    int32_t Result = 0;     // what DllRegisterServer returned
};
// With OLE initialised: loads path, calls its "DllRegisterServer" and frees
// the library again.
TServerResult RegisterServerLibrary(const std::string& path);
// The same with "DllUnregisterServer" (Result is what that returned).
TServerResult UnregisterServerLibrary(const std::string& path);

// SetCurrentDirectory; false when the system refuses.
bool SetCurrentFolder(const std::string& path);
