// Removing an installed product by its uninstall log: the plan (checked
// whole before anything changes), carrying it out, and the words of the
// result.
#pragma once
#include "platform/routines_Process.h"
#include "platform/routines_Removal.h"
#include "platform/routines_ScreenSaver.h"
#include "uninstall/routines_UninstallLog.h"
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// ffKeepExisted: the file was there before the product wrote it, and no
// shared count says that this product was its last user.
enum class TFileFate { ffRemove, ffKeepShared, ffKeepExisted };

// One file of the log (a file named several times is planned once).
struct TPlannedFile {
    std::string Path;
    bool ActiveX = false;
    bool Program = false;
    bool Existed = false;  // every entry naming it says it was there before the product
    int Times = 0;         // entries of this product's log naming it
    std::string CountName; // its value under SharedDLLs; empty when not counted
    int32_t Count = 0;     // that count before the uninstall
    TFileFate Fate = TFileFate::ffRemove;
};

struct TUninstallPlan {
    TUninstallLog Log;
    std::vector<TPlannedFile> Files; // servers first, then the others in log order
    TSaverRecord Saver;              // what its setup changed of the current screen saver
};

// Reads the log and decides for every file; raises EUninstallRefused when
// the log is damaged, names a file that another product uses without a
// count covering both, or reaches a file through a link below the product's
// folder.
TUninstallPlan PlanUninstall(const std::string& product);

struct TUninstallResult {
    std::vector<std::string> Removed;     // removed by this run
    std::vector<std::string> AlreadyGone; // logged, but no longer there when the run came to them
    std::vector<std::string> AtRestart;   // removed when Windows restarts
    std::vector<std::string> KeptShared;  // still counted for other programs
    std::vector<std::string> KeptExisted; // there before the product, left in place
    std::vector<std::string> Folders;     // emptied folders removed
    std::vector<std::string> Failures;    // sentences
    bool EntryRemoved = false;            // the product left the list of installed programs
    std::string Saver;                    // the sentence about the screen saver put back; empty when none was
};

// Carries the plan out. Without failures the product's key goes last, and
// the screen saver that was current before the product is put back; with
// failures the key stays, its log holding what is left, so that a second run finishes
// the work without counting anything twice.
TUninstallResult CarryOutUninstall(const TUninstallPlan& plan);

// 0 removed, 1 failed, 3 removed with files waiting for the restart.
int UninstallExitCode(const TUninstallResult& r);
// The closing message.
std::string UninstallReport(const std::string& product, const TUninstallResult& r);

// Seams for tests. The restart removal bypasses any registry redirection;
// the program runner starts "/UNREGSERVER" programs. An empty hook restores
// the system's call.
using TRestartRemovalHook = std::function<uint32_t(const std::string& path)>;
void SetRestartRemovalHook(TRestartRemovalHook hook);
// The removal at the restart through that seam: 0 or the system's error code.
uint32_t UninstallRemoveAtRestart(const std::string& path);
using TProgramRunHook =
    std::function<TRunResult(const std::string& commandLine, const std::string& folder, uint32_t timeoutMs)>;
void SetProgramRunHook(TProgramRunHook hook);

// The whole program: the question, the removal, the closing message (or
// none of the windows with Quiet), the log file, the exit code (2 when the
// person said No).
struct TUninstallUI {
    std::function<bool(const std::string& caption, const std::string& text)> Ask;
    std::function<void(const std::string& caption, const std::string& text, TMessageKind kind)> Show;
    std::string LogFolder; // empty: the temporary folder
    // The uninstaller's own file, taken away after a complete removal
    // unless another product uses it; empty: none (tests run in process).
    std::string Program;
};
int RunUninstaller(const TUninstallCommand& command, const TUninstallUI& ui);
// "Uninstall Log <date> #<n>.txt" in folder, the first number not yet taken.
std::string NewUninstallLogName(const std::string& folder);
