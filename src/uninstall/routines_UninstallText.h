// The uninstaller's words from outside that need no system: its command
// line, the paths of the log and the program of the uninstall entry.
// Portable, so that they are fuzzed and tested natively as well.
#pragma once
#include <string>
#include <vector>

// The uninstaller's command line after the program path: "[-q] product",
// the product quoted ("[-q] \"product\"") or, as older setups wrote it, bare
// (then blanks at its ends are lost).
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
// product, quoted or bare); empty when there is none.
std::string UninstallProgramOf(const std::string& uninstallString, const std::string& product);

// True when an "UninstallString" starts one of the forms of a program
// (compared without regard to case): quoted, or unquoted and followed by a
// blank or nothing. An unquoted path may hold blanks, so the whole form is
// compared, not only the first word.
bool UninstallStringStarts(const std::string& uninstallString, const std::vector<std::string>& programForms);

// Another entry of the list of installed programs: its key name and command.
struct TListEntry {
    std::string Product;
    std::string UninstallString;
};
// The first entry that starts the uninstaller (any of its forms); empty
// when no other product uses it.
std::string OtherUserOfUninstaller(const std::vector<TListEntry>& entries,
                                   const std::vector<std::string>& programForms);

// The lines of the batch file that removes the uninstaller once its process
// has ended (a running program cannot delete itself): erase it once a
// second, a minute at most, then the folder it leaves empty (none when
// empty; RMDIR without /S never takes a folder that still holds something)
// and the batch itself. Paths as the command processor is to read them.
std::vector<std::string> SelfRemovalBatchLines(const std::string& program, const std::string& folder,
                                               const std::string& batch);
