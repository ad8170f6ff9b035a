#include "objects/cmp_TUninstallEXE.h"
#include "objects/routines_Log.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_Strings.h"
#include "toolkit/classes_Publish.h"

TUninstallEXE::TUninstallEXE(TComponent* AOwner) : TCustomInstallFile(AOwner) {
    // The uninstaller normally travels with the network files.
    FNet = true;
}

std::string UninstallCommandLine(const std::string& program, const std::string& productName) {
    // Unquoted, a blank in the path would let Windows start C:\Program.exe.
    const std::string quoted = program.find(' ') == std::string::npos ? program : "\"" + program + "\"";
    // The name quoted too: the uninstaller must read back the key name
    // exactly, with blanks at its ends and a leading "-q " as part of it.
    return quoted + " \"" + productName + "\"";
}

void TUninstallEXE::WriteUninstallEntries(const std::string& Key) {
    if (!RunState().Install)
        throw IEUninstallEXE(
            "%s could not write information about the uninstall to the registry because there "
            "was no TInstall component",
            {Name()});
    const std::string product = RunState().ProductName;
    // A key without the product's own part is the system's list itself.
    if (Trim(product).empty() || Trim(RemoveBackslash(Key)).empty() || Key.back() == '\\')
        throw IEUninstallEXE(
            "%s cannot enter the product in the list of installed programs because the product "
            "has no name",
            {Name()});
    const std::string program = FinalDestPath();
    const std::string command = UninstallCommandLine(program, product);
    for (const auto& [name, value] : {std::pair<std::string, std::string>{"DisplayName", product},
                                      std::pair<std::string, std::string>{"UninstallString", command}}) {
        try {
            WriteRegString(rkLocalMachine, Key, name, value);
        } catch (const Exception& e) {
            LogLine("Registry", "could not write HKLM" + Key + " " + name + ": " + e.Message());
            throw;
        }
        LogLine("Registry", "wrote HKLM" + Key + " " + name + " = " + value);
    }
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
