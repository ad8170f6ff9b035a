#include "setup/setup_Classes.h"
#include "setup/cmp_Rotate3DLabel.h"
#include "setup/cmp_TBackDrop.h"

void RegisterSetupClasses() {
    RegisterClass(TBackdrop::StaticClass());
    RegisterClass(TRotate3DLabel::StaticClass());
    RegisterClass(TLabelStyle::StaticClass());
}
