// The run journal. One line per step, fields separated by tabs and escaped,
// written and flushed before the step runs:
//   F path                  a file was made (undo: remove it)
//   D path                  a folder was made (undo: remove it when empty)
//   K path kept             a file was moved aside to kept (undo: put it back)
//   A path                  the read-only flag was cleared (undo: set it)
//   C root key              a registry key was made (undo: remove its tree)
//   E root key              a key of a tree about to go (undo: make it)
//   V root key name 0       a value did not exist (undo: remove it)
//   V root key name 1 t hex a value held these bytes of type t (undo: write them)
//   P file section key 0|1 text   a profile string (undo: remove or write it)
//   M folder                the temporary copy of the setup program
#include "routines_Journal.h"
#include "routines_AdminFolder.h"
#include "routines_Files.h"
#include "routines_Registry.h"
#include "routines_Strings.h"
#include "routines_TrustedFolder.h"
#include "routines_Undo.h"
#include "routines_WinText.h"
#include <algorithm>
#include <cctype>
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

namespace {
const char* const kMagic = "QFDJOURNAL1";
// Windows allows 512 levels; a deeper walk means a link loop.
constexpr int kMaxKeyDepth = 512;

TRunJournal*& ActiveJournal() {
    static TRunJournal* active = nullptr;
    return active;
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            static const char digits[] = "0123456789ABCDEF";
            const auto b = static_cast<unsigned char>(c);
            out += {'%', digits[b >> 4], digits[b & 15]};
        } else
            out += c;
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        int hi, lo;
        if (s[i] == '%' && i + 2 < s.size() && (hi = HexDigit(s[i + 1])) >= 0 &&
            (lo = HexDigit(s[i + 2])) >= 0) {
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string ToHex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

bool FromHex(const std::string& hex, std::vector<uint8_t>& bytes) {
    if (hex.size() % 2)
        return false;
    bytes.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

std::string RootText(uintptr_t root) {
    return Format("%.8x", {static_cast<uint32_t>(root)});
}

bool ParseRoot(const std::string& text, uintptr_t& root) {
    uint32_t v = 0;
    if (text.empty() || text.size() > 8)
        return false;
    for (char c : text) {
        int d = HexDigit(c);
        if (d < 0)
            return false;
        v = v * 16 + static_cast<uint32_t>(d);
    }
    root = PredefinedRegHandle(v);
    return v >= 0x80000000u && v <= 0x80000006u;
}

std::string RootName(uintptr_t root) {
    switch (static_cast<uint32_t>(root)) {
    case 0x80000000u:
        return "HKCR";
    case 0x80000001u:
        return "HKCU";
    case 0x80000002u:
        return "HKLM";
    case 0x80000003u:
        return "HKU";
    default:
        return "HK" + RootText(root);
    }
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(
            Unescape(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

// The folder the journals' folder is checked from: the system's common
// application data, or the folder a test put its journals in.
std::string JournalTop() {
    if (!JournalFolderOverride().empty())
        return ExtractFileDir(RemoveBackslash(JournalFolderOverride()));
    return MachineFolderTop();
}

// The lock of a product: a file in the journals' folder, which only
// administrators can write, held open without sharing and removed when its
// handle closes (also when the process is killed). Zero when another process
// holds it; raises when the file cannot be made at all.
uintptr_t TakeLock(const std::string& id) {
    const std::string file = AddBackslash(JournalFolder()) + id + ".lck";
    PSECURITY_DESCRIPTOR sd = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(Wide(AdminOnlySddl()).c_str(), SDDL_REVISION_1, &sd,
                                                         nullptr);
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd, FALSE};
    HANDLE h = CreateFileW(Wide(file).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, sd ? &sa : nullptr,
                           OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    const DWORD error = GetLastError();
    if (sd)
        LocalFree(sd);
    if (h != INVALID_HANDLE_VALUE)
        return reinterpret_cast<uintptr_t>(h);
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED)
        return 0;
    throw EInOutError(
        Format("Cannot create the lock of the installation %s: %s", {file, SystemErrorText(error)}));
}

void DropLock(uintptr_t lock) {
    if (lock)
        CloseHandle(reinterpret_cast<HANDLE>(lock));
}

// Removes a folder and what is in it without following a link: a link in it
// goes itself, nothing behind it is touched.
// Goes on past a file that cannot go; why gets the first reason.
bool RemoveTree(const std::string& folder, std::string& why, int depth = 0) {
    bool ok = true;
    auto remove = [&](const std::string& path) {
        std::string reason;
        if (!RemoveNoFollow(path, reason)) {
            if (ok)
                why = path + ": " + reason;
            ok = false;
        }
    };
    if (depth <= 64 && !IsLink(folder)) {
        for (const std::string& entry : ListDirectory(folder)) {
            const std::string path = AddBackslash(folder) + entry;
            if (!entry.empty() && entry.back() == '\\') {
                std::string reason;
                if (!RemoveTree(RemoveBackslash(path), reason, depth + 1) && ok) {
                    why = reason;
                    ok = false;
                }
            } else {
                remove(path);
            }
        }
    }
    remove(folder);
    return ok;
}

// A path as a run records it: a whole one ("C:\..." or "\\server\share\..."),
// with no "." or ".." step and nothing the system would read otherwise.
bool PlainPath(const std::string& path) {
    const bool drive = path.size() > 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                       path[1] == ':' && path[2] == '\\';
    const bool unc = path.size() > 4 && path.compare(0, 2, "\\\\") == 0 && path[2] != '?' && path[2] != '.';
    if (!drive && !unc)
        return false;
    if (path.find('/') != std::string::npos || path.find(':', 2) != std::string::npos)
        return false;
    size_t start = drive ? 3 : 2;
    for (;;) {
        const size_t end = path.find('\\', start);
        const std::string part =
            path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == ".." || part.back() == '.' || part.back() == ' ')
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

bool HexText(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return HexDigit(c) >= 0; });
}

// The registry keys a run writes under HKEY_LOCAL_MACHINE, and whether the
// step may name the key itself (made or removed) or only its values.
struct TRunKey {
    const char* Key;
    bool Below;       // keys below it
    bool Itself;      // the key itself may be made or removed
    const char* Name; // values: those whose name begins so (empty: any)
};
const TRunKey kRunKeys[] = {
    {"SOFTWARE\\Quenfold", true, true, ""},
    {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", true, true, nullptr},
    {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", false, true, ""},
    {"SOFTWARE\\Microsoft\\Windows\\Help", false, true, ""},
    {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", false, false, "QUENFOLDUNFINISHED"},
};

// Empty when a run could have recorded this registry step; name is null
// for a step on the key itself.
std::string RegistryStepBound(uintptr_t root, const std::string& key, const std::string* name) {
    if (static_cast<uint32_t>(root) != 0x80000002u)
        return "a run writes under HKEY_LOCAL_MACHINE only";
    const std::string k = UpperCase(NormalizeRegKeyPath(key));
    for (const TRunKey& r : kRunKeys) {
        const std::string base = UpperCase(r.Key);
        const bool itself = k == base;
        const bool below =
            r.Below && k.size() > base.size() + 1 && k.compare(0, base.size() + 1, base + "\\") == 0;
        if (!itself && !below)
            continue;
        if (!name)
            return below || r.Itself ? std::string() : "a run never makes or removes this key itself";
        if (below)
            return std::string();
        if (!r.Name)
            return "a run writes no values of this key";
        return UpperCase(*name).rfind(r.Name, 0) == 0 ? std::string() : "a run writes no such value here";
    }
    return "a run writes no such key";
}

// Empty when a run could have changed this profile: WIN.INI, SYSTEM.INI or
// WININIT.INI of the Windows folder.
std::string ProfileStepBound(const std::string& file) {
    if (file.empty())
        return std::string();
    const std::string name = UpperCase(ExtractFileName(file));
    if (name != "WIN.INI" && name != "SYSTEM.INI" && name != "WININIT.INI")
        return "a run changes no such file";
    if (file.find('\\') == std::string::npos)
        return std::string();
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    return PlainPath(file) && SameText(ExtractFileDir(file), Narrow(windows, n))
               ? std::string()
               : "it is not in the Windows folder";
}

// The loading program's folder of a temporary copy: "qfdsetup" and 16
// hexadecimal digits, in the temporary folder or the machine's folder.
std::string TemporaryCopyBound(const std::string& folder) {
    const std::string name = ExtractFileName(RemoveBackslash(folder));
    if (!PlainPath(folder) || name.size() != 24 || !SameText(name.substr(0, 8), "qfdsetup") ||
        !HexText(name.substr(8)))
        return "it is not named as the loading program names its folders";
    const std::string parent =
        UpperCase(RemoveBackslash(ResolvedPath(ExtractFileDir(RemoveBackslash(folder)))));
    for (const std::string& place : {TempDirectory(), MachineFolder()}) {
        const std::string resolved = UpperCase(RemoveBackslash(ResolvedPath(place)));
        if (!parent.empty() && parent == resolved)
            return std::string();
    }
    return "it lies neither in this user's temporary folder nor in " + MachineFolder();
}

// --- undoing one step ---------------------------------------------------------------------------

class TUndo {
public:
    TUndo(const TJournalLog& log, bool repairing) : FLog(log), FRepairing(repairing) {}

    void Step(const std::vector<std::string>& f) {
        const std::string& kind = f.empty() ? std::string() : f[0];
        // A journal on disk is obeyed only as far as a run could have written it.
        if (FRepairing) {
            const std::string why = Bound(f);
            if (!why.empty()) {
                Failed("a step of the journal is not one a run takes (" + Shown(f) + "): " + why +
                       "; it is not carried out");
                return;
            }
        }
        if (kind == "F" && f.size() >= 2)
            File(f[1]);
        else if (kind == "D" && f.size() >= 2)
            Folder(f[1]);
        else if (kind == "K" && f.size() >= 3)
            Kept(f[1], f[2]);
        else if (kind == "A" && f.size() >= 2)
            ReadOnly(f[1]);
        else if ((kind == "C" || kind == "E") && f.size() >= 3)
            Key(kind == "C", f[1], f[2]);
        else if (kind == "V" && f.size() >= 5)
            Value(f);
        else if (kind == "P" && f.size() >= 5)
            Profile(f);
        else if (kind == "M" && f.size() >= 2)
            TemporaryCopy(f[1]);
        else
            Failed("an entry of the journal cannot be read: " + (f.empty() ? std::string() : kind));
    }

    std::vector<std::string> Failures;

private:
    static std::string Shown(const std::vector<std::string>& f) {
        std::string s;
        for (const std::string& field : f)
            s += (s.empty() ? "" : " ") + (field.size() > 200 ? field.substr(0, 200) + "..." : field);
        return s;
    }

    std::string Bound(const std::vector<std::string>& f) {
        const std::string& kind = f.empty() ? std::string() : f[0];
        if ((kind == "F" || kind == "D" || kind == "A") && f.size() >= 2)
            return PlainPath(f[1]) ? std::string() : "not a whole, plain path";
        if (kind == "K" && f.size() >= 3) {
            const std::string name = ExtractFileName(f[2]);
            if (!PlainPath(f[1]) || !PlainPath(f[2]))
                return "not a whole, plain path";
            if (!SameText(ExtractFilePath(f[1]), ExtractFilePath(f[2])) || name.size() != 16 ||
                !SameText(name.substr(0, 4), "~qfk") || !SameText(name.substr(12), ".tmp") ||
                !HexText(name.substr(4, 8)))
                return "a kept file is a ~qfk....tmp beside the file it was kept for";
            return std::string();
        }
        if ((kind == "C" || kind == "E") && f.size() >= 3) {
            uintptr_t root = 0;
            return ParseRoot(f[1], root) ? RegistryStepBound(root, f[2], nullptr) : "no registry root";
        }
        if (kind == "V" && f.size() >= 5) {
            uintptr_t root = 0;
            return ParseRoot(f[1], root) ? RegistryStepBound(root, f[2], &f[3]) : "no registry root";
        }
        if (kind == "P" && f.size() >= 5)
            return ProfileStepBound(f[1]);
        if (kind == "M" && f.size() >= 2)
            return TemporaryCopyBound(f[1]);
        return std::string();
    }

    void Note(const std::string& text) {
        if (FLog)
            FLog("Undo", text);
    }
    void Failed(const std::string& text) {
        Failures.push_back(text);
        if (FLog)
            FLog("Undo", "FAILED: " + text);
    }
    std::string Why() { return SystemErrorText(LastSystemError()); }

    void File(const std::string& path) {
        if (!FileExists(path) && !IsLink(path))
            return;
        std::string why;
        if (RemoveNoFollow(path, why))
            Note("removed " + path);
        else
            Failed("cannot remove " + path + ": " + why);
    }
    void Folder(const std::string& path) {
        if (!DirectoryExists(path))
            return;
        std::string why;
        if (!ListDirectory(path).empty())
            Note("left the folder " + path + ": it holds files that this run did not make");
        else if (RemoveNoFollow(path, why))
            Note("removed the folder " + path);
        else
            Failed("cannot remove the folder " + path + ": " + why);
    }
    void Kept(const std::string& path, const std::string& kept) {
        // Not moved aside yet: the file there is still the old one.
        if (!FileExists(kept))
            return;
        // The folder is held while the old file goes back: no junction can
        // take its place between the check and the move.
        const std::string folder = ExtractFileDir(path);
        TFolderHold hold(folder);
        const std::string resolved = ResolvedPath(folder);
        if (!hold.Held() || !SamePlace(resolved, folder)) {
            Failed("cannot put back " + path + ": its folder leads to " + resolved);
            return;
        }
        std::string why;
        if ((FileExists(path) || IsLink(path)) && !RemoveNoFollow(path, why)) {
            Failed("cannot remove the new " + path + " to put the old one back: " + why);
            return;
        }
        if (RenameFile(kept, path, false))
            Note("put back " + path);
        else
            Failed("cannot put back " + path + " from " + kept + ": " + Why());
    }
    void ReadOnly(const std::string& path) {
        if (!FileExists(path) || IsLink(path))
            return;
        const std::string resolved = ResolvedPath(path);
        if (!SamePlace(resolved, path))
            Failed("left " + path + " as it is: it leads to " + resolved);
        else if (!SetFileReadOnly(path, true))
            Failed("cannot set the read-only flag of " + path + " again: " + Why());
    }
    void Key(bool made, const std::string& rootText, const std::string& key) {
        uintptr_t root = 0;
        if (!ParseRoot(rootText, root) || NormalizeRegKeyPath(key).empty()) {
            Failed("a registry key of the journal cannot be read: " + key);
            return;
        }
        const std::string shown = RootName(root) + "\\" + key;
        if (made) {
            if (!RegKeyExists(root, key))
                return;
            if (DeleteKeyTree(root, key))
                Note("removed the key " + shown);
            else
                Failed("cannot remove the key " + shown);
            return;
        }
        TRegKey k;
        if (!RegKeyExists(root, key) && !k.Create(root, key))
            Failed("cannot make the key " + shown + " again: " + SystemErrorText(k.LastError()));
    }
    void Value(const std::vector<std::string>& f) {
        uintptr_t root = 0;
        if (!ParseRoot(f[1], root)) {
            Failed("a registry value of the journal cannot be read: " + f[2]);
            return;
        }
        const std::string shown = RootName(root) + "\\" + f[2] + " " + f[3];
        TRegKey k;
        if (f[4] == "0") {
            if (!k.Open(root, f[2]) || !k.ValueExists(f[3]))
                return;
            if (k.DeleteValue(f[3]))
                Note("removed " + shown);
            else
                Failed("cannot remove " + shown + ": " + SystemErrorText(k.LastError()));
            return;
        }
        std::vector<uint8_t> data;
        int32_t type = 0;
        if (f.size() < 7 || !FromHex(f[6], data) || !TryStrToInt(f[5], type) || type < 0) {
            Failed("the old data of " + shown + " cannot be read from the journal");
            return;
        }
        if (k.Create(root, f[2]) && k.WriteRaw(f[3], static_cast<uint32_t>(type), data.data(), data.size()))
            Note("restored " + shown);
        else
            Failed("cannot restore " + shown + ": " + SystemErrorText(k.LastError()));
    }
    void Profile(const std::vector<std::string>& f) {
        const std::string& file = f[1];
        const bool existed = f[4] == "1";
        const std::string old = f.size() >= 6 ? f[5] : std::string();
        const std::wstring section = Wide(f[2]), key = Wide(f[3]), value = Wide(old);
        const wchar_t* v = existed ? value.c_str() : nullptr;
        const BOOL ok = file.empty()
                            ? WriteProfileStringW(section.c_str(), key.c_str(), v)
                            : WritePrivateProfileStringW(section.c_str(), key.c_str(), v, Wide(file).c_str());
        const std::string shown = (file.empty() ? std::string("WIN.INI") : file) + " [" + f[2] + "] " + f[3];
        if (ok)
            Note((existed ? "restored " : "removed ") + shown);
        else
            Failed("cannot restore " + shown + ": " + Why());
    }
    void TemporaryCopy(const std::string& folder) {
        // A live run removes its own copy when it ends; only a dead one's stays.
        if (!FRepairing || !DirectoryExists(folder))
            return;
        std::string why;
        if (RemoveTree(folder, why))
            Note("removed the temporary copy " + folder);
        else
            Failed("cannot remove the temporary copy " + folder + ": " + why);
    }

    TJournalLog FLog;
    bool FRepairing;
};

std::vector<std::string> UndoAll(const std::vector<std::vector<std::string>>& entries, const TJournalLog& log,
                                 bool repairing) {
    TUndo undo(log, repairing);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        undo.Step(*it);
    return undo.Failures;
}

// A journal's lines, from bytes read through a checked handle.
bool ParseJournal(const std::string& text, std::vector<std::vector<std::string>>& entries) {
    size_t start = 0;
    bool first = true;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
        std::vector<std::string> fields = Split(text.substr(start, nl - start));
        if (first) {
            if (fields.empty() || fields[0] != kMagic)
                return false;
            first = false;
            continue;
        }
        entries.push_back(std::move(fields));
    }
    // A line without its end was being written when the run died: its step
    // had not begun.
    return true;
}

// A journal holds one line per step; anything this big is not one.
constexpr int64_t kMaxJournalBytes = int64_t(256) << 20;

void LogTo(const TJournalLog& log, const std::string& kind, const std::string& text) {
    if (log)
        log(kind, text);
}

// Moves a file that is not to be obeyed out of the way of the next run of
// its product, without removing it.
void SetAside(const std::string& file, const TJournalLog& log) {
    const std::string aside = file + ".untrusted-" + UnguessableName("").substr(0, 8);
    if (MoveFileExW(Wide(file).c_str(), Wide(aside).c_str(), 0))
        LogTo(log, "Repair", file + " is moved aside to " + aside);
}

// Undoes the journal name of the checked chain's folder, a dead run's, and
// removes it; one that is not an administrator's, or no journal, is left
// alone and never obeyed. True when it was undone.
bool RepairJournal(TAdminChain& chain, const std::string& name, const TJournalLog& log) {
    const std::string file = AddBackslash(chain.Folder()) + name;
    std::string text;
    if (!chain.ReadFile(name, text, kMaxJournalBytes)) {
        LogTo(log, "Repair", "the journal " + file + " is not obeyed: " + chain.Why());
        SetAside(file, log);
        return false;
    }
    std::vector<std::vector<std::string>> entries;
    if (!ParseJournal(text, entries)) {
        LogTo(log, "Repair", file + " is no journal of an installation; removed");
        RemoveFile(file);
        return false;
    }
    LogTo(log, "Repair",
          "an earlier installation ended without finishing (" + file + "); undoing its " +
              IntToStr(static_cast<int64_t>(entries.size())) + " steps");
    UndoAll(entries, log, true);
    RemoveFile(file);
    return true;
}

// Makes the journals' folder, or checks the one that is there: only an
// administrators-only folder is used; another one is moved aside.
void EnsureJournalFolder(const TJournalLog& log) {
    EnsureAdminFolder(JournalTop(), JournalFolder(),
                      [&log](const std::string& text) { LogTo(log, "Journal", text); });
}

void RemoveJournalFolderIfEmpty() {
    const std::string folder = JournalFolder();
    if (DirectoryExists(folder) && ListDirectory(folder).empty() && RemoveDir(folder)) {
        const std::string parent = ExtractFileDir(folder);
        if (JournalFolderOverride().empty() && ListDirectory(parent).empty())
            RemoveDir(parent);
    }
}
} // namespace

// --- places and names ------------------------------------------------------------------------------

std::string& JournalFolderOverride() {
    static std::string folder;
    return folder;
}

std::string JournalFolder() {
    if (!JournalFolderOverride().empty())
        return RemoveBackslash(JournalFolderOverride());
    return AddBackslash(MachineFolder()) + "Journal";
}

std::string ProductRunId(const std::string& product) {
    // FNV-1a over the name as Windows compares names: case does not count.
    uint64_t h = 1469598103934665603ull;
    // Tests that keep journals of their own keep locks of their own too.
    const std::string key =
        UpperCase(Trim(product)) + (JournalFolderOverride().empty() ? "" : "|" + JournalFolderOverride());
    for (char c : key) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return Format("%.8x%.8x", {static_cast<uint32_t>(h >> 32), static_cast<uint32_t>(h)});
}

// --- the journal of this run ----------------------------------------------------------------------------

TRunJournal* TRunJournal::Active() {
    return ActiveJournal();
}

int& TRunJournal::FailAtStep() {
    static int step = 0;
    return step;
}

TRunJournal::~TRunJournal() {
    if (FOpen) {
        try {
            Rollback();
        } catch (...) {
            // Nothing may leave a destructor; the log has what went wrong.
        }
    }
    Unlock();
}

bool TRunJournal::Lock(const std::string& product) {
    if (FLock)
        return true;
    FId = ProductRunId(product);
    EnsureJournalFolder(FLog);
    FLock = TakeLock(FId);
    return FLock != 0;
}

void TRunJournal::Unlock() {
    if (!FLock)
        return;
    DropLock(FLock);
    FLock = 0;
    RemoveJournalFolderIfEmpty();
}

void TRunJournal::Begin(const TJournalLog& log) {
    if (FOpen || !FLock)
        return;
    FLog = log;
    FEntries.clear();
    FValuesSeen.clear();
    TAdminChain chain;
    if (!chain.Open(JournalTop(), JournalFolder()))
        throw EInOutError(
            Format("Cannot keep the journal of the installation in %s: %s", {JournalFolder(), chain.Why()}));
    FFile = AddBackslash(JournalFolder()) + FId + ".jnl";
    // We hold the lock: a journal of this product left here is a dead run's.
    if (FileExists(FFile) || IsLink(FFile))
        RepairJournal(chain, ExtractFileName(FFile), FLog);
    // Made new, never opened: nothing planted under its name is written through.
    HANDLE h = reinterpret_cast<HANDLE>(CreateAdminFile(FFile));
    if (h == INVALID_HANDLE_VALUE)
        throw EInOutError(Format("Cannot create the journal of the installation %s: %s",
                                 {FFile, SystemErrorText(GetLastError())}));
    FHandle = reinterpret_cast<intptr_t>(h);
    FOpen = true;
    // Not a step: the journal's own first line.
    const std::string head = std::string(kMagic) + "\n";
    DWORD written = 0;
    WriteFile(h, head.data(), static_cast<DWORD>(head.size()), &written, nullptr);
    FlushFileBuffers(h);
    ActiveJournal() = this;

    TUndoHooks& hooks = UndoHooks();
    hooks.Creating = [this](const std::string& path, bool folder) {
        if (!FBusy && !(folder ? DirectoryExists(path) : FileExists(path)))
            Record({folder ? "D" : "F", path});
    };
    hooks.KeepAside = [this](const std::string& path) { return KeepAside(path); };
    hooks.ReadOnlyClearing = [this](const std::string& path) {
        if (!FBusy)
            Record({"A", path});
    };
    hooks.KeyCreating = [this](uintptr_t root, const std::string& key) { KeyCreating(root, key); };
    hooks.ValueChanging = [this](uintptr_t root, const std::string& key, const std::string& name) {
        ValueChanging(root, key, name);
    };
    hooks.TreeDeleting = [this](uintptr_t root, const std::string& key) { TreeDeleting(root, key); };
    hooks.ProfileChanging = [this](const std::string& file, const std::string& section,
                                   const std::string& key) { ProfileChanging(file, section, key); };
}

void TRunJournal::Record(const std::vector<std::string>& fields) {
    if (!FOpen)
        return;
    std::string line;
    for (const std::string& f : fields)
        line += (line.empty() ? "" : "\t") + Escape(f);
    line += "\n";
    HANDLE h = reinterpret_cast<HANDLE>(FHandle);
    DWORD written = 0;
    // The undo must be on disk before the step: a step that cannot be
    // recorded is not taken.
    if (!WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size() || !FlushFileBuffers(h))
        throw EInOutError(Format("Cannot write the journal of the installation %s: %s",
                                 {FFile, SystemErrorText(GetLastError())}));
    FEntries.push_back(fields);
    if (FailAtStep() > 0 && static_cast<int>(FEntries.size()) == FailAtStep())
        throw EJournalStepFailure(Format("Step %d of the installation failed on purpose", {FailAtStep()}));
}

void TRunJournal::NoteTemporaryCopy(const std::string& folder) {
    if (!folder.empty())
        Record({"M", folder});
}

std::string TRunJournal::KeepAside(const std::string& path) {
    std::string kept;
    for (uint32_t n = GetTickCount() ^ GetCurrentProcessId();; ++n) {
        kept = ExtractFilePath(path) + Format("~qfk%.8x.tmp", {n});
        if (!FileExists(kept) && !DirectoryExists(kept))
            break;
    }
    Record({"K", path, kept});
    if (!RenameFile(path, kept, false))
        return std::string();
    return kept;
}

void TRunJournal::ValueChanging(uintptr_t root, const std::string& key, const std::string& name) {
    if (FBusy)
        return;
    // The first record of a value holds what it was before the run; undone
    // last, it wins over every later one.
    const std::string seen = RootText(root) + "\t" + UpperCase(key) + "\t" + UpperCase(name);
    if (FValuesSeen.count(seen))
        return;
    FBusy = true;
    std::vector<std::string> fields{"V", RootText(root), key, name, "0"};
    {
        TRegKey k;
        uint32_t type = 0;
        std::optional<std::vector<uint8_t>> data;
        if (k.Open(root, key, TRegAccess::raRead) && (data = k.ReadRaw(name, type)))
            fields = {"V",         RootText(root), key, name, "1", IntToStr(static_cast<int64_t>(type)),
                      ToHex(*data)};
    }
    FBusy = false;
    FValuesSeen.insert(seen);
    Record(fields);
}

void TRunJournal::KeyCreating(uintptr_t root, const std::string& key) {
    if (FBusy)
        return;
    const std::string path = NormalizeRegKeyPath(key);
    FBusy = true;
    std::string prefix, missing;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        prefix = path.substr(0, end);
        if (!RegKeyExists(root, prefix)) {
            missing = prefix;
            break;
        }
        start = end + 1;
    }
    FBusy = false;
    if (!missing.empty())
        Record({"C", RootText(root), missing});
}

void TRunJournal::TreeDeleting(uintptr_t root, const std::string& key) {
    if (FBusy)
        return;
    // Every key and value of the tree, parents first, so that the undo
    // (newest first) writes the values back after making their keys.
    std::vector<std::vector<std::string>> tree;
    std::function<void(const std::string&, int)> walk = [&](const std::string& k, int depth) {
        TRegKey open;
        if (depth > kMaxKeyDepth || !open.Open(root, k, TRegAccess::raRead))
            return;
        tree.push_back({"E", RootText(root), k});
        for (const std::string& name : open.ValueNames()) {
            uint32_t type = 0;
            if (std::optional<std::vector<uint8_t>> data = open.ReadRaw(name, type))
                tree.push_back(
                    {"V", RootText(root), k, name, "1", IntToStr(static_cast<int64_t>(type)), ToHex(*data)});
        }
        for (const std::string& sub : open.SubKeyNames())
            walk(k + "\\" + sub, depth + 1);
    };
    FBusy = true;
    walk(NormalizeRegKeyPath(key), 0);
    FBusy = false;
    // Values under a key that goes may be written again afterwards: each
    // later change must record what it replaces.
    const std::string prefix = RootText(root) + "\t" + UpperCase(NormalizeRegKeyPath(key));
    for (auto it = FValuesSeen.begin(); it != FValuesSeen.end();)
        it = it->compare(0, prefix.size(), prefix) == 0 ? FValuesSeen.erase(it) : std::next(it);
    for (const auto& fields : tree)
        Record(fields);
}

void TRunJournal::ProfileChanging(const std::string& file, const std::string& section,
                                  const std::string& key) {
    if (FBusy)
        return;
    // A text that no profile holds tells a missing key from an empty one.
    const std::wstring none = L"\x01qfd-none\x01";
    wchar_t buf[4096];
    const std::wstring s = Wide(section), k = Wide(key);
    DWORD n = file.empty() ? GetProfileStringW(s.c_str(), k.c_str(), none.c_str(), buf, 4096)
                           : GetPrivateProfileStringW(s.c_str(), k.c_str(), none.c_str(), buf, 4096,
                                                      Wide(file).c_str());
    const std::wstring old(buf, n);
    if (old == none)
        Record({"P", file, section, key, "0"});
    else
        Record({"P", file, section, key, "1", Narrow(old)});
}

void TRunJournal::Detach() {
    if (ActiveJournal() == this)
        ActiveJournal() = nullptr;
    UndoHooks() = TUndoHooks{};
}

void TRunJournal::CloseFile() {
    if (FHandle != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(FHandle));
        FHandle = -1;
    }
    FOpen = false;
}

void TRunJournal::Commit() {
    if (!FOpen)
        return;
    Detach();
    for (const auto& f : FEntries) {
        if (f.size() < 3 || f[0] != "K" || !FileExists(f[2]))
            continue;
        SetFileReadOnly(f[2], false);
        if (RemoveFile(f[2]))
            continue;
        // Held open by someone: it goes at the next restart instead.
        MoveFileExW(Wide(f[2]).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        if (FLog)
            FLog("Journal", "the old file " + f[2] + " goes at the next restart");
    }
    CloseFile();
    RemoveFile(FFile);
    RemoveJournalFolderIfEmpty();
    if (FLog)
        FLog("Journal", "committed " + IntToStr(static_cast<int64_t>(FEntries.size())) + " steps");
    FEntries.clear();
}

void TRunJournal::Abandon() {
    Detach();
    CloseFile();
    FEntries.clear();
}

std::vector<std::string> TRunJournal::Rollback() {
    if (!FOpen)
        return {};
    Detach();
    CloseFile();
    if (FLog)
        FLog("Undo", "undoing " + IntToStr(static_cast<int64_t>(FEntries.size())) + " steps of the run");
    std::vector<std::string> failures = UndoAll(FEntries, FLog, false);
    RemoveFile(FFile);
    RemoveJournalFolderIfEmpty();
    FEntries.clear();
    return failures;
}

// --- journals of dead runs ----------------------------------------------------------------------------

int RepairInterruptedRuns(const TJournalLog& log) {
    const std::string folder = JournalFolder();
    if (!DirectoryExists(folder) && !IsLink(folder))
        return 0;
    // Only journals that administrators alone can have written are obeyed:
    // every folder on the way and each file are checked on the handles
    // they are read through.
    TAdminChain chain;
    if (!chain.Open(JournalTop(), folder)) {
        LogTo(log, "Repair", "the journals in " + folder + " are not obeyed: " + chain.Why());
        return 0;
    }
    int repaired = 0;
    for (const std::string& name : ListDirectory(folder)) {
        if (name.empty() || name.back() == '\\' || UpperCase(ExtractFileExt(name)) != ".JNL")
            continue;
        const std::string id = ChangeFileExt(name, "");
        uintptr_t lock = 0;
        try {
            lock = TakeLock(id);
        } catch (const Exception& e) {
            LogTo(log, "Repair", e.Message());
        }
        // A live run holds it: its journal is its own business.
        if (!lock)
            continue;
        if (RepairJournal(chain, name, log))
            ++repaired;
        DropLock(lock);
    }
    chain.Close();
    RemoveJournalFolderIfEmpty();
    return repaired;
}
