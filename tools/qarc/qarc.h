// qarc: list, test, extract, create and split setup archives.
#pragma once
#include <string>
#include <vector>

// Runs one qarc command line (without the program name); returns the exit
// status: 0 success, 1 a failure of the archive or a member, 2 a wrong command line.
int QarcRun(const std::vector<std::string>& args);
