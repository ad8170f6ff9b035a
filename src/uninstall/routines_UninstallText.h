// The uninstaller's words from outside that need no system: its command
// line, the paths of the log and the program of the uninstall entry.
// Portable, so that they are fuzzed and tested natively as well.
#pragma once
#include <string>

// The uninstaller's command line after the program path: "[-q] product".
struct TUninstallCommand {
    bool Quiet = false;
    std::string Product;
};
TUninstallCommand ParseUninstallCommandLine(const std::string& rawCommandLine);

// Why path cannot be a logged file (empty when it can): a full path of a
// local drive or a share, without "." or ".." steps, wildcards or names
// that Windows would read as another one.
std::string WhyNotAFullFilePath(const std::string& path);

// The program path of an "UninstallString" (program, a blank and the
// product); empty when there is none.
std::string UninstallProgramOf(const std::string& uninstallString, const std::string& product);
