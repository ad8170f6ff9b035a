#include "objects/cmp_TNetInstallLocationRef.h"
#include "toolkit/classes_Publish.h"

const TClassInfo& TCustomNetInstallLocation::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TCustomNetInstallLocation, TComponent>("TCustomNetInstallLocation", [](auto&) {});
    return info;
}
