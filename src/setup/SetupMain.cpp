#include "setup/SetupMain.h"
#include "toolkit/classes_Publish.h"

const TClassInfo& TSetupMainForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TSetupMainForm, TForm>("TSetupMainForm", [](auto& c) {
        c.template Method<TNotifyEvent>("FormActivate", &TSetupMainForm::FormActivate);
        c.template Method<TCloseEvent>("FormClose", &TSetupMainForm::FormClose);
        c.template Method<TCloseQueryEvent>("FormCloseQuery", &TSetupMainForm::FormCloseQuery);
    });
    return info;
}

void TSetupMainForm::FormActivate(TObject*) {
    // The installation project is not built into this program yet.
    auto* memo = dynamic_cast<TMemo*>(FindComponent("FileContentsRead"));
    if (memo)
        memo->SetLines(
            TStringList{"This setup program cannot install yet: only its main form exists so far."});
}

void TSetupMainForm::FormClose(TObject*, TCloseAction&) {}

void TSetupMainForm::FormCloseQuery(TObject*, bool& CanClose) {
    CanClose = true;
}
