#include "objects/cmp_TUninstallEXE.h"
#include "toolkit/classes_Publish.h"

TUninstallEXE::TUninstallEXE(TComponent* AOwner) : TCustomInstallFile(AOwner) {
    // The uninstaller normally travels with the network files.
    FNet = true;
}

void TUninstallEXE::WriteUninstallEntries(const std::string&) {
    throw IEUninstallEXE("%s is not built into this setup program yet",
                         {"Registering the uninstaller with the list of installed programs"});
}

const TClassInfo& TUninstallEXE::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TUninstallEXE, TCustomInstallFile>("TUninstallEXE", [](auto& c) {
            using T = TUninstallEXE;
            c.Bool("Net", &T::Net, &T::SetNet, true);
            c.Enum("State", {"ifsNone", "ifsCompress", "ifsInstall", "ifsCopying"}, &T::State, &T::SetState,
                   ifsNone);
        });
    return info;
}
