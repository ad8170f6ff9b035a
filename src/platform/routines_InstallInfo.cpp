// Registry routines and folder lookups of the install engine.
#include "routines_InstallInfo.h"
#include "exceptions_Quenfold.h"
#include "routines_API.h"
#include "routines_Files.h"

namespace {

const char* const ShellFoldersKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const CurrentVersionKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char* const RunOnceKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

const TRegHandle RootHandles[] = {RegClassesRoot, RegCurrentConfig, RegCurrentUser,
                                  RegDynData,     RegLocalMachine,  RegUsers};

// An empty value is treated as missing: an empty folder would send files to
// whatever the current folder happens to be.
std::string FolderOr(Byte root, const char* key, const char* name, const std::string& fallback) {
    std::string dir = ReadRegString(root, key, name, std::string());
    return RemoveBackslash(dir.empty() ? fallback : dir);
}

std::string ShellFolder(const char* name, const char* oldName) {
    std::string dir = ReadRegString(rkCurrentUser, ShellFoldersKey, name, std::string());
    return RemoveBackslash(dir.empty() ? GetWindowsDir() + "\\" + oldName : dir);
}

// "C:" of "C:\dir", "\\server\share" of "\\server\share\dir".
std::string DriveOf(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':')
        return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        size_t server = path.find('\\', 2);
        if (server == std::string::npos)
            return path;
        size_t share = path.find('\\', server + 1);
        return share == std::string::npos ? path : path.substr(0, share);
    }
    return std::string();
}

} // namespace

TRegHandle RootKeyHandle(Byte rootKey) {
    Byte k = rootKey & 0x7F;
    return k <= rkUsers ? RootHandles[k] : RegCurrentUser;
}

TRootKey RootKeyOf(TRegHandle handle, TRootKey defaultRoot) {
    for (Byte k = rkClassesRoot; k <= rkUsers; ++k)
        if (RootHandles[k] == handle)
            return static_cast<TRootKey>(k);
    return defaultRoot;
}

void WriteRegString(Byte root, const std::string& key, const std::string& name, const std::string& value) {
    TRegKey k;
    if (!k.Create(RootKeyHandle(root), key) || !k.WriteString(name, value))
        throw EIRCannotWriteValue(
            Format("Cannot install into registry. Key: %s Ident: %s Value %s", {key, name, value}));
}

std::string ReadRegString(Byte root, const std::string& key, const std::string& name,
                          const std::string& def) {
    TRegKey k;
    if (!k.Open(RootKeyHandle(root), key, TRegAccess::raRead))
        return def;
    return k.ReadString(name).value_or(def);
}

Integer ReadRegInteger(Byte root, const std::string& key, const std::string& name, Integer def) {
    TRegKey k;
    if (!k.Open(RootKeyHandle(root), key, TRegAccess::raRead))
        return def;
    return k.ReadInteger(name).value_or(def);
}

void DeleteRegKeyTree(Byte root, const std::string& key) {
    DeleteKeyTree(RootKeyHandle(root), key);
}

bool AddRunOnceEntry(const std::string& name, const std::string& commandLine, bool unique) {
    TRegKey k;
    if (!k.Create(RegLocalMachine, RunOnceKey))
        return false;
    std::string entry = name;
    // Ends: the key holds finitely many values.
    for (int n = 1; unique && k.ValueExists(entry); ++n)
        entry = name + std::to_string(n);
    if (!k.WriteString(entry, commandLine))
        return false;
    k.Flush();
    return true;
}

std::string GetStartMenuDir() {
    return ShellFolder("Start Menu", "Startmen");
}

std::string GetProgramsDir() {
    std::string dir = ReadRegString(rkCurrentUser, ShellFoldersKey, "Programs", std::string());
    return RemoveBackslash(dir.empty() ? GetStartMenuDir() + "\\Programs" : dir);
}

std::string GetDesktopDir() {
    return ShellFolder("Desktop", "Desktop");
}

std::string GetStartupDir() {
    return ShellFolder("Startup", "Startup");
}

// The registry is read in the machine's own view (see routines_Registry.cpp),
// where a 32-bit program's folders are the "(x86)" values.
std::string GetProgramFilesDir() {
    std::string dir = FolderOr(rkLocalMachine, CurrentVersionKey, "ProgramFilesDir",
                               DriveOf(GetCurrentDir()) + "\\Program Files");
    return RunsUnderWow64() ? FolderOr(rkLocalMachine, CurrentVersionKey, "ProgramFilesDir (x86)", dir) : dir;
}

std::string GetCommonFilesDir() {
    std::string dir = FolderOr(rkLocalMachine, CurrentVersionKey, "CommonFilesDir",
                               DriveOf(GetCurrentDir()) + "\\Program Files\\Common Files");
    return RunsUnderWow64() ? FolderOr(rkLocalMachine, CurrentVersionKey, "CommonFilesDir (x86)", dir) : dir;
}
