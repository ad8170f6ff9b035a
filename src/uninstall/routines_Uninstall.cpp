#include "uninstall/routines_Uninstall.h"
#include "objects/constants_UninstallLog.h"
#include "objects/routines_Log.h"
#include "platform/routines_API.h"
#include "platform/routines_AdminFolder.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallSteps.h"
#include "platform/routines_Journal.h"
#include "platform/routines_Registry.h"
#include "platform/routines_Strings.h"
#include "uninstall/routines_UninstallSelf.h"
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace {
const char* const kSharedDLLsKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char* const kHelpKey = "\\SOFTWARE\\Microsoft\\Windows\\Help";
const char* const kWindowsKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
// A server program gets this long to unregister itself.
constexpr uint32_t kUnregisterTimeoutMs = 60000;
// Tries at a busy folder, 100 ms apart.
constexpr int kFolderRetries = 30;
// The closing message lists this many files of a kind, then counts the rest.
constexpr size_t kListedFiles = 10;

TRestartRemovalHook& RestartHook() {
    static TRestartRemovalHook hook;
    return hook;
}
TProgramRunHook& RunHook() {
    static TProgramRunHook hook;
    return hook;
}

TRunResult RunProgram(const std::string& commandLine, const std::string& folder) {
    return RunHook() ? RunHook()(commandLine, folder, kUnregisterTimeoutMs)
                     : RunHiddenAndWait(commandLine, folder, kUnregisterTimeoutMs);
}

bool IsInside(const std::string& path, const std::string& folder) {
    if (folder.empty())
        return false;
    const std::string prefix = UpperCase(AddBackslash(folder));
    return UpperCase(path).compare(0, prefix.size(), prefix) == 0 && path.size() > prefix.size();
}

[[noreturn]] void Unsafe(const std::string& product, const std::string& why) {
    throw EUninstallRefused(product + " cannot be removed safely: " + why + ". Nothing was removed.");
}

// A link between the product's folder and the file would let the removal
// reach a place the log never named.
std::string LinkOnTheWay(const std::string& destination, const std::string& path) {
    if (!IsInside(path, destination))
        return std::string();
    for (std::string folder = ExtractFileDir(path); IsInside(folder, destination);
         folder = ExtractFileDir(folder))
        if (IsLink(folder))
            return folder;
    return std::string();
}

// The counts of users under SharedDLLs. A file is counted by its short name
// when that is counted (as the install files do), else by its path. Short
// names cost a scan of the folder each, so a file's own is asked only when
// some count lies in the short form of its folder.
class TSharedCounts {
public:
    TSharedCounts() {
        if (!FKey.Open(RegLocalMachine, kSharedDLLsKey, TRegAccess::raRead))
            return;
        for (const std::string& name : FKey.ValueNames())
            FFolders.insert(UpperCase(ExtractFileDir(name)));
    }

    void LookUp(TPlannedFile& f) {
        if (!FKey.IsOpen())
            return;
        std::vector<std::string> names;
        if (MayBeCountedShort(f.Path)) {
            const std::string shortPath = GetShortPath(f.Path);
            if (!SameText(shortPath, f.Path))
                names.push_back(shortPath);
        }
        names.push_back(f.Path);
        for (const std::string& name : names) {
            if (!FKey.ValueExists(name))
                continue;
            const std::optional<int32_t> count = FKey.ReadInteger(name);
            if (!count)
                throw EUninstallRefused("The count of programs using " + f.Path +
                                        " under SharedDLLs is not a number, so it cannot be known whether "
                                        "other programs still need it. Nothing was removed.");
            f.CountName = name;
            f.Count = *count;
            return;
        }
    }

private:
    bool MayBeCountedShort(const std::string& path) {
        const std::string folder = ExtractFileDir(path);
        auto it = FShortFolders.find(UpperCase(folder));
        if (it == FShortFolders.end())
            it = FShortFolders.emplace(UpperCase(folder), UpperCase(GetShortPath(folder))).first;
        return FFolders.count(it->second) > 0;
    }

    TRegKey FKey;
    std::set<std::string> FFolders;                   // folders of the counted names, upper case
    std::map<std::string, std::string> FShortFolders; // folder -> its short form, both upper case
};

std::string Quoted(const std::string& path) {
    return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

bool Unregister(const TPlannedFile& f, TUninstallResult& r) {
    if (f.Program) {
        const std::string command = Quoted(f.Path) + " /UNREGSERVER";
        const TRunResult run = RunProgram(command, ExtractFileDir(f.Path));
        std::string why;
        if (!run.Started)
            why = "it could not be started (" + SystemFailure("CreateProcess", run.ErrorCode) + ")";
        else if (!run.Ended)
            why = "it did not end within " + IntToStr(kUnregisterTimeoutMs / 1000) + " seconds";
        else if (run.ExitCode != 0)
            why = "it ended with the code " + IntToStr(run.ExitCode);
        if (!why.empty()) {
            LogLine("Unregister", command + ": " + why);
            r.Failures.push_back("The server " + f.Path +
                                 " could not be unregistered with /UNREGSERVER: " + why + ". It was kept.");
            return false;
        }
        LogLine("Unregister", "ran " + command);
        return true;
    }
    const std::string old = GetCurrentDir();
    SetCurrentFolder(ExtractFileDir(f.Path)); // a server may look for its files there
    const TServerResult s = UnregisterServerLibrary(f.Path);
    if (!old.empty())
        SetCurrentFolder(old);
    std::string why;
    switch (s.Step) {
    case TServerStep::ssLoadLibrary:
        why = SystemFailure("LoadLibrary", s.ErrorCode);
        break;
    case TServerStep::ssFindEntry:
        why = "it has no DllUnregisterServer";
        break;
    case TServerStep::ssCall: {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(s.Result));
        why = "DllUnregisterServer returned " + std::string(hex);
        break;
    }
    case TServerStep::ssDone:
        LogLine("Unregister", "DllUnregisterServer of " + f.Path + " succeeded");
        return true;
    }
    LogLine("Unregister", f.Path + ": " + why);
    r.Failures.push_back("The server " + f.Path + " could not be unregistered: " + why + ". It was kept.");
    return false;
}

enum class TRemoval { rmGone, rmRemoved, rmAtRestart, rmFailed };

TRemoval RemoveOne(const std::string& path, TUninstallResult& r) {
    // A 32-bit uninstaller reaches a 64-bit product's System32 file through
    // its alias; the log and a removal at the restart keep the real name.
    const std::string here = NativeFilePath(path);
    const bool link = IsLink(here);
    if (!link && !FileExists(here)) {
        LogLine("File", path + " was already gone");
        return TRemoval::rmGone;
    }
    if (!link && DirectoryExists(here)) {
        r.Failures.push_back(path + " is a folder now, not the file that was installed. It was kept.");
        return TRemoval::rmFailed;
    }
    // A link goes itself, never what it points at; the file is removed
    // through the handle its check was made on, never through a junction
    // that took a folder's place on the way.
    std::string why;
    if (RemoveNoFollow(here, why)) {
        LogLine("File", "removed " + path);
        return TRemoval::rmRemoved;
    }
    const uint32_t code = LastSystemError();
    if (why.rfind("it lies behind a link", 0) == 0) {
        LogLine("File", path + " was kept: " + why);
        r.Failures.push_back(path + " was kept: a folder on the way to it is a link now.");
        return TRemoval::rmFailed;
    }
    const std::string cause = SystemFailure("DeleteFile(" + path + ")", code);
    // 32 sharing violation, 33 lock violation, 5 a running program.
    if (code == 32 || code == 33 || code == 5) {
        const uint32_t later = UninstallRemoveAtRestart(path);
        if (later == 0) {
            LogLine("Restart", cause + "; marked for removal at the restart");
            return TRemoval::rmAtRestart;
        }
        LogLine("Restart",
                cause + "; " + SystemFailure("MoveFileEx(" + path + ", delay until reboot)", later));
        r.Failures.push_back(path + " is in use and could not be marked for removal at the restart (" +
                             SystemErrorText(later) + "). It was kept.");
        return TRemoval::rmFailed;
    }
    LogLine("File", cause);
    r.Failures.push_back(path + " could not be removed (" + SystemErrorText(code) + ").");
    return TRemoval::rmFailed;
}

void RemoveHelpRegistration(const std::string& path) {
    TRegKey k;
    if (!k.Open(RegLocalMachine, kHelpKey))
        return;
    const std::string name = UpperCase(ExtractFileName(path));
    const std::optional<std::string> folder = k.ReadString(name);
    // Another product's help file of the same name lives elsewhere: not ours.
    if (!folder || !SameText(RemoveBackslash(*folder), ExtractFileDir(path)))
        return;
    if (k.DeleteValue(name))
        LogLine("Registry", "removed the help file " + name + " from HKLM" + kHelpKey);
    else
        LogLine("Registry", SystemFailure("RegDeleteValue(HKLM" + std::string(kHelpKey) + " " + name + ")",
                                          k.LastError()));
}

void DropCount(const TPlannedFile& f) {
    if (f.CountName.empty())
        return;
    TRegKey k;
    if (k.Open(RegLocalMachine, kSharedDLLsKey) && k.DeleteValue(f.CountName))
        LogLine("Registry", "removed the count of " + f.CountName + " from SharedDLLs");
    else
        LogLine("Registry", SystemFailure("RegDeleteValue(SharedDLLs " + f.CountName + ")", k.LastError()));
}

// True when the file needs nothing more; false when it stays in the log.
bool HandleFile(const TUninstallPlan& plan, const TPlannedFile& f, TUninstallResult& r) {
    if (f.Fate == TFileFate::ffKeepExisted) {
        LogLine("File", f.Path + " stays: it was there before " + plan.Log.Product + " was installed");
        r.KeptExisted.push_back(f.Path);
        return true;
    }
    if (f.Fate == TFileFate::ffKeepShared) {
        // Positive and below the old count (the plan made sure).
        const int32_t left = static_cast<int32_t>(static_cast<int64_t>(f.Count) - f.Times);
        TRegKey k;
        if (!k.Open(RegLocalMachine, kSharedDLLsKey) || !k.WriteInteger(f.CountName, left)) {
            LogLine("Registry",
                    SystemFailure("RegSetValueEx(SharedDLLs " + f.CountName + ")", k.LastError()));
            r.Failures.push_back("The count of programs using " + f.Path + " could not be lowered (" +
                                 SystemErrorText(k.LastError()) + ").");
            return false;
        }
        LogLine("Registry", "SharedDLLs " + f.CountName + " = " + IntToStr(left) + "; the file stays");
        r.KeptShared.push_back(f.Path);
        return true;
    }
    // Checked again: the folders may have changed since the plan.
    const std::string link = LinkOnTheWay(plan.Log.Destination, f.Path);
    if (!link.empty()) {
        r.Failures.push_back(f.Path + " is now reached through the link " + link + ". It was kept.");
        return false;
    }
    if (f.ActiveX && FileExists(f.Path) && !IsLink(f.Path) && !Unregister(f, r))
        return false;
    const TRemoval removal = RemoveOne(f.Path, r);
    if (removal == TRemoval::rmFailed)
        return false;
    DropCount(f);
    RemoveHelpRegistration(f.Path);
    if (removal == TRemoval::rmAtRestart)
        r.AtRestart.push_back(f.Path);
    else if (removal == TRemoval::rmGone)
        r.AlreadyGone.push_back(f.Path);
    else
        r.Removed.push_back(f.Path);
    return true;
}

// Folders a product's folder may be but never goes with it.
bool IsSystemFolder(const std::string& folder) {
    const std::string f = RemoveBackslash(folder);
    if (f.size() <= 2 || ExtractFileDir(f) == f)
        return true;
    std::vector<std::string> system = {TempDirectory()};
    try {
        system.push_back(GetWindowsDir());
        system.push_back(GetSystemDir());
    } catch (const Exception&) {
    }
    TRegKey k;
    if (k.Open(RegLocalMachine, kWindowsKey, TRegAccess::raRead))
        for (const char* name : {"ProgramFilesDir", "CommonFilesDir", "ProgramFilesDir (x86)",
                                 "CommonFilesDir (x86)", "ProgramW6432Dir", "CommonW6432Dir"})
            if (std::optional<std::string> v = k.ReadString(name))
                system.push_back(*v);
    for (const std::string& s : system)
        if (!s.empty() && SameText(RemoveBackslash(s), f))
            return true;
    return false;
}

void RemoveEmptyFolders(const TUninstallPlan& plan, TUninstallResult& r) {
    const std::string& dest = plan.Log.Destination;
    if (dest.empty())
        return;
    std::map<std::string, std::string> folders; // upper case -> as logged
    for (const std::string& path : r.Removed) {
        if (!IsInside(path, dest))
            continue;
        for (std::string folder = ExtractFileDir(path); IsInside(folder, dest) || SameText(folder, dest);
             folder = ExtractFileDir(folder)) {
            folders.emplace(UpperCase(folder), folder);
            if (SameText(folder, dest))
                break;
        }
    }
    std::vector<std::string> order;
    for (const auto& [upper, folder] : folders)
        order.push_back(folder);
    // Deepest first, so that a parent is empty once its children are gone.
    std::sort(order.begin(), order.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    // A program that just unregistered itself may leave a helper (a console
    // host) in its folder for a moment: a busy folder is tried again.
    for (int attempt = 0;; ++attempt) {
        bool busy = false;
        for (const std::string& folder : order) {
            if (IsLink(folder) || !DirectoryExists(folder) || !ListDirectory(folder).empty())
                continue;
            if (SameText(folder, dest) && IsSystemFolder(folder))
                continue;
            std::string why;
            if (RemoveNoFollow(folder, why) && !DirectoryExists(folder)) {
                LogLine("Folder", "removed " + folder);
                r.Folders.push_back(folder);
                continue;
            }
            const uint32_t code = LastSystemError();
            if (code == 32 && attempt < kFolderRetries)
                busy = true;
            else
                LogLine("Folder", SystemFailure("RemoveDirectory(" + folder + ")", code));
        }
        if (!busy)
            break;
        WaitMilliseconds(100);
    }
}

// What could not be done stays in the log, each file as often as it was
// named there, so that a second run counts it exactly once more.
void KeepWhatIsLeft(const TUninstallPlan& plan, const std::vector<const TPlannedFile*>& left,
                    TUninstallResult& r) {
    TRegKey key;
    bool ok = key.Open(RegLocalMachine, plan.Log.Key);
    // Only the keys the log was read from: anything else there is not ours to drop.
    if (ok)
        for (const std::string& sub : plan.Log.LogKeys)
            ok = DeleteKeyTree(key.Handle(), sub) && ok;
    for (const char* log :
         {UninstallLog::ActiveX, UninstallLog::ExistedActiveX, UninstallLog::Files, UninstallLog::Existed}) {
        int number = 0;
        const UninstallLog::TKind kind = UninstallLog::KindOf(log, number);
        const bool servers = UninstallLog::IsServerKind(kind), existed = UninstallLog::IsExistedKind(kind);
        int32_t n = 0;
        TRegKey sub;
        for (const TPlannedFile* f : left) {
            if (f->ActiveX != servers || f->Existed != existed)
                continue;
            if (!sub.IsOpen() && !sub.Create(RegLocalMachine, plan.Log.Key + "\\" + log)) {
                ok = false;
                break;
            }
            const std::string value = servers ? f->Path + (f->Program ? ";1" : ";0") : f->Path;
            for (int i = 0; i < f->Times; ++i)
                ok = sub.WriteString("File" + IntToStr(++n), value) && ok;
        }
        if (sub.IsOpen())
            ok = sub.WriteString("Entries", IntToStr(n)) && ok;
    }
    if (ok) {
        LogLine("Registry", "the uninstall log of " + plan.Log.Product + " now names " +
                                IntToStr(left.size()) + " files that are left");
        return;
    }
    LogLine("Registry", SystemFailure("rewriting HKLM" + plan.Log.Key, key.LastError()));
    r.Failures.push_back(
        "The uninstall information of " + plan.Log.Product +
        " could not be brought up to date; start the uninstall only once more after checking "
        "the files that are left.");
}

void AppendList(std::string& text, const std::string& title, const std::vector<std::string>& items) {
    if (items.empty())
        return;
    text += "\n\n" + title;
    for (size_t i = 0; i < items.size() && i < kListedFiles; ++i)
        text += "\n    " + items[i];
    if (items.size() > kListedFiles)
        text += "\n    ... and " + IntToStr(items.size() - kListedFiles) + " more";
}

// The uninstaller's folder may go with it when it is the product's own
// folder, emptied; never a folder of the system.
std::string UninstallerFolderToClear(const TUninstallPlan& plan, const std::string& program) {
    const std::string folder = ExtractFileDir(program);
    return SameText(folder, plan.Log.Destination) && !IsSystemFolder(folder) ? folder : std::string();
}

// The product's own log named the uninstaller: it went (or waits) with the rest.
bool LoggedByTheProduct(const TUninstallPlan& plan, const std::string& program) {
    return std::any_of(plan.Files.begin(), plan.Files.end(),
                       [&](const TPlannedFile& f) { return SameText(f.Path, program); });
}

// Once the product is gone: the earlier screen saver where the product's is still current.
void PutBackTheSaver(const TUninstallPlan& plan, TUninstallResult& r) {
    const TSaverRestore restore = RestoreSaver(plan.Saver);
    for (const std::string& line : restore.Lines)
        LogLine("Saver", line);
    if (!restore.WinIni && !restore.SystemIni)
        return;
    const std::optional<std::string>& previous =
        restore.WinIni ? plan.Saver.Previous.WinIni : plan.Saver.Previous.SystemIni;
    r.Saver = previous && !Trim(*previous).empty()
                  ? "The screen saver " + *previous + " is current again, as before " + plan.Log.Product +
                        " was installed."
                  : "No screen saver is set any more, as before " + plan.Log.Product + " was installed.";
}

std::string TwoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}
} // namespace

void SetRestartRemovalHook(TRestartRemovalHook hook) {
    RestartHook() = std::move(hook);
}
void SetProgramRunHook(TProgramRunHook hook) {
    RunHook() = std::move(hook);
}
uint32_t UninstallRemoveAtRestart(const std::string& path) {
    return RestartHook() ? RestartHook()(path) : RemoveFileAtRestart(path);
}

TUninstallPlan PlanUninstall(const std::string& product) {
    TUninstallPlan plan;
    plan.Log = ReadUninstallLog(product);
    plan.Saver = ReadSaverRecord(plan.Log.Key);
    const TOtherClaims claims = ReadOtherProductsClaims(product);
    std::map<std::string, size_t> index;
    for (const TUninstallLogEntry& e : plan.Log.Entries) {
        const std::string key = UpperCase(e.Path);
        auto it = index.find(key);
        if (it == index.end()) {
            it = index.emplace(key, plan.Files.size()).first;
            plan.Files.emplace_back();
            plan.Files.back().Path = e.Path;
        }
        TPlannedFile& f = plan.Files[it->second];
        // One entry of its own makes it the product's file.
        f.Existed = (f.Times == 0 || f.Existed) && e.Existed;
        ++f.Times;
        f.ActiveX = f.ActiveX || e.ActiveX;
        f.Program = f.Program || e.Program;
    }
    TSharedCounts counts;
    for (TPlannedFile& f : plan.Files) {
        counts.LookUp(f);
        // Somebody else's file without a count: it stays untouched, whoever else uses it.
        if (f.Existed && f.CountName.empty()) {
            f.Fate = TFileFate::ffKeepExisted;
            continue;
        }
        const std::string link = LinkOnTheWay(plan.Log.Destination, f.Path);
        if (!link.empty())
            Unsafe(product, f.Path + " is reached through the link " + link +
                                ", which may lead out of the folder " + plan.Log.Destination);
        const auto other = claims.find(UpperCase(f.Path));
        if (other != claims.end()) {
            // Every product that names the file must have counted it, or
            // lowering the count takes it from under one of them.
            const int64_t users = f.Times + static_cast<int64_t>(other->second.size());
            if (f.CountName.empty() || f.Count < users)
                Unsafe(product, f.Path + " is used by " + other->second.front() +
                                    " as well, and its count of users (" + IntToStr(f.Count) +
                                    ") does not cover both products");
        }
        const int64_t left = static_cast<int64_t>(f.Count) - f.Times;
        f.Fate = !f.CountName.empty() && left > 0 ? TFileFate::ffKeepShared : TFileFate::ffRemove;
    }
    return plan;
}

TUninstallResult CarryOutUninstall(const TUninstallPlan& plan) {
    TUninstallResult r;
    std::vector<const TPlannedFile*> left;
    // A file that stays as somebody else's stays named while the product
    // stays in the list, so that other products still see it in use.
    for (const TPlannedFile& f : plan.Files)
        if (!HandleFile(plan, f, r) || f.Fate == TFileFate::ffKeepExisted)
            left.push_back(&f);
    RemoveEmptyFolders(plan, r);
    if (r.Failures.empty()) {
        if (DeleteKeyTree(RegLocalMachine, plan.Log.Key)) {
            LogLine("Registry", "removed HKLM" + plan.Log.Key);
            r.EntryRemoved = true;
            PutBackTheSaver(plan, r);
            return r;
        }
        LogLine("Registry", "could not remove HKLM" + plan.Log.Key);
        r.Failures.push_back("The entry of " + plan.Log.Product +
                             " could not be removed from the list of installed programs.");
    }
    KeepWhatIsLeft(plan, left, r);
    return r;
}

int UninstallExitCode(const TUninstallResult& r) {
    if (!r.Failures.empty())
        return 1;
    return r.AtRestart.empty() ? 0 : 3;
}

std::string UninstallReport(const std::string& product, const TUninstallResult& r) {
    std::string text;
    if (r.Failures.empty()) {
        text = product + " was removed.";
    } else {
        text = product + " could not be removed completely:";
        for (const std::string& f : r.Failures)
            text += "\n    " + f;
    }
    AppendList(text,
               IntToStr(r.Removed.size()) + (r.Removed.size() == 1 ? " file was" : " files were") +
                   " removed:",
               r.Removed);
    AppendList(text,
               IntToStr(r.AlreadyGone.size()) + (r.AlreadyGone.size() == 1 ? " file was" : " files were") +
                   " already gone:",
               r.AlreadyGone);
    AppendList(text, "Kept because other programs still use them:", r.KeptShared);
    AppendList(text, "Kept because they were there before " + product + " was installed:", r.KeptExisted);
    AppendList(text, "Removed when Windows restarts:", r.AtRestart);
    if (!r.Saver.empty())
        text += "\n\n" + r.Saver;
    if (!r.AtRestart.empty())
        text += "\n\nRestart Windows to finish the removal.";
    if (!r.Failures.empty())
        text +=
            "\n\nWhat is left stays in the list of installed programs; start the uninstall again once the "
            "cause is dealt with.";
    return text;
}

std::string NewUninstallLogName(const std::string& folder) {
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(Now(), y, mo, d, h, mi, s, ms);
    const std::string stem = AddBackslash(folder) + "Uninstall Log " + std::to_string(y) + "-" +
                             TwoDigits(mo) + "-" + TwoDigits(d) + " #";
    for (int n = 1;; ++n) {
        std::string name = stem + std::to_string(n) + ".txt";
        if (!FileExists(name) || n >= 100000)
            return name;
    }
}

int RunUninstaller(const TUninstallCommand& command, const TUninstallUI& ui) {
    const std::string& product = command.Product;
    const std::string caption = Trim(product).empty() ? "Uninstall" : "Uninstall " + product;
    const std::string folder = ui.LogFolder.empty() ? TempDirectory() : ui.LogFolder;
    if (!folder.empty())
        OpenLog(NewUninstallLogName(folder));
    LogLine("Uninstall", "\"" + product + "\"" + (command.Quiet ? ", without asking" : ""));
    // A setup that was killed half way is undone first: its files and
    // entries must not be mistaken for the product's.
    RepairInterruptedRuns([](const std::string& kind, const std::string& text) { LogLine(kind, text); });
    int code = 1;
    // The same lock as the product's setup: never both at once, never two removals.
    TRunJournal lock;
    try {
        if (!lock.Lock(product)) {
            LogLine("Uninstall",
                    "a setup or another removal of " + product + " is running; nothing was removed");
            if (!command.Quiet && ui.Show)
                ui.Show(caption,
                        "A setup or another removal of " + product +
                            " is running. Wait until it has ended, then start the removal again.",
                        TMessageKind::mkError);
            CloseLog();
            return 1;
        }
        TUninstallPlan plan = PlanUninstall(product);
        if (!command.Quiet) {
            if (!ui.Ask(caption, "Remove " + product + " and all of its components?")) {
                LogLine("Uninstall", "not confirmed; nothing was removed");
                CloseLog();
                return 2;
            }
            // The machine may have changed while the question waited.
            plan = PlanUninstall(product);
        }
        for (const TPlannedFile& f : plan.Files)
            LogLine("Plan", f.Path +
                                (f.ActiveX ? (f.Program ? " (server program)" : " (server library)") : "") +
                                (f.CountName.empty() ? std::string()
                                                     : ", counted " + IntToStr(f.Count) + " times, named " +
                                                           IntToStr(f.Times) + " times here") +
                                (f.Existed ? ", there before the product" : "") +
                                (f.Fate == TFileFate::ffRemove ? ": goes" : ": stays"));
        const TUninstallResult r = CarryOutUninstall(plan);
        code = UninstallExitCode(r);
        std::string report = UninstallReport(product, r);
        // Only once the product has left the list: a failed run needs the uninstaller again.
        TSelfRemoval self;
        if (r.EntryRemoved && !ui.Program.empty() && !LoggedByTheProduct(plan, ui.Program))
            self = PrepareSelfRemoval(ui.Program, product, UninstallerFolderToClear(plan, ui.Program));
        if (self.Fate != TSelfFate::sfNone)
            report += "\n\n" + SelfRemovalSentence(self);
        LogLine("Uninstall",
                "exit code " + IntToStr(code) + ": " + StringReplaceAll(report, "\n", "\r\n    "));
        if (!command.Quiet && ui.Show)
            ui.Show(caption, report,
                    r.Failures.empty() ? TMessageKind::mkInformation : TMessageKind::mkWarning);
        // After the message: the batch waits for the end of this process a minute at most.
        StartSelfRemoval(self);
    } catch (const std::exception& e) {
        LogLine("Uninstall", std::string("refused: ") + e.what());
        if (!command.Quiet && ui.Show)
            ui.Show(caption, e.what(), TMessageKind::mkError);
        code = 1;
    }
    CloseLog();
    return code;
}
