// Program entry of the screen-saver setup.
#include "setup/SetupMain.h"

int main() {
    return RunApplication([] {
        RegisterSetupProgramClasses();
        Application()->CreateForm<TSetupMainForm>();
    });
}
