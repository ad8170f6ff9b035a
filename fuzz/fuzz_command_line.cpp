// Feeds arbitrary bytes to the command-line splitter: it must end, never
// crash, and give parameters that hold neither a quote nor a separator
// outside the text they came from.
#include "platform/routines_CommandLine.h"
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
    return 0;
}
