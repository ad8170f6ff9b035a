// The install file that carries the uninstaller program. Besides being
// installed like any file it registers the product with the Windows list of
// installed programs. Still to come: that registration (DisplayName and
// UninstallString under the uninstall key) and the install step it follows.
#pragma once
#include "objects/cmp_TInstallContainer.h"

class TUninstallEXE : public TCustomInstallFile {
    QFD_CLASS(TUninstallEXE)
public:
    explicit TUninstallEXE(TComponent* AOwner);

    // Not built yet: raises IEUninstallEXE.
    void WriteUninstallEntries(const std::string& Key) override;
};
