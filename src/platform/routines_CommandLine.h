// Splitting a command line into parameters, the way the loading program and
// the self-extractor write it.
#pragma once
#include <string>
#include <string_view>
#include <vector>

// Parameters are separated by blanks and control characters; a pair of double
// quotes groups what lies between them and is dropped. A backslash is always
// a plain character, also before a quote, so "-sA:\" -c gives the two
// parameters -sA:\ and -c. An empty quoted pair ("") at the start of a
// parameter is skipped rather than read as an empty parameter.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);
