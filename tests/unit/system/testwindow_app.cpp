// A small program for the window driver's tests.
//   box <caption> <text>   a message box with OK and Cancel; exits with the answer
//   window <caption>       a window with a label, an edit and buttons:
//                          Finish exits 7, Ask asks "Question" and exits 8 on Yes,
//                          Disabled cannot be pressed, closing exits 3
//   env <name>             writes the variable's value to probe.txt in the
//                          current folder; exits 4 when it is not set
//   spawn exit|stay <mode> <args...>
//                          starts this program again with <mode> <args...>,
//                          then ends at once (exit) or after a minute (stay)
//   hold <caption>         as a test program: starts "window <caption>" as
//                          the window driver does, then waits a minute
//   write <file> <ms>      waits ms milliseconds, then creates file
#include "support/WindowDriver.h"
#include <cstdio>
#include <string>
#include <windows.h>

#include <shellapi.h> // needs windows.h first

namespace {

enum { IdFinish = 101, IdAsk = 102, IdDisabled = 103 };

LRESULT CALLBACK WindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wp) == IdFinish)
            PostQuitMessage(7);
        else if (LOWORD(wp) == IdDisabled)
            PostQuitMessage(9);
        else if (LOWORD(wp) == IdAsk && MessageBoxW(h, L"Really finish?", L"Question", MB_YESNO) == IDYES)
            PostQuitMessage(8);
        return 0;
    case WM_CLOSE:
        PostQuitMessage(3);
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int y, int id) {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 10, y, 200, 24, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                           nullptr);
}

int RunWindow(const wchar_t* caption) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"QfdTestWindow";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, wc.lpszClassName, caption, WS_OVERLAPPEDWINDOW, 100, 100, 260, 240, nullptr,
                             nullptr, wc.hInstance, nullptr);
    Child(w, L"STATIC", L"Ready to finish", 0, 10, 0);
    Child(w, L"EDIT", L"Gr\u00fc\u00dfe aus dem Feld", WS_BORDER, 40, 0);
    Child(w, L"BUTTON", L"&Finish", BS_PUSHBUTTON, 70, IdFinish);
    Child(w, L"BUTTON", L"&Ask", BS_PUSHBUTTON, 100, IdAsk);
    EnableWindow(Child(w, L"BUTTON", L"&Disabled", BS_PUSHBUTTON, 130, IdDisabled), FALSE);
    ShowWindow(w, SW_SHOW);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return static_cast<int>(m.wParam);
}

int WriteVariable(const wchar_t* name) {
    wchar_t value[1024];
    DWORD n = GetEnvironmentVariableW(name, value, 1024);
    if (n == 0 || n >= 1024)
        return 4;
    HANDLE f = CreateFileW(L"probe.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return 5;
    char utf8[4096];
    int len =
        WideCharToMultiByte(CP_UTF8, 0, value, static_cast<int>(n), utf8, sizeof utf8, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(f, utf8, static_cast<DWORD>(len), &written, nullptr);
    CloseHandle(f);
    return 0;
}

std::string Utf8(const wchar_t* s) {
    int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s, -1, out.data(), n, nullptr, nullptr);
    out.pop_back();
    return out;
}

std::wstring ThisProgram() {
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    return std::wstring(path, n);
}

// Starts this program again with the arguments from first on, plainly (it
// stays in whatever job this one is in).
int Spawn(int argc, wchar_t** argv, int first, bool stay) {
    std::wstring cmd = L"\"" + ThisProgram() + L"\"";
    for (int i = first; i < argc; ++i)
        cmd += L" \"" + std::wstring(argv[i]) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 5;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (stay)
        Sleep(60000);
    return 0;
}

int Hold(const wchar_t* caption) {
    const std::string self = Utf8(ThisProgram().c_str());
    WindowDriver::TProcess child(WindowDriver::QuoteArg(self) + " window " +
                                 WindowDriver::QuoteArg(Utf8(caption)));
    Sleep(60000);
    return 0;
}

int WriteLater(const wchar_t* file, const wchar_t* ms) {
    Sleep(static_cast<DWORD>(_wtoi(ms)));
    HANDLE f = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return 5;
    CloseHandle(f);
    return 0;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3)
        return 2;
    std::wstring mode = argv[1];
    if (mode == L"box" && argc >= 4)
        return MessageBoxW(nullptr, argv[3], argv[2], MB_OKCANCEL);
    if (mode == L"window")
        return RunWindow(argv[2]);
    if (mode == L"env")
        return WriteVariable(argv[2]);
    if (mode == L"spawn" && argc >= 4)
        return Spawn(argc, argv, 3, std::wstring(argv[2]) == L"stay");
    if (mode == L"hold")
        return Hold(argv[2]);
    if (mode == L"write" && argc >= 4)
        return WriteLater(argv[2], argv[3]);
    return 2;
}
