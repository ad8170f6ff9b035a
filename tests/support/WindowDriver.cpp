#include "support/WindowDriver.h"
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Files.h"
#include "platform/routines_WinText.h"
#include <cstdio>
#include <windows.h>

namespace WindowDriver {

namespace {

HWND W(TWindowHandle h) {
    return reinterpret_cast<HWND>(h);
}
HANDLE P(uintptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

// A hung program must not hang the test: every message has a time limit.
constexpr UINT MessageTimeoutMs = 2000;
// Texts longer than this are cut; no control of ours comes near it.
constexpr LRESULT MaxTextLength = 1 << 20;

// This process's environment with extra variables set on top, as a block for
// CreateProcessW. Names compare without case, as Windows does.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& extra) {
    std::vector<std::wstring> entries;
    if (wchar_t* env = GetEnvironmentStringsW()) {
        for (const wchar_t* p = env; *p; p += wcslen(p) + 1)
            entries.emplace_back(p);
        FreeEnvironmentStringsW(env);
    }
    for (const auto& [name, value] : extra) {
        std::wstring wname = Wide(name);
        std::erase_if(entries, [&](const std::wstring& e) {
            // The "=C:" entries begin with '='; their name runs to the second one.
            size_t eq = e.find(L'=', 1);
            return eq == wname.size() && CompareStringOrdinal(e.c_str(), static_cast<int>(eq), wname.c_str(),
                                                              static_cast<int>(eq), TRUE) == CSTR_EQUAL;
        });
        entries.push_back(wname + L"=" + Wide(value));
    }
    std::wstring block;
    for (const std::wstring& e : entries) {
        block += e;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(
        parent,
        [](HWND h, LPARAM lp) CALLBACK -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

bool CaptionMatches(const std::string& text, const std::string& caption) {
    return text == caption || StripAccelerators(text) == StripAccelerators(caption);
}

HWND FindTopOnce(const std::string& caption, uint32_t processId) {
    struct Query {
        std::string caption;
        DWORD pid;
        HWND found;
    } q{caption, processId, nullptr};
    EnumWindows(
        [](HWND h, LPARAM lp) CALLBACK -> BOOL {
            auto* q = reinterpret_cast<Query*>(lp);
            if (!IsWindowVisible(h))
                return TRUE;
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (q->pid && pid != q->pid)
                return TRUE;
            // GetWindowTextW reads another program's caption without sending it a message.
            wchar_t buf[512];
            int n = GetWindowTextW(h, buf, 512);
            if (Narrow(buf, n > 0 ? static_cast<size_t>(n) : 0) != q->caption)
                return TRUE;
            q->found = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&q));
    return q.found;
}

} // namespace

namespace {

// A job whose processes the system kills when its last handle closes: the
// test process's end, however it comes, ends them.
HANDLE NewKillOnCloseJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

} // namespace

TProcess::TProcess(const std::string& commandLine, const std::string& workDir,
                   const std::vector<std::pair<std::string, std::string>>& extraEnv) {
    std::wstring cmd = Wide(commandLine);
    std::wstring dir = Wide(workDir);
    std::wstring env = EnvironmentBlock(extraEnv);
    HANDLE job = NewKillOnCloseJob();
    if (!job)
        throw EOSError(
            Format("Cannot make a job for %s. %s", {commandLine, SystemErrorText(GetLastError())}));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // Suspended until it is in the job: nothing it starts may escape.
    auto start = [&] {
        return CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE,
                              CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, env.data(),
                              dir.empty() ? nullptr : dir.c_str(), &si, &pi);
    };
    bool started = start();
    // Wine reports a new process that died before its first instruction (its
    // loader's start, none of the program's code) as an internal error; that
    // start, and only that one, is tried once more, and said so.
    if (!started && GetLastError() == ERROR_INTERNAL_ERROR) {
        std::printf("note: the system could not start %s (internal error); trying once more\n",
                    commandLine.c_str());
        Sleep(500);
        started = start();
    }
    if (!started) {
        const DWORD error = GetLastError();
        CloseHandle(job);
        throw EOSError(Format("Cannot start %s. %s", {commandLine, SystemErrorText(error)}));
    }
    if (!AssignProcessToJobObject(job, pi.hProcess)) {
        const DWORD error = GetLastError();
        TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        CloseHandle(job);
        throw EOSError(Format("Cannot put %s into a job. %s", {commandLine, SystemErrorText(error)}));
    }
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    FProcess = reinterpret_cast<uintptr_t>(pi.hProcess);
    FJob = reinterpret_cast<uintptr_t>(job);
    FId = pi.dwProcessId;
}

TProcess::~TProcess() {
    if (Running())
        Kill();
    EndStartedPrograms(StartedProgramsGraceMs);
    CloseHandle(P(FJob));
    CloseHandle(P(FProcess));
}

uint32_t TProcess::ActiveProcesses() const {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    if (!QueryInformationJobObject(P(FJob), JobObjectBasicAccountingInformation, &info, sizeof info, nullptr))
        return 0;
    return info.ActiveProcesses;
}

bool TProcess::EndStartedPrograms(uint32_t graceMs) {
    if (WaitFor([&] { return ActiveProcesses() == 0; }, graceMs, 50))
        return true;
    TerminateJobObject(P(FJob), 1);
    WaitFor([&] { return ActiveProcesses() == 0; }, DefaultTimeoutMs, 20);
    return false;
}

bool TProcess::Running() const {
    return WaitForSingleObject(P(FProcess), 0) == WAIT_TIMEOUT;
}

bool TProcess::WaitForExit(uint32_t timeoutMs) {
    return WaitForSingleObject(P(FProcess), timeoutMs) == WAIT_OBJECT_0;
}

uint32_t TProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(P(FProcess), &code);
    return code;
}

void TProcess::Kill(uint32_t exitCode) {
    // The program first, for its exit code; then what it started.
    TerminateProcess(P(FProcess), exitCode);
    WaitForSingleObject(P(FProcess), DefaultTimeoutMs);
    TerminateJobObject(P(FJob), exitCode);
}

std::string QuoteArg(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
        return arg;
    // Backslashes are literal except before a quote, where they are doubled.
    std::string out = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        out += c;
        slashes = 0;
    }
    out.append(slashes * 2, '\\');
    return out + "\"";
}

bool WaitFor(const std::function<bool()>& cond, uint32_t timeoutMs, uint32_t pollMs) {
    ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (cond())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(pollMs);
    }
}

uint32_t ThisProcess() {
    return GetCurrentProcessId();
}

TWindowHandle FindTopWindow(const std::string& caption, uint32_t processId, uint32_t timeoutMs) {
    HWND found = nullptr;
    WaitFor([&] { return (found = FindTopOnce(caption, processId)) != nullptr; }, timeoutMs);
    return reinterpret_cast<TWindowHandle>(found);
}

TWindowHandle FindChild(TWindowHandle parent, const std::string& caption, const std::string& className) {
    for (HWND h : Descendants(W(parent))) {
        TWindowHandle c = reinterpret_cast<TWindowHandle>(h);
        if (!className.empty() && !SameText(ClassNameOf(c), className))
            continue;
        if (!caption.empty() && !CaptionMatches(ControlText(c), caption))
            continue;
        return c;
    }
    return 0;
}

bool PressButton(TWindowHandle window, const std::string& caption) {
    TWindowHandle button = FindChild(window, caption, "Button");
    if (!button)
        button = FindChild(window, caption);
    if (!button || !IsWindowVisible(W(button)) || !IsWindowEnabled(W(button)))
        return false;
    // Posted: the click may open a modal window, and a sent message would
    // wait for that window to close.
    return PostMessageW(W(button), BM_CLICK, 0, 0) != 0;
}

std::vector<std::string> ShownButtons(TWindowHandle window) {
    std::vector<std::string> shown;
    for (HWND h : Descendants(W(window))) {
        TWindowHandle c = reinterpret_cast<TWindowHandle>(h);
        if (IsWindowVisible(h) && SameText(ClassNameOf(c), "Button"))
            shown.push_back(StripAccelerators(ControlText(c)));
    }
    return shown;
}

std::string ControlText(TWindowHandle w) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(W(w), WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, MessageTimeoutMs, &len))
        return std::string();
    len = std::min<DWORD_PTR>(len, MaxTextLength);
    std::vector<wchar_t> buf(len + 1);
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(W(w), WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                             SMTO_ABORTIFHUNG, MessageTimeoutMs, &got))
        return std::string();
    return Narrow(buf.data(), std::min<size_t>(got, len));
}

std::string ClassNameOf(TWindowHandle w) {
    wchar_t buf[256];
    int n = GetClassNameW(W(w), buf, 256);
    return n > 0 ? Narrow(buf, static_cast<size_t>(n)) : std::string();
}

std::vector<std::string> ChildTexts(TWindowHandle w) {
    std::vector<std::string> texts;
    for (HWND h : Descendants(W(w)))
        texts.push_back(ControlText(reinterpret_cast<TWindowHandle>(h)));
    return texts;
}

std::string MessageBoxText(TWindowHandle dialog) {
    if (ClassNameOf(dialog) != "#32770")
        return std::string();
    std::string text;
    for (HWND h : Descendants(W(dialog))) {
        TWindowHandle c = reinterpret_cast<TWindowHandle>(h);
        if (!SameText(ClassNameOf(c), "Static"))
            continue;
        std::string t = ControlText(c);
        if (t.empty())
            continue;
        if (!text.empty())
            text += "\n";
        text += t;
    }
    return text;
}

bool IsWindowAlive(TWindowHandle w) {
    return w && IsWindow(W(w));
}

bool CloseWindow(TWindowHandle w) {
    return PostMessageW(W(w), WM_CLOSE, 0, 0) != 0;
}

std::string StripAccelerators(const std::string& caption) {
    std::string out;
    for (size_t i = 0; i < caption.size(); ++i) {
        // A lone mark vanishes; "&&" stands for '&'.
        if (caption[i] == '&' && ++i == caption.size())
            break;
        out += caption[i];
    }
    return out;
}

} // namespace WindowDriver
