// Small helpers for Windows tests that keep <windows.h> out of test sources.
#pragma once
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Sets an environment variable of this process (the system's block, which
// the W functions read) and restores the old value afterwards.
class TScopedEnvVar {
public:
    TScopedEnvVar(const std::string& name, const std::string& value);
    ~TScopedEnvVar();
    TScopedEnvVar(const TScopedEnvVar&) = delete;
    TScopedEnvVar& operator=(const TScopedEnvVar&) = delete;

private:
    std::string FName;
    std::optional<std::string> FOld;
};

// Wine reads per-program settings from the real
// HKCU\Software\Wine\AppDefaults\<program file name>\<section> when that
// program starts. Sets one for programs started while this object lives and
// removes the program's settings afterwards; does nothing outside Wine. Use
// it outside the registry redirection of TIsolatedTest, or it has no effect.
class TWineAppDefault {
public:
    TWineAppDefault(const std::string& program, const std::string& section, const std::string& name,
                    const std::string& value);
    ~TWineAppDefault();
    TWineAppDefault(const TWineAppDefault&) = delete;
    TWineAppDefault& operator=(const TWineAppDefault&) = delete;

private:
    std::string FKey;
};

// Makes the program's windows unmanaged under Wine: without a window manager
// (Xvfb) Wine otherwise waits two seconds for every window it hides.
inline TWineAppDefault FastWindowsUnderWine(const std::string& program) {
    return TWineAppDefault(program, "X11 Driver", "Managed", "N");
}

std::optional<std::string> GetEnvVar(const std::string& name);
bool RunningUnderWine();
// Under Wine only: makes link a Unix symbolic link to target (both Windows
// paths), which Windows programs see as a reparse point, or removes such a
// link, which the W functions cannot. False outside Wine or when the link
// did not appear (or go) in time.
bool MakeUnixLinkUnderWine(const std::string& target, const std::string& link);
bool RemoveUnixLinkUnderWine(const std::string& link);
// The Unix path Wine maps a Windows path to; empty outside Wine.
std::string UnixPathUnderWine(const std::string& windowsPath);
// Starts a Unix program (Wine runs them from CreateProcess); Wine does not
// let us wait for it, so callers poll for its effect. Arguments must be
// non-empty and hold no quote.
bool StartUnixProgram(const char* program, const std::vector<std::string>& args);
// The folder of the running program, with a trailing backslash.
std::string ThisProgramFolder();

// The machine field of a program's PE header (0x14C i386, 0x8664 x86-64);
// 0 when the file cannot be read or is no PE file. With noRedirection a
// 32-bit program on 64-bit Windows reads the path as a 64-bit program would:
// "System32" is then the 64-bit system folder.
uint16_t ProgramMachine(const std::string& path, bool noRedirection = false);
// Whether path exists as a 64-bit program sees it (no file-system redirection).
bool ExistsWithoutRedirection(const std::string& path);
// The machine this test program was built for.
uint16_t ThisProgramMachine();
// Whether HKLM holds key in the 64-bit view (sixtyFour) or the 32-bit view of
// the registry, asked without the product's registry layer.
bool MachineKeyInView(const std::string& key, bool sixtyFour);

// A file in the build tree as a Windows program sees it: a Unix folder
// through drive Z: under Wine, backslashes throughout.
inline std::string BuildTreePath(std::string folder, const std::string& relative) {
    if (!folder.empty() && folder[0] == '/')
        folder = "Z:" + folder;
    std::string p = folder + "/" + relative;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}
