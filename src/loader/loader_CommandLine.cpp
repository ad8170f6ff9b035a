#include "loader_CommandLine.h"
#include "platform/routines_Files.h"
#include "platform/routines_Strings.h"
#include "platform/types_TemporaryCopy.h"

bool IsToDiskArg(const std::string& arg) {
    return SameText(arg, "*TODISK");
}

bool IsQuietArg(const std::string& arg) {
    return SameText(arg, "-q");
}

std::string LoaderFolderArg(const std::string& loaderPath) {
    return ExtractFileDir(loaderPath);
}

std::string QuoteParam(const std::string& param) {
    bool plain = !param.empty();
    for (unsigned char c : param)
        plain = plain && c > ' ';
    return plain ? param : "\"" + param + "\"";
}

std::string SetupCommandLine(const std::string& setupProgram, const std::string& loaderPath,
                             bool selfExtracting, const std::vector<std::string>& loaderArgs) {
    // The program is always quoted: the system would otherwise try the
    // parts of a path with blanks as programs of their own.
    std::string line = "\"" + setupProgram + "\" " + QuoteParam("-s" + LoaderFolderArg(loaderPath));
    if (selfExtracting)
        line += " " + QuoteParam("-e" + ExtractFileName(loaderPath));
    // The loading program removes the copy itself once it has ended.
    line += std::string(" -c") + kCleanupByLoader;
    for (const std::string& arg : loaderArgs)
        line += " " + (IsToDiskArg(arg) ? std::string("-f") : QuoteParam(arg));
    return line;
}
