// The registry records of an installed file: the help-file entry, the
// shared-library count, unfinished business for a file replaced at the
// restart, the ActiveX registration, and the uninstall log.
#include "objects/cmp_TInstallContainer.h"
#include "objects/constants_UninstallLog.h"
#include "objects/routines_Log.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_Registry.h"
#include "platform/routines_Strings.h"
#include <algorithm>

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

// Appends one "File<n>" to a log key that is not retried elsewhere.
void AppendEntry(const std::string& sub, const std::string& value) {
    const std::string entries = ReadRegString(rkLocalMachine, sub, "Entries", "0");
    int32_t n = 0;
    if (!NextEntry(entries, n))
        throw IECustomInstallFile(
            "The uninstall log HKLM%s counts its entries as \"%s\", which is not a count", {sub, entries});
    WriteLogged(sub, "File" + IntToStr(n), value);
    WriteLogged(sub, "Entries", IntToStr(n));
}

// How the product's uninstall log below key names path already: as its own
// file, only as a file that was there before it, or not at all. Every
// "File<n>" counts, whatever "Entries" says, and case does not matter.
enum class TLogged { lgNone, lgExisted, lgOwn };

TLogged LoggedAs(const std::string& key, const std::string& path) {
    TRegKey product;
    if (!product.Open(RegLocalMachine, key, TRegAccess::raRead))
        return TLogged::lgNone;
    TLogged found = TLogged::lgNone;
    for (const std::string& sub : product.SubKeyNames()) {
        int number = 0;
        const UninstallLog::TKind kind = UninstallLog::KindOf(sub, number);
        TRegKey k;
        if (kind == UninstallLog::TKind::lkNone || !k.Open(product.Handle(), sub, TRegAccess::raRead))
            continue;
        for (const std::string& name : k.ValueNames()) {
            if (name.size() < 5 || !SameText(name.substr(0, 4), "File"))
                continue;
            std::string logged = k.ReadString(name).value_or(std::string());
            if (UninstallLog::IsServerKind(kind))
                logged = logged.substr(0, std::min(logged.size(), logged.rfind(';')));
            if (!SameText(logged, path))
                continue;
            if (!UninstallLog::IsExistedKind(kind))
                return TLogged::lgOwn;
            found = TLogged::lgExisted;
        }
    }
    return found;
}

TLogged LoggedByThisProduct(const std::string& path) {
    if (!RunState().Install || Trim(RunState().ProductName).empty())
        return TLogged::lgNone;
    return LoggedAs(UninstallKey(), path);
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
    }
    // One count per product, as the log names each file once: a reinstall
    // adds none, or the uninstall would leave the file to nobody.
    const TLogged logged = LoggedByThisProduct(path);
    if (count && logged != TLogged::lgNone) {
        LogLine("Registry", "SharedDLLs " + name + " = " + IntToStr(*count) + " counts this product already");
        return true;
    }
    // A file that was there before without a count belongs to another
    // program as well: count it, or our uninstall would take it away.
    if (!count)
        count = FDestExisted && logged != TLogged::lgOwn ? 1 : 0;
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
    const TLogged logged = LoggedAs(Key, path);
    // There before this step and not written by an earlier run of this
    // product: somebody else's file, which the uninstall must leave alone.
    const bool existed = FDestExisted && logged != TLogged::lgOwn;
    if (logged == TLogged::lgOwn || (existed && logged == TLogged::lgExisted)) {
        LogLine("Registry", path + " is in the uninstall log already");
        return;
    }
    // A kept file was not written; only its shared count makes it this product's concern.
    if (!FWillReplace && !FUpdateDLLCounter) {
        LogLine("Registry", path + " was kept, so it is not logged for the uninstaller");
        return;
    }
    const std::string value =
        FActiveX ? path + (UpperCase(ExtractFileExt(FFileName)) == ".EXE" ? ";1" : ";0") : path;
    if (existed || FActiveX) {
        AppendEntry(Key + "\\" +
                        (existed ? (FActiveX ? UninstallLog::ExistedActiveX : UninstallLog::Existed)
                                 : UninstallLog::ActiveX),
                    value);
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
