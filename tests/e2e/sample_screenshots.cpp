// Takes a picture of every page of the sample setup, for the README; run by
// scripts/screenshots.sh on a display of its own, inside Wine.
//   sample_screenshots FOLDER SOURCE [LOCALE PREFIX [DESTINATION]]
// FOLDER: the Unix folder for the PNG files; SOURCE: the sample's
// distribution folder (-s); LOCALE (e.g. ru_RU) starts the sample as a
// Windows user of that language, with LOCPATH from the environment; PREFIX
// begins the file names (default "sample-"); DESTINATION is typed for the
// Program group before the groups page is taken (a folder on another drive
// brings that drive into the list). With a locale only the first pages are
// taken.
// It presses the button a page has focused (Next, Finish), so it needs no
// captions and works in every language. Exit code 0 when every picture was
// taken.
#include "SampleDriver.h"
#include "ScreenPicture.h"
#include <cstdio>
#include <string>

using namespace SampleDriver;

namespace {

std::string Folder, Prefix, Destination;
uint32_t Pid = 0;
int Failures = 0;

void Fail(const std::string& what) {
    std::fprintf(stderr, "sample_screenshots: %s; %s\n", what.c_str(), TopCaptions(Pid).c_str());
    ++Failures;
}

void Shot(const std::string& name) {
    Sleep(600); // the page paints itself
    const std::string unixPath = Folder + "/" + Prefix + name + ".png";
    std::string why;
    if (!ScreenPicture::Take(unixPath, why))
        Fail(why);
    else
        std::printf("%s\n", unixPath.c_str());
}

// A visible top-level window of the sample other than the backdrop and
// other than the one given.
TWindowHandle OtherWindow(TWindowHandle mainForm, TWindowHandle not1) {
    struct Q {
        DWORD pid;
        HWND skip1, skip2, found;
    } q{Pid, H(mainForm), H(not1), nullptr};
    EnumWindows(
        [](HWND h, LPARAM lp) CALLBACK -> BOOL {
            auto* q = reinterpret_cast<Q*>(lp);
            DWORD p = 0;
            GetWindowThreadProcessId(h, &p);
            if (p != q->pid || !IsWindowVisible(h) || h == q->skip1 || h == q->skip2)
                return TRUE;
            q->found = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&q));
    return reinterpret_cast<TWindowHandle>(q.found);
}

// The wizard window once its page (whose caption differs from before) has
// come up.
TWindowHandle NextPage(TWindowHandle mainForm, const std::string& before, uint32_t timeoutMs = 30000) {
    TWindowHandle w = 0;
    WaitFor(
        [&] {
            w = OtherWindow(mainForm, 0);
            return w && ControlText(w) != before && CurrentPage(w) && FocusOnButtonOf(CurrentPage(w));
        },
        timeoutMs);
    if (!w || ControlText(w) == before)
        Fail("no page after \"" + before + "\"");
    return w;
}

void PressFocused(TWindowHandle wizard) {
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(H(wizard), nullptr), &gti) && gti.hwndFocus)
        PostMessageW(gti.hwndFocus, BM_CLICK, 0, 0);
    else
        Fail("no focused button on \"" + ControlText(wizard) + "\"");
}

// The rightmost visible button of the page: Cancel.
void PressCancel(TWindowHandle wizard) {
    HWND best = nullptr;
    LONG right = -1;
    for (HWND h : VisibleDescendants(CurrentPage(wizard))) {
        RECT r;
        GetWindowRect(h, &r);
        if (SameText(ClassNameOf(reinterpret_cast<TWindowHandle>(h)), "Button") && r.right > right) {
            right = r.right;
            best = h;
        }
    }
    if (best)
        PostMessageW(best, BM_CLICK, 0, 0);
    else
        Fail("no Cancel");
}

// Types the folder into the page's destination box, the one edit that is no memo.
bool TypeDestination(TWindowHandle page, const std::string& folder) {
    for (HWND h : VisibleDescendants(page))
        if (SameText(ClassNameOf(reinterpret_cast<TWindowHandle>(h)), "Edit") &&
            !(GetWindowLongW(h, GWL_STYLE) & ES_MULTILINE)) {
            SetFocus(h);
            SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(folder).c_str()));
            return true;
        }
    return false;
}

TWindowHandle StartSample(const std::string& source, const std::string& locale) {
    std::vector<std::string> args;
    if (!locale.empty()) {
        args = {"LC_ALL=" + locale + ".UTF-8", "LANG=" + locale + ".UTF-8"};
        if (auto loc = GetEnvVar("LOCPATH"))
            args.push_back("LOCPATH=" + *loc);
    }
    args.push_back("wine");
    args.push_back(UnixPathUnderWine(SampleExe()));
    args.push_back("-s" + source);
    if (!StartUnixProgram("/usr/bin/env", args)) {
        Fail("cannot start the sample");
        return 0;
    }
    TWindowHandle main = FindTopWindow("Quenfold Sample Setup", 0, 20000);
    DWORD pid = 0;
    GetWindowThreadProcessId(H(main), &pid);
    Pid = pid;
    if (!main)
        Fail("no sample");
    return main;
}

void WaitForEnd() {
    HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, Pid);
    if (p && WaitForSingleObject(p, 30000) != WAIT_OBJECT_0)
        Fail("the sample did not end");
    if (p)
        CloseHandle(p);
}

// Every page of a good run: welcome, groups, copying, restart, complete.
void GoodRun(const std::string& source, const std::string& locale) {
    TWindowHandle main = StartSample(source, locale);
    if (!main)
        return;
    TWindowHandle w = NextPage(main, "");
    Shot("welcome");
    const std::string welcome = ControlText(w);
    PressFocused(w);
    w = NextPage(main, welcome);
    const std::string groups = ControlText(w);
    if (!OpenProgramGroup(CurrentPage(w)))
        Fail("the Program group does not open");
    if (!Destination.empty() && !TypeDestination(CurrentPage(w), Destination))
        Fail("no destination box");
    Shot("groups");
    if (!locale.empty()) {
        TerminateProcess(OpenProcess(PROCESS_TERMINATE, FALSE, Pid), 1);
        return;
    }
    PressFocused(w);
    // The copy-progress window while the big data file is written.
    TWindowHandle copying = 0;
    WaitFor(
        [&] {
            copying = OtherWindow(main, 0);
            return copying && ControlText(copying) != groups && FindChild(copying, "", "msctls_progress32");
        },
        30000);
    if (copying && FindChild(copying, "", "msctls_progress32")) {
        HWND bar = H(FindChild(copying, "", "msctls_progress32"));
        WaitFor([&] { return SendMessageW(bar, PBM_GETPOS, 0, 0) > 0; }, 10000);
        Shot("copying");
    } else {
        Fail("no copy-progress window");
    }
    w = NextPage(main, groups, 120000);
    Shot("restart");
    const std::string restart = ControlText(w);
    PressFocused(w);
    w = NextPage(main, restart);
    Shot("complete");
    PressFocused(w);
    WaitForEnd();
}

// Cancel on the welcome page: the question, then the failed-installation page.
void CancelledRun(const std::string& source) {
    TWindowHandle main = StartSample(source, "");
    if (!main)
        return;
    TWindowHandle w = NextPage(main, "");
    const std::string welcome = ControlText(w);
    PressCancel(w);
    TWindowHandle box = 0;
    WaitFor([&] { return (box = OtherWindow(main, w)) != 0; });
    if (!box) {
        Fail("Cancel does not ask");
        return;
    }
    Shot("cancel");
    PostMessageW(GetDlgItem(H(box), IDYES), BM_CLICK, 0, 0);
    w = NextPage(main, welcome);
    Shot("incomplete");
    PressFocused(w);
    WaitForEnd();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: sample_screenshots FOLDER SOURCE [LOCALE PREFIX]\n");
        return 2;
    }
    Folder = argv[1];
    const std::string source = argv[2], locale = argc > 3 ? argv[3] : "";
    Prefix = argc > 4 ? argv[4] : "sample-";
    Destination = argc > 5 ? argv[5] : "";
    GoodRun(source, locale);
    if (locale.empty())
        CancelledRun(source);
    return Failures == 0 ? 0 : 1;
}
