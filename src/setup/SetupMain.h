// The main form of the screen-saver setup program. Its stored layout holds
// the installation project.
#pragma once
#include "toolkit/forms_Forms.h"

class TSetupMainForm : public TForm {
    QFD_CLASS(TSetupMainForm)
public:
    using TForm::TForm;
    void FormActivate(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void FormCloseQuery(TObject* Sender, bool& CanClose);
};
