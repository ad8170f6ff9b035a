// The registry records of an installed file: the help-file entry, the
// shared-library count, unfinished business for a file replaced at the
// restart, the ActiveX registration, and the uninstall log.
#include "objects/cmp_TInstallContainer.h"
#include "objects/routines_Log.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_Registry.h"
#include "platform/routines_Strings.h"

namespace {
const char* const kHelpKey = "\\SOFTWARE\\Microsoft\\Windows\\Help";
const char* const kSharedDLLsKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
// Attempts at the "Files" subkeys of the uninstall log ("Files", "Files1", ...).
constexpr int kLogAttempts = 10;

void WriteLogged(const std::string& key, const std::string& name, const std::string& value) {
    try {
        WriteRegString(rkLocalMachine, key, name, value);
    } catch (const Exception& e) {
        LogLine("Registry", "could not write HKLM" + key + " " + name + " = " + value + ": " + e.Message());
        throw;
    }
    LogLine("Registry", "wrote HKLM" + key + " " + name + " = " + value);
}

// The next number of an "Entries" count; false when the text is no count.
bool NextEntry(const std::string& entries, int32_t& next) {
    int32_t n = 0;
    if (!TryStrToInt(Trim(entries), n) || n < 0 || n == INT32_MAX)
        return false;
    next = n + 1;
    return true;
}
} // namespace

void TCustomInstallFile::RegisterAfterInstall() {
    const std::string finalPath = FinalDestPath();
    if (FRegisterAsHelp)
        WriteLogged(kHelpKey, UpperCase(ExtractFileName(finalPath)), ExpandedDestDir());
    if (FUpdateDLLCounter && !IncrementSharedDLLCount())
        throw IECustomInstallFile("Cannot update the DLL count for the following file :%s:", {FFileName});
    if (FReplacedAtRestart && RunState().Install) {
        // Registered by the run after the restart, when the file is in place.
        if (RunState().AddUnfinished)
            RunState().AddUnfinished(Name(), 0);
        LogLine("Restart", Name() + " completes its registration after the restart");
        return;
    }
    if (!FActiveX)
        return;
    try {
        RegisterActiveX();
    } catch (const EAbort&) {
        throw;
    } catch (const EAI&) {
        throw;
    } catch (const Exception& e) {
        LogLine("Register", "failed: " + e.Message());
        if (RunState().RaiseRegistrationErrors)
            throw;
        if (FailedRegistrationList().IndexOf(this) < 0)
            FailedRegistrationList().Add(this);
    }
}

void TCustomInstallFile::CompleteAfterRestart() {
    if (FActiveX)
        RegisterActiveX();
}

bool TCustomInstallFile::IncrementSharedDLLCount() {
    TRegKey key;
    if (!key.Create(RegLocalMachine, kSharedDLLsKey)) {
        LogLine("Registry",
                SystemFailure("RegCreateKeyEx(HKLM" + std::string(kSharedDLLsKey) + ")", key.LastError()));
        throw IECustomInstallFile("Could not open the key SharedDLLs key in the registry. File component %s. "
                                  "GetLastError return: %d",
                                  {Name(), static_cast<int32_t>(key.LastError())});
    }
    const std::string path = FinalDestPath();
    if (Utf8Length(path) > 400)
        throw IECustomInstallFile("The path %s is longer than 400 characters, so its use by several programs "
                                  "cannot be counted",
                                  {path});
    const std::string shortPath = GetShortPath(path);
    std::string name = shortPath;
    std::optional<int32_t> count = key.ReadInteger(shortPath);
    if (!count) {
        name = path;
        count = key.ReadInteger(path);
        // A file that was there before without a count belongs to another
        // program as well: count it, or our uninstall would take it away.
        if (!count)
            count = FDestExisted ? 1 : 0;
    }
    const int32_t next = *count < INT32_MAX ? *count + 1 : *count;
    if (!key.WriteInteger(name, next)) {
        LogLine("Registry", SystemFailure("RegSetValueEx(SharedDLLs " + name + ")", key.LastError()));
        return false;
    }
    LogLine("Registry", "SharedDLLs " + name + " = " + IntToStr(next));
    return true;
}

void TCustomInstallFile::WriteUninstallEntries(const std::string& Key) {
    const std::string path = FinalDestPath();
    if (FActiveX) {
        const std::string sub = Key + "\\ActiveX";
        const std::string entries = ReadRegString(rkLocalMachine, sub, "Entries", "0");
        int32_t n = 0;
        if (!NextEntry(entries, n))
            throw IECustomInstallFile(
                "The uninstall log HKLM%s counts its entries as \"%s\", which is not a count",
                {sub, entries});
        const bool program = UpperCase(ExtractFileExt(FFileName)) == ".EXE";
        WriteLogged(sub, "File" + IntToStr(n), path + ";" + (program ? "1" : "0"));
        WriteLogged(sub, "Entries", IntToStr(n));
        return;
    }
    std::string failure;
    std::exception_ptr lastError;
    for (int attempt = 0; attempt < kLogAttempts; ++attempt) {
        const std::string sub = Key + "\\Files" + (attempt ? IntToStr(attempt) : std::string());
        const std::string entries = ReadRegString(rkLocalMachine, sub, "Entries", "0");
        int32_t n = 0;
        if (!NextEntry(entries, n)) {
            failure = "the \"Entries\" value \"" + entries + "\" of HKLM" + sub;
            LogLine("Registry", failure + " is not a count; trying the next log key");
            continue;
        }
        try {
            WriteLogged(sub, "File" + IntToStr(n), path);
            WriteLogged(sub, "Entries", IntToStr(n));
            return;
        } catch (const EIRCannotWriteValue&) {
            lastError = std::current_exception();
            // The value without its count would only mislead an uninstaller.
            TRegKey k;
            if (k.Open(RegLocalMachine, sub))
                k.DeleteValue("File" + IntToStr(n));
        }
    }
    if (lastError)
        std::rethrow_exception(lastError);
    throw IECustomInstallFile("%s could not be logged for the uninstaller: %s is not a count",
                              {Name(), failure});
}
