// Batch files for the command processor, which reads them in the OEM code
// page: the clean-up batches that remove a program after it has ended, and
// the batch that moves a file into place at the next restart.
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

// A new batch file name in a folder of its own (a trusted temporary folder
// named prefix and random digits, see routines_TrustedFolder.h): cmd reads a
// batch line by line while it runs, so nobody else may be able to change it.
// folder receives the folder, which the caller removes when the batch is not
// used. Raises EInOutError when no folder can be made.
std::string NewTrustedBatchFile(const std::string& prefix, std::string& folder);

// The prefix of the folders of batches that wait for the next restart.
inline constexpr const char* kRestartBatchPrefix = "qfdrst";

// Removes batch and, when it lay in a folder of NewTrustedBatchFile's with
// prefix, that folder once it is empty. False when the batch stays.
bool RemoveTrustedBatch(const std::string& batch, const std::string& prefix);

// The command line that runs batch: the system folder's cmd.exe (not one the
// search path finds) without the user's AutoRun commands (/D), which
// afterwards removes folder (none when empty), the folder the batch was
// written into: a batch cannot remove the folder it runs from.
std::string SystemBatchCommand(const std::string& batch, const std::string& folder);
