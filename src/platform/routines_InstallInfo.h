// Registry routines and folder lookups of the install engine: single values
// under a chosen root, whole key trees, run-once entries, and the user's shell
// folders and program files folders with their fallbacks.
#pragma once
#include "routines_Registry.h"
#include "types_Base.h"
#include <string>

enum TRootKey : Byte { rkClassesRoot, rkCurrentConfig, rkCurrentUser, rkDynData, rkLocalMachine, rkUsers };

// The handle of a root key. Only the low seven bits count; any value that is
// not a TRootKey then means HKEY_CURRENT_USER.
TRegHandle RootKeyHandle(Byte rootKey);
// The TRootKey of a predefined root handle; defaultRoot for any other handle.
TRootKey RootKeyOf(TRegHandle handle, TRootKey defaultRoot);

// Opens key (creating it) and writes name = value; raises EIRCannotWriteValue.
void WriteRegString(Byte root, const std::string& key, const std::string& name, const std::string& value);
// The value, or def when the key or value is missing or of another type.
std::string ReadRegString(Byte root, const std::string& key, const std::string& name, const std::string& def);
Integer ReadRegInteger(Byte root, const std::string& key, const std::string& name, Integer def);
// Deletes key and everything below it; every failure is ignored.
void DeleteRegKeyTree(Byte root, const std::string& key);
// Registers commandLine under HKLM RunOnce as name (or, when unique, as the
// first of name, name1, name2, ... not yet taken). False when it cannot.
bool AddRunOnceEntry(const std::string& name, const std::string& commandLine, bool unique);

// Folders without a trailing backslash. The registry values win; without them
// the folders of the old file-system layout are assumed.
std::string GetStartMenuDir();
std::string GetProgramsDir();
std::string GetDesktopDir();
std::string GetStartupDir();
std::string GetProgramFilesDir();
std::string GetCommonFilesDir();
