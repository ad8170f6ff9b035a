// Drives a program under test as a person would: start it, find its windows
// by caption, press buttons, read texts, close it. Every wait has a time
// limit, so a test that does not find what it expects fails instead of hanging.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace WindowDriver {

// An HWND, opaque so that this header needs no <windows.h>.
using TWindowHandle = uintptr_t;

constexpr uint32_t DefaultTimeoutMs = 5000;

// A started program. It runs in a job of its own with whatever it starts in
// turn (a temporary copy, a clean-up batch): when the test process ends in
// any way, a kill by its time limit included, the system ends them all. The
// destructor kills the program and what it started when it is still running;
// when it has ended, what it started gets a moment to finish (a clean-up
// batch removing its folder) before it is killed.
class TProcess {
public:
    // Starts commandLine (the program's path first, quoted when it holds
    // spaces). workDir empty: the current folder. extraEnv: variables set on
    // top of this process's environment. Raises EOSError when it cannot start.
    explicit TProcess(const std::string& commandLine, const std::string& workDir = std::string(),
                      const std::vector<std::pair<std::string, std::string>>& extraEnv = {});
    ~TProcess();
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;

    uint32_t Id() const { return FId; }
    bool Running() const;
    // True when the program ended within the time limit.
    bool WaitForExit(uint32_t timeoutMs = DefaultTimeoutMs);
    // The exit code once the program has ended; STILL_ACTIVE (259) before.
    uint32_t ExitCode() const;
    // Ends the program at once and waits for it to be gone.
    void Kill(uint32_t exitCode = 1);
    // The processes of the job that still run: the program and what it started.
    uint32_t ActiveProcesses() const;
    // Waits up to graceMs for the job's processes to end, then kills those
    // that still run; true when none had to be killed.
    bool EndStartedPrograms(uint32_t graceMs);

    // How long the destructor lets what an ended program started finish.
    static constexpr uint32_t StartedProgramsGraceMs = 10000;

private:
    uintptr_t FProcess = 0;
    uintptr_t FJob = 0;
    uint32_t FId = 0;
};

// Quotes one command-line argument so that the C run-time reads it back as is.
std::string QuoteArg(const std::string& arg);

// Polls cond until it holds or the time is up; true when it held.
bool WaitFor(const std::function<bool()>& cond, uint32_t timeoutMs = DefaultTimeoutMs, uint32_t pollMs = 20);

// The id of the calling process: in-process tests look only at their own
// windows, never at those of a program another test runs meanwhile.
uint32_t ThisProcess();

// A visible top-level window with exactly this caption (of processId when not
// 0); 0 when none appears within the time limit.
TWindowHandle FindTopWindow(const std::string& caption, uint32_t processId = 0,
                            uint32_t timeoutMs = DefaultTimeoutMs);
// A descendant control by caption and/or class (an empty one matches any);
// captions match with or without their '&' accelerator marks. 0 when none.
TWindowHandle FindChild(TWindowHandle parent, const std::string& caption, const std::string& className = "");
// Presses an enabled, visible button of window by caption; false when there is none.
bool PressButton(TWindowHandle window, const std::string& caption);

// The captions (without accelerator marks) of the window's buttons a person
// can see, check boxes and radio buttons included, in the window's order.
std::vector<std::string> ShownButtons(TWindowHandle window);

// A window's text (WM_GETTEXT), class name, and the texts of all its descendants.
std::string ControlText(TWindowHandle w);
std::string ClassNameOf(TWindowHandle w);
std::vector<std::string> ChildTexts(TWindowHandle w);
// The message of a message box (a "#32770" dialog): its static texts, joined
// with line breaks. Empty for a window that is not a dialog.
std::string MessageBoxText(TWindowHandle dialog);

bool IsWindowAlive(TWindowHandle w);
// Asks the window to close (WM_CLOSE), as its close box would.
bool CloseWindow(TWindowHandle w);

// Caption without accelerator marks: "&Next" -> "Next", "A && B" -> "A & B".
std::string StripAccelerators(const std::string& caption);

} // namespace WindowDriver
