// Driving the sample setup's windows from another program, as a person
// would: shared by its end-to-end tests and the screenshot program.
#pragma once
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/WindowDriver.h"
#include <algorithm>
#include <string>
#include <vector>
#include <windows.h>

#include <commctrl.h>

namespace SampleDriver {
using namespace WindowDriver;

inline std::string SampleExe() {
    return ThisProgramFolder() + "..\\..\\src\\sample\\sample.exe";
}

inline HWND H(TWindowHandle w) {
    return reinterpret_cast<HWND>(w);
}

// The captions of a program's visible top-level windows, for a failure's message.
inline std::string TopCaptions(uint32_t pid) {
    struct Q {
        DWORD pid;
        std::string out;
    } q{pid, ""};
    EnumWindows(
        [](HWND h, LPARAM lp) CALLBACK -> BOOL {
            auto* q = reinterpret_cast<Q*>(lp);
            DWORD p = 0;
            GetWindowThreadProcessId(h, &p);
            if (p == q->pid && IsWindowVisible(h))
                q->out += " \"" + ControlText(reinterpret_cast<TWindowHandle>(h)) + "\"";
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&q));
    return "windows:" + q.out;
}

// --- what a window shows ----------------------------------------------------------------------------

// A page has finished coming up when it has put the focus on its Next or
// Finish button; until then it may still let messages run, and a click or a
// key sent meanwhile would meet a half-built page.
inline bool FocusOnButtonOf(TWindowHandle page) {
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    DWORD thread = GetWindowThreadProcessId(H(page), nullptr);
    return page && GetGUIThreadInfo(thread, &gti) && gti.hwndFocus && IsChild(H(page), gti.hwndFocus) &&
           SameText(ClassNameOf(reinterpret_cast<TWindowHandle>(gti.hwndFocus)), "Button");
}

// The direct child of the wizard window that is its current page: the
// visible one whose caption the wizard shows.
inline TWindowHandle CurrentPage(TWindowHandle wizard) {
    const std::string caption = ControlText(wizard);
    for (HWND c = GetWindow(H(wizard), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsWindowVisible(c) && ControlText(reinterpret_cast<TWindowHandle>(c)) == caption)
            return reinterpret_cast<TWindowHandle>(c);
    return 0;
}

inline std::vector<HWND> VisibleDescendants(TWindowHandle parent) {
    std::vector<HWND> all;
    EnumChildWindows(
        H(parent),
        [](HWND h, LPARAM lp) CALLBACK -> BOOL {
            if (IsWindowVisible(h))
                reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

inline HWND VisibleChildOfClass(TWindowHandle parent, const char* className) {
    for (HWND h : VisibleDescendants(parent))
        if (SameText(ClassNameOf(reinterpret_cast<TWindowHandle>(h)), className))
            return h;
    return nullptr;
}

inline std::vector<HWND> IncludeBoxes(TWindowHandle page) {
    std::vector<HWND> boxes;
    for (HWND h : VisibleDescendants(page)) {
        const LONG kind = GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK;
        const bool checkBox =
            kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_3STATE || kind == BS_AUTO3STATE;
        if (checkBox && SameText(ClassNameOf(reinterpret_cast<TWindowHandle>(h)), "Button") &&
            ControlText(reinterpret_cast<TWindowHandle>(h)).empty())
            boxes.push_back(h);
    }
    std::sort(boxes.begin(), boxes.end(), [](HWND a, HWND b) {
        RECT ra, rb;
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.top < rb.top;
    });
    return boxes;
}

// The group page's tree: the Program group selected and opened with the
// arrow key, as a person would, so that the Documentation group gets its row.
inline bool OpenProgramGroup(TWindowHandle page) {
    HWND tree = VisibleChildOfClass(page, "SysTreeView32");
    if (!tree)
        return false;
    auto root = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    auto program = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, root);
    if (!program)
        return false;
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, program);
    PostMessageW(tree, WM_KEYDOWN, VK_RIGHT, 0);
    PostMessageW(tree, WM_KEYUP, VK_RIGHT, 0xC0000001);
    return WaitFor([&] { return IncludeBoxes(page).size() == 3; });
}

} // namespace SampleDriver
