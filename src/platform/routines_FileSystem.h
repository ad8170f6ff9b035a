// Plain routines of the file system and the system's libraries, on which the
// toolkit's folder browser builds.
#pragma once
#include <cstdint>
#include <string>

// String number id of a library of the system folder; empty when the library
// or the string is missing.
std::string LoadSystemString(const std::string& library, uint32_t id);

// The path itself when it is an existing folder, else the nearest existing
// folder above it; empty for a blank path or when none exists.
std::string ExistingParent(const std::string& path);
