// The command line on which the loading program starts the setup program.
#pragma once
#include <string>
#include <vector>

// Arguments of the loading program that it acts on itself.
bool IsToDiskArg(const std::string& arg); // "*TODISK", in any case
bool IsQuietArg(const std::string& arg);  // "-q", in any case

// The folder for -s: the loading program's folder without trailing
// backslash, but a drive root keeps it ("C:\").
std::string LoaderFolderArg(const std::string& loaderPath);

// Quoted when it holds a blank (or a control character) or is empty. Names on Windows cannot hold a
// double quote and the setup program reads a backslash before a closing
// quote as a plain character, so quoting needs no escapes.
std::string QuoteParam(const std::string& param);

// The setup program's command line: the program, "-s<loader folder>",
// "-e<loader file name>" (only for a self-extracting loader), -cl (a
// temporary copy that the loading program removes), then the loader's own
// arguments in their order, "*TODISK" turned into -f.
std::string SetupCommandLine(const std::string& setupProgram, const std::string& loaderPath,
                             bool selfExtracting, const std::vector<std::string>& loaderArgs);
