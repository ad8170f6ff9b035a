// Linked into every Windows test program: the program, and every program it
// starts, get a temporary folder of their own (TMP and TEMP point into a new
// folder in the system's temporary folder) for the program's whole run.
// Programs that run beside it cannot mix their files with its files, and
// after its last test the folder must be empty: what a test made and left
// there (a scratch folder, a log, a temporary copy of a program) fails the
// program by name, and then goes with the folder. A program killed by its
// time limit leaves the folder behind, where the test command's check after
// the Windows tests finds it.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

namespace {

std::string Utf8(const std::wstring& s) {
    int n =
        WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The names in folder (with a trailing backslash), without "." and "..".
std::vector<std::wstring> Names(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((folder + L"*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring n = d.cFileName;
        if (n != L"." && n != L"..")
            names.push_back(n);
    } while (FindNextFileW(h, &d));
    FindClose(h);
    return names;
}

// Removes path and, for a real folder, everything in it; a link or junction
// goes itself, never what it points at.
void RemoveAll(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return;
    if (a & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    if (!(a & FILE_ATTRIBUTE_REPARSE_POINT))
        for (const std::wstring& n : Names(path + L"\\"))
            RemoveAll(path + L"\\" + n);
    RemoveDirectoryW(path.c_str());
}

class TTestRunTemp : public ::testing::Environment {
public:
    explicit TTestRunTemp(std::wstring folder) : FFolder(std::move(folder)) {}

    void TearDown() override {
        // A file another program still holds goes once it is let go: a
        // moment for those that end with the test.
        std::vector<std::wstring> left;
        for (int attempt = 0; attempt < 50; ++attempt) {
            left = Names(FFolder);
            if (left.empty())
                break;
            Sleep(100);
        }
        std::string listed;
        for (const std::wstring& n : left)
            listed += "\n  " + Utf8(n);
        EXPECT_TRUE(left.empty()) << "the tests left in their temporary folder " << Utf8(FFolder) << ":"
                                  << listed;
        RemoveAll(FFolder.substr(0, FFolder.size() - 1));
    }

private:
    std::wstring FFolder;
};

bool MakeRunTemp() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH)
        return false;
    const std::wstring base(temp, n);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring folder = base + L"qfdrun_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                    std::to_wstring(GetTickCount64() + static_cast<ULONGLONG>(attempt)) +
                                    L"\\";
        // Only a folder this program made is its own.
        if (!CreateDirectoryW(folder.c_str(), nullptr))
            continue;
        // A program started from outside Wine may get the system's folder still.
        SetEnvironmentVariableW(L"QFD_SYSTEM_TEMP", base.c_str());
        SetEnvironmentVariableW(L"TMP", folder.c_str());
        SetEnvironmentVariableW(L"TEMP", folder.c_str());
        ::testing::AddGlobalTestEnvironment(new TTestRunTemp(folder));
        return true;
    }
    return false;
}

// Before main: the tests' static set-ups may already use the folder.
const bool kRunTemp = MakeRunTemp();

} // namespace
