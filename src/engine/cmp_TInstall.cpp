#include "engine/cmp_TInstall.h"
#include "objects/routines_Downloads.h"
#include "objects/routines_Log.h"
#include "platform/routines_API.h"
#include "platform/routines_AdminFolder.h"
#include "platform/routines_Batch.h"
#include "platform/routines_Files.h"
#include "platform/routines_Locale.h"
#include "platform/routines_Process.h"
#include "platform/routines_Registry.h"
#include "platform/routines_TrustedFolder.h"
#include "platform/types_TemporaryCopy.h"
#include "toolkit/classes_Publish.h"
#include "translate/cmp_TTranslator.h"
#include <cmath>

const char* const InstallRecordsKey = "\\SOFTWARE\\Quenfold\\Install";

TCustomInstall* CurrentInstall() {
    return dynamic_cast<TCustomInstall*>(CurrentRunInstall());
}

std::string& InstallRecordKey() {
    return RunState().InstallRecordKey;
}

TDateTime& RunStartTime() {
    static TDateTime when = 0;
    return when;
}

// --- TBuildInfo ----------------------------------------------------------------

void TBuildInfo::Assign(const TPersistent& source) {
    const auto* s = dynamic_cast<const TBuildInfo*>(&source);
    if (!s)
        return TPersistent::Assign(source); // raises: not a kind this one takes
    *this = *s;
}

// --- construction and destruction ------------------------------------------------

TCustomInstall::TCustomInstall(TComponent* AOwner) : TFileContainer(AOwner) {
    if (CurrentRunInstall())
        throw IEInstall(
            "The TInstall component does not currently support the use of 2 TInstall components in the "
            "same project");
    if (!dynamic_cast<TForm*>(AOwner))
        throw IEInstall("The TInstall component must be placed on a form or a data module");
    // The specifiers below validate against the installation component.
    SetCurrentRunInstall(this);
    try {
        SetGroupName("Main");
        SetDestDirType(StandardPathSpecifiers().FindSpecifier(TpsProgramFiles::StaticClass()));
        SetArchiveFileType(StandardPathSpecifiers().FindSpecifier(TpsMainArchiveFile::StaticClass()));
        SetArchiveFile("");
        std::vector<uint8_t> theme = LoadBitmapResource("INSTALLTHEME1");
        if (!theme.empty())
            FDialogThemeBitmap.SetData(std::move(theme));
    } catch (...) {
        SetCurrentRunInstall(nullptr);
        throw;
    }
    RunState().Install = this;
    RunState().Reboot = FReboot;
    RunState().AddUnfinished = [this](const std::string& name, int kind) { AddUnfinished(name, kind); };
    // A running program: failures that reach the message loop come here.
    Application()->OnException = [this](TObject* sender, const Exception& e) { HandleException(sender, e); };
    // Before the command line is parsed: a bad switch of an unattended run
    // must not end in a message box either.
    if (QuietRequested(CommandLineParams()))
        BeQuiet(TempDirectory());
    // Long archive loops let windows repaint and a Cancel reach Abort.
    TQnfdCompress::SetProcessMessagesHook([] { Application()->ProcessMessages(); });
}

TCustomInstall::~TCustomInstall() {
    // Also when the form had no handler: ours must not outlive this component.
    if (FMainForm && !FMainForm->Destroying() && FTookOverActivate)
        FMainForm->OnActivate = FSavedOnActivate;
    if (CurrentRunInstall() == this)
        SetCurrentRunInstall(nullptr);
    if (RunState().Install == this) {
        RunState().Reset();
        // The run's downloads are its own to hold; what it kept stays for the next run.
        ReleaseAllDownloads();
        RemoveDownloadFolderIfEmpty();
    }
    // The handler would call into a component that is gone.
    Application()->OnException = nullptr;
    TQnfdCompress::SetProcessMessagesHook(nullptr);
    // Outside the copy's folder, which the batch removes.
    if (FRunCleanupBatch)
        StartHidden(SystemBatchCommand(FCleanupBatch, FCleanupBatchFolder), TempDirectory());
}

void TCustomInstall::Notification(TComponent* AComponent, TOperation Operation) {
    TFileContainer::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FMainForm)
        FMainForm = nullptr;
}

// --- property setters ------------------------------------------------------------

void TCustomInstall::SetAutoMaximizeWindow(bool v) {
    FAutoMaximizeWindow = v;
    if (!Loading() && v)
        FHideMainForm = false;
}

void TCustomInstall::SetHideMainForm(bool v) {
    FHideMainForm = v;
    if (!Loading() && v)
        FAutoMaximizeWindow = false;
}

void TCustomInstall::SetUseLoadingProgram(bool v) {
    FUseLoadingProgram = v;
    if (!Loading() && v) {
        SetArchiveFileType(StandardPathSpecifiers().FindSpecifier(TpsMainArchiveFile::StaticClass()));
        SetArchiveFile("");
    }
}

void TCustomInstall::SetDistributeType(TDistributeType v) {
    if (!Loading()) {
        // Only a designer may change it; this program never runs as one.
        throw IEInstall("DistributeType can only be set at design-time");
    }
    FDistributeType = v;
}

void TCustomInstall::SetNetLocation(TCustomNetInstallLocation* v) {
    TFileContainer::SetNetLocation(v);
    SetDefaultNetLocation(v);
    if (!v)
        FDistributeType = dtTraditional;
}

void TCustomInstall::SetPresetupFiles(TStringList& v) {
    for (int i = v.Count() - 1; i >= 0; --i)
        if (Trim(v[i]).empty())
            v.Delete(i);
    FPresetupFiles = v;
}

void TCustomInstall::AddPresetupFile(const std::string& path, bool onlyIfNew) {
    if (onlyIfNew) {
        std::string name = ExtractFileName(path);
        for (const std::string& entry : FPresetupFiles.Items())
            if (SameText(ExtractFileName(entry), name))
                return;
    }
    FPresetupFiles.Add(path);
}

// --- end of loading and the command line -----------------------------------------

void TCustomInstall::Loaded() {
    TFileContainer::Loaded();
    ParseCommandLine();
    if (Quiet())
        BeQuiet(LogFolder());
    RepairInterruptedRun();
    // A debug run keeps its copy, also when its loading program would remove it.
    if (HasSwitch(swDebug))
        KeepTemporaryCopy("a debug run");
    if (HasSwitch(swDebug) && (!HasSwitch(swSourcePath) || Trim(SwitchArg(swSourcePath)).empty()))
        throw IEInstall(
            "The -d switch needs the folder of the build: give it with a quoted -s switch, for example "
            "-d \"-sC:\\My Build\"");
    FSourceDir = HasSwitch(swSourcePath) ? SwitchArg(swSourcePath) : GetProgramDir();
    InstallRecordKey() = FindInstallRecord(false);
    SyncRunState();
    std::string local;
    if (GetRegisteredLocalFile(local))
        FLocalArchive = local;

    if (Application()->MainForm())
        FMainForm = Application()->MainForm();
    else
        FMainForm = dynamic_cast<TForm*>(Owner());
    if (!FMainForm && RunAutomatic())
        throw IEInstall(
            "Application.MainForm is undefined and the TInstall is not on a form. Therefore, therefore "
            "the TInstall can't run the installation automatically");
    if (FMainForm)
        FMainForm->FreeNotification(this);

    SetCurrentInstallType(itAlways);
    for (TInstallType t : {itDefault, itCompact, itFull, itCustom})
        if (InstallTypes() & (1u << t)) {
            SetCurrentInstallType(t);
            break;
        }

    if (HasSwitch(swBuild)) {
        BuildFromBuildInf();
    } else if (HasSwitch(swFloppies)) {
        TransferToFloppies("a:");
    } else if (HasSwitch(swAfterReboot)) {
        CompleteAfterRestart();
    } else if (FMainForm) {
        FSavedOnActivate = FMainForm->OnActivate;
        FMainForm->OnActivate = [this](TObject* sender) { MainFormActivate(sender); };
        FTookOverActivate = true;
        if (FHideMainForm)
            FMainForm->SetBounds(-2 * FMainForm->Width(), -2 * FMainForm->Height(), FMainForm->Width(),
                                 FMainForm->Height());
        // Unattended, the form is never shown and so never activated: the
        // run starts as soon as the message loop runs.
        if (Quiet())
            Application()->QueueCall(this, [this] { MainFormActivate(FMainForm); });
    }
}

bool QuietRequested(const std::vector<std::string>& params) {
    for (size_t i = 1; i < params.size(); ++i)
        if (params[i].size() >= 2 && params[i][0] == '-' && (params[i][1] | 0x20) == 'q')
            return true;
    return false;
}

void TCustomInstall::ParseCommandLine() {
    FSwitches = 0;
    for (std::string& a : FSwitchArgs)
        a.clear();
    std::vector<std::string> params = CommandLineParams();
    for (size_t i = 1; i < params.size(); ++i) {
        const std::string& p = params[i];
        int sw = -1;
        if (p.size() >= 2 && p[0] == '-') {
            switch (p[1] | 0x20) {
            case 'b':
                sw = swBuild;
                break;
            case 'f':
                sw = swFloppies;
                break;
            case 'd':
                sw = swDebug;
                break;
            case 'e':
                sw = swSelfExtracted;
                break;
            case 'r':
                sw = swAfterReboot;
                break;
            case 's':
                sw = swSourcePath;
                break;
            case 'c':
                sw = swCleanup;
                break;
            case 'q':
                sw = swQuiet;
                break;
            }
        }
        if (sw < 0)
            throw IException(
                "Invalid parameter <%s>. Valid command line parameters are: -b (Build), -d (Debug), -f "
                "(Transfer to floppies), -e (Called by self-extractor), -r (After reboot)",
                {p});
        FSwitches |= 1u << sw;
        FSwitchArgs[static_cast<size_t>(sw)] = p.substr(2);
    }
}

void TCustomInstall::MainFormActivate(TObject*) {
    if (FActivated)
        return;
    if (FSavedOnActivate)
        FSavedOnActivate(Owner());
    FActivated = true;
    if (FAutoMaximizeWindow && FMainForm && !Quiet()) {
        FMainForm->SetWindowState(wsMaximized);
        FMainForm->Invalidate();
    }
    if (!RunsByItself())
        return;
    if (FMainForm && !FMainForm->Destroying())
        FMainForm->OnActivate = FSavedOnActivate;
    Install();
}

// --- paths of the running program --------------------------------------------------

std::string TCustomInstall::GetModulePath() const {
    return ModulePath();
}

std::string TCustomInstall::GetProgramDir() const {
    return RemoveBackslash(ExtractFilePath(RunningAsLibrary() ? ModulePath() : ProgramPath()));
}

std::string TCustomInstall::GetLoadingProgramPath() const {
    if (RunningAsLibrary())
        return GetModulePath();
    if (HasSwitch(swSelfExtracted))
        return const_cast<TCustomInstall*>(this)->ExpandedArchiveFile();
    if (FUseLoadingProgram)
        return FSourceDir + "\\" + ParamStr(2);
    return ProgramPath();
}

// --- the install record --------------------------------------------------------------

std::string TCustomInstall::SetupProgramFile() const {
    return RunningAsLibrary() ? GetModulePath() : ProgramPath();
}

std::string TCustomInstall::FindInstallRecord(bool create) {
    std::string program = SetupProgramFile();
    int64_t size;
    TDateTime modified = 0;
    {
        TFileStream f(program, fmOpenRead | fmShareDenyNone);
        size = f.Size();
        f.GetModified(modified);
    }
    TRegKey records;
    // Only a run makes the records' key: looking must leave no trace.
    if (!(create ? records.Create(RegLocalMachine, InstallRecordsKey)
                 : records.Open(RegLocalMachine, InstallRecordsKey)))
        return "";
    std::vector<std::string> names = records.SubKeyNames();
    for (const std::string& name : names) {
        TRegKey k;
        if (!k.Open(records.Handle(), name))
            continue;
        auto path = k.ReadString("Path");
        auto created = k.ReadFloat("CreationDate");
        auto recSize = k.ReadInteger("Size");
        if (!path || !created || !recSize)
            continue;
        if (std::fabs(*created - modified) < 0.0000001 && *recSize == static_cast<int32_t>(size)) {
            k.WriteFloat("LastRunDate", RunStartTime());
            k.WriteString("Path", program);
            k.Flush();
            return std::string(InstallRecordsKey) + "\\" + name;
        }
    }
    if (!create)
        return "";
    std::string name;
    for (int n = 0;; ++n) {
        name = "Install" + std::to_string(n);
        bool taken = false;
        for (const std::string& existing : names)
            taken = taken || SameText(existing, name);
        if (!taken)
            break;
    }
    TRegKey k;
    if (!k.Create(records.Handle(), name) || !k.WriteString("Path", program) ||
        !k.WriteFloat("LastRunDate", RunStartTime()) || !k.WriteFloat("CreationDate", modified) ||
        size > INT32_MAX || !k.WriteInteger("Size", static_cast<int32_t>(size)))
        return "";
    if (HasSwitch(swSelfExtracted) &&
        !k.WriteString("SelfExtract", AddBackslash(SwitchArg(swSourcePath)) + SwitchArg(swSelfExtracted)))
        return "";
    k.Flush();
    return std::string(InstallRecordsKey) + "\\" + name;
}

void TCustomInstall::RemoveInstallRecord() {
    const std::string key = InstallRecordKey();
    if (key.empty())
        return;
    {
        TRegKey record;
        if (record.Open(RegLocalMachine, key)) {
            for (const std::string& sub : record.SubKeyNames()) {
                {
                    TRegKey k;
                    if (k.Open(record.Handle(), sub, TRegAccess::raRead)) {
                        std::string local = Trim(k.ReadString("LocalFile").value_or(""));
                        if (!local.empty())
                            RemoveDownload(local);
                    }
                }
                DeleteKeyTree(record.Handle(), sub);
            }
        }
    }
    DeleteKeyTree(RegLocalMachine, key);
    RemoveDownloadFolderIfEmpty();
    TRegKey records;
    if (records.Open(RegLocalMachine, InstallRecordsKey, TRegAccess::raRead) &&
        records.SubKeyNames().empty()) {
        records.Close();
        DeleteKeyTree(RegLocalMachine, InstallRecordsKey);
        TRegKey company;
        if (company.Open(RegLocalMachine, "\\Software\\Quenfold", TRegAccess::raRead) &&
            company.SubKeyNames().empty()) {
            company.Close();
            DeleteKeyTree(RegLocalMachine, "\\Software\\Quenfold");
        }
    }
}

int32_t TCustomInstall::ReadInstallLanguage() {
    TTranslator* translator = ActiveTranslator();
    TLanguage* target = translator ? translator->TargetLanguage() : nullptr;
    int32_t def = target ? target->LanguageIdent() : qlUser;
    if (InstallRecordKey().empty())
        return def;
    TRegKey k;
    if (!k.Open(RegLocalMachine, InstallRecordKey(), TRegAccess::raRead))
        return def;
    return k.ReadInteger("Language").value_or(def);
}

// --- clean-up of a temporary copy ---------------------------------------------------

std::vector<std::string> CleanupBatchLines(const std::string& program, const std::string& folder,
                                           const std::string& batch, bool windows95) {
    std::string pif = ChangeFileExt(batch, ".PIF");
    std::vector<std::string> lines;
    if (windows95) {
        lines.push_back(Format("ERASE %s", {program}));
        if (!folder.empty())
            lines.push_back(Format("DELTREE /Y %s", {folder}));
        lines.push_back(Format("ERASE %s", {pif}));
        lines.push_back(Format("ERASE %s", {batch}));
        return lines;
    }
    // The NT family has no DELTREE, and the program is still running when the
    // batch starts: try to erase it once a second, a minute at most.
    // Quoted, with "%" doubled: cmd would read "%...%" in a path as a variable.
    auto q = [](const std::string& s) { return "\"" + StringReplaceAll(s, "%", "%%") + "\""; };
    lines = {"@ECHO OFF",
             "SET QFDTRIES=0",
             ":WAITPROGRAM",
             Format("ERASE %s", {q(program)}),
             "IF NOT EXIST " + q(program) + " GOTO ERASED",
             "SET /A QFDTRIES=QFDTRIES+1",
             "IF %QFDTRIES% GEQ 60 GOTO ERASED",
             "PING -n 2 127.0.0.1 > NUL",
             "GOTO WAITPROGRAM",
             ":ERASED"};
    if (!folder.empty())
        lines.push_back(Format("RMDIR /S /Q %s", {q(folder)}));
    lines.push_back(Format("ERASE %s", {q(pif)}));
    lines.push_back(Format("ERASE %s", {q(batch)}));
    return lines;
}

// A path the batch cannot name is refused: any look-alike would name
// something else.
static std::string PathInBatch(const std::string& path) {
    if (std::optional<std::string> p = PathForBatch(path))
        return *p;
    throw IEInstall("The temporary copy of the setup program cannot be removed: the path <%s> has no form in "
                    "code page %d and no short form that the command processor could read",
                    {path, static_cast<int32_t>(OemCodePage())});
}

void WriteCleanupBatch(const std::string& batch, const std::string& program, const std::string& folder,
                       bool windows95) {
    // The batch must exist for its own short form.
    { TFileStream created(batch, fmCreate); }
    try {
        if (!WriteBatchFile(batch,
                            CleanupBatchLines(PathInBatch(program), folder.empty() ? "" : PathInBatch(folder),
                                              PathInBatch(batch), windows95)))
            throw IEInstall("The batch file <%s> cannot be written in code page %d",
                            {batch, static_cast<int32_t>(OemCodePage())});
    } catch (...) {
        RemoveFile(batch);
        throw;
    }
}

// The folder of a temporary copy may go with it, but only when it really is a
// folder of its own inside the temporary folder: -c on a program started from
// anywhere else must never remove that folder and everything in it.
static std::string RemovableProgramFolder(const std::string& folder) {
    std::string temp = UpperCase(AddBackslash(TempDirectory()));
    std::string f = UpperCase(AddBackslash(folder));
    // An elevated loading program unpacks into a folder of its own in the
    // machine's folder of this program.
    if (SameText(ExtractFileDir(RemoveBackslash(folder)), MachineFolder()) &&
        UpperCase(ExtractFileName(RemoveBackslash(folder))).rfind("QFDSETUP", 0) == 0)
        return folder;
    if (temp.size() < 4 || f.size() <= temp.size() || f.compare(0, temp.size(), temp) != 0)
        return "";
    return folder;
}

std::string TCustomInstall::TemporaryCopyFolder() const {
    if (!FUseLoadingProgram || HasSwitch(swDebug) || !HasSwitch(swCleanup) || RunningAsLibrary())
        return "";
    return RemovableProgramFolder(RemoveBackslash(ExtractFilePath(SetupProgramFile())));
}

bool TCustomInstall::LoaderRemovesCopy() const {
    return HasSwitch(swCleanup) && SameText(SwitchArg(swCleanup), kCleanupByLoader) && !RunningAsLibrary();
}

void TCustomInstall::KeepTemporaryCopy(const std::string& why) {
    if (!LoaderRemovesCopy())
        return;
    const std::string marker = ExtractFilePath(SetupProgramFile()) + kKeepCopyMarker;
    try {
        TFileStream created(marker, fmCreate);
        LogLine("Run", "the temporary copy stays (" + why + "): the loading program leaves it");
    } catch (const Exception& e) {
        // The copy then goes with the loading program: a restart finds no program to start.
        LogLine("Error", "cannot keep the temporary copy for its loading program: " + e.Message());
    }
}

void TCustomInstall::CleanupLoadingProgram() {
    if (!FUseLoadingProgram || HasSwitch(swDebug) || !HasSwitch(swCleanup))
        return;
    bool cont = true;
    if (OnBeforeCleanup)
        OnBeforeCleanup(this, cont);
    if (!cont) {
        KeepTemporaryCopy("OnBeforeCleanup");
        return;
    }
    // Started by a loading program that waits for it: the loading program
    // removes the copy, its folder and the presetup files there once this
    // program has ended, with no batch and no command processor.
    if (LoaderRemovesCopy()) {
        LogLine("Run", "the loading program removes the temporary copy once this program has ended");
        return;
    }
    for (const std::string& line : FPresetupFiles.Items())
        RemoveFile(GetProgramDir() + "\\" + ExtractFileName(line));
    if (RunningAsLibrary())
        return;
    std::string program = SetupProgramFile();
    const bool windows95 = WindowsVersion() == wvWindows95;
    std::string batch, batchFolder;
    if (windows95) {
        batch = GetTempFile(false);
        RemoveFile(batch);
    } else {
        // A folder of its own that only administrators can write when this
        // program runs elevated: cmd reads the batch for up to a minute.
        batch = NewTrustedBatchFile("qfdclean", batchFolder);
    }
    batch = ChangeFileExt(batch, ".bat");
    try {
        WriteCleanupBatch(batch, program, TemporaryCopyFolder(), windows95);
    } catch (...) {
        if (!batchFolder.empty())
            RemoveDir(batchFolder);
        throw;
    }
    FCleanupBatch = batch;
    FCleanupBatchFolder = batchFolder;
    FRunCleanupBatch = true;
}

// --- class descriptions ----------------------------------------------------------------

const TClassInfo& TBuildInfo::StaticClass() {
    static const TClassInfo info = DescribeClass<TBuildInfo, TPersistent>("TBuildInfo", [](auto& c) {
        auto str = [&c](const char* name, std::string TBuildInfo::*f, const char* def) {
            c.Str(
                name, [f](TBuildInfo& o) { return o.*f; },
                [f](TBuildInfo& o, const std::string& v) { o.*f = v; }, def);
        };
        str("AppName", &TBuildInfo::AppName, "");
        str("AppURL", &TBuildInfo::AppURL, "");
        str("BuildDirectory", &TBuildInfo::BuildDirectory, "c:\\build");
        str("CredentialsFile", &TBuildInfo::CredentialsFile, "");
        str("OCXName", &TBuildInfo::OCXName, "qwsetup");
        str("PrivateKeyFile", &TBuildInfo::PrivateKeyFile, "");
        c.Bool(
            "SignCode", [](TBuildInfo& o) { return o.SignCode; },
            [](TBuildInfo& o, bool v) { o.SignCode = v; }, false);
        str("URLPath", &TBuildInfo::URLPath, "");
    });
    return info;
}

const TClassInfo& TCustomInstall::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TCustomInstall, TFileContainer>("TCustomInstall", [](auto&) {});
    return info;
}

const TClassInfo& TInstall::StaticClass() {
    static const TClassInfo info = DescribeClass<TInstall, TCustomInstall>("TInstall", [](auto& c) {
        using T = TCustomInstall;
        c.Bool("AutoMaximizeWindow", &T::AutoMaximizeWindow, &T::SetAutoMaximizeWindow, true);
        c.Nested("BuildInfo", [](T& o) { return &o.BuildInfo(); });
        c.Picture("DialogThemeBitmap", [](T& o) -> TPicture& { return o.DialogThemeBitmap(); });
        c.Enum("DistributeType", {"dtTraditional", "dtWeb", "dtTraditionalNet"}, &T::DistributeType,
               &T::SetDistributeType, dtTraditional);
        c.Bool("HideMainForm", &T::HideMainForm, &T::SetHideMainForm, false);
        c.Nested("Information", [](T& o) { return &o.Information(); });
        c.Strings("PresetupFiles", &T::PresetupFiles, [](T& o, const TStringList& l) {
            TStringList copy = l;
            o.SetPresetupFiles(copy);
        });
        c.Bool("Reboot", &T::Reboot, &T::SetReboot, false);
        c.Bool("RunAutomatic", &T::RunAutomatic, &T::SetRunAutomatic, true);
        c.Bool("UseLoadingProgram", &T::UseLoadingProgram, &T::SetUseLoadingProgram, true);
        c.Event("OnAfterInitialized", &T::OnAfterInitialized);
        c.Event("OnAfterNotifyBadInstall", &T::OnAfterNotifyBadInstall);
        c.Event("OnAfterNotifyGoodInstall", &T::OnAfterNotifyGoodInstall);
        c.Event("OnAfterReadArchiveInfo", &T::OnAfterReadArchiveInfo);
        c.Event("OnBeforeReadArchiveInfo", &T::OnBeforeReadArchiveInfo);
        c.Event("OnBeforeNotifyBadInstall", &T::OnBeforeNotifyBadInstall);
        c.Event("OnBeforeNotifyGoodInstall", &T::OnBeforeNotifyGoodInstall);
        c.Event("OnFailedReboot", &T::OnFailedReboot);
        c.Event("OnBeforeReboot", &T::OnBeforeReboot);
        c.Event("OnBeforeRunFile", &T::OnBeforeRunFile);
        c.Event("OnBeforeShutdown", &T::OnBeforeShutdown);
        c.Event("OnUserAbort", &T::OnUserAbort);
        c.Event("OnBeforeCleanup", &T::OnBeforeCleanup);
    });
    return info;
}

void RegisterEngineClasses() {
    RegisterClass(TInstall::StaticClass());
}
