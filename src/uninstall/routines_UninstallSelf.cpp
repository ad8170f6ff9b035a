#include "uninstall/routines_UninstallSelf.h"
#include "objects/routines_Log.h"
#include "platform/routines_API.h"
#include "platform/routines_Batch.h"
#include "platform/routines_Files.h"
#include "platform/routines_Locale.h"
#include "platform/routines_Process.h"
#include "platform/routines_Registry.h"
#include "platform/routines_Removal.h"
#include "platform/routines_Strings.h"
#include "uninstall/routines_Uninstall.h"
#include "uninstall/routines_UninstallLog.h"
#include <optional>
#include <vector>

namespace {
TBatchStartHook& StartHook() {
    static TBatchStartHook hook;
    return hook;
}

std::vector<TListEntry> OtherEntries(const std::string& product) {
    std::vector<TListEntry> entries;
    TRegKey list;
    if (!list.Open(RegLocalMachine, kUninstallListKey, TRegAccess::raRead))
        return entries;
    for (const std::string& name : list.SubKeyNames()) {
        if (SameText(name, product))
            continue;
        TRegKey k;
        if (!k.Open(list.Handle(), name, TRegAccess::raRead))
            continue;
        if (std::optional<std::string> command = k.ReadString("UninstallString"))
            entries.push_back({name, *command});
    }
    return entries;
}

// The product that still needs the uninstaller; empty when none does. An
// entry may name it in its short form, or in the long one when this program
// was started by the short one; another product's log may name it as its file.
std::string OtherUser(const std::string& program, const std::string& product) {
    const std::string shortForm = GetShortPath(program);
    const std::vector<TListEntry> entries = OtherEntries(product);
    std::string other = OtherUserOfUninstaller(entries, {program, shortForm});
    if (!other.empty())
        return other;
    for (const TListEntry& e : entries) {
        const std::string theirs = UninstallProgramOf(e.UninstallString, e.Product);
        if (!theirs.empty() && FileExists(theirs) && SameText(GetShortPath(theirs), shortForm))
            return e.Product;
    }
    const TOtherClaims claims = ReadOtherProductsClaims(product);
    for (const std::string& form : {program, shortForm}) {
        const auto it = claims.find(UpperCase(form));
        if (it != claims.end())
            return it->second.front();
    }
    return std::string();
}

// Writes the batch; the reason when it cannot (and then no batch is left).
std::string WriteBatch(const std::string& batch, const std::string& program, const std::string& folder) {
    const std::string codePage = IntToStr(static_cast<int32_t>(OemCodePage()));
    try {
        // The batch must exist for its own short form.
        { TFileStream created(batch, fmCreate); }
        const std::optional<std::string> p = PathForBatch(program);
        const std::optional<std::string> b = PathForBatch(batch);
        // A folder the batch could not name just stays.
        const std::optional<std::string> f = folder.empty() ? std::nullopt : PathForBatch(folder);
        std::string why;
        if (!p)
            why = "its path has no form in code page " + codePage;
        else if (!b)
            why = "the path of the batch file " + batch + " has no form in code page " + codePage;
        else if (!WriteBatchFile(batch, SelfRemovalBatchLines(*p, f.value_or(""), *b)))
            why = "the batch file cannot be written in code page " + codePage;
        if (!why.empty())
            RemoveFile(batch);
        return why;
    } catch (const std::exception& e) {
        RemoveFile(batch);
        return std::string("the batch file could not be written: ") + e.what();
    }
}

void AtRestartInstead(TSelfRemoval& s, const std::string& why) {
    LogLine("Uninstaller", "no batch for " + s.Program + ": " + why);
    const uint32_t code = UninstallRemoveAtRestart(s.Program);
    if (code == 0) {
        LogLine("Restart", s.Program + " marked for removal at the restart");
        s.Fate = TSelfFate::sfAtRestart;
        return;
    }
    LogLine("Restart", SystemFailure("MoveFileEx(" + s.Program + ", delay until reboot)", code));
    s.Fate = TSelfFate::sfKept;
    s.Why = why + ", and it could not be marked for removal at the restart (" + SystemErrorText(code) + ")";
}
} // namespace

void SetBatchStartHook(TBatchStartHook hook) {
    StartHook() = std::move(hook);
}

TSelfRemoval PrepareSelfRemoval(const std::string& program, const std::string& product,
                                const std::string& folder) {
    TSelfRemoval s;
    s.Program = program;
    if (program.empty() || !FileExists(program))
        return s;
    s.Other = OtherUser(program, product);
    if (!s.Other.empty()) {
        s.Fate = TSelfFate::sfKeptShared;
        LogLine("Uninstaller", program + " stays: " + s.Other + " uses it");
        return s;
    }
    std::string batch, batchFolder, why;
    try {
        // A folder of its own that only administrators can change: cmd reads
        // the batch line by line, for as long as the program takes to end.
        batch = NewTrustedBatchFile("qfdunin", batchFolder);
        why = WriteBatch(batch, program, folder);
    } catch (const std::exception& e) {
        // The product is gone all the same: this is no failure of the run.
        why = std::string("no batch file could be made: ") + e.what();
    }
    if (!why.empty()) {
        if (!batchFolder.empty())
            RemoveDir(batchFolder);
        AtRestartInstead(s, why);
        return s;
    }
    s.Batch = batch;
    s.BatchFolder = batchFolder;
    s.Fate = TSelfFate::sfAfterExit;
    LogLine("Uninstaller", "wrote " + batch + " to remove " + program + " once this program has ended");
    return s;
}

void StartSelfRemoval(TSelfRemoval& s) {
    if (s.Fate != TSelfFate::sfAfterExit)
        return;
    std::string why;
    try {
        const std::string command = SystemBatchCommand(s.Batch, s.BatchFolder);
        const std::string temp = TempDirectory();
        const uint32_t code =
            StartHook() ? StartHook()(command, temp) : (StartHidden(command, temp) ? 0 : LastSystemError());
        if (code == 0) {
            LogLine("Uninstaller", "started " + command);
            return;
        }
        why = SystemFailure("CreateProcess(" + command + ")", code);
    } catch (const std::exception& e) {
        why = e.what();
    }
    RemoveFile(s.Batch);
    if (!s.BatchFolder.empty())
        RemoveDir(s.BatchFolder);
    s.Batch.clear();
    s.BatchFolder.clear();
    AtRestartInstead(s, "the batch could not be started: " + why);
    // The closing message has gone already; the log says what became of it.
    LogLine("Uninstall", SelfRemovalSentence(s));
}

std::string SelfRemovalSentence(const TSelfRemoval& s) {
    switch (s.Fate) {
    case TSelfFate::sfNone:
        return std::string();
    case TSelfFate::sfAfterExit:
        return "The uninstaller " + s.Program + " removes itself once it has ended.";
    case TSelfFate::sfAtRestart:
        return "The uninstaller " + s.Program + " is removed when Windows restarts.";
    case TSelfFate::sfKeptShared:
        return "The uninstaller " + s.Program + " was kept: another product uses it (" + s.Other + ").";
    case TSelfFate::sfKept:
        return "The uninstaller " + s.Program + " stays: " + s.Why + ".";
    }
    return std::string();
}
