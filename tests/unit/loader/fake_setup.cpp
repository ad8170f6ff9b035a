// Stands in for the setup program in the loading program's tests. It writes
// what it was started with to the file named by QFD_FAKE_SETUP_OUT (UTF-8,
// one "key=value" line each), waits for the file named by QFD_FAKE_SETUP_GO
// when that is set, and ends with the code in QFD_FAKE_SETUP_EXIT.
#include <string>
#include <vector>
#include <windows.h>

namespace {

std::string Utf8(const std::wstring& w) {
    int n =
        WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring Env(const wchar_t* name) {
    wchar_t buf[4096];
    DWORD n = GetEnvironmentVariableW(name, buf, 4096);
    return n && n < 4096 ? std::wstring(buf, n) : std::wstring();
}

// Nobody else holds the file open: the loading program must not, while it waits.
bool FreeOfOthers(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

} // namespace

int main() {
    wchar_t buf[MAX_PATH * 2];
    std::wstring self(buf, GetModuleFileNameW(nullptr, buf, MAX_PATH * 2));
    std::wstring folder = self.substr(0, self.find_last_of(L'\\') + 1);
    std::wstring cwd(buf, GetCurrentDirectoryW(MAX_PATH * 2, buf));

    std::wstring text =
        L"cmd=" + std::wstring(GetCommandLineW()) + L"\nexe=" + self + L"\ncwd=" + cwd + L"\n";
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L".." || folder + name == self)
                continue;
            text += (FreeOfOthers(folder + name) ? L"free=" : L"held=") + name + L"\n";
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }

    std::wstring out = Env(L"QFD_FAKE_SETUP_OUT");
    if (!out.empty()) {
        std::string bytes = Utf8(text);
        // Whole or not at all: the test reads it as soon as it appears.
        std::wstring part = out + L".part";
        HANDLE h = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
        MoveFileExW(part.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    std::wstring go = Env(L"QFD_FAKE_SETUP_GO");
    for (int i = 0; !go.empty() && i < 1000 && GetFileAttributesW(go.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(10);
    return _wtoi(Env(L"QFD_FAKE_SETUP_EXIT").c_str());
}
