// The install file that carries the uninstaller program. Besides being
// installed like any file it registers the product with the Windows list of
// installed programs ("DisplayName" and "UninstallString" under the product's
// uninstall key) instead of logging itself under "Files".
#pragma once
#include "objects/cmp_TInstallContainer.h"

class TUninstallEXE : public TCustomInstallFile {
    QFD_CLASS(TUninstallEXE)
public:
    explicit TUninstallEXE(TComponent* AOwner);

    // Refuses a key without the product's name before anything is written.
    void WriteUninstallEntries(const std::string& Key) override;
};

// The "UninstallString": the program, quoted when its path holds a blank,
// then the product name in quotes.
std::string UninstallCommandLine(const std::string& program, const std::string& productName);
