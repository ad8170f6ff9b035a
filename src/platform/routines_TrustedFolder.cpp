#include "routines_TrustedFolder.h"
#include "exceptions_Quenfold.h"
#include "routines_Files.h"
#include "routines_Format.h"

std::string TrustedFolderSddl(const std::string& userSid) {
    return "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;" + userSid + ")";
}

std::string MakeTrustedTempFolder(const std::string& prefix) {
    const std::string temp = TempDirectory();
    uint32_t error = 0;
    // A name that is taken (by chance, or planted) is never used: another one is drawn.
    for (int attempt = 0; attempt < 10 && !temp.empty(); ++attempt) {
        const std::string folder = temp + UnguessableName(prefix);
        if (CreateTrustedFolder(folder))
            return folder;
        error = LastSystemError();
        if (!DirectoryExists(temp))
            break;
    }
    throw EInOutError(
        Format("Cannot create a folder in the temporary folder %s. %s", {temp, SystemErrorText(error)}));
}

namespace {

struct TScratchFolder {
    std::string Path;
    ~TScratchFolder() { RemoveTrustedTempFolder(); }
};

TScratchFolder& Scratch() {
    static TScratchFolder scratch;
    return scratch;
}

} // namespace

std::string TrustedTempFolder() {
    TScratchFolder& s = Scratch();
    if (s.Path.empty() || !DirectoryExists(s.Path))
        s.Path = MakeTrustedTempFolder("qfdtmp");
    return s.Path;
}

void RemoveTrustedTempFolder() {
    TScratchFolder& s = Scratch();
    if (s.Path.empty())
        return;
    // Flat: what the program put there are files. A link in it goes itself.
    for (const std::string& name : ListDirectory(s.Path)) {
        const std::string path = AddBackslash(s.Path) + name;
        if (!name.empty() && name.back() == '\\')
            RemoveDir(RemoveBackslash(path));
        else
            RemoveFile(path);
    }
    RemoveDir(s.Path);
    s.Path.clear();
}
