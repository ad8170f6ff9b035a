// The main form of the sample setup. Its stored layout is a whole
// installation project of the framework: a welcome page and the file group
// selection page before the installation, the copy-progress and status
// windows while it runs, the restart page and the completion pages after it,
// in English, German and Russian. The form itself only asks before a cancel
// and writes the restart choice into the run's log.
#pragma once
#include "toolkit/forms_Forms.h"

class TCustomInstall;
class TInstall;

// Every class the sample's stored project may create.
void RegisterSampleProgramClasses();

class TSampleMainForm : public TForm {
    QFD_CLASS(TSampleMainForm)
public:
    using TForm::TForm;

    void FormCloseQuery(TObject* Sender, bool& CanClose);
    // Cancel in a page or in the copy-progress window: the person confirms.
    void Install1UserAbort(TCustomInstall* Install, bool& QuitOut);
    void Install1AfterNotifyGoodInstall(TObject* Sender);

    // Answers a window driver's question for the texts of labels.
    void WndProc(TMessage& msg) override;

    TInstall* Install1() const;
};
