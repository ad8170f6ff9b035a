// Version blocks through version.dll.
#include "cmp_TVersion.h"
#include "exceptions_Quenfold.h"
#include "routines_Files.h"
#include "routines_WinText.h"
#include <windows.h>

namespace {

VersionBlock::TLibraryLoader& Loader() {
    static VersionBlock::TLibraryLoader loader;
    return loader;
}

HMODULE LoadLibraryWith(const std::string& file, DWORD flags) {
    if (Loader())
        return static_cast<HMODULE>(Loader()(file, flags));
    return LoadLibraryExW(Wide(file).c_str(), nullptr, flags);
}

// version.dll is not one of the system's known DLLs: imported the usual way
// it would be looked for first beside the program, where a setup downloaded
// into a shared folder could pick up a planted copy. It is loaded from the
// system folder only.
struct TVersionDll {
    using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    SizeFn GetFileVersionInfoSizeW = nullptr;
    InfoFn GetFileVersionInfoW = nullptr;
    QueryFn VerQueryValueW = nullptr;
    // Why it could not be loaded; empty once it is.
    std::string Failure;

    TVersionDll() {
        HMODULE m = LoadLibraryWith("version.dll", LOAD_LIBRARY_SEARCH_SYSTEM32);
        std::string path = "version.dll";
        if (!m) {
            // Vista and 7 without the update that brought the search flags
            // refuse the flag itself: name the file under the system folder.
            wchar_t dir[MAX_PATH + 1];
            UINT n = GetSystemDirectoryW(dir, MAX_PATH + 1);
            if (n == 0 || n > MAX_PATH) {
                Failure = "Could not load version.dll: the system folder is not known";
                return;
            }
            path = Narrow(dir, n) + "\\version.dll";
            m = LoadLibraryWith(path, LOAD_WITH_ALTERED_SEARCH_PATH);
        }
        if (!m) {
            Failure = Format("Could not load %s: %s", {path, SystemErrorText(GetLastError())});
            return;
        }
        GetFileVersionInfoSizeW = Proc<SizeFn>(m, "GetFileVersionInfoSizeW");
        GetFileVersionInfoW = Proc<InfoFn>(m, "GetFileVersionInfoW");
        VerQueryValueW = Proc<QueryFn>(m, "VerQueryValueW");
        if (!Ok())
            Failure = Format("%s does not provide the version functions", {path});
    }
    template <class F> static F Proc(HMODULE m, const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(m, name)));
    }
    bool Ok() const { return GetFileVersionInfoSizeW && GetFileVersionInfoW && VerQueryValueW; }
};

std::unique_ptr<TVersionDll>& LoadedDll() {
    static std::unique_ptr<TVersionDll> dll;
    return dll;
}

const TVersionDll& Dll() {
    if (!LoadedDll())
        LoadedDll() = std::make_unique<TVersionDll>();
    return *LoadedDll();
}

BOOL QueryValue(LPCVOID block, LPCWSTR path, LPVOID* p, PUINT len) {
    return Dll().Ok() && Dll().VerQueryValueW(block, path, p, len);
}

} // namespace

namespace VersionBlock {

std::vector<uint8_t> Read(const std::string& fileName) {
    if (!Dll().Ok())
        throw EAPIRoutines(
            Format("%s. Without it the versions of files cannot be compared", {Dll().Failure}));
    if (fileName.empty())
        return {};
    std::wstring name = Wide(fileName);
    DWORD handle = 0;
    DWORD size = Dll().GetFileVersionInfoSizeW(name.c_str(), &handle);
    // A version resource is at most 64 KiB (its length is a 16-bit field).
    if (size == 0 || size > (1u << 20))
        return {};
    std::vector<uint8_t> block(size);
    if (!Dll().GetFileVersionInfoW(name.c_str(), 0, size, block.data()))
        return {};
    return block;
}

bool QueryFixed(const std::vector<uint8_t>& block, TFixedInfo& info) {
    void* p = nullptr;
    UINT len = 0;
    if (block.empty() || !QueryValue(block.data(), L"\\", &p, &len) || !p || len < sizeof(VS_FIXEDFILEINFO))
        return false;
    const auto* f = static_cast<const VS_FIXEDFILEINFO*>(p);
    info.FileVersionMS = f->dwFileVersionMS;
    info.FileVersionLS = f->dwFileVersionLS;
    info.ProductVersionMS = f->dwProductVersionMS;
    info.ProductVersionLS = f->dwProductVersionLS;
    info.FileOS = f->dwFileOS;
    info.FileType = f->dwFileType;
    info.FileSubtype = f->dwFileSubtype;
    return true;
}

bool QueryString(const std::vector<uint8_t>& block, const std::string& path, std::string& value) {
    void* p = nullptr;
    UINT len = 0;
    if (block.empty() || !QueryValue(block.data(), Wide(path).c_str(), &p, &len) || !p)
        return false;
    // len counts characters, with the terminating zero when there is one.
    const auto* s = static_cast<const wchar_t*>(p);
    size_t n = 0;
    while (n < len && s[n] != 0)
        ++n;
    value = Narrow(s, n);
    return true;
}

bool QueryTranslation(const std::vector<uint8_t>& block, Word& language, Word& codePage) {
    void* p = nullptr;
    UINT len = 0;
    if (block.empty() || !QueryValue(block.data(), L"\\VarFileInfo\\Translation", &p, &len) || !p || len < 4)
        return false;
    const auto* w = static_cast<const WORD*>(p);
    language = w[0];
    codePage = w[1];
    return true;
}

void SetLibraryLoader(TLibraryLoader loader) {
    Loader() = std::move(loader);
    LoadedDll().reset();
}

std::string ProgramPath() {
    std::wstring buf(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    return Narrow(buf.data(), n);
}

} // namespace VersionBlock
