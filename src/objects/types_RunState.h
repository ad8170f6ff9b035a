// The few facts of the running installation that install objects and dialogs
// need, without the whole installation component: objects, dialogs and the
// engine include this header instead of each other. The installation
// component keeps it current (when it is loaded and when a run starts); tests
// fill it in themselves and call Reset() between cases. What they must ask of
// the installation component itself, live, goes through TRunInstall, which
// the engine's installation component implements.
//
// It also holds the seams for the calls that go around a test's registry and
// folder redirection (delayed moves at restart, WININIT.INI, child processes)
// or that must be steered (the Windows family). An empty seam makes the real call.
#pragma once
#include "platform/routines_API.h"
#include "platform/types_Base.h"
#include <functional>
#include <string>

class TFileContainer;
class TCustomInstallFileList;

enum TDistributeType : Byte { dtTraditional, dtWeb, dtTraditionalNet };

// The switches of the setup program's command line.
// -q (swQuiet) runs unattended: no window that waits for a person; the result
// goes to the run's log and the program's exit code.
enum TCommandSwitch {
    swBuild,
    swFloppies,
    swDebug,
    swSelfExtracted,
    swAfterReboot,
    swSourcePath,
    swCleanup,
    swQuiet
};

class TPicture;

struct TRunState {
    // The installation component as the root of the object tree; nullptr when
    // the program has none (then nothing is logged for the uninstaller, and
    // nothing is recorded as unfinished business).
    TFileContainer* Install = nullptr;
    // The folder the user ran the setup from.
    std::string SourceDir;
    // The registry path of this setup program's install record below
    // HKEY_LOCAL_MACHINE; empty when there is none.
    std::string InstallRecordKey;
    // The product name of the installation's information: the last part of
    // the uninstall key and the uninstaller's command line.
    std::string ProductName;
    TDistributeType DistributeType = dtTraditional;
    // An installation run is in progress.
    bool Running = false;
    // Switches of the command line: -e (started by the loading program, with
    // its file name), -c (clean up the temporary copy), -s (the loader's folder).
    bool SelfExtracted = false;
    std::string SelfExtractedArg;
    bool Cleanup = false;
    bool SourcePath = false;
    std::string SourcePathArg;
    // Windows must restart to finish the installation (a file was in use).
    bool Reboot = false;
    // The person confirmed Cancel during this run. The archive component
    // forgets its own request when its next extraction starts, so a Cancel
    // handled between two files is kept here.
    bool CancelRequested = false;
    // False while a run collects failed ActiveX registrations in
    // FailedRegistrationList instead of raising them.
    bool RaiseRegistrationErrors = true;
    // Records unfinished business in the install record: kind 0 names an
    // install object that completes its work after the restart, kind 1 a
    // batch file to delete then. Empty when there is no installation component.
    std::function<void(const std::string& Name, int Kind)> AddUnfinished;

    // Back to a program without an installation component; clears
    // FailedRegistrationList as well.
    void Reset();
};

TRunState& RunState();

// --- the installation component ------------------------------------------------

// What install objects and dialogs ask of the installation component itself,
// live (the run state above holds copies made at set times). The engine's
// installation component is the one implementation.
class TRunInstall {
public:
    // The component as the root file container of the project.
    virtual TFileContainer* InstallContainer() = 0;
    virtual bool HasSwitch(TCommandSwitch s) const = 0;
    virtual const std::string& SwitchArg(TCommandSwitch s) const = 0;
    // The folder the user ran the setup from.
    virtual const std::string& SourceDir() const = 0;
    // The picture the dialogs show beside their pages.
    virtual TPicture& DialogThemeBitmap() = 0;
    // Windows must restart to finish; the restart page may set it.
    virtual bool Reboot() const = 0;
    virtual void SetReboot(bool v) = 0;
    // Asked by the windows when the user wants to cancel: True lets him.
    virtual bool QueryUserAbort() = 0;

protected:
    ~TRunInstall() = default;
};

// The program's installation component, from the start of its construction
// to its destruction; nullptr when there is none.
TRunInstall* CurrentRunInstall();
void SetCurrentRunInstall(TRunInstall* install);
// Its root file container; nullptr when there is none.
TFileContainer* CurrentInstallContainer();

// The install files whose ActiveX registration failed in this run.
TCustomInstallFileList& FailedRegistrationList();

// --- seams ---------------------------------------------------------------------

struct TRunSeams {
    // MoveFileEx(From, To, MOVEFILE_DELAY_UNTIL_REBOOT): writes through the
    // real registry, whatever a test redirected.
    std::function<bool(const std::string& From, const std::string& To)> MoveFileAtRestart;
    // A line of WININIT.INI (the Windows folder's), section and key as given.
    std::function<bool(const std::string& Section, const std::string& Key, const std::string& Value)>
        WriteWinInit;
    // Starts a command line hidden without waiting (registry redirection does
    // not reach the child).
    std::function<bool(const std::string& CommandLine)> StartHidden;
    // The platform family (the Windows 95 family takes the WININIT.INI route).
    std::function<TWindowsVersion()> WindowsVersion;
};

// Empty members make the real calls. ResetRunSeams empties them all.
TRunSeams& RunSeams();
void ResetRunSeams();

// The calls through their seams.
bool MoveFileAtRestart(const std::string& From, const std::string& To);
bool WriteWinInit(const std::string& Section, const std::string& Key, const std::string& Value);
bool StartHiddenProgram(const std::string& CommandLine);
TWindowsVersion RunWindowsVersion();

// The distribution type of the run; without an installation component files
// count as possibly fetched over the network (dtTraditionalNet).
inline TDistributeType RunDistributeType() {
    return RunState().Install ? RunState().DistributeType : dtTraditionalNet;
}
