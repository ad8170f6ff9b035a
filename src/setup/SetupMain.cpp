#include "setup/SetupMain.h"
#include "engine/cmp_TInstall.h"
#include "objects/cmp_TInstallContainer.h"
#include "objects/cmp_TUninstallEXE.h"
#include "objects/routines_Log.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "platform/routines_Process.h"
#include "platform/routines_ScreenSaver.h"
#include "setup/cmp_Rotate3DLabel.h"
#include "setup/setup_Classes.h"
#include "setup/setup_Register.h"
#include "toolkit/classes_Publish.h"

const TClassInfo& TSetupMainForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TSetupMainForm, TForm>("TSetupMainForm", [](auto& c) {
        c.template Method<TNotifyEvent>("FormActivate", &TSetupMainForm::FormActivate);
        c.template Method<TCloseEvent>("FormClose", &TSetupMainForm::FormClose);
        c.template Method<TCloseQueryEvent>("FormCloseQuery", &TSetupMainForm::FormCloseQuery);
        c.template Method<TNotifyEvent>("Install1AfterNotifyGoodInstall",
                                        &TSetupMainForm::Install1AfterNotifyGoodInstall);
    });
    return info;
}

void RegisterSetupProgramClasses() {
    RegisterToolkitClasses();
    RegisterInstallClasses();
    RegisterSetupClasses();
}

template <class T> T* TSetupMainForm::Part(const char* name) const {
    T* part = dynamic_cast<T*>(FindComponent(name));
    if (!part)
        throw IEInstall("The setup project has no %s", {name});
    return part;
}

TInstall* TSetupMainForm::Install1() const {
    return Part<TInstall>("Install1");
}
TMemo* TSetupMainForm::FileContentsRead() const {
    return Part<TMemo>("FileContentsRead");
}

// Names are UTF-8: the limits count characters, and a character is never cut.
std::string TSetupMainForm::MakeShortName(const std::string& Name) {
    std::string result;
    int taken = 0;
    for (size_t i = 0; i < Name.size();) {
        size_t end = i + 1;
        while (end < Name.size() && IsUtf8Continuation(Name[end]))
            ++end;
        const bool blank = static_cast<unsigned char>(Name[i]) <= 32;
        if (!blank) {
            result.append(Name, i, end - i);
            if (++taken == 6) {
                result += "~1";
                break;
            }
        }
        i = end;
    }
    return result;
}

std::string TSetupMainForm::DisplaySettingsParameters(const std::string& saverShortName) {
    return Utf8Left("desk.cpl,InstallScreenSaver " + saverShortName, 40);
}

namespace {
// Line n (0-based) of the list, or empty text when the file has no such line.
std::string LineOf(const TStringList& lines, int n) {
    return n < lines.Count() ? lines[n] : std::string();
}

void SetFromPath(TCustomInstallFile& file, const std::string& path) {
    file.SetFileName(ExtractFileName(path));
    file.SetDestName(ExtractFileName(path));
    file.SetIncludeFromDir(ExtractFilePath(path));
}
} // namespace

// A distribution carries its own files.inf beside the setup program (in
// setup.1): run from it, that one names the product, whatever the system
// folder holds (an author's machine has one of its own). Started any other
// way, the system folder's comes first, and the one beside the program
// stands in when the system folder has none.
std::string TSetupMainForm::FilesInfPath() const {
    const std::string system = GetSystemDir() + "\\files.inf";
    const std::string beside = AddBackslash(ExtractFilePath(ProgramPath())) + "files.inf";
    if (Install1()->HasSwitch(swCleanup) && FileExists(beside))
        return beside;
    if (FileExists(system))
        return system;
    return FileExists(beside) ? beside : system;
}

void TSetupMainForm::ReadFilesInf() {
    TMemo* memo = FileContentsRead();
    memo->Clear();
    const std::string path = FilesInfPath();
    memo->LoadLinesFromFile(path);
    // It travels with the setup program when the distribution is built.
    Install1()->AddPresetupFile(path, true);
    TStringList lines = memo->Lines();
    if (lines.Count() < 2)
        throw IEInstall("There is no files to install");
    SetFromPath(*Part<TInstallFile>("InstallFile"), LineOf(lines, 0));
    SetFromPath(*Part<TInstallFile>("InstallFile2"), LineOf(lines, 1));
    SetFromPath(*Part<TUninstallEXE>("UninstallEXE"), LineOf(lines, 2));
    Install1()->SetReboot(false);
}

void TSetupMainForm::FormActivate(TObject*) {
    // Once read, files.inf is not read again: the form is activated again
    // whenever a window of the run closes, and reading it then would clear
    // the Reboot that an install file in use has set meanwhile, or fail the
    // run when the file has gone.
    if (FFilesInfRead)
        return;
    if (!FileExists(FilesInfPath()))
        throw IEInstall("files.inf file not found");
    ReadFilesInf();
    std::string file = ExtractFileName(FileContentsRead()->Lines()[0]);
    const size_t chars = Utf8Length(file);
    std::string name = chars > 4 ? Utf8Left(file, chars - 4) : std::string();
    Part<TRotate3DLabel>("ProductLabel")->SetCaption("  " + name);
    Install1()->Information().SetProductName(name);
    FSaverShortName = Utf8Left(TrimRight(MakeShortName(name)) + ".scr", 12);
    FFilesInfRead = true;
}

void TSetupMainForm::FormClose(TObject*, TCloseAction&) {}

// The user cannot close the main form: the installation ends the program.
void TSetupMainForm::FormCloseQuery(TObject*, bool& CanClose) {
    CanClose = false;
}

// Under the product's uninstall key, so that its uninstall can put the
// earlier screen saver back. A failure costs only that: the new saver is
// made current all the same.
void TSetupMainForm::RecordEarlierSaver(const std::string& saver, const std::string& systemSaver) {
    try {
        const std::string key = UninstallKey();
        const TSaverSetting before = CurrentSaverSetting();
        auto text = [](const std::optional<std::string>& v) {
            return v ? "\"" + *v + "\"" : std::string("none");
        };
        if (RecordSaverChange(key, {saver, systemSaver}))
            LogLine("Saver", "current before: WIN.INI " + text(before.WinIni) + ", SYSTEM.INI " +
                                 text(before.SystemIni) + "; recorded under HKLM" + key + "\\ScreenSaver");
        else
            LogLine("Saver", "could not record the earlier screen saver under HKLM" + key);
    } catch (const Exception& e) {
        LogLine("Saver", "could not record the earlier screen saver: " + e.Message());
    }
}

void TSetupMainForm::Install1AfterNotifyGoodInstall(TObject*) {
    TStringList lines = FileContentsRead()->Lines();
    if (lines.Count() <= 1)
        return;
    const std::string saver = TrimRight(ExtractFileName(lines[0]));
    const std::string systemSaver = GetSystemDir() + "\\" + FSaverShortName;
    RecordEarlierSaver(saver, systemSaver);
    WriteProfileText("boot", "SCRNSAVE.EXE", saver);
    WritePrivateProfileText("boot", "SCRNSAVE.EXE", systemSaver, "SYSTEM.INI");
    SetScreenSaveActive(true);
    LogLine("Saver", "made " + FSaverShortName + " the current screen saver");
    // An administrator's unattended run opens no window on the user's screen:
    // the saver is current, the display settings stay closed.
    if (Install1()->Quiet()) {
        LogLine("Saver", "display settings not opened, unattended");
        return;
    }
    ShellExecuteText(
        {Application()->Handle(), "open", "rundll32.exe", DisplaySettingsParameters(FSaverShortName), "", 5});
}
