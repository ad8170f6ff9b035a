// Feeds arbitrary bytes to the command-line splitter: it must end, never
// crash, and give parameters that hold neither a quote nor a separator
// outside the text they came from. The uninstaller reads the same bytes as
// its command line, and the product it finds as a path of its log.
#include "platform/routines_CommandLine.h"
#include "uninstall/routines_UninstallText.h"
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    size_t total = 0;
    for (const std::string& p : SplitCommandLine(line)) {
        if (p.find('"') != std::string::npos)
            __builtin_trap(); // quotes are never part of a parameter
        total += p.size();
    }
    if (total > size)
        __builtin_trap();
    const std::string text(line);
    const TUninstallCommand c = ParseUninstallCommandLine(text);
    if (c.Product.size() > size || text.find(c.Product) == std::string::npos)
        __builtin_trap(); // the product is a piece of the line
    const std::string& p = c.Product;
    const bool dotDot =
        p.find("\\..\\") != std::string::npos || (p.size() >= 3 && p.compare(p.size() - 3, 3, "\\..") == 0);
    if (dotDot && WhyNotAFullFilePath(p).empty())
        __builtin_trap(); // a ".." step never passes
    if (UninstallProgramOf(text, c.Product).size() > size)
        __builtin_trap();
    return 0;
}
