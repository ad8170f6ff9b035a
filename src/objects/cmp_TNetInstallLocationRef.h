// The network install location as the object model refers to it: install
// objects and the installation component name one in NetLocation. The
// locations themselves (FTP and HTTP downloads, login information) are not
// built yet; this class only lets the reference exist and be stored.
#pragma once
#include "toolkit/classes_Components.h"

class TCustomNetInstallLocation : public TComponent {
    QFD_CLASS(TCustomNetInstallLocation)
protected:
    explicit TCustomNetInstallLocation(TComponent* AOwner) : TComponent(AOwner) {}
};
