#include "setup/setup_Register.h"
#include "dialogs/dlgcmp_TBaseDlg.h"
#include "engine/cmp_TInstall.h"
#include "objects/cmp_TInstallContainer.h"
#include "objects/cmp_TPathSpecifier.h"
#include "translate/cmp_TTranslator.h"

void RegisterInstallClasses() {
    RegisterPathSpecifierClasses();
    RegisterObjectClasses();
    RegisterTranslateClasses();
    RegisterDialogClasses();
    RegisterEngineClasses();
}
