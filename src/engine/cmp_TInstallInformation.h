// The product block of the installation component: company, product and
// version as the project stores them.
#pragma once
#include "toolkit/classes_Components.h"
#include <string>

class TInstallInformation : public TPersistent {
    QFD_CLASS(TInstallInformation)
public:
    void Assign(const TPersistent& source) override;

    const std::string& CompanyName() const { return FCompanyName; }
    void SetCompanyName(const std::string& v) { FCompanyName = v; }
    // Names the uninstall key and the uninstaller's display name.
    const std::string& ProductName() const { return FProductName; }
    void SetProductName(const std::string& v) { FProductName = v; }
    const std::string& Version() const { return FVersion; }
    void SetVersion(const std::string& v) { FVersion = v; }

private:
    std::string FCompanyName = "My Company";
    std::string FProductName = "My product";
    std::string FVersion = "1.0";
};
