#include "engine/cmp_TInstallInformation.h"
#include "toolkit/classes_Publish.h"

const TClassInfo& TInstallInformation::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TInstallInformation, TPersistent>("TInstallInformation", [](auto& c) {
            c.Str("CompanyName", &TInstallInformation::CompanyName, &TInstallInformation::SetCompanyName,
                  "My Company");
            c.Str("ProductName", &TInstallInformation::ProductName, &TInstallInformation::SetProductName,
                  "My product");
            c.Str("Version", &TInstallInformation::Version, &TInstallInformation::SetVersion, "1.0");
        });
    return info;
}

void TInstallInformation::Assign(const TPersistent& source) {
    const auto* s = dynamic_cast<const TInstallInformation*>(&source);
    if (!s)
        return TPersistent::Assign(source); // raises: not a kind this one takes
    *this = *s;
}
