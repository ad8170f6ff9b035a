// All or nothing, end to end: a self-extracting distribution built with -b is
// cancelled, fails or is killed in the middle of its screen saver, and the
// machine must be as it was before. A snapshot before and after each case
// holds every file under the prefix's Windows and user folders, the keys the
// setup and the uninstaller write, and the lines of WIN.INI and SYSTEM.INI;
// the comparison names what appeared, vanished or changed.
#include "E2ESupport.h"
#include "archive/cmp_TQnfdCompress.h"
#include "archive/types_ExtractionInfo.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "support/WindowDriver.h"
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <windows.h>
// After windows.h.
#include <commctrl.h>
#include <tlhelp32.h>

using namespace WindowDriver;

namespace {

using E2E::BuiltProgram;
using E2E::FilesInfPath;
using TClock = std::chrono::steady_clock;

const char* const kSaver = "Qfd Snap Saver.scr";
const char* const kReadme = "qfd_snap_readme.txt";
const char* const kUninstaller = "qfd_snap_uninstall.exe";
const char* const kProduct = "Qfd Snap Saver";

std::string SystemFile(const std::string& name) {
    return GetSystemDir() + "\\" + name;
}

bool StartsWithText(const std::string& s, const std::string& start) {
    return s.size() >= start.size() && SameText(s.substr(0, start.size()), start);
}

std::string Seconds(TClock::time_point since) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f s", std::chrono::duration<double>(TClock::now() - since).count());
    return buf;
}

// ---------------------------------------------------------------------------
// The snapshot. Wine itself changes nothing there when a program starts (the
// first test holds it), so only the run's own logs and the test's scratch
// folder are left out; WIN.INI and SYSTEM.INI count by their settings.

// One thing of the machine: a file or folder, a registry key or value, a line
// of WIN.INI or SYSTEM.INI. Text is what a difference shows; the rest lets the
// test's own cleanup take away or put back what a case left.
struct TItem {
    enum TKind { kFile, kFolder, kKey, kValue, kIniLine } Kind = kFile;
    std::string Text{};
    int64_t Size = 0;
    HKEY Root = nullptr;
    std::string Key{}, Name{};
    DWORD Type = 0;
    std::vector<BYTE> Data{};
};
using TSnapshot = std::map<std::string, TItem>;

// The machine as a 64-bit program sees it, also from a 32-bit test program on
// 64-bit Windows: the registry's own view, and (while one of these lives, on
// this thread) the files without redirection, so that System32 and SysWOW64
// are two folders and neither is seen twice.
constexpr REGSAM kMachineView = KEY_WOW64_64KEY;
class TNoRedirection {
public:
    TNoRedirection() : FOff(Wow64DisableWow64FsRedirection(&FOld)) {}
    ~TNoRedirection() {
        if (FOff)
            Wow64RevertWow64FsRedirection(FOld);
    }
    TNoRedirection(const TNoRedirection&) = delete;
    TNoRedirection& operator=(const TNoRedirection&) = delete;

private:
    PVOID FOld = nullptr;
    bool FOff;
};

void DeleteKeyOfMachine(HKEY root, const std::string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, Wide(key).c_str(), 0, KEY_READ | DELETE | kMachineView, &h) == ERROR_SUCCESS) {
        RegDeleteTreeW(h, nullptr);
        RegCloseKey(h);
    }
    RegDeleteKeyExW(root, Wide(key).c_str(), kMachineView, 0);
}

void SetValueOfMachine(HKEY root, const std::string& key, const std::string& name, DWORD type,
                       const std::vector<BYTE>* data) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, Wide(key).c_str(), 0, KEY_SET_VALUE | kMachineView, &h) != ERROR_SUCCESS)
        return;
    if (data)
        RegSetValueExW(h, Wide(name).c_str(), 0, type, data->data(), static_cast<DWORD>(data->size()));
    else
        RegDeleteValueW(h, Wide(name).c_str());
    RegCloseKey(h);
}

class TSnapshotTaker {
public:
    explicit TSnapshotTaker(const std::string& scratch)
        : FScratch(UpperCase(AddBackslash(scratch))), FTemp(UpperCase(AddBackslash(TempDirectory()))),
          FWindows(UpperCase(AddBackslash(GetWindowsDir()))) {}

    TSnapshot Take() {
        FInto.clear();
        TNoRedirection machineFiles;
        const std::string windows = GetWindowsDir();
        Folder(windows);
        Folder(ExtractFileDir(RemoveBackslash(GetEnvVar("USERPROFILE").value_or(windows))));
        for (const char* ini : {"win.ini", "system.ini"})
            Ini(windows + "\\" + ini);
        const std::string cv = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
        for (const std::string& key :
             {std::string("SOFTWARE\\Quenfold"), cv + "\\Uninstall", cv + "\\SharedDLLs", cv + "\\RunOnce",
              std::string("SOFTWARE\\Microsoft\\Windows\\Help")})
            Key(HKEY_LOCAL_MACHINE, key);
        Key(HKEY_CURRENT_USER, cv + "\\RunOnce");
        Key(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
            "PendingFileRenameOperations");
        return std::move(FInto);
    }

private:
    bool Skipped(const std::string& path, bool folder) const {
        const std::string up = UpperCase(folder ? AddBackslash(path) : path);
        // Settings are compared there, not bytes and dates: putting a setting
        // back rewrites the file.
        if (up == FWindows + "WIN.INI" || up == FWindows + "SYSTEM.INI" || up.rfind(FScratch, 0) == 0)
            return true;
        // The scratch folders of other test programs running beside this one
        // come and go by themselves.
        if (folder && up.rfind(FTemp + "QFDTEST_", 0) == 0)
            return true;
        if (folder || up.rfind(FTemp, 0) != 0 || up.find('\\', FTemp.size()) != std::string::npos)
            return false;
        const std::string name = path.substr(FTemp.size());
        return (StartsWithText(name, "Setup Log ") || StartsWithText(name, "Uninstall Log ")) &&
               SameText(ExtractFileExt(name), ".txt");
    }

    // A link is listed, never followed: Wine links the user's shell folders
    // to the Unix home. A mount point on the spot (the small disk) is followed.
    static bool StaysInside(const std::string& path, DWORD attributes) {
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
        HANDLE h = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        wchar_t target[MAX_PATH * 2] = {};
        DWORD n = GetFinalPathNameByHandleW(h, target, MAX_PATH * 2, FILE_NAME_NORMALIZED);
        CloseHandle(h);
        return n > 4 && n < MAX_PATH * 2 && SameText(Narrow(target + 4, n - 4), path); // after "\\?\"
    }

    static std::string FileText(const WIN32_FIND_DATAW& fd, int64_t size, const std::string& path) {
        SYSTEMTIME s{};
        FileTimeToSystemTime(&fd.ftLastWriteTime, &s);
        std::string a;
        for (auto [bit, letter] :
             {std::pair{FILE_ATTRIBUTE_READONLY, 'R'}, std::pair{FILE_ATTRIBUTE_HIDDEN, 'H'},
              std::pair{FILE_ATTRIBUTE_SYSTEM, 'S'}, std::pair{FILE_ATTRIBUTE_ARCHIVE, 'A'},
              std::pair{FILE_ATTRIBUTE_REPARSE_POINT, 'L'}})
            if (fd.dwFileAttributes & bit)
                a += letter;
        char buf[160];
        std::snprintf(buf, sizeof buf,
                      "%lld bytes, written %04u-%02u-%02u %02u:%02u:%02u.%07lu, attributes %s",
                      static_cast<long long>(size), s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond,
                      (static_cast<unsigned long>(fd.ftLastWriteTime.dwLowDateTime) % 10000000ul),
                      a.empty() ? "-" : a.c_str());
        std::string text = buf;
        // A put-back file must have its bytes back, not only its size and
        // date; the big ones would make every snapshot slow.
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && size <= (1 << 20)) {
            uint64_t h = 1469598103934665603ull;
            try {
                for (unsigned char c : ReadWholeFile(path))
                    h = (h ^ c) * 1099511628211ull;
                std::snprintf(buf, sizeof buf, ", content %016llx", static_cast<unsigned long long>(h));
                text += buf;
            } catch (const std::exception&) {
                // Held open by somebody without sharing: its size and date must do.
                text += ", content unreadable";
            }
        }
        return text;
    }

    void Folder(const std::string& dir) {
        WIN32_FIND_DATAW fd{};
        HANDLE h = FindFirstFileExW(Wide(dir + "\\*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                    nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (h == INVALID_HANDLE_VALUE)
            return;
        do {
            const std::string name = Narrow(fd.cFileName, wcslen(fd.cFileName));
            const std::string path = dir + "\\" + name;
            const bool folder = fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
            if (name == "." || name == ".." || Skipped(path, folder))
                continue;
            TItem& item = FInto[path];
            item.Kind = folder ? TItem::kFolder : TItem::kFile;
            // A folder's time moves with what is made and removed in it; its
            // files say what changed.
            item.Size = folder ? 0 : static_cast<int64_t>(fd.nFileSizeHigh) << 32 | fd.nFileSizeLow;
            item.Text = folder ? "folder" : FileText(fd, item.Size, path);
            if (folder && StaysInside(path, fd.dwFileAttributes))
                Folder(path);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }

    static std::string ValueText(DWORD type, const std::vector<BYTE>& data) {
        if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
            std::string s = Narrow(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
            while (!s.empty() && s.back() == '\0')
                s.pop_back();
            std::replace(s.begin(), s.end(), '\0', '|');
            return "\"" + s + "\"";
        }
        if (type == REG_DWORD && data.size() == 4)
            return std::to_string(*reinterpret_cast<const DWORD*>(data.data()));
        std::string s = "type " + std::to_string(type) + ":";
        char b[4];
        for (BYTE c : data) {
            std::snprintf(b, sizeof b, " %02x", c);
            s += b;
        }
        return s;
    }

    // The key and everything below it, or only its value "only".
    void Key(HKEY root, const std::string& key, const std::string& only = "") {
        HKEY h = nullptr;
        if (RegOpenKeyExW(root, Wide(key).c_str(), 0, KEY_READ | kMachineView, &h) != ERROR_SUCCESS)
            return;
        const std::string shown = (root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") + key;
        if (only.empty())
            FInto[shown + "\\"] = TItem{.Kind = TItem::kKey, .Text = "key", .Root = root, .Key = key};
        for (DWORD i = 0;; ++i) {
            wchar_t name[16384];
            DWORD len = 16384, type = 0, size = 0;
            if (RegEnumValueW(h, i, name, &len, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
                break;
            TItem item{
                .Kind = TItem::kValue, .Root = root, .Key = key, .Name = Narrow(name, len), .Type = type};
            item.Data.resize(size);
            len = 16384;
            if ((only.empty() || SameText(item.Name, only)) &&
                RegEnumValueW(h, i, name, &len, nullptr, &type, item.Data.data(), &size) == ERROR_SUCCESS) {
                item.Data.resize(size);
                item.Text = ValueText(type, item.Data);
                FInto[shown + " : " + (item.Name.empty() ? "(default)" : item.Name)] = item;
            }
        }
        std::vector<std::string> subkeys;
        for (DWORD i = 0; only.empty(); ++i) {
            wchar_t name[256];
            DWORD len = 256;
            if (RegEnumKeyExW(h, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            subkeys.push_back(Narrow(name, len));
        }
        RegCloseKey(h);
        for (const std::string& s : subkeys)
            Key(root, key + "\\" + s);
    }

    // By section and name, so that a difference says which setting changed.
    void Ini(const std::string& path) {
        std::string section;
        for (std::string line : E2E::ReadLines(path)) {
            line = Trim(line);
            if (!line.empty() && line.front() == '[')
                section = line;
            else if (const size_t eq = line.find('='); !line.empty())
                FInto[LowerCase(ExtractFileName(path)) + " " + section + " " +
                      (eq == std::string::npos ? line : Trim(line.substr(0, eq)))] =
                    TItem{.Kind = TItem::kIniLine,
                          .Text = eq == std::string::npos ? "a line" : "= " + line.substr(eq + 1)};
        }
    }

    std::string FScratch, FTemp, FWindows;
    TSnapshot FInto;
};

// What differs, a line each; bytesLeft: the bytes of files that appeared or grew.
std::string Difference(const TSnapshot& before, const TSnapshot& after, int64_t& bytesLeft) {
    std::string out;
    bytesLeft = 0;
    for (const auto& [name, item] : after) {
        auto b = before.find(name);
        if (b == before.end()) {
            out += "  appeared: " + name + "  (" + item.Text + ")\n";
            bytesLeft += item.Size;
        } else if (b->second.Text != item.Text) {
            out += "  changed:  " + name + "  (" + b->second.Text + " -> " + item.Text + ")\n";
            bytesLeft += std::max<int64_t>(0, item.Size - b->second.Size);
        }
    }
    for (const auto& [name, item] : before)
        if (!after.count(name))
            out += "  vanished: " + name + "  (" + item.Text + ")\n";
    return out;
}

// ---------------------------------------------------------------------------
// Processes and windows of a run

// The programs of this build's runs that are running, by process id.
std::map<DWORD, std::string> RunPrograms() {
    std::map<DWORD, std::string> found;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    for (BOOL ok = snap != INVALID_HANDLE_VALUE && Process32FirstW(snap, &e); ok;
         ok = Process32NextW(snap, &e)) {
        // The loading program and the setup copy, the clean-up batches, the
        // uninstaller, the display settings a finished run opens.
        const std::string name = Narrow(e.szExeFile, wcslen(e.szExeFile));
        for (const char* n : {"setup.exe", "cmd.exe", "conhost.exe", "rundll32.exe", kUninstaller})
            if (SameText(name, n))
                found[e.th32ProcessID] = name;
    }
    if (snap != INVALID_HANDLE_VALUE)
        CloseHandle(snap);
    return found;
}

// The visible message boxes of the run's programs.
std::vector<HWND> MessageBoxes() {
    using TQuery = std::pair<std::map<DWORD, std::string>, std::vector<HWND>>;
    TQuery q{RunPrograms(), {}};
    EnumWindows(
        [](HWND h, LPARAM lp) CALLBACK -> BOOL {
            auto* q = reinterpret_cast<TQuery*>(lp);
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (IsWindowVisible(h) && q->first.count(pid) &&
                ClassNameOf(reinterpret_cast<TWindowHandle>(h)) == "#32770")
                q->second.push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&q));
    return q.second;
}

// The visible copy-progress windows with their file bar (the upper one) in percent.
std::vector<std::pair<HWND, int>> CopyWindows() {
    std::vector<std::pair<HWND, int>> found;
    EnumWindows(
        [](HWND h, LPARAM found) CALLBACK -> BOOL {
            const auto window = reinterpret_cast<TWindowHandle>(h);
            if (!IsWindowVisible(h) || ControlText(window) != "Copying installation files")
                return TRUE;
            HWND bar = nullptr;
            std::vector<HWND> bars;
            EnumChildWindows(
                h,
                [](HWND c, LPARAM bars) CALLBACK -> BOOL {
                    if (ClassNameOf(reinterpret_cast<TWindowHandle>(c)) == "msctls_progress32")
                        reinterpret_cast<std::vector<HWND>*>(bars)->push_back(c);
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&bars));
            RECT top{0, INT_MAX, 0, 0};
            for (HWND b : bars)
                if (RECT r{}; GetWindowRect(b, &r) && r.top < top.top)
                    top = r, bar = b;
            if (!bar)
                return TRUE;
            const auto pos = SendMessageW(bar, PBM_GETPOS, 0, 0),
                       max = SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
            if (max > 0)
                reinterpret_cast<std::vector<std::pair<HWND, int>>*>(found)->push_back(
                    {h, static_cast<int>(pos * 100 / max)});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// ---------------------------------------------------------------------------
// The fixture

// The system folder made a small disk for as long as this lives: an overlay
// whose writes go to a tmpfs (small_disk.sh).
class TSmallSystemDisk {
public:
    TSmallSystemDisk(const std::string& scratch, int64_t size) : FScratch(RemoveBackslash(scratch)) {
        FReason = Run("attach", std::to_string(size));
        FAttached = FReason == "ok";
    }
    ~TSmallSystemDisk() {
        if (FAttached)
            Run("detach", "");
    }
    bool Attached() const { return FAttached; }
    const std::string& Reason() const { return FReason; }

private:
    std::string Run(const std::string& step, const std::string& size) {
        const std::string done = FScratch + ".done";
        RemoveFile(done);
        std::vector<std::string> args = {QFD_SMALL_DISK_SCRIPT, step, UnixPathUnderWine(GetSystemDir()),
                                         UnixPathUnderWine(FScratch)};
        if (!size.empty())
            args.push_back(size);
        args.push_back(UnixPathUnderWine(done));
        if (args[2].empty() || !StartUnixProgram("/bin/sh", args))
            return "cannot run the small-disk script (the test needs Wine and its prefix)";
        if (!WaitFor([&] { return FileExists(done); }, 20000))
            return "the small-disk script did not finish within 20 s";
        std::string reason = Trim(ReadWholeFile(done));
        RemoveFile(done);
        return reason;
    }
    std::string FScratch, FReason;
    bool FAttached = false;
};

class AllOrNothing : public ::testing::Test {
protected:
    // The distributions, built once: the newer product, an older one of the
    // same name, and the newer one with its last member damaged.
    struct TDistributions {
        TTempFolder Work;
        std::string Newer, Older, Damaged, Failure;
    };

    static void SetUpTestSuite() {
        const auto start = TClock::now();
        D = new TDistributions;
        const std::string saved = FileExists(FilesInfPath()) ? ReadWholeFile(FilesInfPath()) : "";
        const std::set<std::string> logs = RunLogs();
        try {
            // The uninstaller grows by noise at its end (a program runs with
            // it), so that its extraction lasts long enough for a Cancel as it begins.
            const std::string uninstaller = ReadWholeFile(BuiltProgram("uninstall\\uninstall.exe"));
            D->Newer = Build("newer", "the newer readme, version 2\r\n", E2E::NoiseBytes(40u << 20, 1),
                             uninstaller + E2E::NoiseBytes(16u << 20, 2));
            D->Older = Build("older", "the older readme\r\n", E2E::NoiseBytes(256u << 10, 3), uninstaller);
            D->Damaged = DamageLastMember(D->Newer);
        } catch (const std::exception& e) {
            D->Failure = e.what();
        }
        RemoveFile(FilesInfPath());
        if (!saved.empty())
            WriteTextFile(FilesInfPath(), saved);
        for (const std::string& log : RunLogs())
            if (!logs.count(log))
                RemoveFile(AddBackslash(TempDirectory()) + log);
        // The builds leave their record key empty; the user's machine, where
        // the cases run, has never seen a build.
        for (const char* key : {"SOFTWARE\\Quenfold\\Install", "SOFTWARE\\Quenfold"})
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), kMachineView,
                            0); // never one that holds a key
        std::printf("distributions built: %s\n", Seconds(start).c_str());
    }
    static void TearDownTestSuite() {
        delete D;
        D = nullptr;
    }

    // setup.exe -b of the product of three files; the self-extracting setup.exe.
    static std::string Build(const std::string& name, const std::string& readme, const std::string& saver,
                             const std::string& uninstaller) {
        const std::string product = D->Work / (name + "\\"), prog = D->Work / (name + "-prog\\"),
                          build = D->Work / (name + "-build");
        ForceDirectory(RemoveBackslash(product));
        ForceDirectory(RemoveBackslash(prog));
        WriteTextFile(product + kSaver, saver);
        WriteTextFile(product + kReadme, readme);
        WriteTextFile(product + kUninstaller, uninstaller);
        WriteTextFile(FilesInfPath(), product + kSaver + "\r\n" + product + kReadme + "\r\n" + product +
                                          kUninstaller + "\r\n");
        if (!CopyFileTo(BuiltProgram("setup\\setup.exe"), prog + "setup.exe", false) ||
            !CopyFileTo(BuiltProgram("loader\\loader.exe"), prog + "loader.exe", false))
            throw std::runtime_error("cannot copy the built setup.exe and loader.exe");
        WriteTextFile(prog + "BUILD.INF", build + "\r\n");
        TProcess b(QuoteArg(prog + "setup.exe") + " -b -q");
        if (!b.WaitForExit(120000) || b.ExitCode() != 0 || !FileExists(build + "\\setup.exe"))
            throw std::runtime_error("setup.exe -b of the " + name + " product failed");
        return build + "\\setup.exe";
    }

    // A copy of the distribution whose last member, the uninstaller, has
    // damaged data in its middle; the members before it check out.
    static std::string DamageLastMember(const std::string& good) {
        std::string bytes = ReadWholeFile(good);
        TExtractionInfoBytes trailer;
        std::copy(bytes.end() - kExtractionInfoSize, bytes.end(), trailer.begin());
        TExtractionInfo info;
        if (CheckExtractionInfo(trailer, static_cast<int64_t>(bytes.size()), info) !=
            TExtractionInfoState::eiValid)
            throw std::runtime_error("the distribution has no valid extraction information");
        TQnfdCompress archive;
        archive.SetCompressedFile(good);
        archive.Offset = info.Files1Start;
        const int last = archive.FileCount() - 1;
        if (last < 0 || archive.HeaderIndexOfID(5) != last)
            throw std::runtime_error("the uninstaller (identifier 5) is not the last member");
        const TlzhFileStats& st = archive.FileStats(last);
        const size_t dataStart = st.Header[132] | st.Header[133] << 8 | st.Header[134] << 16 |
                                 static_cast<size_t>(st.Header[135]) << 24;
        const size_t middle = static_cast<size_t>(info.Files1Start) + dataStart + st.CompressedSize / 2;
        for (size_t i = middle; i < middle + 4096; ++i)
            bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
        const std::string damaged = D->Work / "damaged-setup.exe";
        WriteTextFile(damaged, bytes);
        // Sealed anew, as if its build had made it so: the loading program's
        // checksum lets it through, and the setup program meets the damage.
        {
            TFileStream f(damaged, fmOpenReadWrite);
            const int64_t at = static_cast<int64_t>(bytes.size()) - kExtractionInfoSize;
            if (!WritePayloadSeal(f, at + kExtractionInfoSize) || !SealExtractionInfo(f, at, info))
                throw std::runtime_error("the damaged distribution cannot be sealed anew");
            f.SetPosition(at);
            WriteExtractionInfo(f, info);
        }
        TQnfdCompress check;
        check.SetCompressedFile(damaged);
        check.Offset = info.Files1Start;
        for (int i = 0; i < last; ++i)
            check.TestMember(i);
        try {
            check.TestMember(last);
        } catch (const std::exception&) {
            return damaged;
        }
        throw std::runtime_error("the damaged uninstaller still checks out");
    }

    void SetUp() override {
        ASSERT_TRUE(D && D->Failure.empty()) << (D ? D->Failure : "no distributions");
        for (const char* ini : {"win.ini", "system.ini"})
            FSavedIni[ini] = ReadWholeFile(GetWindowsDir() + "\\" + ini);
        for (const auto& [id, name] : RunPrograms())
            FPrograms.insert(id);
        Baseline = Snapshot();
        FBaselineTaken = true;
    }

    // Only the test's own cleanup, also after a failure: the programs a case
    // left running end, what appeared goes, and registry values and the two
    // INI files get back what the baseline holds.
    void TearDown() override {
        // Without a whole baseline everything would look new: nothing is touched then.
        if (!D || !D->Failure.empty() || !FBaselineTaken)
            return;
        WaitFor([&] { return Running().empty(); }, 10000, 50);
        for (const auto& [id, name] : RunPrograms())
            if (HANDLE h =
                    FPrograms.count(id) ? nullptr : OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
                TerminateProcess(h, 1);
                WaitForSingleObject(h, 5000);
                CloseHandle(h);
            }
        RestoreBaseline();
    }

    void RestoreBaseline() {
        const TSnapshot now = Snapshot();
        TNoRedirection machineFiles;                           // the snapshot's names are the real ones
        for (auto it = now.rbegin(); it != now.rend(); ++it) { // what lies inside goes first
            const auto& [name, item] = *it;
            if (Baseline.count(name))
                continue;
            if (item.Kind == TItem::kFile)
                SetFileReadOnly(name, false), RemoveFile(name);
            else if (item.Kind == TItem::kFolder)
                TTempFolder::RemoveTree(name);
            else if (item.Kind == TItem::kKey)
                DeleteKeyOfMachine(item.Root, item.Key);
            else if (item.Kind == TItem::kValue)
                SetValueOfMachine(item.Root, item.Key, item.Name, 0, nullptr);
        }
        for (const auto& [name, item] : Baseline)
            if (item.Kind == TItem::kValue && (!now.count(name) || now.at(name).Text != item.Text))
                SetValueOfMachine(item.Root, item.Key, item.Name, item.Type, &item.Data);
        for (const auto& [ini, bytes] : FSavedIni)
            if (ReadWholeFile(GetWindowsDir() + "\\" + ini) != bytes)
                WriteTextFile(GetWindowsDir() + "\\" + ini, bytes);
    }

    // The run's logs in the temporary folder, by name.
    static std::set<std::string> RunLogs() {
        std::set<std::string> logs;
        for (const std::string& name : ListDirectory(TempDirectory()))
            if (StartsWithText(name, "Setup Log ") || StartsWithText(name, "Uninstall Log "))
                logs.insert(name);
        return logs;
    }

    TSnapshot Snapshot() const { return TSnapshotTaker(D->Work.Path()).Take(); }

    std::string Running() const {
        std::string names;
        for (const auto& [id, name] : RunPrograms())
            if (!FPrograms.count(id))
                names += " " + name;
        return names;
    }

    // Waits for every program the case started to end: the clean-up batches
    // run after the setup and the uninstaller.
    bool Settle() {
        if (WaitFor([&] { return Running().empty(); }, 30000, 50))
            return true;
        ADD_FAILURE() << "still running 30 s after the case:" << Running();
        return false;
    }

    // The machine equal to before, the run's log files aside; prints the
    // case's time once everything it started has ended.
    void ExpectMachineAsBefore(const TSnapshot& before, const std::string& what, TClock::time_point start) {
        Settle();
        const std::string took = Seconds(start);
        int64_t bytesLeft = 0;
        const std::string diff = Difference(before, Snapshot(), bytesLeft);
        std::printf("%s: %s, %lld bytes left behind\n", what.c_str(), took.c_str(),
                    static_cast<long long>(bytesLeft));
        EXPECT_TRUE(diff.empty()) << what << " left the machine changed:\n" << diff;
    }

    static uint32_t RunQuietly(const std::string& exe) {
        TProcess run(QuoteArg(exe) + " -q");
        EXPECT_TRUE(run.WaitForExit(60000)) << exe << " -q did not end within 60 s";
        return run.ExitCode();
    }

    // The copy-progress window once its file bar stands part-way (25 % or
    // more, short of the end), or with next, once the bar has started over
    // after that: the next file's (the window may keep its handle). 0 when
    // the run is done first.
    static HWND CopyWindowPartWay(const TProcess& run, bool next = false) {
        HWND found = nullptr;
        int partWay = 0;
        WaitFor(
            [&] {
                for (auto [h, at] : CopyWindows()) {
                    if (at < 100 && (next ? partWay > 0 && at < partWay : at >= 25))
                        found = h;
                    if (at >= 25 && at < 100)
                        partWay = std::max(partWay, at);
                }
                return found || !run.Running() || FindTopWindow("Setup complete", 0, 0);
            },
            30000, 5);
        return found;
    }

    // Answers the pages and message boxes of a run as a person who presses
    // Finish, Yes or OK, until it ends; what it saw.
    static std::string AnswerUntilExit(TProcess& run) {
        std::string seen;
        WaitFor(
            [&] {
                for (const char* page : {"Setup incomplete", "Setup complete"})
                    if (TWindowHandle w = FindTopWindow(page, 0, 0); w && PressButton(w, "Finish"))
                        seen += std::string(" [") + page + "]";
                for (HWND box : MessageBoxes()) {
                    const auto b = reinterpret_cast<TWindowHandle>(box);
                    seen += " [" + ControlText(b) + ": " + MessageBoxText(b) + "]";
                    if (!PressButton(b, "Yes"))
                        PressButton(b, "OK");
                }
                return !run.Running();
            },
            30000, 50);
        EXPECT_FALSE(run.Running()) << "the run did not end within 30 s; seen:" << seen;
        return seen;
    }

    static inline TDistributions* D = nullptr;
    TSnapshot Baseline;
    bool FBaselineTaken = false;
    std::map<std::string, std::string> FSavedIni;
    E2E::TRunLogsRemoved FLogs; // the logs of the case's runs go after it
    std::set<DWORD> FPrograms;
    TWineAppDefault FFast = FastWindowsUnderWine("setup.exe");
};

TEST_F(AllOrNothing, TheSnapshotSeesFilesAValueAndAnIniLineAndNothingOfWinesOwn) {
    const std::string changed = SystemFile("qfd_snap_changed.txt"),
                      vanished = SystemFile("qfd_snap_vanished.txt");
    WriteTextFile(changed, "before");
    WriteTextFile(vanished, "before");
    const TSnapshot before = Snapshot();
    {
        // A program started under Wine, as every case starts some.
        TProcess cmd("cmd.exe /c exit");
        ASSERT_TRUE(cmd.WaitForExit(30000));
    }
    WriteTextFile(SystemFile("qfd_snap_probe.txt"), "probe");
    WriteTextFile(changed, "after!"); // as long as before
    ASSERT_TRUE(RemoveFile(vanished));
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qfd Snap Probe";
    HKEY probe = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE | kMachineView, nullptr, &probe, nullptr),
              0);
    const LONG written =
        RegSetValueExW(probe, L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"probe"), 12);
    RegCloseKey(probe);
    ASSERT_EQ(written, 0);
    ASSERT_TRUE(WriteProfileStringW(L"boot", L"QfdSnapProbe", L"1"));
    WriteProfileStringW(nullptr, nullptr, nullptr); // into the file now
    ASSERT_TRUE(Settle());
    const TSnapshot after = Snapshot();
    int64_t bytes = 0;
    const std::string diff = Difference(before, after, bytes);
    std::set<std::string> named;
    for (const auto& [name, item] : after)
        if (!before.count(name) || before.at(name).Text != item.Text)
            named.insert(name);
    for (const auto& [name, item] : before)
        if (!after.count(name))
            named.insert(name);
    EXPECT_EQ(named, (std::set<std::string>{SystemFile("qfd_snap_probe.txt"), changed, vanished,
                                            "HKLM\\" + key + "\\", "HKLM\\" + key + " : DisplayName",
                                            "win.ini [boot] QfdSnapProbe"}))
        << diff;
    EXPECT_EQ(bytes, 5) << diff;
}

// The readme before the screen saver fills its bar at once: the first bar
// that stands part-way is the screen saver's.
TEST_F(AllOrNothing, CancelInTheMiddleOfTheScreenSaver) {
    const TSnapshot before = Snapshot();
    const auto start = TClock::now();
    TProcess run(QuoteArg(D->Newer));
    HWND copying = CopyWindowPartWay(run);
    ASSERT_NE(copying, nullptr) << "the screen saver's copy-progress window never stood part-way";
    ASSERT_TRUE(PressButton(reinterpret_cast<TWindowHandle>(copying), "Cancel"));
    const std::string seen = AnswerUntilExit(run);
    EXPECT_EQ(run.ExitCode(), 2u) << seen;
    ExpectMachineAsBefore(before, "Cancel in the middle of the screen saver", start);
}

// Between two files the run handles no messages, and the finished file's
// window closes: the nearest a person comes is the next file's window as it
// opens, the screen saver complete.
TEST_F(AllOrNothing, CancelAsTheNextFileBeginsWithTheScreenSaverComplete) {
    const TSnapshot before = Snapshot();
    const auto start = TClock::now();
    TProcess run(QuoteArg(D->Newer));
    HWND next = CopyWindowPartWay(run, true);
    ASSERT_NE(next, nullptr) << "no copy-progress window of a file after the screen saver";
    ASSERT_TRUE(PressButton(reinterpret_cast<TWindowHandle>(next), "Cancel"));
    const std::string seen = AnswerUntilExit(run);
    EXPECT_EQ(run.ExitCode(), 2u) << seen;
    ExpectMachineAsBefore(before, "Cancel as the uninstaller begins", start);
}

TEST_F(AllOrNothing, ADamagedLastMemberOnACleanMachine) {
    const TSnapshot before = Snapshot();
    const auto start = TClock::now();
    EXPECT_EQ(RunQuietly(D->Damaged), 1u);
    ExpectMachineAsBefore(before, "a damaged last member on a clean machine", start);
}

TEST_F(AllOrNothing, ADamagedLastMemberOverAnOlderVersionPutsEveryOlderFileBack) {
    ASSERT_EQ(RunQuietly(D->Older), 0u);
    ASSERT_TRUE(Settle());
    // As a person may have left it.
    ASSERT_TRUE(SetFileReadOnly(SystemFile(kReadme), true));
    const TSnapshot before = Snapshot();
    ASSERT_TRUE(before.count("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                             std::string(kProduct) + " : UninstallString"))
        << "the older version is not installed";
    const auto start = TClock::now();
    EXPECT_EQ(RunQuietly(D->Damaged), 1u);
    ExpectMachineAsBefore(before, "a damaged last member over an older version", start);
}

TEST_F(AllOrNothing, ADiskTooSmallForTheScreenSaver) {
    TSmallSystemDisk disk(D->Work / "smalldisk", 8 << 20);
    if (!disk.Attached())
        GTEST_SKIP() << "no small disk for the test: " << disk.Reason();
    ASSERT_LT(DiskFreeBytes(GetSystemDir()), 9 << 20) << "the system folder is not on the small disk";
    const TSnapshot before = Snapshot();
    const auto start = TClock::now();
    EXPECT_EQ(RunQuietly(D->Newer), 1u);
    ExpectMachineAsBefore(before, "a disk too small for the screen saver", start);
}

TEST_F(AllOrNothing, AFolderInTheWayOfTheLastFile) {
    ASSERT_TRUE(CreateDir(SystemFile(kUninstaller)));
    const TSnapshot before = Snapshot();
    const auto start = TClock::now();
    EXPECT_EQ(RunQuietly(D->Newer), 1u);
    ExpectMachineAsBefore(before, "a folder in the way of the uninstaller", start);
}

TEST_F(AllOrNothing, KilledInTheMiddleThenRunAgainAndUninstalled) {
    const TSnapshot before = Snapshot();
    const auto start = TClock::now();
    {
        TProcess run(QuoteArg(D->Newer));
        HWND copying = CopyWindowPartWay(run);
        ASSERT_NE(copying, nullptr) << "the screen saver's copy-progress window never stood part-way";
        // The setup copy that shows it gets no say, as with kill -9.
        DWORD pid = 0;
        GetWindowThreadProcessId(copying, &pid);
        HANDLE setup = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        ASSERT_NE(setup, nullptr);
        EXPECT_TRUE(TerminateProcess(setup, 9));
        EXPECT_EQ(WaitForSingleObject(setup, 10000), WAIT_OBJECT_0);
        CloseHandle(setup);
        EXPECT_TRUE(run.WaitForExit(30000)) << "the loading program did not end with its setup program";
    }
    std::printf("killed in the middle of the screen saver: %s\n", Seconds(start).c_str());

    const auto again = TClock::now();
    ASSERT_EQ(RunQuietly(D->Newer), 0u);
    std::printf("the run after the kill: %s\n", Seconds(again).c_str());
    for (const char* name : {kSaver, kReadme, kUninstaller})
        EXPECT_TRUE(ReadWholeFile(SystemFile(name)) == ReadWholeFile(D->Work / "newer\\" + name))
            << name << " is not the product's";
    const std::string key = E2E::UninstallKeyOf(kProduct);
    EXPECT_EQ(ReadRegString(rkLocalMachine, key, "DisplayName", ""), kProduct);
    const std::string command = ReadRegString(rkLocalMachine, key, "UninstallString", "");
    ASSERT_FALSE(command.empty());

    // As the list of programs starts it, unattended: -q after the program.
    const auto uninstallStart = TClock::now();
    const size_t programEnd = command[0] == '"' ? command.find('"', 1) + 1 : command.find(' ');
    TProcess uninstall(command.substr(0, programEnd) + " -q" + command.substr(programEnd));
    ASSERT_TRUE(uninstall.WaitForExit(60000));
    EXPECT_EQ(uninstall.ExitCode(), 0u);
    ExpectMachineAsBefore(before, "the uninstall after the kill and the run again", uninstallStart);
    std::printf("kill, run again, uninstall: %s\n", Seconds(start).c_str());
}

} // namespace
