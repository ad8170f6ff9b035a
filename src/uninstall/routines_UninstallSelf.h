// uninstall.exe takes its own file away once the product is gone, unless
// another product of the list of installed programs starts it as well (the
// screen savers all install the one "uninstall.exe" of the system folder).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

enum class TSelfFate {
    sfNone,       // nothing to do (no file, or the product's own log removed it)
    sfAfterExit,  // a batch erases it once the process has ended
    sfAtRestart,  // Windows removes it when it restarts
    sfKeptShared, // another product starts it
    sfKept        // neither way worked
};

struct TSelfRemoval {
    TSelfFate Fate = TSelfFate::sfNone;
    std::string Program;
    std::string Batch;       // sfAfterExit: written, started by StartSelfRemoval
    std::string BatchFolder; // the batch's own folder, which goes after it
    std::string Other;       // sfKeptShared: the product that uses it
    std::string Why;         // sfKept: the reason
};

// Decides and writes the batch, without starting it: the program may still
// show its closing message for as long as the person likes, and the batch
// waits a minute at most. folder: the uninstaller's folder when it may go
// once empty; empty for none.
TSelfRemoval PrepareSelfRemoval(const std::string& program, const std::string& product,
                                const std::string& folder);
// Starts the batch without a window; when that fails, the removal at the
// restart instead (the fate and the log say which).
void StartSelfRemoval(TSelfRemoval& s);
// The sentence of the closing message and the log; empty for sfNone.
std::string SelfRemovalSentence(const TSelfRemoval& s);

// Seam for tests: how the batch is started (0 or the system's error code).
// An empty hook restores the system's call.
using TBatchStartHook = std::function<uint32_t(const std::string& commandLine, const std::string& folder)>;
void SetBatchStartHook(TBatchStartHook hook);
