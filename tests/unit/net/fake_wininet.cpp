// A library that has only the first two of the procedures a network install
// location loads, so that the third is the one reported missing.
#include <windows.h>

extern "C" __declspec(dllexport) BOOL WINAPI InternetGetLastResponseInfoW(DWORD*, wchar_t*, DWORD*) {
    return FALSE;
}

extern "C" __declspec(dllexport) void* WINAPI
    InternetOpenW(const wchar_t*, DWORD, const wchar_t*, const wchar_t*, DWORD) {
    return nullptr;
}
