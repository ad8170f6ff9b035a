// Keeps Wine's desktop process alive for a whole test session.
//
// Wine starts its desktop process (explorer.exe /desktop) from the first
// program that needs a window after the previous desktop has ended, and the
// desktop inherits that program's standard handles. When that program is a
// test started by ctest, the desktop holds ctest's output pipe open and ctest
// waits for it until its time limit. The test scripts start this program
// first, detached and without inherited handles, and wait until it has the
// desktop (it creates the file named by its argument then): the desktop then
// lives as long as the session and belongs to no test.
#include <windows.h>
// After windows.h.
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // GetDesktopWindow returns once Wine's desktop process has its window.
    GetDesktopWindow();
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv && argc >= 2) {
        HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (ready != INVALID_HANDLE_VALUE)
            CloseHandle(ready);
    }
    // wineserver -k ends it with the session; the limit only guards against a
    // session that was never stopped.
    Sleep(6 * 60 * 60 * 1000);
    return 0;
}
