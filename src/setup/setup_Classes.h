// The setup program's own visual components, for stored layouts.
#pragma once

// Registers TBackdrop, TRotate3DLabel and TLabelStyle.
void RegisterSetupClasses();
