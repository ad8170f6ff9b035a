#include "objects/types_RunState.h"
#include "objects/cmp_TInstallContainer.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallSteps.h"
#include "platform/routines_Process.h"

TRunState& RunState() {
    static TRunState state;
    return state;
}

namespace {
TRunInstall*& TheRunInstall() {
    static TRunInstall* install = nullptr;
    return install;
}
} // namespace

TRunInstall* CurrentRunInstall() {
    return TheRunInstall();
}

void SetCurrentRunInstall(TRunInstall* install) {
    TheRunInstall() = install;
}

TFileContainer* CurrentInstallContainer() {
    TRunInstall* install = TheRunInstall();
    return install ? install->InstallContainer() : nullptr;
}

void TRunState::Reset() {
    *this = TRunState();
    FailedRegistrationList().Clear();
}

TRunSeams& RunSeams() {
    static TRunSeams seams;
    return seams;
}

void ResetRunSeams() {
    RunSeams() = TRunSeams();
}

bool MoveFileAtRestart(const std::string& From, const std::string& To) {
    if (RunSeams().MoveFileAtRestart)
        return RunSeams().MoveFileAtRestart(From, To);
    uint32_t code = MoveFileDelayed(From, To);
    SetLastSystemError(code);
    return code == 0;
}

bool WriteWinInit(const std::string& Section, const std::string& Key, const std::string& Value) {
    if (RunSeams().WriteWinInit)
        return RunSeams().WriteWinInit(Section, Key, Value);
    return WritePrivateProfileText(Section, Key, Value, AddBackslash(GetWindowsDir()) + "WININIT.INI");
}

bool StartHiddenProgram(const std::string& CommandLine) {
    if (RunSeams().StartHidden)
        return RunSeams().StartHidden(CommandLine);
    return StartHidden(CommandLine);
}

TWindowsVersion RunWindowsVersion() {
    if (RunSeams().WindowsVersion)
        return RunSeams().WindowsVersion();
    return WindowsVersion();
}
