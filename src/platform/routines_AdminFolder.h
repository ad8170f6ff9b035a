// Folders and files that only administrators can have written. An elevated
// program that obeys a file (a journal), runs one (an unpacked setup
// program) or takes a lock in a folder must know that no user without
// administrator rights made or changed it, and that no link leads it
// elsewhere between the check and the use. Such folders are made new with an
// explicit access list; before one is trusted, every folder from the top
// (the common application data) down and the file itself are opened without
// following links, held so that nobody can rename or remove them, and their
// owner, access list and resolved path are checked on those handles.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The machine's common application data folder (the temporary folder where
// the system names none).
std::string CommonApplicationData();

// Owner Administrators; SYSTEM and Administrators full control; nothing
// inherited and nothing for anyone else, not even reading.
std::string AdminOnlySddl();

// The machine's folder of this program's own files:
// <common application data>\Quenfold; tests point it at a folder of their own.
std::string MachineFolder();
std::string& MachineFolderOverride();
// The folder the machine's folder is checked from: the common application
// data, or the folder above a test's own.
std::string MachineFolderTop();

// Where a path leads once every link on the way is followed; empty when it
// cannot be opened. Compared with the path itself it tells whether a folder
// on the way is a junction or a link.
std::string ResolvedPath(const std::string& path);
// True when resolved (what ResolvedPath gave) is the place path names, no
// link on the way (the system folder's aliases count as one place).
bool SamePlace(const std::string& resolved, const std::string& path);

// Folders from a top folder down to a folder of this program, held open and
// checked. The top folder (the system's) must be owned by Administrators or
// SYSTEM, let nobody else remove or replace what is inside and be no link;
// each folder below it and each file read through the chain must be owned
// by Administrators or SYSTEM, grant nothing to anyone else and be no link.
class TAdminChain {
public:
    TAdminChain() = default;
    ~TAdminChain();
    TAdminChain(const TAdminChain&) = delete;
    TAdminChain& operator=(const TAdminChain&) = delete;

    // Opens and checks top and every folder below it down to folder (which
    // must lie inside top). False, with Why(), at the first that fails.
    bool Open(const std::string& top, const std::string& folder);
    // Reads the file name of the last folder, checked as the folders are,
    // through the handle that was checked; at most limit bytes. False, with
    // Why(), when it fails the check or cannot be read.
    bool ReadFile(const std::string& name, std::string& bytes, int64_t limit);
    // The same check of a file without reading it.
    bool CheckFile(const std::string& name);
    const std::string& Why() const { return FWhy; }
    const std::string& Folder() const { return FFolder; }
    void Close();

private:
    std::vector<intptr_t> FHeld;
    std::string FFolder;
    std::string FWhy;
};

// Makes sure that every folder from below top down to folder exists and is
// administrators-only: a missing one is made with AdminOnlySddl; one that is
// not (made by another user, a link) is moved aside to a new name, never
// used, never emptied, and made anew. Each move is told to note. Raises
// EInOutError with the reason when it cannot.
void EnsureAdminFolder(const std::string& top, const std::string& folder,
                       const std::function<void(const std::string&)>& note);

// Creates folder (its parent must exist) with AdminOnlySddl; false, with
// LastSystemError(), when it cannot or it was there already.
bool CreateAdminFolder(const std::string& folder);

// A new folder <MachineFolder()>\<prefix><16 hexadecimal digits>, made for
// this call alone with AdminOnlySddl, its parents checked as EnsureAdminFolder
// does. Raises EInOutError when none can be made.
std::string MakeAdminWorkFolder(const std::string& prefix);

// Creates a new file (never an existing name, never through a link) with
// AdminOnlySddl, for writing, shared for reading only. -1 with
// LastSystemError() when it cannot.
intptr_t CreateAdminFile(const std::string& path);

// Removes a file or an empty folder without following a link: the object is
// opened itself (a link, not its target), its resolved path must be path
// (no junction on the way) and it is removed through that handle. False with
// why when it was not removed; true when it is gone or was not there.
bool RemoveNoFollow(const std::string& path, std::string& why);
