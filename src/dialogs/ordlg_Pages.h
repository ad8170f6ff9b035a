// The pages that frame an installation: welcome, good and failed
// installation, and the restart page that records whether the person wants
// Windows restarted.
#pragma once
#include "dialogs/ordlg_BaseForms.h"

class TTranslateBitBtn;
class TRadioGroup;

// Buttons every page has: Back, Next and (on the closing pages) Finish.
class TFramePage : public TBaseInstallForm {
    QFD_CLASS(TFramePage)
public:
    using TBaseInstallForm::TBaseInstallForm;
    TTranslateBitBtn* BackBtn() const;
    TTranslateBitBtn* ProceedBtn() const;
    TTranslateBitBtn* FinishBtn() const;

protected:
    // Back unless first, Next unless last, Finish instead of Next on the last.
    void UpdateClosingButtons(bool focusFinish);
    void FocusIfShowing(TWinControl* control);
};

class TWelcomeForm : public TFramePage {
    QFD_CLASS(TWelcomeForm)
public:
    explicit TWelcomeForm(TComponent* AOwner);
    void UpdateControls() override;
};

class TGoodInstallForm : public TFramePage {
    QFD_CLASS(TGoodInstallForm)
public:
    explicit TGoodInstallForm(TComponent* AOwner);
    void UpdateControls() override { UpdateClosingButtons(true); }
};

class TBadInstallForm : public TFramePage {
    QFD_CLASS(TBadInstallForm)
public:
    explicit TBadInstallForm(TComponent* AOwner);
    void UpdateControls() override { UpdateClosingButtons(true); }
};

class TRebootForm : public TFramePage {
    QFD_CLASS(TRebootForm)
public:
    explicit TRebootForm(TComponent* AOwner);
    void UpdateControls() override;
    void RGClick(TObject*);
    TRadioGroup* RG() const;

private:
    bool FInitializing = false;
};

// What a completion page's dialog component sets on its page: no Back, and
// Next and Finish end the page with OK, so that either closes it when it
// runs alone; the theme picture.
void PrepareClosingPage(TCustomBaseInstallDlg& dialog);
