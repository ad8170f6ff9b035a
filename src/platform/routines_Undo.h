// The points at which a change to the machine is about to happen. While a run
// keeps a journal (routines_Journal) these hooks record how to undo each
// change before it is made; otherwise they are empty and cost nothing. The
// file routines and the registry layer call them, so that no step of a run can
// change the machine without leaving its undo on disk first.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

struct TUndoHooks {
    // A file (or, with folder set, a folder) is about to appear at path.
    std::function<void(const std::string& path, bool folder)> Creating;
    // An existing file is about to be replaced: move it aside (same folder)
    // and return where it went; an empty name when it could not be moved.
    std::function<std::string(const std::string& path)> KeepAside;
    // The read-only flag of path is about to be cleared.
    std::function<void(const std::string& path)> ReadOnlyClearing;
    // Registry: a key may be about to be created; a value about to be
    // written or deleted; a whole key tree about to be deleted.
    std::function<void(uintptr_t root, const std::string& key)> KeyCreating;
    std::function<void(uintptr_t root, const std::string& key, const std::string& name)> ValueChanging;
    std::function<void(uintptr_t root, const std::string& key)> TreeDeleting;
    // A profile string (file empty: WIN.INI) is about to be written.
    std::function<void(const std::string& file, const std::string& section, const std::string& key)>
        ProfileChanging;
};

TUndoHooks& UndoHooks();

// Shorthands that do nothing without hooks.
void NoteCreating(const std::string& path, bool folder = false);
void NoteReadOnlyClearing(const std::string& path);

// Puts from in the place of to. An existing to is kept aside by an open
// journal (so that an undo can put it back) or replaced directly otherwise.
// False, with the system's code for LastSystemError(), when it failed; then
// to is as it was.
bool ReplaceFileUndoable(const std::string& from, const std::string& to);
