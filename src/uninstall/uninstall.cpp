// Program entry of uninstall.exe: "uninstall.exe [-q] <product>", the
// product being the name of its key in the list of installed programs.
#include "platform/routines_Process.h"
#include "platform/routines_Removal.h"
#include "uninstall/routines_Uninstall.h"

int main() {
    RestrictLibrarySearchToSystem();
    TUninstallUI ui;
    ui.Ask = AskYesNo;
    ui.Show = ShowMessageText;
    ui.Program = ProgramPath();
    return RunUninstaller(ParseUninstallCommandLine(RawCommandLine()), ui);
}
