#include "toolkit/forms_Forms.h"
#include "platform/routines_Files.h"
#include "platform/routines_Format.h"
#include "platform/routines_WinText.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/classes_Reader.h"
#include "toolkit/forms_ComCtrls.h"
#include "toolkit/forms_ExtCtrls.h"
#include "toolkit/forms_StdCtrls.h"
#include <windows.h>
// Our names, not the macros for the A/W functions.
#undef RegisterClass
#undef MessageBox
#undef DrawText
#include <algorithm>
#include <commctrl.h>
#include <typeinfo>

// ---------------------------------------------------------------------------
// TForm

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner) {
    FVisible = false;
    FWidth = 320;
    FHeight = 240;
}

TForm::~TForm() = default;

void TForm::InitFromResource() {
    std::string name = UpperCase(ClassName());
    std::optional<std::string> text = LoadRcDataResource(name);
    if (!text)
        throw EResNotFound(Format("Resource %s not found", {name}));
    InitFromText(*text);
}

void TForm::InitFromText(const std::string& layout) {
    ReadLayoutInto(*this, layout);
    DoCreate();
}

void TForm::SetName(const std::string& newName) {
    std::string name = newName;
    if (Owner() && !newName.empty())
        for (int n = 1; Owner()->FindComponent(name) && Owner()->FindComponent(name) != this; ++n)
            name = newName + "_" + std::to_string(n);
    TWinControl::SetName(name);
}

void TForm::DoCreate() {
    if (OnCreate)
        OnCreate(this);
}

void TForm::BeforeDestruction() {
    if (OnDestroy && !Destroying()) {
        try {
            OnDestroy(this);
        } catch (...) {
            Application()->HandleCurrentException(this);
        }
    }
    TWinControl::BeforeDestruction();
}

static uint32_t FormStyleBits(TFormBorderStyle bs, TBorderIcons icons, uint32_t& ex) {
    uint32_t style = WS_CLIPCHILDREN;
    ex = 0;
    switch (bs) {
    case bsNone:
        return style | WS_POPUP;
    case bsSingle:
        style |= WS_OVERLAPPED | WS_CAPTION | WS_BORDER;
        break;
    case bsSizeable:
        style |= WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME;
        break;
    case bsDialog:
        ex |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
        return style | WS_POPUP | WS_CAPTION | DS_MODALFRAME |
               ((icons & (1u << biSystemMenu)) ? WS_SYSMENU : 0);
    case bsToolWindow:
        ex |= WS_EX_TOOLWINDOW;
        style |= WS_OVERLAPPED | WS_CAPTION;
        break;
    case bsSizeToolWin:
        ex |= WS_EX_TOOLWINDOW;
        style |= WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME;
        break;
    }
    if (icons & (1u << biSystemMenu)) {
        style |= WS_SYSMENU;
        if (icons & (1u << biMinimize))
            style |= WS_MINIMIZEBOX;
        if (icons & (1u << biMaximize))
            style |= WS_MAXIMIZEBOX;
    }
    if (icons & (1u << biHelp))
        ex |= WS_EX_CONTEXTHELP;
    return style;
}

void TForm::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    if (FParent) {
        // A form inside another one (a wizard's page): a plain child window
        // with neither frame nor caption, so its client area is all of it.
        p.Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | (FVisible ? WS_VISIBLE : 0);
        p.ExStyle = WS_EX_CONTROLPARENT;
        FWidth = p.W = FClientWidthWanted.value_or(FWidth);
        FHeight = p.H = FClientHeightWanted.value_or(FHeight);
        return;
    }
    uint32_t ex;
    p.Style = FormStyleBits(FBorderStyle, FBorderIcons, ex);
    p.ExStyle = ex | (FFormStyle == fsStayOnTop ? WS_EX_TOPMOST : 0);
    p.WndParent = Application()->Handle();
    RECT r{0, 0, FWidth, FHeight};
    if (FClientWidthWanted || FClientHeightWanted) {
        RECT c{0, 0, FClientWidthWanted.value_or(FWidth), FClientHeightWanted.value_or(FHeight)};
        AdjustWindowRectEx(&c, p.Style, FALSE, p.ExStyle);
        if (FClientWidthWanted)
            r.right = c.right - c.left;
        if (FClientHeightWanted)
            r.bottom = c.bottom - c.top;
    }
    FWidth = p.W = r.right;
    FHeight = p.H = r.bottom;
}

void TForm::AfterCreateWnd() {
    FClientWidthWanted.reset();
    FClientHeightWanted.reset();
}

void TForm::SetBorderStyle(TFormBorderStyle v) {
    FBorderStyle = v;
    if (HandleAllocated()) {
        uint32_t ex;
        SetWindowLongPtrW(reinterpret_cast<HWND>(FHandle), GWL_STYLE,
                          FormStyleBits(v, FBorderIcons, ex) | (FVisible ? WS_VISIBLE : 0));
        SetWindowPos(reinterpret_cast<HWND>(FHandle), nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void TForm::SetBorderIcons(TBorderIcons v) {
    FBorderIcons = v;
    if (HandleAllocated())
        SetBorderStyle(FBorderStyle);
}

void TForm::SetClientWidth(int32_t v) {
    if (HandleAllocated()) {
        SetWidth(FWidth + v - ClientWidth());
    } else {
        FClientWidthWanted = v;
        FWidth = v;
    }
}

void TForm::SetClientHeight(int32_t v) {
    if (HandleAllocated()) {
        SetHeight(FHeight + v - ClientHeight());
    } else {
        FClientHeightWanted = v;
        FHeight = v;
    }
}

int32_t TForm::ClientWidth() const {
    if (!HandleAllocated() && FClientWidthWanted)
        return *FClientWidthWanted;
    return TWinControl::ClientWidth();
}

int32_t TForm::ClientHeight() const {
    if (!HandleAllocated() && FClientHeightWanted)
        return *FClientHeightWanted;
    return TWinControl::ClientHeight();
}

TWindowState TForm::WindowState() const {
    if (HandleAllocated()) {
        HWND h = reinterpret_cast<HWND>(FHandle);
        if (IsZoomed(h))
            return wsMaximized;
        if (IsIconic(h))
            return wsMinimized;
        if (IsWindowVisible(h))
            return wsNormal;
    }
    return FWindowState;
}

void TForm::SetWindowState(TWindowState v) {
    FWindowState = v;
    if (HandleAllocated() && FVisible)
        ShowWindow(reinterpret_cast<HWND>(FHandle), v == wsMaximized   ? SW_MAXIMIZE
                                                    : v == wsMinimized ? SW_MINIMIZE
                                                                       : SW_RESTORE);
}

void TForm::BoundsChanged() {
    // A size set after the stored client size wins over it.
    if (FClientWidthWanted && FWidth != *FClientWidthWanted)
        FClientWidthWanted.reset();
    if (FClientHeightWanted && FHeight != *FClientHeightWanted)
        FClientHeightWanted.reset();
    if (HandleAllocated())
        SetWindowPos(reinterpret_cast<HWND>(FHandle), nullptr, FLeft, FTop, FWidth, FHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    else
        AlignControls();
}

void TForm::PlaceWindow() {
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    TForm* over = FPosition == poMainFormCenter ? Application()->MainForm() : nullptr;
    if (over == this)
        over = nullptr;
    if (FPosition == poScreenCenter || FPosition == poDesktopCenter ||
        (FPosition == poMainFormCenter && !over)) {
        SetBounds((sw - FWidth) / 2, (sh - FHeight) / 2, FWidth, FHeight);
    } else if (over) {
        SetBounds(over->Left() + (over->Width() - FWidth) / 2, over->Top() + (over->Height() - FHeight) / 2,
                  FWidth, FHeight);
    }
}

void TForm::DoShow() {
    if (OnShow)
        OnShow(this);
}

void TForm::SetVisible(bool v) {
    if (v) {
        Show();
    } else {
        Hide();
    }
}

void TForm::Show() {
    HandleNeeded();
    if (!FShownOnce) {
        FShownOnce = true;
        PlaceWindow();
    }
    bool wasVisible = FVisible;
    FVisible = true;
    if (!wasVisible)
        DoShow();
    HWND h = reinterpret_cast<HWND>(FHandle);
    if (!h)
        return; // OnShow may have destroyed the window
    ShowWindow(h, FWindowState == wsMaximized   ? SW_SHOWMAXIMIZED
                  : FWindowState == wsMinimized ? SW_SHOWMINIMIZED
                                                : SW_SHOWNORMAL);
    BringToFront();
}

void TForm::Hide() {
    if (!FVisible)
        return;
    FVisible = false;
    if (HandleAllocated())
        ShowWindow(reinterpret_cast<HWND>(FHandle), SW_HIDE);
    if (OnHide)
        OnHide(this);
}

void TForm::BringToFront() {
    if (!HandleAllocated())
        return;
    HWND h = reinterpret_cast<HWND>(FHandle);
    SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (FParent)
        return; // a child window only goes on top of its siblings
    SetForegroundWindow(h);
    SetActiveWindow(h);
}

bool TForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery)
        OnCloseQuery(this, canClose);
    return canClose;
}

void TForm::DoClose(TCloseAction& action) {
    if (OnClose)
        OnClose(this, action);
}

void TForm::Close() {
    if (FModal) {
        FModalResult = mrCancel;
        return;
    }
    if (!CloseQuery())
        return;
    TCloseAction action = caHide;
    DoClose(action);
    if (action == caNone)
        return;
    if (Application()->MainForm() == this) {
        Application()->Terminate();
    } else if (action == caHide) {
        Hide();
    } else if (action == caMinimize) {
        SetWindowState(wsMinimized);
    } else {
        // caFree: go once the current message is done.
        Application()->ReleaseForm(this);
    }
}

namespace {
struct DisabledWindows {
    HWND Except;
    std::vector<HWND> List;
};
BOOL CALLBACK DisableOne(HWND h, LPARAM lp) {
    auto* d = reinterpret_cast<DisabledWindows*>(lp);
    if (h != d->Except && IsWindowVisible(h) && IsWindowEnabled(h)) {
        d->List.push_back(h);
        EnableWindow(h, FALSE);
    }
    return TRUE;
}
} // namespace

TModalResult TForm::ShowModal() {
    if (FVisible || FModal)
        throw EInvalidOperation("Cannot make a visible window modal");
    HandleNeeded();
    DisabledWindows disabled{reinterpret_cast<HWND>(FHandle), {}};
    EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&disabled));
    FModal = true;
    FModalResult = mrNone;
    try {
        Show();
        while (true) {
            Application()->HandleMessage();
            if (Application()->Terminated()) {
                FModalResult = mrCancel;
                break;
            }
            if (FModalResult != mrNone) {
                // The form may refuse to close; then the loop goes on.
                TCloseAction action = caHide;
                if (CloseQuery()) {
                    DoClose(action);
                    if (action != caNone)
                        break;
                }
                FModalResult = mrNone;
            }
        }
    } catch (...) {
        FModal = false;
        for (HWND h : disabled.List)
            EnableWindow(h, TRUE);
        throw;
    }
    FModal = false;
    for (HWND h : disabled.List)
        EnableWindow(h, TRUE);
    Hide();
    return FModalResult;
}

void TForm::SetCursor(TCursor c) {
    FCursor = c;
    POINT pt;
    GetCursorPos(&pt);
    SetCursorPos(pt.x, pt.y); // makes the window ask for its cursor again
}

void TForm::WndProc(TMessage& m) {
    HWND h = reinterpret_cast<HWND>(FHandle);
    switch (m.Msg) {
    case WM_ACTIVATE:
        if (LOWORD(m.WParam) != WA_INACTIVE) {
            // The focus goes back where it was, or to the first control that takes it.
            DefaultHandler(m);
            auto saved = reinterpret_cast<HWND>(FActiveWindow);
            HWND focus = saved && IsChild(h, saved) ? saved : nullptr;
            if (!focus)
                focus = GetNextDlgTabItem(h, nullptr, FALSE);
            if (focus && IsWindowEnabled(focus) && IsWindowVisible(focus) && IsChild(h, focus))
                ::SetFocus(focus);
            FActive = true;
            if (OnActivate)
                OnActivate(this);
        } else {
            HWND focus = GetFocus();
            FActiveWindow = focus && IsChild(h, focus) ? reinterpret_cast<uintptr_t>(focus) : 0;
            FActive = false;
            if (OnDeactivate)
                OnDeactivate(this);
            DefaultHandler(m);
        }
        return;
    case WM_CLOSE:
        Close();
        return;
    case WM_SIZE:
    case WM_MOVE:
        if (h && !IsIconic(h)) {
            RECT r;
            GetWindowRect(h, &r);
            if (HWND parent = GetParent(h); FParent && parent)
                MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
            FLeft = r.left;
            FTop = r.top;
            FWidth = r.right - r.left;
            FHeight = r.bottom - r.top;
        }
        if (m.Msg == WM_SIZE) {
            AlignControls();
            if (OnResize)
                OnResize(this);
        }
        break;
    }
    TWinControl::WndProc(m);
}

// ---------------------------------------------------------------------------
// TApplication

static TApplication*& TheApplication() {
    static TApplication* app = nullptr;
    return app;
}

TApplication* Application() {
    if (!TheApplication())
        TheApplication() = new TApplication(nullptr);
    return TheApplication();
}

static LRESULT CALLBACK AppWindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP + 1) {
        // A form closed with caFree.
        Application()->FreeReleasedForm(reinterpret_cast<TForm*>(lp));
        return 0;
    }
    if (msg == WM_APP + 2) {
        Application()->RunQueuedCalls();
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    FExeName = Narrow(path, n);
    std::string base = ExtractFileName(FExeName);
    FTitle = base.substr(0, base.rfind('.'));
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = AppWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QfdApplication";
    RegisterClassExW(&wc);
    FHandle = reinterpret_cast<uintptr_t>(CreateWindowExW(0, L"QfdApplication", Wide(FTitle).c_str(),
                                                          WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                                          GetModuleHandleW(nullptr), nullptr));
}

TApplication::~TApplication() {
    if (FHandle)
        DestroyWindow(reinterpret_cast<HWND>(FHandle));
    if (TheApplication() == this)
        TheApplication() = nullptr;
}

void ReadUserFormatSettings() {
    // The separators of the user's locale, as the control panel sets them;
    // an answer the system cannot give keeps the one before.
    const auto read = [](LCTYPE what, std::string& into) {
        wchar_t buf[8];
        const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, what, buf, 8);
        if (n > 0)
            into = Narrow(buf, static_cast<size_t>(n - 1));
    };
    read(LOCALE_STHOUSAND, FormatSettings().ThousandSeparator);
    read(LOCALE_SDECIMAL, FormatSettings().DecimalSeparator);
}

void TApplication::Initialize() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    RegisterToolkitClasses();
    ReadUserFormatSettings();
}

void TApplication::Notification(TComponent* c, TOperation op) {
    TComponent::Notification(c, op);
    if (op == opRemove && c == FMainForm)
        FMainForm = nullptr;
    if (op == opRemove) {
        FReleased.erase(std::remove(FReleased.begin(), FReleased.end(), c), FReleased.end());
        std::erase_if(FQueued, [c](const auto& q) { return q.first == c; });
    }
}

void TApplication::QueueCall(TComponent* target, std::function<void()> call) {
    FQueued.emplace_back(target, std::move(call));
    if (target)
        FreeNotification(target);
    PostMessageW(reinterpret_cast<HWND>(FHandle), WM_APP + 2, 0, 0);
}

void TApplication::RunQueuedCalls() {
    // One call per message: a call may queue more, or free a target.
    if (FQueued.empty())
        return;
    std::function<void()> call = std::move(FQueued.front().second);
    FQueued.erase(FQueued.begin());
    try {
        call();
    } catch (...) {
        HandleCurrentException();
    }
}

void TApplication::ReleaseForm(TForm* form) {
    if (std::find(FReleased.begin(), FReleased.end(), form) != FReleased.end())
        return;
    FReleased.push_back(form);
    // Told when the form goes another way, so the posted pointer is never used then.
    FreeNotification(form);
    PostMessageW(reinterpret_cast<HWND>(FHandle), WM_APP + 1, 0, reinterpret_cast<LPARAM>(form));
}

void TApplication::FreeReleasedForm(TForm* form) {
    auto it = std::find(FReleased.begin(), FReleased.end(), form);
    if (it == FReleased.end())
        return;
    FReleased.erase(it);
    RemoveFreeNotification(form);
    try {
        form->Free();
    } catch (...) {
        HandleCurrentException();
    }
}

void TApplication::Run() {
    if (FMainForm && !FTerminated && !FQuiet) {
        try {
            FMainForm->Show();
        } catch (...) {
            HandleCurrentException(FMainForm);
        }
    }
    while (!FTerminated)
        HandleMessage();
}

TForm* GetParentForm(TControl* c) {
    TForm* root = nullptr;
    for (; c; c = c->Parent())
        if (auto* f = dynamic_cast<TForm*>(c))
            root = f;
    return root;
}

// Every showing, enabled control under parent may take the key, first found first.
static bool BroadcastDialogKey(TWinControl* parent, uint16_t key) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Controls(i);
        if (!c->Visible() || !c->Enabled())
            continue;
        if (c->DialogKey(key, false))
            return true;
        if (auto* w = dynamic_cast<TWinControl*>(c); w && BroadcastDialogKey(w, key))
            return true;
    }
    return false;
}

// Return, Escape and Tab in our forms, as a dialog box treats them: the
// focused button or else the default button takes Return, the cancel button
// Escape, and Tab moves the focus. False leaves the key to the control.
static bool HandleDialogKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN ||
        (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE && msg.wParam != VK_TAB))
        return false;
    if (GetKeyState(VK_MENU) < 0 || GetKeyState(VK_CONTROL) < 0)
        return false;
    auto key = static_cast<uint16_t>(msg.wParam);
    TWinControl* target = nullptr;
    for (HWND h = msg.hwnd; h && !target; h = GetParent(h))
        target = FindControl(reinterpret_cast<uintptr_t>(h));
    if (!target || target->WantsDialogKey(key))
        return false;
    TForm* form = GetParentForm(target);
    if (!form || !form->HandleAllocated())
        return false;
    if (key == VK_TAB) {
        HWND next =
            GetNextDlgTabItem(reinterpret_cast<HWND>(form->Handle()), msg.hwnd, GetKeyState(VK_SHIFT) < 0);
        if (next)
            ::SetFocus(next);
        return true;
    }
    if (target->Enabled() && target->DialogKey(key, true))
        return true;
    return BroadcastDialogKey(form, key);
}

bool TApplication::ProcessOneMessage() {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        return false;
    if (msg.message == WM_QUIT) {
        FTerminated = true;
        return true;
    }
    try {
        if (HandleDialogKey(msg))
            return true;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    } catch (...) {
        HandleCurrentException();
    }
    return true;
}

void TApplication::ProcessMessages() {
    while (ProcessOneMessage()) {
    }
}

void TApplication::HandleMessage() {
    if (!ProcessOneMessage() && !FTerminated)
        WaitMessage();
}

void TApplication::Terminate() {
    if (!FTerminated)
        PostQuitMessage(0);
    FTerminated = true;
}

void TApplication::HandleException(TObject* sender, const Exception& e) {
    if (dynamic_cast<const EAbort*>(&e))
        return;
    if (OnException) {
        try {
            OnException(sender, e);
            return;
        } catch (const Exception& inner) {
            ShowException(inner);
            return;
        } catch (const std::exception& inner) {
            ShowException(Exception(inner.what()));
            return;
        }
    }
    ShowException(e);
}

void TApplication::HandleCurrentException(TObject* sender) {
    try {
        throw;
    } catch (const Exception& e) {
        HandleException(sender, e);
    } catch (const std::exception& e) {
        HandleException(sender, Exception(e.what()));
    } catch (...) {
        HandleException(sender, Exception("Unknown exception"));
    }
}

void TApplication::ShowException(const Exception& e) {
    std::string msg = e.Message();
    if (!msg.empty() && static_cast<unsigned char>(msg.back()) > '.')
        msg += '.';
    if (FQuiet)
        return QuietReport("Error", msg);
    MessageBox(msg, FTitle, MB_OK | MB_ICONSTOP);
}

void TApplication::QuietReport(const std::string& kind, const std::string& text) {
    if (OnQuietReport)
        OnQuietReport(kind, text);
}

namespace {
// The button that Return would press: the first unless MB_DEFBUTTON2/3 says otherwise.
int32_t DefaultAnswer(uint32_t flags, std::string& name) {
    struct TButtons {
        uint32_t Kind;
        std::vector<std::pair<int32_t, const char*>> Answers;
    };
    static const TButtons kKinds[] = {
        {MB_OK, {{IDOK, "OK"}}},
        {MB_OKCANCEL, {{IDOK, "OK"}, {IDCANCEL, "Cancel"}}},
        {MB_ABORTRETRYIGNORE, {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}}},
        {MB_YESNOCANCEL, {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}}},
        {MB_YESNO, {{IDYES, "Yes"}, {IDNO, "No"}}},
        {MB_RETRYCANCEL, {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}}},
    };
    const uint32_t kind = flags & MB_TYPEMASK;
    size_t index = (flags & MB_DEFMASK) == MB_DEFBUTTON2 ? 1 : (flags & MB_DEFMASK) == MB_DEFBUTTON3 ? 2 : 0;
    for (const TButtons& b : kKinds)
        if (b.Kind == kind) {
            const auto& answer = b.Answers[std::min(index, b.Answers.size() - 1)];
            name = answer.second;
            return answer.first;
        }
    name = "OK";
    return IDOK;
}
} // namespace

int32_t TApplication::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
    if (FQuiet) {
        std::string name;
        const int32_t answer = DefaultAnswer(flags, name);
        QuietReport("Message", text + " (answered " + name + ")");
        return answer;
    }
    HWND owner = GetActiveWindow();
    if (!owner)
        owner = reinterpret_cast<HWND>(FHandle);
    return MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), flags);
}

void TApplication::SetCursor(TCursor c) {
    FCursor = c;
    ::SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(c == crHourGlass ? IDC_WAIT : IDC_ARROW)));
}

void ShowFatalException(const std::exception& e) {
    const auto* ex = dynamic_cast<const Exception*>(&e);
    std::string cls = ex ? ex->ClassName() : typeid(e).name();
    std::string msg = e.what();
    if (!msg.empty() && static_cast<unsigned char>(msg.back()) > '.')
        msg += '.';
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::string module = ExtractFileName(Narrow(path, n));
    std::string text = Format("Exception %s in module %s.\n%s", {cls, module, msg});
    if (TApplication* app = TheApplication(); app && app->Quiet())
        return app->QuietReport("Error", text);
    MessageBoxW(nullptr, Wide(text).c_str(), L"Application Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

// Never load a DLL from the folder the program was started from, where a
// planted one could wait. Vista and 7 without the update that brought
// SetDefaultDllDirectories lack it (imported directly, the program would not
// even start there); they at least lose the current folder.
static void LoadDllsFromSystemFolderOnly() {
    using SetDirsFn = BOOL(WINAPI*)(DWORD);
    auto setDirs = reinterpret_cast<SetDirsFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (!setDirs || !setDirs(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SetDllDirectoryW(L"");
}

int RunApplication(const std::function<void()>& createForms) {
    LoadDllsFromSystemFolderOnly();
    int code = 0;
    try {
        Application()->Initialize();
        createForms();
        Application()->Run();
        code = Application()->ExitCode();
    } catch (const std::exception& e) {
        ShowFatalException(e);
        code = 1;
    }
    // The program's end: the application frees its forms, each form its
    // components first, and work that waits for a component's destruction
    // (the clean-up of a temporary copy) happens now.
    if (TApplication* app = TheApplication()) {
        try {
            app->Free();
        } catch (const std::exception& e) {
            ShowFatalException(e);
            code = 1;
        }
    }
    return code;
}

std::optional<std::string> LoadRcDataResource(const std::string& name) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(module, Wide(name).c_str(), reinterpret_cast<LPCWSTR>(RT_RCDATA));
    if (!res)
        return std::nullopt;
    HGLOBAL data = LoadResource(module, res);
    DWORD size = SizeofResource(module, res);
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes)
        return std::nullopt;
    return std::string(static_cast<const char*>(bytes), size);
}

std::vector<uint8_t> LoadBitmapResource(const std::string& name) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(module, Wide(name).c_str(), reinterpret_cast<LPCWSTR>(RT_BITMAP));
    if (!res)
        return {};
    HGLOBAL data = LoadResource(module, res);
    DWORD size = SizeofResource(module, res);
    const auto* dib = static_cast<const uint8_t*>(data ? LockResource(data) : nullptr);
    if (!dib || size < sizeof(BITMAPINFOHEADER))
        return {};
    // The resource is the bitmap without its file header: put one in front.
    const auto* info = reinterpret_cast<const BITMAPINFOHEADER*>(dib);
    DWORD colours = info->biClrUsed ? info->biClrUsed : (info->biBitCount <= 8 ? 1u << info->biBitCount : 0);
    if (info->biCompression == BI_BITFIELDS)
        colours = 3;
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfSize = sizeof fh + size;
    fh.bfOffBits = static_cast<DWORD>(sizeof fh + info->biSize + colours * sizeof(RGBQUAD));
    std::vector<uint8_t> file(sizeof fh + size);
    memcpy(file.data(), &fh, sizeof fh);
    memcpy(file.data() + sizeof fh, dib, size);
    return file;
}

// ---------------------------------------------------------------------------
// Class descriptions

const TClassInfo& TForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TForm, TWinControl>("TForm", [](auto& c) {
        c.Str("Caption", &TForm::Caption, &TForm::SetCaption, "");
        c.Enum("BorderStyle",
               {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
               &TForm::BorderStyle, &TForm::SetBorderStyle, bsSizeable);
        c.Set("BorderIcons", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"}, &TForm::BorderIcons,
              &TForm::SetBorderIcons, 7);
        c.Enum("Position",
               {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter",
                "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"},
               &TForm::Position, &TForm::SetPosition, poDesigned);
        c.Enum("WindowState", {"wsNormal", "wsMinimized", "wsMaximized"}, &TForm::WindowState,
               &TForm::SetWindowState, wsNormal);
        c.Enum("FormStyle", {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"}, &TForm::FormStyle,
               &TForm::SetFormStyle, fsNormal);
        c.Int("ClientWidth", &TForm::ClientWidth, &TForm::SetClientWidth, 0);
        c.Int("ClientHeight", &TForm::ClientHeight, &TForm::SetClientHeight, 0);
        c.Int("BorderWidth", &TForm::BorderWidth, &TForm::SetBorderWidth, 0);
        c.Event("OnCreate", &TForm::OnCreate);
        c.Event("OnShow", &TForm::OnShow);
        c.Event("OnHide", &TForm::OnHide);
        c.Event("OnActivate", &TForm::OnActivate);
        c.Event("OnDeactivate", &TForm::OnDeactivate);
        c.Event("OnDestroy", &TForm::OnDestroy);
        c.Event("OnResize", &TForm::OnResize);
        c.Event("OnClose", &TForm::OnClose);
        c.Event("OnCloseQuery", &TForm::OnCloseQuery);
    });
    return info;
}

const TClassInfo& TApplication::StaticClass() {
    static const TClassInfo info = DescribeClass<TApplication, TComponent>("TApplication", [](auto&) {});
    return info;
}

int32_t ScreenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}
int32_t ScreenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}
int32_t CaptionHeight() {
    return GetSystemMetrics(SM_CYCAPTION);
}
int32_t HorizontalScrollBarHeight() {
    return GetSystemMetrics(SM_CYHSCROLL);
}

int32_t VerticalScrollBarWidth() {
    return GetSystemMetrics(SM_CXVSCROLL);
}

int32_t TextWidth(const std::string& text, const TFont& font) {
    HDC dc = GetDC(nullptr);
    int32_t w = 0, h = 0;
    TCanvas(reinterpret_cast<uintptr_t>(dc)).TextExtent(text, font, w, h);
    ReleaseDC(nullptr, dc);
    return w;
}

void RegisterToolkitClasses() {
    for (const TClassInfo* c :
         {&TLabel::StaticClass(), &TMemo::StaticClass(), &TPanel::StaticClass(), &TBevel::StaticClass(),
          &TImage::StaticClass(), &TButton::StaticClass(), &TBitBtn::StaticClass(), &TEdit::StaticClass(),
          &TCheckBox::StaticClass(), &TGroupBox::StaticClass(), &TRadioGroup::StaticClass(),
          &TProgressBar::StaticClass(), &TImageList::StaticClass(), &TTreeView::StaticClass(),
          &TListView::StaticClass(), &TTabControl::StaticClass()})
        RegisterClass(*c);
}
