// Test doubles of the engine: an installation component whose record, ending,
// messages and started programs a test can watch; install files and a dialog
// that write what happens to them into one trace; and a fixture that loads a
// form holding the component, started with the command line a test chooses.
#pragma once
#include "engine/cmp_TInstall.h"
#include "objects/cmp_TPathSpecifier.h"
#include "objects/routines_Log.h"
#include "platform/routines_Files.h"
#include "platform/routines_Process.h"
#include "support/IsolatedTest.h"
#include "toolkit/classes_Publish.h"
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// What a run did, in order: events, information codes, file steps.
inline std::vector<std::string>& Trace() {
    static std::vector<std::string> trace;
    return trace;
}

class TTestInstall : public TInstall {
    QFD_CLASS(TTestInstall)
public:
    using TInstall::TInstall;
    static inline std::string ProgramFile;
    static inline std::string LogDir;
    int Installs = 0;
    int Ends = 0;
    std::vector<std::string> Shown;
    std::vector<std::string> Started;
    // Tests must never start the batch that erases the running program.
    void ForgetCleanupBatch() { FRunCleanupBatch = false; }
    void Install() override {
        ++Installs;
        TInstall::Install();
    }

protected:
    std::string LogFolder() const override { return LogDir; }
    std::string SetupProgramFile() const override {
        return ProgramFile.empty() ? TInstall::SetupProgramFile() : ProgramFile;
    }
    void ShowRunError(const Exception& E) override {
        Trace().push_back("show " + E.Message());
        Shown.push_back(E.Message());
    }
    void EndApplication() override {
        Trace().push_back("end");
        ++Ends;
    }
    void StartInstalledProgram(const std::string& Path) override {
        Trace().push_back("start " + Path);
        Started.push_back(Path);
    }
};

// An install file whose steps only write to the trace; it can fail or abort.
class TTraceFile : public TInstallFile {
    QFD_CLASS(TTraceFile)
public:
    using TInstallFile::TInstallFile;
    void InstallHelpers() override {
        Trace().push_back("install " + Name());
        if (Abort)
            throw EAIUserAbort();
        if (Fail)
            throw IECustomInstallFile("%s failed on purpose", {Name()});
        // As an ActiveX file whose registration failed during the run.
        if (RegistrationFailed)
            FailedRegistrationList().Add(this);
        // As a file in use does: it completes after the restart.
        if (WaitForRestart && RunState().AddUnfinished)
            RunState().AddUnfinished(Name(), 0);
        FInstalled = true;
    }
    void ReadInfoFromArchive() override { Trace().push_back("read " + Name()); }
    // It writes nothing: the check before the run has nothing to look at.
    bool PlanInstall(TFileInstallPlan&) override { return false; }
    void WriteUninstallEntries(const std::string&) override {}
    void CompleteAfterRestart() override { Trace().push_back("complete " + Name()); }
    bool Abort = false;
    bool Fail = false;
    bool WaitForRestart = false;
    bool RegistrationFailed = false;
};

// A dialog of the installation component: traces the codes of the run and
// may fail or abort on one of them.
class TTraceDialog : public TInstallObject {
    QFD_CLASS(TTraceDialog)
public:
    using TInstallObject::TInstallObject;
    Integer RegisteredType() override { return rtDialog; }
    void HandleInformationEvent(TObject*, Integer Code, TObject* PO) override {
        switch (Code) {
        case ieBeforeInstall:
        case ieGoodInstall:
        case ieAfterGoodInstall:
        case ieBadInstall:
        case ieAfterBadInstall:
        case ieRemoveStatusMessage:
        case ieReboot:
            Trace().push_back("ie " + std::to_string(Code));
            break;
        case ieStatusMessage:
            Trace().push_back("ie " + std::to_string(Code) + " " +
                              static_cast<TMessageParameter*>(PO)->MessageText);
            break;
        default:
            return;
        }
        if (Answer)
            Answer(Code);
        if (Code == AbortOn)
            throw EAIUserAbort();
        if (Code == FailOn)
            throw IException("%s needs a window, which is not built yet", {Name()});
    }
    Integer AbortOn = 0;
    Integer FailOn = 0;
    // What a person does in the window of a code (the restart page's choice).
    std::function<void(Integer Code)> Answer;
};

class TEngineForm : public TForm {
    QFD_CLASS(TEngineForm)
public:
    using TForm::TForm;
    void FormActivate(TObject*) {
        ++Activations;
        if (FailActivation)
            throw IEInstall("files.inf file not found");
    }
    int Activations = 0;
    bool FailActivation = false;
};

class Engine : public TIsolatedTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Loads a form holding one installation component, started with args;
    // more is layout text placed after the component.
    TTestInstall* Load(std::vector<std::string> args, const std::string& installProps = "",
                       const std::string& more = "");
    void Unload();

    TEngineForm* Form = nullptr;
};
