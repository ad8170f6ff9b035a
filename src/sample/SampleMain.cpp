#include "sample/SampleMain.h"
#include "engine/cmp_TInstall.h"
#include "objects/routines_Log.h"
#include "setup/setup_Classes.h"
#include "setup/setup_Register.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Dialogs.h"
#include "toolkit/forms_TextQuery.h"

const TClassInfo& TSampleMainForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TSampleMainForm, TForm>("TSampleMainForm", [](auto& c) {
        using F = TSampleMainForm;
        c.template Method<TCloseQueryEvent>("FormCloseQuery", &F::FormCloseQuery);
        c.template Method<TUserAbortEvent>("Install1UserAbort", &F::Install1UserAbort);
        c.template Method<TNotifyEvent>("Install1AfterNotifyGoodInstall", &F::Install1AfterNotifyGoodInstall);
    });
    return info;
}

void RegisterSampleProgramClasses() {
    RegisterToolkitClasses();
    RegisterInstallClasses();
    RegisterSetupClasses();
    RegisterClass(TSampleMainForm::StaticClass());
}

TInstall* TSampleMainForm::Install1() const {
    auto* install = dynamic_cast<TInstall*>(FindComponent("Install1"));
    if (!install)
        throw IEInstall("The setup project has no %s", {std::string("Install1")});
    return install;
}

// The program ends when the run ends it, not by a person closing the backdrop.
void TSampleMainForm::FormCloseQuery(TObject*, bool& CanClose) {
    CanClose = false;
}

void TSampleMainForm::Install1UserAbort(TCustomInstall*, bool& QuitOut) {
    QuitOut = MessageDlg(TranslateText("Do you want to cancel the installation?"), mtConfirmation, mbYesNo) ==
              mrYes;
    LogLine("Sample", QuitOut ? "the person cancelled the installation" : "the person went on installing");
}

void TSampleMainForm::Install1AfterNotifyGoodInstall(TObject*) {
    // Nothing restarts Windows; the log says what the restart page recorded.
    LogLine("Sample", std::string("Reboot = ") + (Install1()->Reboot() ? "True" : "False"));
}

void TSampleMainForm::WndProc(TMessage& msg) {
    if (!AnswerPaintedTexts(msg))
        TForm::WndProc(msg);
}
