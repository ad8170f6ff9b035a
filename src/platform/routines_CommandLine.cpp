#include "routines_CommandLine.h"

namespace {
bool IsSeparator(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}
} // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> params;
    size_t i = 0;
    for (;;) {
        // Blanks and empty pairs of quotes between parameters.
        for (;;) {
            while (i < line.size() && IsSeparator(line[i]))
                ++i;
            if (line.compare(i, 2, "\"\"") != 0)
                break;
            i += 2;
        }
        if (i >= line.size())
            return params;
        std::string param;
        while (i < line.size() && !IsSeparator(line[i])) {
            if (line[i] != '"') {
                param += line[i++];
                continue;
            }
            // Up to the closing quote, blanks included; an unclosed quote runs to the end.
            size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos)
                close = line.size();
            param.append(line.substr(i + 1, close - i - 1));
            i = close < line.size() ? close + 1 : close;
        }
        params.push_back(std::move(param));
    }
}
