// Batch files for the command processor, which reads them in the OEM code
// page: the clean-up batches that remove a program after it has ended.
#pragma once
#include <optional>
#include <string>
#include <vector>

// A path as a batch file can name it: as it is when the OEM code page has
// every character of it, else its short form; none when neither can be read
// (a look-alike would name something else).
std::optional<std::string> PathForBatch(const std::string& path);

// Writes lines, each ended by CR LF, into batch in the OEM code page; false
// (and the file as it was) when some character has no form there.
bool WriteBatchFile(const std::string& batch, const std::vector<std::string>& lines);
