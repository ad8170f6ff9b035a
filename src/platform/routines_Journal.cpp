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
#include "routines_Files.h"
#include "routines_Registry.h"
#include "routines_Strings.h"
#include "routines_Undo.h"
#include "routines_WinText.h"
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

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

std::string LockName(const std::string& id) {
    return "Global\\QuenfoldSetup-" + id;
}

// The lock of a product: a named mutex that lives as long as a handle to it.
// Zero when another process made it first.
uintptr_t TakeLock(const std::string& id) {
    HANDLE h = CreateMutexW(nullptr, FALSE, Wide(LockName(id)).c_str());
    if (!h)
        return 0;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(h);
        return 0;
    }
    return reinterpret_cast<uintptr_t>(h);
}

void DropLock(uintptr_t lock) {
    if (lock)
        CloseHandle(reinterpret_cast<HANDLE>(lock));
}

std::string CommonAppData() {
    wchar_t path[MAX_PATH + 1] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path)))
        return Narrow(path, wcslen(path));
    return RemoveBackslash(TempDirectory());
}

bool RemoveTree(const std::string& folder, int depth = 0) {
    if (depth > 64 || IsLink(folder))
        return RemoveDir(folder);
    bool ok = true;
    for (const std::string& entry : ListDirectory(folder)) {
        const std::string path = AddBackslash(folder) + entry;
        if (!entry.empty() && entry.back() == '\\') {
            ok = RemoveTree(RemoveBackslash(path), depth + 1) && ok;
        } else {
            SetFileReadOnly(path, false);
            ok = RemoveFile(path) && ok;
        }
    }
    return RemoveDir(folder) && ok;
}

bool InsideFolder(const std::string& path, const std::string& folder) {
    const std::string prefix = UpperCase(AddBackslash(folder));
    return prefix.size() > 3 && UpperCase(path).compare(0, prefix.size(), prefix) == 0 &&
           path.size() > prefix.size();
}

// --- undoing one step ---------------------------------------------------------------------------

class TUndo {
public:
    TUndo(const TJournalLog& log, bool repairing) : FLog(log), FRepairing(repairing) {}

    void Step(const std::vector<std::string>& f) {
        const std::string& kind = f.empty() ? std::string() : f[0];
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
        if (!FileExists(path))
            return;
        SetFileReadOnly(path, false);
        if (RemoveFile(path))
            Note("removed " + path);
        else
            Failed("cannot remove " + path + ": " + Why());
    }
    void Folder(const std::string& path) {
        if (!DirectoryExists(path))
            return;
        if (!ListDirectory(path).empty())
            Note("left the folder " + path + ": it holds files that this run did not make");
        else if (RemoveDir(path))
            Note("removed the folder " + path);
        else
            Failed("cannot remove the folder " + path + ": " + Why());
    }
    void Kept(const std::string& path, const std::string& kept) {
        // Not moved aside yet: the file there is still the old one.
        if (!FileExists(kept))
            return;
        if (FileExists(path)) {
            SetFileReadOnly(path, false);
            if (!RemoveFile(path)) {
                Failed("cannot remove the new " + path + " to put the old one back: " + Why());
                return;
            }
        }
        if (RenameFile(kept, path, false))
            Note("put back " + path);
        else
            Failed("cannot put back " + path + " from " + kept + ": " + Why());
    }
    void ReadOnly(const std::string& path) {
        if (FileExists(path) && !SetFileReadOnly(path, true))
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
        if (!InsideFolder(folder, RemoveBackslash(TempDirectory()))) {
            Note("left " + folder + ": it is not in this user's temporary folder");
            return;
        }
        if (RemoveTree(folder))
            Note("removed the temporary copy " + folder);
        else
            Failed("cannot remove the temporary copy " + folder + ": " + Why());
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

bool ReadJournal(const std::string& file, std::vector<std::vector<std::string>>& entries) {
    std::string text;
    try {
        TFileStream in(file, fmOpenRead | fmShareDenyNone);
        const int64_t size = in.Size();
        // A journal holds one line per step; anything this big is not one.
        if (size < 0 || size > (int64_t(256) << 20))
            return false;
        text.resize(static_cast<size_t>(size));
        in.ReadBuffer(text.data(), size);
    } catch (const Exception&) {
        return false;
    }
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

std::string CommonApplicationData() {
    return CommonAppData();
}

std::string& JournalFolderOverride() {
    static std::string folder;
    return folder;
}

std::string JournalFolder() {
    if (!JournalFolderOverride().empty())
        return RemoveBackslash(JournalFolderOverride());
    return AddBackslash(CommonAppData()) + "Quenfold\\Journal";
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
    FLock = TakeLock(FId);
    return FLock != 0;
}

void TRunJournal::Unlock() {
    DropLock(FLock);
    FLock = 0;
}

void TRunJournal::Begin(const TJournalLog& log) {
    if (FOpen || !FLock)
        return;
    FLog = log;
    FEntries.clear();
    FValuesSeen.clear();
    ForceDirectory(JournalFolder());
    FFile = AddBackslash(JournalFolder()) + FId + ".jnl";
    // We hold the lock: a journal of this product left here is a dead run's.
    if (FileExists(FFile)) {
        std::vector<std::vector<std::string>> old;
        if (ReadJournal(FFile, old))
            UndoAll(old, FLog, true);
        RemoveFile(FFile);
    }
    HANDLE h = CreateFileW(Wide(FFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
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
    if (!DirectoryExists(folder))
        return 0;
    int repaired = 0;
    for (const std::string& name : ListDirectory(folder)) {
        if (name.empty() || name.back() == '\\' || UpperCase(ExtractFileExt(name)) != ".JNL")
            continue;
        const std::string id = ChangeFileExt(name, "");
        const uintptr_t lock = TakeLock(id);
        // A live run holds it: its journal is its own business.
        if (!lock)
            continue;
        const std::string file = AddBackslash(folder) + name;
        std::vector<std::vector<std::string>> entries;
        if (ReadJournal(file, entries)) {
            if (log)
                log("Repair", "an earlier installation ended without finishing (" + file + "); undoing its " +
                                  IntToStr(static_cast<int64_t>(entries.size())) + " steps");
            UndoAll(entries, log, true);
        } else if (log) {
            log("Repair", file + " is no journal of an installation; removed");
        }
        RemoveFile(file);
        DropLock(lock);
        ++repaired;
    }
    RemoveJournalFolderIfEmpty();
    return repaired;
}
