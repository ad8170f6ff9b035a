// Folders an elevated run can trust. A program with administrator rights that
// writes a file into the user's temporary folder and uses it later gives any
// program of the same user, without those rights, the moment in between to
// change the file. A trusted folder is new (never one that was there before),
// has a name nobody can guess, and, when this process runs elevated, an
// explicit access list that lets only administrators and the system write:
// the user may read and run what is inside, nothing more.
#pragma once
#include <cstdint>
#include <string>

// True when this process runs with administrator rights: an elevated token,
// or, where the system does not split the token, a member of Administrators.
bool RunningElevated();

// The process user's security identifier as text ("S-1-5-21-..."); empty
// when it cannot be read.
std::string ProcessUserSid();

// The access list a trusted folder gets when this process runs elevated
// (owner Administrators; nothing inherited; SYSTEM and Administrators full
// control, userSid read and execute; files and folders inside inherit it).
std::string TrustedFolderSddl(const std::string& userSid);

// Creates folder (its parent must exist). False, with the system's code in
// LastSystemError(), when it cannot be made or was there already: only a
// folder this call made is trusted. Elevated, it gets TrustedFolderSddl;
// otherwise the defaults of its parent.
bool CreateTrustedFolder(const std::string& folder);

// prefix followed by 16 hexadecimal digits from the system's random source.
std::string UnguessableName(const std::string& prefix);

// A new trusted folder with an unguessable name in the temporary folder; the
// caller removes it. Raises EInOutError with the system's reason when none
// can be made.
std::string MakeTrustedTempFolder(const std::string& prefix);

// This program's own scratch folder: a trusted folder made on the first call
// (and again when it has gone), removed with the files in it when the program
// ends or by RemoveTrustedTempFolder.
std::string TrustedTempFolder();
void RemoveTrustedTempFolder();

// The owner and access list of a file or folder in the system's text form
// (SDDL, "O:BAD:P(A;OICI;FA;;;SY)..."); empty when it cannot be read (and on
// systems without access lists).
std::string SecurityDescriptorText(const std::string& path);

// Holds a folder open: while this object lives nobody can rename or remove
// the folder (and so put another one in its place); its files stay usable.
class TFolderHold {
public:
    explicit TFolderHold(const std::string& folder);
    ~TFolderHold();
    TFolderHold(const TFolderHold&) = delete;
    TFolderHold& operator=(const TFolderHold&) = delete;
    // False when the folder could not be opened (LastSystemError() says why).
    bool Held() const { return FHandle != -1; }

private:
    intptr_t FHandle = -1;
};
