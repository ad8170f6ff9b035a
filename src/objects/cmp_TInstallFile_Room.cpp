// Making room for a new file. A destination that can be replaced stays as it
// is until the new file has checked out (the archive component then puts it
// in its place). One that is in use keeps running: the new file is written
// under a free candidate name beside it, and Windows moves it into place at
// the next restart (MoveFileEx on NT, WININIT.INI on the Windows 95 family,
// else a batch file started by RunOnce).
#include "objects/cmp_TInstallContainer.h"
#include "objects/routines_Log.h"
#include "platform/routines_API.h"
#include "platform/routines_Batch.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_InstallSteps.h"
#include "platform/routines_Strings.h"
#include "platform/routines_Undo.h"

namespace {
// The system's buffers for these paths hold 400 characters.
constexpr size_t kMaxRestartPath = 400;

const char* const kCannotRegister =
    "%s cannot register a routine in the register to move the files after the computer is reboot";

void CheckRestartPath(const std::string& owner, const std::string& path) {
    if (Utf8Length(path) > kMaxRestartPath)
        throw IECustomInstallFile(
            "%s cannot replace the file %s at the next restart: its path is longer than "
            "400 characters",
            {owner, path});
}

// A blank in a command-line path would split it.
std::string QuotedIfBlank(const std::string& path) {
    return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}
} // namespace

void TCustomInstallFile::PrepareDestination() {
    if (OnReplacing)
        OnReplacing(this);
    SendInformationEvent(this, ieReplacing, this);
    PassToContainer(icReplacing, this);
    FWillReplace = true;

    const std::string target = DestFilePath();
    if (!FileExists(target))
        return;
    if (IsFileReadOnly(target))
        NoteReadOnlyClearing(target);
    if (IsFileReadOnly(target) && SetFileReadOnly(target, false))
        LogLine("File", "cleared the read-only flag of " + target + " to replace it");
    const uint32_t code = TestFileReplaceable(target);
    if (code == 0)
        return; // replaced once the new file has checked out

    LogLine("File", target + " cannot be replaced now: " + SystemFailure("CreateFile", code));
    std::string candidate, newPath;
    for (int n = 1;; ++n) {
        if (n > 9999)
            throw IECustomInstallFile("%s cannot find a free name beside %s for the new file",
                                      {Name(), target});
        candidate = ChangeFileExt(FDestName, "." + IntToStr(n));
        newPath = ExpandedDestDir() + "\\" + candidate;
        if (!FileExists(newPath))
            break;
    }
    CheckRestartPath(Name(), target);
    CheckRestartPath(Name(), newPath);
    FReplacedAtRestart = true;
    FRestartTarget = target;
    FRestartSource = newPath;
    // Only stored: the rules of a new destination name do not apply to a
    // name that lasts until the restart.
    FDestName = candidate;
}

void TCustomInstallFile::ScheduleRestartReplacement() {
    const std::string shortTarget = GetShortPath(FRestartTarget);
    const std::string shortNew = ExtractFilePath(shortTarget) + ExtractFileName(FRestartSource);
    if (RunWindowsVersion() == wvWindows95) {
        if (!WriteWinInit("Rename", shortTarget, shortNew)) {
            LogLine("Restart", SystemFailure("WritePrivateProfileString(WININIT.INI)", LastSystemError()));
            throw IECustomInstallFile(kCannotRegister, {Name()});
        }
        RunState().Reboot = true;
        FRestartScheduled = true;
        LogLine("Restart", "WININIT.INI [Rename] " + shortTarget + "=" + shortNew);
        return;
    }
    if (MoveFileAtRestart(FRestartSource, FRestartTarget)) {
        RunState().Reboot = true;
        FRestartScheduled = true;
        LogLine("Restart", "MoveFileEx " + FRestartSource + " to " + FRestartTarget + " at the next restart");
        return;
    }
    const uint32_t code = LastSystemError();
    LogLine("Restart",
            SystemFailure("MoveFileEx(" + FRestartSource + ", MOVEFILE_DELAY_UNTIL_REBOOT)", code));
    if (!RunState().Install)
        return;
    WriteRestartBatch(shortTarget, shortNew);
    // Reboot only once something waits for the restart.
    RunState().Reboot = true;
    FRestartScheduled = true;
}

void TCustomInstallFile::WriteRestartBatch(const std::string& shortTarget, const std::string& shortNew) {
    // On NT the batch waits for the restart in a folder of its own that only
    // administrators can change, and runs by the system's cmd without the
    // user's AutoRun commands. The Windows 95 family has neither.
    const bool windows95 = WindowsVersion() == wvWindows95;
    std::string batch, folder;
    try {
        if (windows95)
            batch = ChangeFileExt(GetTempFile(false), ".bat");
        else
            batch = NewTrustedBatchFile(kRestartBatchPrefix, folder);
    } catch (const Exception& e) {
        LogLine("Restart", "could not make a folder for the batch: " + e.Message());
        throw IECustomInstallFile(kCannotRegister, {Name()});
    }
    if (!folder.empty())
        NoteCreating(folder, true);
    NoteCreating(batch);
    TStringList lines;
    // "%" doubled: cmd reads "%...%" in a batch as a variable.
    auto q = [](const std::string& path) { return QuotedIfBlank(StringReplaceAll(path, "%", "%%")); };
    lines.Add("erase " + q(shortTarget));
    lines.Add("move " + q(shortNew) + " " + q(shortTarget));
    try {
        lines.SaveToFile(batch);
    } catch (const Exception& e) {
        LogLine("Restart", "could not write " + batch + ": " + e.Message());
        throw IECustomInstallFile(kCannotRegister, {Name()});
    }
    LogLine("Restart", "wrote " + batch + " to move " + shortNew + " onto " + shortTarget);
    if (RunState().AddUnfinished)
        RunState().AddUnfinished(batch, 1);
    const std::string command = windows95 ? QuotedIfBlank(batch) : SystemBatchCommand(batch, folder);
    if (!AddRunOnceEntry("QuenfoldBatFile", command, true)) {
        LogLine("Registry", "could not add " + batch + " under RunOnce");
        RemoveFile(batch);
        if (!folder.empty())
            RemoveDir(folder);
        throw IECustomInstallFile(kCannotRegister, {Name()});
    }
    LogLine("Registry", "RunOnce QuenfoldBatFile: " + command);
}
