// The running program and the programs it starts: command-line parameters,
// module paths, starting programs, the shell, profile strings and system
// parameters.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The command line split and unquoted (SplitCommandLine); [0] is the program.
std::vector<std::string> CommandLineParams();
// Tests replace the command line the program sees; nullopt restores it.
void OverrideCommandLineParams(std::optional<std::vector<std::string>> params);
int ParamCount();
std::string ParamStr(int index); // empty past the end

// The full path of the running program file.
std::string ProgramPath();
// The full path of the module this code runs in (the program, or a library).
std::string ModulePath();
bool RunningAsLibrary();
// The most memory the running program has held in its working set so far,
// in bytes; 0 when the system does not say.
uint64_t PeakWorkingSetBytes();

// Starts a command line with its window hidden (no console window for a
// console program either) in folder (empty: the current one); does not wait.
// False when it could not start, with the system's code in LastSystemError().
bool StartHidden(const std::string& commandLine, const std::string& folder = std::string());
// Starts a command line with a normal window; does not wait.
bool StartProgram(const std::string& commandLine);

struct TRunResult {
    bool Started = false;
    bool Ended = false;     // within the time limit
    uint32_t ExitCode = 0;  // when Ended
    uint32_t ErrorCode = 0; // the system's code when it did not start
};
// Starts commandLine hidden like StartHidden and waits for its end at most
// timeoutMs. A program still running then is left running.
TRunResult RunHiddenAndWait(const std::string& commandLine, const std::string& folder, uint32_t timeoutMs);

// ShellExecute. Tests may watch the calls instead of letting them reach the shell.
struct TShellCall {
    uintptr_t Owner;
    std::string Verb, File, Parameters, Directory;
    int ShowCmd;
};
bool ShellExecuteText(const TShellCall& call);
void SetShellExecuteHook(std::function<bool(const TShellCall&)> hook);

// Profile strings: WIN.INI (the user's default initialisation file) and named files.
bool WriteProfileText(const std::string& section, const std::string& key, const std::string& value);
bool WritePrivateProfileText(const std::string& section, const std::string& key, const std::string& value,
                             const std::string& fileName);
std::string ReadProfileText(const std::string& section, const std::string& key, const std::string& def);
std::string ReadPrivateProfileText(const std::string& section, const std::string& key, const std::string& def,
                                   const std::string& fileName);

// SystemParametersInfo(SPI_SETSCREENSAVEACTIVE, active, no buffer, no flags).
bool SetScreenSaveActive(bool active);
