// WinVerifyTrust through wintrust.dll, loaded from the system folder at the
// first use: it is not one of the system's known libraries.
#include "routines_Signature.h"
#include "routines_Format.h"
#include "routines_WinText.h"
#include <windows.h>
// After windows.h, whose types they use.
#include <softpub.h>
#include <wintrust.h>

bool OwnImageSigned() {
    const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (!base || dos->e_magic != IMAGE_DOS_SIGNATURE)
        return false;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return false;
    const IMAGE_DATA_DIRECTORY& table = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    return table.VirtualAddress != 0 && table.Size != 0;
}

std::string SignatureProblem(const std::string& path) {
    using TVerify = LONG(WINAPI*)(HWND, GUID*, LPVOID);
    static const TVerify verify = [] {
        HMODULE m = LoadLibraryExW(L"wintrust.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return m ? reinterpret_cast<TVerify>(reinterpret_cast<void*>(GetProcAddress(m, "WinVerifyTrust")))
                 : nullptr;
    }();
    if (!verify)
        return "the system's wintrust.dll cannot be loaded to check its signature";
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "it cannot be opened to check its signature";
    const std::wstring wide = Wide(path);
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = wide.c_str();
    file.hFile = h;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    // No fetching of anything over the network for it.
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    CloseHandle(h);
    switch (static_cast<uint32_t>(result)) {
    case 0:
    case 0x800B0109u: // CERT_E_UNTRUSTEDROOT
    case 0x800B010Au: // CERT_E_CHAINING
    case 0x800B0101u: // CERT_E_EXPIRED
    case 0x800B010Du: // CERT_E_UNTRUSTEDTESTROOT
    case 0x800B0112u: // CERT_E_UNTRUSTEDCA
    case 0x800B010Eu: // CERT_E_REVOCATION_FAILURE
    case 0x80092013u: // CRYPT_E_REVOCATION_OFFLINE
        return std::string();
    default:
        return Format("its signature does not hold for its bytes (WinVerifyTrust gave 0x%.8x)",
                      {static_cast<int64_t>(static_cast<uint32_t>(result))});
    }
}
