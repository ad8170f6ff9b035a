// Unfinished business: work that can only end after Windows has restarted
// (files that were in use, objects that complete then). The list lives under
// "Unfinished" in the install record; started with -r the setup program works
// through it.
#include "engine/cmp_TInstall.h"
#include "objects/routines_Log.h"
#include "platform/routines_Batch.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_Process.h"
#include "translate/cmp_TTranslator.h"

namespace {
std::string UnfinishedKey() {
    if (InstallRecordKey().empty())
        throw IEInstall("The TInstall could not either write or read unfinished business from the registry");
    return InstallRecordKey() + "\\Unfinished";
}
} // namespace

std::string RunOnceCommandLine(const std::string& program, const std::string& loadingProgram,
                               bool selfExtracted, bool cleanup, bool quiet) {
    // No trailing backslash: before the closing quote it would escape it.
    const std::string folder = RemoveBackslash(ExtractFilePath(loadingProgram));
    std::string line = "\"" + program + "\"";
    if (selfExtracted)
        line += " -r \"-e" + ExtractFileName(loadingProgram) + "\" \"-s" + folder + "\"";
    else
        line += " -r \"-s" + folder + "\"";
    if (cleanup)
        line += " -c";
    if (quiet)
        line += " -q";
    return line;
}

void TCustomInstall::ClearUnfinished() {
    DeleteRegKeyTree(rkLocalMachine, UnfinishedKey());
}

void TCustomInstall::AddUnfinished(const std::string& Name, Integer Kind) {
    const std::string key = UnfinishedKey();
    ++FUnfinishedCount;
    WriteRegString(rkLocalMachine, key, Name, IntToStr(Kind));
    LogLine("Unfinished", Name + (Kind == 1 ? " (batch file to delete)" : " (object to complete)") +
                              " under HKEY_LOCAL_MACHINE" + key);
}

void TCustomInstall::ReadUnfinished(TStringList& List) {
    const std::string key = UnfinishedKey();
    List.Clear();
    TRegKey k;
    if (!k.Open(RegLocalMachine, key, TRegAccess::raRead))
        return;
    for (const std::string& name : k.ValueNames())
        List.Add(name);
    for (int i = 0; i < List.Count(); ++i)
        List[i] += ";" + k.ReadString(List[i]).value_or("");
}

void TCustomInstall::RegisterRunOnce() {
    const std::string line = RunOnceCommandLine(ProgramPath(), GetLoadingProgramPath(),
                                                HasSwitch(swSelfExtracted), HasSwitch(swCleanup), Quiet());
    if (!AddRunOnceEntry("QuenfoldUnfinished", line, true)) {
        LogLine("Registry", SystemFailure("adding RunOnce QuenfoldUnfinished = " + line, LastSystemError()));
        throw IEInstall("Cannot register the install to be run on reboot in the RunOnce key in the registry");
    }
    FRunOnceRegistered = true;
    LogLine("Registry", "RunOnce QuenfoldUnfinished (or the next free name): " + line);
}

namespace {
// A line name;kind. The name is a component name or a file path, and a path
// may hold a ";" itself: the kind is what follows the last one.
bool SplitUnfinished(const std::string& line, std::string& name, int32_t& kind) {
    const size_t at = line.rfind(';');
    if (at == std::string::npos)
        return false;
    name = line.substr(0, at);
    return TryStrToInt(Trim(line.substr(at + 1)), kind);
}
} // namespace

void TCustomInstall::CompleteAfterRestart() {
    SetRunning(true);
    FUnfinishedCount = 0;
    SyncRunState();
    StartRunLog("completion after a restart");
    InstallRecordKey() = FindInstallRecord(false);
    LogLine("Run",
            "install record " + (InstallRecordKey().empty() ? std::string("none")
                                                            : "HKEY_LOCAL_MACHINE" + InstallRecordKey()));
    if (InstallRecordKey().empty()) {
        FinishNothingUnfinished();
        return;
    }
    if (TTranslator* translator = ActiveTranslator()) {
        const int32_t language = ReadInstallLanguage();
        // A stored value that names no language leaves the translator as it is.
        if (language == qlUser || translator->LanguageByIdent(language))
            translator->SetTranslateIntoLanguage(static_cast<TQnfdLanguage>(language));
    }
    TStringList lines;
    ReadUnfinished(lines);
    ClearUnfinished();
    for (int i = 0; i < lines.Count(); ++i) {
        const std::string line = lines[i];
        std::string name;
        int32_t kind = 0;
        if (!SplitUnfinished(line, name, kind))
            throw IEInstall("There is an invalid entry for the unfinished install list %s", {line});
        if (kind == 1) {
            LogLine("Restart",
                    "deleting " + name +
                        (RemoveTrustedBatch(name, kRestartBatchPrefix) ? std::string()
                                                                       : " failed; left as it is"));
        } else if (kind == 0) {
            LogLine("Restart", "completing " + name);
            TInstallContainerList& containers = InstallContainerList();
            // By index: completing may create or free containers.
            for (int c = 0; c < containers.Count(); ++c) {
                TInstallContainer* container = containers.Items(c);
                // This component's own name would start this run over again.
                if (container != this && SameText(container->Name(), name))
                    container->CompleteAfterRestart();
            }
        }
    }
    LogLine("Run", "completed after the restart");
    FinishGoodRun();
}

void TCustomInstall::FinishNothingUnfinished() {
    // Started twice by the restart, or by hand: the work was done already.
    LogLine("Restart", "nothing is unfinished: there is no install record of this setup program");
    CleanupLoadingProgram();
    Application()->SetExitCode(secInstalled);
    LogLine("Run", "exit code " + IntToStr(secInstalled));
    SetRunning(false);
    EndApplication();
    CloseLog();
}
