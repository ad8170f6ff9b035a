// The installation component: the engine of a setup program. It is the root
// file container of the project, owns the project-wide settings, reads the
// command line once the project is loaded, chooses the program's mode, keeps
// the setup program's record in the registry and takes over the main form's
// first activation to run the installation.
//
// The run itself lives in cmp_TInstall_Run.cpp, unfinished business and the
// run after a restart in cmp_TInstall_Unfinished.cpp. Still to come in later
// stages: build mode, the transfer to floppies, reading the archive from
// inside a self-extracting setup and downloading the remote list of files.
// Asking for one of them raises an IEInstall that says so.
#pragma once
#include "archive/types_ExtractionInfo.h"
#include "engine/cmp_TInstallInformation.h"
#include "objects/cmp_TInstallContainer.h"
#include "objects/cmp_TPathSpecifier.h"
#include "objects/types_RunState.h"
#include "platform/routines_Journal.h"
#include "platform/types_Base.h"
#include "toolkit/forms_Forms.h"
#include "toolkit/graphics_Types.h"
#include <array>
#include <functional>
#include <string>
#include <vector>

class TCustomInstall;

// Settings of build mode; copied by value.
class TBuildInfo : public TPersistent {
    QFD_CLASS(TBuildInfo)
public:
    void Assign(const TPersistent& source) override;
    std::string AppName, AppURL, BuildDirectory = "c:\\build", CredentialsFile, OCXName = "qwsetup",
                                 PrivateKeyFile, URLPath;
    bool SignCode = false;
};

// The setup program's exit code, which the loading program passes on.
enum TSetupExitCode : int32_t {
    secInstalled = 0,
    secFailed = 1,
    secAborted = 2,
    secRestartNeeded = 3, // installed; Windows must restart to finish
};

// True when params (the program first) ask for an unattended run.
bool QuietRequested(const std::vector<std::string>& params);
using TCommandSwitches = uint32_t; // bit (1 << TCommandSwitch)

using TRebootWindowsEvent = std::function<void(TCustomInstall* Install, bool& Continue)>;
using TBeforeRunFileEvent =
    std::function<void(TCustomInstall* Install, TCustomInstallFile* FileToRun, bool& DefaultAction)>;
using TUserAbortEvent = std::function<void(TCustomInstall* Install, bool& QuitOut)>;
using TCleanupEvent = std::function<void(TCustomInstall* Install, bool& Continue)>;

class TCustomInstall : public TFileContainer, public TRunInstall {
    QFD_CLASS(TCustomInstall)
public:
    explicit TCustomInstall(TComponent* AOwner);
    ~TCustomInstall() override;

    void Loaded() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    // The installation run, from the first activation to the end.
    void Install() override;
    // The run after a restart (-r): works through the unfinished business.
    void CompleteAfterRestart() override;
    // Sizes, dates and versions of every file, once per run, under the
    // "Reading file information..." status message.
    void ReadInfoFromArchive() override;

    virtual void RemoveInstallRecord();
    virtual std::string FindInstallRecord(bool create);
    virtual void ParseCommandLine();
    virtual void AddPresetupFile(const std::string& path, bool onlyIfNew);
    // The application's exception handler while this component exists.
    virtual void HandleException(TObject* Sender, const Exception& E);
    // Build mode (-b): the build folder is the first line of BUILD.INF beside
    // the program. Shows its failure and ends the application.
    void BuildFromBuildInf();
    virtual void BuildDistribution(const std::string& Program, const std::string& BuildDir, bool StandAlone,
                                   const std::string& Name);
    void CopyLoadingProgram(const std::string& BuildDir, const std::string& Program);
    // setup.1: the setup program and its presetup files.
    virtual void MakeSetupArchive(const std::string& BuildDir, const std::string& Program);
    // "filelist.lst" of the files compressed in this build, beside the archive.
    void WriteFileList();
    // digests.lst: the SHA-256 of filelist.lst and of every network archive
    // in the build folder, added to setup.1; none for a traditional build.
    void WriteDownloadDigests(const std::string& BuildDir);
    // Appends setup.1, files.1 (when there is one) and the extraction
    // information with the file's checksum to the loading program SetupExe.
    void MakeSelfExtractor(const std::string& SetupExe, const std::string& Setup1, const std::string& Files1,
                           const std::string& Name);
    // The 136 bytes of the extraction information of Path, unchecked: at its
    // end, or before its signature when it is signed (TrailerEnd gets where
    // they end; positions and sizes count from there).
    static void ReadExtractionInfo(const std::string& Path, TExtractionInfoBytes& Trailer);
    static void ReadExtractionInfo(const std::string& Path, TExtractionInfoBytes& Trailer,
                                   int64_t& TrailerEnd);
    // With -e: the product archive is read from inside the self-extracting file.
    void SetExtractionOffset();
    // Floppy mode (-f): the self-extracting distribution onto disks in Drive.
    virtual void TransferToFloppies(const std::string& Drive);
    // Every install file counts as not compressed in this build until it is.
    void Compress(TCompressOptions Options) override;
    virtual void CleanupLoadingProgram();
    virtual void NotifyBadInstall();
    virtual void NotifyGoodInstall();
    // Before the completion pages of a run that Windows must restart to
    // finish: the restart page (dmReboot) tells the person so and may set
    // Reboot. Nothing restarts Windows.
    virtual void NotifyRestartNeeded();
    virtual void RunFilesAfterInstall();
    // Registers the command line of the run after a restart under RunOnce.
    virtual void RegisterRunOnce();
    // The unfinished business as lines name;kind.
    virtual void ReadUnfinished(TStringList& List);
    // Asked by the windows when the user wants to cancel: True lets him.
    bool QueryUserAbort() override;
    virtual void ClearUnfinished();
    // Kind 0: an install object completes after the restart; 1: a batch file
    // to delete then.
    virtual void AddUnfinished(const std::string& Name, Integer Kind);
    // Ends the application unless OnBeforeShutdown vetoes; True when vetoed.
    bool Shutdown();
    // The language to translate into: the install record's "Language", or the
    // translator's target language (qlUser, 15, without a translator).
    int32_t ReadInstallLanguage();

    void MainFormActivate(TObject* Sender);

    TFileContainer* InstallContainer() override { return this; }
    bool HasSwitch(TCommandSwitch s) const override { return FSwitches & (1u << s); }
    bool Quiet() const { return HasSwitch(swQuiet); }
    // Runs on its own and ends afterwards: with RunAutomatic, and always when
    // unattended, where nobody could start the run or end the program.
    bool RunsByItself() const { return FRunAutomatic || Quiet(); }
    const std::string& SwitchArg(TCommandSwitch s) const override { return FSwitchArgs[s]; }
    // The folder the user ran the setup from.
    const std::string& SourceDir() const override { return FSourceDir; }
    std::string GetModulePath() const;
    std::string GetProgramDir() const;
    std::string GetLoadingProgramPath() const;
    bool Running() const { return FRunning; }
    // Entries of unfinished business written in this run.
    Integer UnfinishedCount() const { return FUnfinishedCount; }
    TForm* MainForm() const { return FMainForm; }
    // The batch file that removes a temporary copy, once written.
    const std::string& CleanupBatch() const { return FCleanupBatch; }

    // Published settings.
    bool AutoMaximizeWindow() const { return FAutoMaximizeWindow; }
    virtual void SetAutoMaximizeWindow(bool v);
    TBuildInfo& BuildInfo() { return FBuildInfo; }
    virtual void SetBuildInfo(const TBuildInfo& v) { FBuildInfo.Assign(v); }
    TPicture& DialogThemeBitmap() override { return FDialogThemeBitmap; }
    virtual void SetDialogThemeBitmap(const TPicture& v) { FDialogThemeBitmap = v; }
    TDistributeType DistributeType() const { return FDistributeType; }
    virtual void SetDistributeType(TDistributeType v);
    bool HideMainForm() const { return FHideMainForm; }
    virtual void SetHideMainForm(bool v);
    TInstallInformation& Information() { return FInformation; }
    const TStringList& PresetupFiles() const { return FPresetupFiles; }
    // Blank lines of the given list are deleted first (the caller's list changes).
    virtual void SetPresetupFiles(TStringList& v);
    // Kept in the run state, where install files set it.
    bool Reboot() const override { return RunState().Install == this ? RunState().Reboot : FReboot; }
    void SetReboot(bool v) override {
        FReboot = v;
        if (RunState().Install == this)
            RunState().Reboot = v;
    }
    bool RunAutomatic() const { return FRunAutomatic; }
    void SetRunAutomatic(bool v) { FRunAutomatic = v; }
    bool UseLoadingProgram() const { return FUseLoadingProgram; }
    virtual void SetUseLoadingProgram(bool v);
    void SetNetLocation(TCustomNetInstallLocation* v) override;

    TNotifyEvent OnAfterInitialized, OnAfterNotifyBadInstall, OnAfterNotifyGoodInstall,
        OnAfterReadArchiveInfo, OnBeforeReadArchiveInfo, OnBeforeNotifyBadInstall, OnBeforeNotifyGoodInstall,
        OnFailedReboot;
    TRebootWindowsEvent OnBeforeReboot;
    TBeforeRunFileEvent OnBeforeRunFile;
    TUserAbortEvent OnBeforeShutdown, OnUserAbort;
    TCleanupEvent OnBeforeCleanup;

protected:
    // The setup program's file: the one the install record describes and a
    // temporary copy removes.
    virtual std::string SetupProgramFile() const;
    // Seams of the run, so that a test can watch what would reach the user or
    // end the program: the file container's own reading of the files'
    // information, the message of a failed run, the end of the application
    // and the start of a program after installation.
    virtual void ReadInfoOfObjects();
    virtual void ShowRunError(const Exception& E);
    virtual void EndApplication();
    virtual void StartInstalledProgram(const std::string& Path);
    // The disk prompt of the floppy transfer: False when the user cancels.
    virtual bool AskForDisk(Integer Disk);
    // The loading program that a stand-alone build puts into an empty build
    // folder: loader.exe beside the setup program, or where the build tree
    // puts it; empty when there is none.
    virtual std::string FindLoadingProgram() const;
    // The folder of the run's log: the temporary folder.
    virtual std::string LogFolder() const;
    friend void ReadRemoteFileList(TCustomInstall& install);

    // Opens the run's log (once per run) and writes its heading.
    void StartRunLog(const std::string& what);
    // The facts of this component that install objects read from the run state.
    void SyncRunState();
    void SetRunning(bool v);
    // Makes the application unattended and sends what it would have shown
    // into the run's log in folder.
    static void BeQuiet(const std::string& folder);
    // Windows must restart to finish the run: work waits for the restart,
    // or Reboot is set.
    bool RestartNeeded() const;
    // The end of a good run: the install record goes, unless unfinished
    // business of this run waits in it for the restart.
    void RemoveRecordUnlessUnfinished();
    void FinishGoodRun();
    // Undoes what a killed run of any product left (its journal), before
    // this program does anything itself.
    void RepairInterruptedRun();
    // Takes this product's lock; false (after saying so) when another setup
    // of the product is running.
    bool TakeProductLock();
    // Undoes the run so far; failures are logged and reported.
    void RollBackRun();
    // The folder of a temporary copy that the clean-up may remove, empty
    // when the program is no such copy.
    std::string TemporaryCopyFolder() const;
    // Started with -cl: the loading program removes the copy after the end.
    bool LoaderRemovesCopy() const;
    // Asks the loading program to leave the copy (see kKeepCopyMarker); why
    // goes into the log. Nothing for a copy that removes itself.
    void KeepTemporaryCopy(const std::string& why);
    // Ends a -r start that finds nothing waiting for it.
    void FinishNothingUnfinished();

    TCommandSwitches FSwitches = 0;
    std::array<std::string, 8> FSwitchArgs;
    std::string FSourceDir;
    TForm* FMainForm = nullptr;
    TNotifyEvent FSavedOnActivate;
    bool FTookOverActivate = false;
    bool FActivated = false;
    bool FRunning = false;
    std::string FCleanupBatch, FCleanupBatchFolder;
    bool FRunCleanupBatch = false;
    int32_t FUnfinishedCount = 0;
    // How to undo the run so far; open from the run's first change to its end.
    TRunJournal FJournal;
    bool FRunOnceRegistered = false;

private:
    bool FAutoMaximizeWindow = true;
    TBuildInfo FBuildInfo;
    TPicture FDialogThemeBitmap;
    TDistributeType FDistributeType = dtTraditional;
    bool FHideMainForm = false;
    TInstallInformation FInformation;
    TStringList FPresetupFiles;
    bool FReboot = false;
    bool FRunAutomatic = true;
    bool FUseLoadingProgram = true;
};

class TInstall : public TCustomInstall {
    QFD_CLASS(TInstall)
public:
    using TCustomInstall::TCustomInstall;
};

// The one installation component of the program; nullptr when there is none.
TCustomInstall* CurrentInstall();
// The registry path of this setup program's install record; empty when none.
// It is the run state's.
std::string& InstallRecordKey();
// When the current installation run began; zero until one has begun.
TDateTime& RunStartTime();

// The reading of the run: every file's information from the archive, then,
// for a web or network distribution, the remote list of files.
void ReadRemoteFileList(TCustomInstall& install);
// Reads a downloaded "filelist.lst" and gives each record to ApplyRemoteFileInfo.
void ApplyRemoteFileList(const std::string& localFile);
struct TRemoteFileRecord;
// The size, date and version of the record go to the first install file of
// that name (without regard to case); a name that matches none is ignored.
void ApplyRemoteFileInfo(const TRemoteFileRecord& record);

// The command line of the run after a restart: the program, -r, the
// self-extracting file (when started with -e) and the loading program's
// folder, each quoted, then -c for a temporary copy and -q for an
// unattended run (which stays unattended after the restart).
std::string RunOnceCommandLine(const std::string& program, const std::string& loadingProgram,
                               bool selfExtracted, bool cleanup, bool quiet = false);

// The key of the install records under HKEY_LOCAL_MACHINE.
extern const char* const InstallRecordsKey;

// The lines of the batch file that removes a temporary copy: the program,
// its folder (none when empty), the batch's .PIF and the batch itself.
std::vector<std::string> CleanupBatchLines(const std::string& program, const std::string& folder,
                                           const std::string& batch, bool windows95);
// Writes those lines into the batch file, in the code page the command
// processor reads. A path it could not read in full raises IEInstall and
// leaves no batch behind.
void WriteCleanupBatch(const std::string& batch, const std::string& program, const std::string& folder,
                       bool windows95);

// Makes TInstall known to stored layouts.
void RegisterEngineClasses();
