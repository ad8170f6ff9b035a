// Registering an installed ActiveX server: a library through its
// DllRegisterServer, a program by starting it with "/REGSERVER"; and the
// OLESelfRegister flag of a file's version block that marks a server.
#include "objects/cmp_TInstallContainer.h"
#include "objects/routines_Log.h"
#include "platform/cmp_TVersion.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallSteps.h"
#include "platform/routines_Strings.h"
#include <cstdio>

namespace {
const char* const kDestBlank = "Cannot compress,copy, or install the following file because it's destination "
                               "directory is blank. File is :%s";

// Runs in the server's folder (a server may look for its files there) and
// goes back afterwards; failures to change folders are not errors.
class TInFolder {
public:
    explicit TInFolder(const std::string& folder) : FOld(GetCurrentDir()) { SetCurrentFolder(folder); }
    ~TInFolder() {
        if (!FOld.empty())
            SetCurrentFolder(FOld);
    }
    TInFolder(const TInFolder&) = delete;
    TInFolder& operator=(const TInFolder&) = delete;

private:
    std::string FOld;
};
} // namespace

bool FileHasOLESelfRegister(const std::string& path) {
    std::vector<uint8_t> block = VersionBlock::Read(path);
    if (block.empty())
        return false;
    Word language = 0, codePage = 0;
    if (!VersionBlock::QueryTranslation(block, language, codePage))
        return false;
    char table[16];
    std::snprintf(table, sizeof table, "%04X%04X", unsigned(language), unsigned(codePage));
    std::string value;
    return VersionBlock::QueryString(block, std::string("\\StringFileInfo\\") + table + "\\OLESelfRegister",
                                     value);
}

bool TCustomInstallFile::HasOLESelfRegister() {
    return FileHasOLESelfRegister(SourcePath());
}

void TCustomInstallFile::RegisterActiveX() {
    if (UpperCase(ExtractFileExt(FFileName)) == ".EXE")
        RegisterExe();
    else
        RegisterDll();
}

void TCustomInstallFile::RegisterDll() {
    const std::string path = DestFilePath();
    if (Trim(ExpandedDestDir() + FDestName).empty() || !FileExists(path))
        throw IECustomInstallFile(kDestBlank, {Name()});
    TServerResult r;
    {
        TInFolder folder(ExpandedDestDir());
        r = RegisterServerLibrary(path);
    }
    switch (r.Step) {
    case TServerStep::ssLoadLibrary:
        LogLine("Register", SystemFailure("LoadLibrary(" + path + ")", r.ErrorCode));
        throw IECustomInstallFile(
            "Could not register the ActiveX component, %s, because the LoadLibrary(%s) "
            "procedure returned a value of 0. The file component is %s. The following value "
            "is the value of the GetLastError function: %d",
            {path, path, Name(), static_cast<int32_t>(r.ErrorCode)});
    case TServerStep::ssFindEntry:
        LogLine("Register", SystemFailure("GetProcAddress(" + path + ", DllRegisterServer)", r.ErrorCode));
        throw IECustomInstallFile(
            "Could not register the ActiveX component, %s, because the DllRegisterServer "
            "function could not be found. The file component is %s. The following value is "
            "the value of the GetLastError function: %d",
            {path, Name(), static_cast<int32_t>(r.ErrorCode)});
    case TServerStep::ssCall:
        LogLine("Register", "DllRegisterServer of " + path + " returned " + IntToStr(r.Result));
        throw IECustomInstallFile(
            "Could not register the ActiveX component, %s, because the DllRegisterServer "
            "function returned a value of %d. The file component is %s",
            {path, r.Result, Name()});
    case TServerStep::ssDone:
        break;
    }
    LogLine("Register", "DllRegisterServer of " + path + " succeeded");
}

void TCustomInstallFile::RegisterExe() {
    const std::string path = DestFilePath();
    if (Trim(ExpandedDestDir() + FDestName).empty() || !FileExists(path))
        throw IECustomInstallFile(kDestBlank, {Name()});
    // Quoted: with a blank in the path another program could start instead.
    const std::string command =
        (path.find(' ') == std::string::npos ? path : "\"" + path + "\"") + " /REGSERVER";
    bool started;
    {
        TInFolder folder(ExpandedDestDir());
        started = StartHiddenProgram(command);
    }
    if (!started) {
        const uint32_t code = LastSystemError();
        LogLine("Register", SystemFailure("CreateProcess(" + command + ")", code));
        throw IECustomInstallFile(
            "Could not register the ActiveX component, %s, because the WinExec(%s,SW_HIDE) "
            "function returned a value < 32. The file component is %s. The following value is "
            "the value of the GetLastError function: %d",
            {path, path, Name(), static_cast<int32_t>(code)});
    }
    LogLine("Register", "started " + command);
}
