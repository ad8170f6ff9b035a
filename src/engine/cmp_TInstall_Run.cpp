// The installation run: from the first activation of the main form to the end
// of the program, with its events, its result and its handling of failures.
#include "engine/cmp_TInstall.h"
#include "engine/routines_InstallCheck.h"
#include "engine/routines_RemoteFileList.h"
#include "objects/cmp_TNetInstallLocation.h"
#include "objects/routines_Downloads.h"
#include "objects/routines_Log.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "platform/routines_Process.h"
#include <set>

namespace {
const char* const kNotBuilt = "%s is not built into this setup program yet";

// Names an event in the log as it is raised.
void LogEvent(const char* name) {
    LogLine("Event", name);
}

std::string CommandLineText() {
    std::string line;
    for (const std::string& p : CommandLineParams())
        line += (line.empty() ? "" : " ") + (p.find(' ') != std::string::npos ? "\"" + p + "\"" : p);
    return line;
}

std::string Describe(const std::exception& e) {
    const auto* ex = dynamic_cast<const Exception*>(&e);
    return ex ? std::string(ex->ClassName()) + ": " + ex->Message() : std::string(e.what());
}

// Restores the main form's cursor however the reading ends.
class THourGlass {
public:
    explicit THourGlass(TForm* form) : FForm(form) {
        if (FForm) {
            FSaved = FForm->Cursor();
            FForm->SetCursor(crHourGlass);
        }
    }
    ~THourGlass() {
        if (FForm)
            FForm->SetCursor(FSaved);
    }
    THourGlass(const THourGlass&) = delete;
    THourGlass& operator=(const THourGlass&) = delete;

private:
    TForm* FForm;
    TCursor FSaved = crDefault;
};
} // namespace

// --- the remote list of files ------------------------------------------------------------------

// Defined beside its one caller: only the remote list sets these from outside.
void TCustomInstallFile::SetRemoteFileInfo(Integer Size, TDateTime Date, const std::string& Version) {
    FFileSize = Size;
    FFileDate = Date;
    FFileVersion = Utf8Left(Version, 20);
}

void ApplyRemoteFileInfo(const TRemoteFileRecord& record) {
    TCustomInstallFileList& files = InstallFileList();
    for (int i = 0; i < files.Count(); ++i) {
        TCustomInstallFile* f = files.Items(i);
        if (!SameText(f->Name(), record.Name))
            continue;
        f->SetRemoteFileInfo(record.FileSize, record.FileDate, record.Version);
        LogLine("Remote list", record.Name + ", " + std::to_string(record.FileSize) + " bytes, version " +
                                   (record.Version.empty() ? "none" : record.Version));
        return;
    }
    LogLine("Remote list", record.Name + " names no install file; ignored");
}

void ApplyRemoteFileList(const std::string& localFile) {
    std::vector<TRemoteFileRecord> records;
    {
        TFileStream list(localFile, fmOpenRead | fmShareDenyWrite);
        records = ReadRemoteFileRecords(list, localFile);
    }
    for (const TRemoteFileRecord& r : records)
        ApplyRemoteFileInfo(r);
}

namespace {
// Archives kept from an earlier run are checked against the build's digests
// before their headers are read: one that differs goes, and is fetched anew.
void CheckKeptArchives(TCustomInstall& install) {
    std::set<TFileRelated*> seen{&install};
    install.CheckKeptArchive();
    TCustomInstallFileList& files = InstallFileList();
    for (int i = 0; i < files.Count(); ++i)
        for (TInstallObject* o = files.Items(i); o; o = dynamic_cast<TInstallObject*>(o->Container()))
            if (auto* r = dynamic_cast<TFileRelated*>(o); r && seen.insert(r).second)
                r->CheckKeptArchive();
}
} // namespace

void ReadRemoteFileList(TCustomInstall& install) {
    if (install.DistributeType() != dtTraditional) {
        // The digests travel in setup.1 and are unpacked beside the setup program.
        LoadDownloadDigests(RemoveBackslash(ExtractFilePath(install.SetupProgramFile())));
        CheckKeptArchives(install);
    }
    install.ReadInfoOfObjects();
    if (install.DistributeType() == dtTraditional)
        return;
    TCustomNetInstallLocation* location = install.NetLocation();
    if (!location)
        throw IEInstallNetLocNil("The installation needs a net install location to fetch the remote list "
                                 "of files \"filelist.lst\"");
    const std::string local = NewDownloadFileName(".tmp");
    try {
        LogLine("Remote list", "downloading filelist.lst into " + local);
        location->Download("filelist.lst", local);
        // A cancelled download leaves nothing to read: the user's abort.
        if (DownloadAborted)
            throw EAIUserAbort();
        // Its versions steer the overwrite decisions: it is read only once it checked out.
        CheckDownload("filelist.lst", local, location->LoginInformation().Hostname());
        ApplyRemoteFileList(local);
    } catch (...) {
        RemoveDownload(local);
        throw;
    }
    RemoveDownload(local);
}

// --- the run's state and log ---------------------------------------------------------------------

void TCustomInstall::SyncRunState() {
    TRunState& s = RunState();
    if (s.Install != this)
        return;
    s.SourceDir = FSourceDir;
    s.ProductName = Information().ProductName();
    s.DistributeType = FDistributeType;
    s.Running = FRunning;
    s.SelfExtracted = HasSwitch(swSelfExtracted);
    s.SelfExtractedArg = SwitchArg(swSelfExtracted);
    s.Cleanup = HasSwitch(swCleanup);
    s.SourcePath = HasSwitch(swSourcePath);
    s.SourcePathArg = SwitchArg(swSourcePath);
}

void TCustomInstall::SetRunning(bool v) {
    FRunning = v;
    if (RunState().Install == this)
        RunState().Running = v;
}

std::string TCustomInstall::LogFolder() const {
    return TempDirectory();
}

void TCustomInstall::StartRunLog(const std::string& what) {
    if (LogIsOpen())
        return;
    const std::string folder = LogFolder();
    // Without a log the run goes on: it only loses its explanation.
    if (folder.empty() || !OpenLog(NewLogFileName(folder)))
        return;
    LogLine("Setup", what + " of " + Information().ProductName() + " " + Information().Version());
    LogLine("Setup", "command line " + CommandLineText());
    LogLine("Setup", RunWindowsVersion() == wvWindows95 ? "Windows 95 family" : "Windows NT family");
}

void TCustomInstall::BeQuiet(const std::string& folder) {
    TApplication* app = Application();
    app->SetQuiet(true);
    app->OnQuietReport = [folder](const std::string& kind, const std::string& text) {
        // A failure before the run (a bad switch, no files.inf) finds no log open yet.
        if (!LogIsOpen() && !folder.empty() && OpenLog(NewLogFileName(folder)))
            LogLine("Setup", "unattended; command line " + CommandLineText());
        LogLine(kind, "not shown, unattended: " + text);
    };
}

bool TCustomInstall::RestartNeeded() const {
    return Reboot() || FUnfinishedCount > 0;
}

// --- the run ----------------------------------------------------------------------------------------

void TCustomInstall::ReadInfoOfObjects() {
    TFileContainer::ReadInfoFromArchive();
}

void TCustomInstall::ReadInfoFromArchive() {
    if (FInfoRead)
        return;
    LogEvent("OnBeforeReadArchiveInfo");
    if (OnBeforeReadArchiveInfo)
        OnBeforeReadArchiveInfo(this);
    {
        THourGlass hourGlass(FMainForm);
        LogLine("Run", "reading file information");
        PushStatusMessage("Reading file information...");
        try {
            ReadRemoteFileList(*this);
        } catch (...) {
            try {
                PopStatusMessage();
            } catch (...) {
                // The reading's own failure is the one to report.
            }
            throw;
        }
        PopStatusMessage();
    }
    FInfoRead = true;
    LogEvent("OnAfterReadArchiveInfo");
    if (OnAfterReadArchiveInfo)
        OnAfterReadArchiveInfo(this);
}

void TCustomInstall::RepairInterruptedRun() {
    std::vector<std::pair<std::string, std::string>> lines;
    RepairInterruptedRuns([&lines](const std::string& kind, const std::string& text) {
        lines.push_back({kind, text});
    });
    // Also a journal that was not obeyed is logged, with the reason.
    if (lines.empty())
        return;
    // A log of its own: the repair belongs to the run that died, not to this one.
    const bool wasOpen = LogIsOpen();
    StartRunLog("repair of an interrupted installation");
    for (const auto& [kind, text] : lines)
        LogLine(kind, text);
    if (!wasOpen)
        CloseLog();
}

bool TCustomInstall::TakeProductLock() {
    if (FJournal.Lock(Information().ProductName()))
        return true;
    StartRunLog(Quiet() ? "unattended installation" : "installation");
    LogLine("Run", "another setup of " + Information().ProductName() +
                       " is running; this one ends without changing anything");
    Application()->SetExitCode(secFailed);
    LogLine("Run", "exit code " + IntToStr(secFailed));
    try {
        ShowRunError(IEInstall("The setup of %s is already running. Wait until it has ended, then start it "
                               "again if you need to.",
                               {Information().ProductName()}));
    } catch (...) {
        // Ending is all that is left to do.
    }
    EndApplication();
    CloseLog();
    return false;
}

void TCustomInstall::RollBackRun() {
    if (!FJournal.IsOpen())
        return;
    const std::vector<std::string> failures = FJournal.Rollback();
    if (failures.empty()) {
        LogLine("Undo", "every change of the run is undone");
        return;
    }
    std::string text;
    for (const std::string& f : failures)
        text += "\n" + f;
    try {
        ShowRunError(IEInstall("Setup could not undo every change it made:%s", {text}));
    } catch (...) {
        // The log holds the list as well.
    }
}

void TCustomInstall::Install() {
    if (!TakeProductLock())
        return;
    RunStartTime() = Now();
    RaiseRegistrationErrors() = false;
    FailedRegistrationList().Clear();
    FUnfinishedCount = 0;
    FRunCleanupBatch = false;
    // A download cancelled in an earlier run must not fail this one.
    ClearDownloadAborted();
    SetRunning(true);
    SyncRunState();
    RunState().CancelRequested = false;
    StartRunLog(Quiet() ? "unattended installation" : "installation");
    LogLine("Run", "started");
    FJournal.Begin([](const std::string& kind, const std::string& text) { LogLine(kind, text); });
    LogLine("Journal", FJournal.FileName());
    FJournal.NoteTemporaryCopy(TemporaryCopyFolder());

    if (FUseLoadingProgram && !HasSwitch(swSourcePath))
        throw IEInstall(
            "The path of the loading program was not passed to the setup program: start it with -s "
            "and the folder of the distribution");
    InstallRecordKey() = FindInstallRecord(true);
    LogLine("Run",
            "install record " + (InstallRecordKey().empty() ? std::string("none could be made")
                                                            : "HKEY_LOCAL_MACHINE" + InstallRecordKey()));
    ClearUnfinished();
    if (HasSwitch(swSelfExtracted))
        SetExtractionOffset();
    ReadInfoFromArchive();
    LogEvent("OnAfterInitialized");
    if (OnAfterInitialized)
        OnAfterInitialized(this);
    LogLine("Run", "before-install wizard");
    SendInformationEvent(this, ieBeforeInstall, nullptr);

    CheckBeforeInstall(*this);
    LogLine("Run", "installing the objects");
    TFileContainer::Install();

    // Registrations that failed during the run get one more try; now a failure fails the run.
    std::vector<TCustomInstallFile*> failed;
    for (int i = 0; i < FailedRegistrationList().Count(); ++i)
        failed.push_back(FailedRegistrationList().Items(i));
    for (TCustomInstallFile* f : failed) {
        LogLine("Register", f->Name() + " again, after its failure during the run");
        f->RegisterActiveX();
    }

    LogLine("Run", "good installation");
    FinishGoodRun();
}

// The end of a good run, also of the run after a restart.
void TCustomInstall::FinishGoodRun() {
    if (FJournal.IsOpen()) {
        // Work waits for the restart: the run after it must happen, from a
        // program that is still there then.
        if (FUnfinishedCount > 0 && !FRunOnceRegistered)
            RegisterRunOnce();
        FJournal.Commit();
    }
    // Taken before the restart page too: No there does not take away the
    // need of work that waits for the restart.
    const bool restart = RestartNeeded();
    if (restart)
        NotifyRestartNeeded();
    NotifyGoodInstall();
    if (FUnfinishedCount > 0) {
        LogLine("Run", "the temporary copy stays for the run after the restart");
        KeepTemporaryCopy("the run after the restart starts it");
    } else {
        CleanupLoadingProgram();
    }
    RemoveRecordUnlessUnfinished();
    const int32_t code = restart || RestartNeeded() ? secRestartNeeded : secInstalled;
    Application()->SetExitCode(code);
    LogLine("Run", "exit code " + IntToStr(code) +
                       (code == secRestartNeeded ? ": Windows must restart to finish" : ""));
    if (RunsByItself())
        Shutdown();
    RunFilesAfterInstall();
    SetRunning(false);
    LogLine("Run",
            "ended; peak memory " + IntToStr(static_cast<int64_t>(PeakWorkingSetBytes() / 1024)) + " KiB");
    CloseLog();
}

void TCustomInstall::RemoveRecordUnlessUnfinished() {
    // Work that waits for the restart is read from the record by the run
    // after it; removing the record would lose that work for good.
    if (FUnfinishedCount > 0) {
        LogLine("Registry", "kept the install record: " + IntToStr(FUnfinishedCount) +
                                " entries of unfinished business wait for the restart");
        return;
    }
    RemoveInstallRecord();
    LogLine("Registry", "removed the install record");
}

void TCustomInstall::NotifyGoodInstall() {
    LogEvent("OnBeforeNotifyGoodInstall");
    if (OnBeforeNotifyGoodInstall)
        OnBeforeNotifyGoodInstall(this);
    LogLine("Run", "good-installation dialogs");
    SendInformationEvent(this, ieGoodInstall, nullptr);
    SendInformationEvent(this, ieAfterGoodInstall, nullptr);
    LogEvent("OnAfterNotifyGoodInstall");
    if (OnAfterNotifyGoodInstall)
        OnAfterNotifyGoodInstall(this);
}

void TCustomInstall::NotifyRestartNeeded() {
    LogLine("Run", "restart dialogs: Windows must restart to finish");
    SendInformationEvent(this, ieReboot, nullptr);
    LogLine("Run", std::string("Reboot = ") + (Reboot() ? "True" : "False"));
}

void TCustomInstall::NotifyBadInstall() {
    LogEvent("OnBeforeNotifyBadInstall");
    if (OnBeforeNotifyBadInstall)
        OnBeforeNotifyBadInstall(this);
    LogLine("Run", "bad-installation dialogs");
    SendInformationEvent(this, ieBadInstall, nullptr);
    SendInformationEvent(this, ieAfterBadInstall, nullptr);
    LogEvent("OnAfterNotifyBadInstall");
    if (OnAfterNotifyBadInstall)
        OnAfterNotifyBadInstall(this);
}

bool TCustomInstall::Shutdown() {
    bool quitOut = true;
    LogEvent("OnBeforeShutdown");
    if (OnBeforeShutdown)
        OnBeforeShutdown(this, quitOut);
    if (quitOut) {
        LogLine("Run", "ending the program");
        EndApplication();
    } else if (Quiet()) {
        // Nobody could end a program that stays without a window.
        LogLine("Run", "OnBeforeShutdown would keep the program running; unattended, it ends");
        EndApplication();
    } else {
        LogLine("Run", "OnBeforeShutdown keeps the program running");
    }
    return !quitOut;
}

bool TCustomInstall::QueryUserAbort() {
    bool quitOut = true;
    if (OnUserAbort)
        OnUserAbort(this, quitOut);
    LogLine("Run", quitOut ? "the user may cancel" : "OnUserAbort refuses the cancel");
    return quitOut;
}

void TCustomInstall::RunFilesAfterInstall() {
    TCustomInstallFileList& files = InstallFileList();
    // By index: a handler may free files, and then the list shrinks.
    for (int i = 0; i < files.Count(); ++i) {
        TCustomInstallFile* f = files.Items(i);
        if (!f->RunAfterInstall())
            continue;
        bool defaultAction = true;
        LogEvent("OnBeforeRunFile");
        if (OnBeforeRunFile)
            OnBeforeRunFile(this, f, defaultAction);
        if (i >= files.Count() || files.Items(i) != f)
            continue;
        if (!f->RunAfterInstall() || !defaultAction) {
            LogLine("Start", "not starting " + f->Name() + ": OnBeforeRunFile said so");
            continue;
        }
        // Failures to start are not reported to the user; the log keeps them.
        try {
            StartInstalledProgram(f->ExpandedDestDir() + "\\" + f->DestName());
        } catch (const std::exception& e) {
            LogLine("Start", "cannot start " + f->Name() + ": " + Describe(e));
        }
    }
}

void TCustomInstall::StartInstalledProgram(const std::string& Path) {
    if (StartProgram("\"" + Path + "\""))
        LogLine("Start", "started " + Path);
    else
        LogLine("Start", SystemFailure("CreateProcess(" + Path + ")", LastSystemError()));
}

void TCustomInstall::ShowRunError(const Exception& E) {
    Application()->ShowException(E);
}

void TCustomInstall::EndApplication() {
    Application()->Terminate();
}

// Every exception that reaches the message loop while this component exists.
void TCustomInstall::HandleException(TObject*, const Exception& E) {
    if (!FRunning) {
        if (Quiet())
            StartRunLog("unattended installation");
        LogLine("Error", Describe(E));
        Application()->SetExitCode(secFailed);
        ShowRunError(E);
        // Attended, the form stays with the message; unattended, nobody would end it.
        if (Quiet()) {
            LogLine("Run", "exit code " + IntToStr(secFailed));
            EndApplication();
            CloseLog();
        }
        return;
    }
    SetRunning(false);
    const bool aborted = dynamic_cast<const EAIUserAbort*>(&E) != nullptr;
    // The machine goes back as it was before anything else: the failed page
    // then tells the truth.
    const bool rolledBack = FJournal.IsOpen();
    RollBackRun();
    Application()->SetExitCode(aborted ? secAborted : secFailed);
    LogLine("Run", "exit code " + IntToStr(aborted ? secAborted : secFailed));
    bool shown = false;
    try {
        if (aborted) {
            LogLine("Run", "aborted by the user");
            NotifyBadInstall();
            CleanupLoadingProgram();
            // Undone, the record is as it was before the run (or gone).
            if (!rolledBack) {
                RemoveInstallRecord();
                LogLine("Registry", "removed the install record");
            }
            if (RunsByItself())
                Shutdown();
        } else {
            LogLine("Run", "failed. " + Describe(E));
            NotifyBadInstall();
            shown = true;
            ShowRunError(E);
            Shutdown();
        }
    } catch (const std::exception& inner) {
        LogLine("Error", "while reporting the failure: " + Describe(inner));
        // A failing dialog must not hide why the run failed: the run's own
        // message is still shown (once), then the program ends.
        if (!aborted && !shown) {
            try {
                ShowRunError(E);
            } catch (...) {
            }
        }
        if (RunsByItself())
            EndApplication();
    } catch (...) {
        LogLine("Error", "while reporting the failure");
        if (RunsByItself())
            EndApplication();
    }
    // A temporary copy would otherwise stay in the temporary folder for good,
    // also when the failure's own windows failed; unless work waits for a
    // restart, which runs it again.
    if (!aborted && (FUnfinishedCount == 0 || rolledBack)) {
        try {
            CleanupLoadingProgram();
        } catch (const std::exception& inner) {
            LogLine("Error", "while removing the temporary copy: " + Describe(inner));
        }
    } else if (!aborted) {
        KeepTemporaryCopy("the run after the restart starts it");
    }
    CloseLog();
}
