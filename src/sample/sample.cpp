// Program entry of the sample setup.
#include "sample/SampleMain.h"

int main() {
    return RunApplication([] {
        RegisterSampleProgramClasses();
        Application()->CreateForm<TSampleMainForm>();
    });
}
