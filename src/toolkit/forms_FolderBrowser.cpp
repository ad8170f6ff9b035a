#include "toolkit/forms_FolderBrowser.h"
#include "platform/routines_FileSystem.h"
#include "platform/routines_Files.h"
#include "platform/routines_WinText.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Dialogs.h"
#include <windows.h>
// After the Windows types.
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

namespace {

HWND H(uintptr_t h) {
    return reinterpret_cast<HWND>(h);
}

// The default place of a control the browser has no model for.
constexpr TRect kDefaultRect{20, 230, 140, 253};
constexpr int32_t kPathEditRoom = 60; // the tree gives up this much for the edit box
constexpr int32_t kPathEditGap = 15;
// Wine's browser sometimes does not take the first selection of a fresh session.
constexpr UINT_PTR kSelectTimer = 0x51F0;
constexpr UINT kSelectRetryMs = 200;
constexpr int kSelectTries = 15;

// The first "%s" or "%1" (with an optional "!s!") of a system format, filled with text.
std::string FillFirstArgument(const std::string& format, const std::string& text) {
    size_t p = format.find('%');
    while (p != std::string::npos && p + 1 < format.size()) {
        char c = format[p + 1];
        if (c == 's' || c == '1') {
            size_t end = p + 2;
            if (c == '1' && format.compare(end, 3, "!s!") == 0)
                end += 3;
            return format.substr(0, p) + text + format.substr(end);
        }
        p = format.find('%', p + 2);
    }
    return format;
}

std::string PathOfIdList(LPCITEMIDLIST pidl) {
    wchar_t buf[MAX_PATH + 1] = {};
    if (!pidl || !SHGetPathFromIDListW(pidl, buf))
        return std::string();
    return Narrow(buf);
}

void MakeFolder(const std::string& path) {
    ForceDirectory(path);
    if (!DirectoryExists(path))
        throw EInOutError("Unable to create directory");
}

} // namespace

std::string TOFDResourceStrings::CreateFolderCaption() {
    std::string s = LoadSystemString("comdlg32.dll", 703);
    return s.empty() ? "Create New Folder" : s;
}

std::string TOFDResourceStrings::NewFolderPrompt() {
    std::string s = LoadSystemString("shell32.dll", 8977);
    return s.empty() ? "Name of the new folder:" : s;
}

std::string TOFDResourceStrings::BrowseTitle() {
    std::string s = LoadSystemString("shell32.dll", 9248);
    return s.empty() ? "Select a folder:" : FillFirstArgument(s, "");
}

// ---------------------------------------------------------------------------
// TOpenFolderDialog

// The browser's callbacks; no exception leaves them.
struct TOFDCallbacks {
    static int CALLBACK Browse(HWND wnd, UINT msg, LPARAM lp, LPARAM data) {
        auto* self = reinterpret_cast<TOpenFolderDialog*>(data);
        try {
            if (msg == BFFM_INITIALIZED)
                self->Initialized(reinterpret_cast<uintptr_t>(wnd));
            else if (msg == BFFM_SELCHANGED)
                self->SelectionChanged(PathOfIdList(reinterpret_cast<LPCITEMIDLIST>(lp)));
        } catch (...) {
            Application()->HandleCurrentException(self);
        }
        return 0;
    }

    // Our button tells the browser about its clicks; the browser does not know it.
    static LRESULT CALLBACK Subclass(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data) {
        auto* self = reinterpret_cast<TOpenFolderDialog*>(data);
        if (msg == WM_COMMAND && lp && self->FCreateButton &&
            static_cast<uintptr_t>(lp) == self->FCreateButton->Handle()) {
            DispatchCommandToControl(static_cast<uintptr_t>(lp), HIWORD(wp));
            return 0;
        }
        if (msg == WM_TIMER && wp == kSelectTimer) {
            try {
                self->RetrySelection();
            } catch (...) {
                KillTimer(wnd, kSelectTimer);
                Application()->HandleCurrentException(self);
            }
            return 0;
        }
        if (msg == WM_NCDESTROY) {
            KillTimer(wnd, kSelectTimer);
            RemoveWindowSubclass(wnd, &TOFDCallbacks::Subclass, id);
        }
        return DefSubclassProc(wnd, msg, wp, lp);
    }
};

TOpenFolderDialog::TOpenFolderDialog(TComponent* AOwner) : TComponent(AOwner) {}

TOpenFolderDialog::~TOpenFolderDialog() = default;

void TOpenFolderDialog::FreeControls() {
    if (FCreateButton)
        FCreateButton->Free();
    if (FPathEdit)
        FPathEdit->Free();
    FCreateButton = nullptr;
    FPathEdit = nullptr;
}

bool TOpenFolderDialog::Execute() {
    // Creating a folder closes the browser and opens it again on the new one.
    for (;;) {
        bool chosen = ExecuteOnce();
        if (!FReopen)
            return chosen;
        FDirectory = FCurrentPath;
    }
}

bool TOpenFolderDialog::ExecuteOnce() {
    FReopen = false;
    FreeControls();
    FBrowser = 0;
    FTree = FOK = FCancel = {};
    FCurrentPath.clear();
    FStartPath.clear();

    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    std::wstring title = Wide(TOFDResourceStrings::BrowseTitle());
    wchar_t display[MAX_PATH + 1] = {};
    BROWSEINFOW bi{};
    bi.hwndOwner = GetActiveWindow();
    if (!bi.hwndOwner)
        bi.hwndOwner = H(Application()->Handle());
    bi.pidlRoot = nullptr;
    bi.pszDisplayName = display;
    bi.lpszTitle = title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    bi.lpfn = &TOFDCallbacks::Browse;
    bi.lParam = reinterpret_cast<LPARAM>(this);
    LPITEMIDLIST pidl = SHBrowseForFolderW(&bi);
    FBrowser = 0;
    std::string confirmed = PathOfIdList(pidl);
    if (pidl)
        CoTaskMemFree(pidl);
    if (SUCCEEDED(com))
        CoUninitialize();
    if (!pidl)
        return false;
    if (FShowPathEdit) {
        // The path box's folder, or the confirmed one when the box never had one.
        std::string chosen = FCurrentPath.empty() ? confirmed : FCurrentPath;
        MakeFolder(chosen);
        FDirectory = chosen;
    } else {
        FDirectory = confirmed;
    }
    return true;
}

void TOpenFolderDialog::Initialized(uintptr_t browser) {
    FBrowser = browser;
    SetWindowSubclass(H(browser), &TOFDCallbacks::Subclass, 1, reinterpret_cast<DWORD_PTR>(this));
    FindBrowserControls();
    if (FShowCreateButton)
        AddCreateButton();
    if (FShowPathEdit)
        AddPathEdit();
    if (FTree.Window) {
        HWND tree = H(FTree.Window);
        SetWindowLongPtrW(tree, GWL_STYLE, GetWindowLongPtrW(tree, GWL_STYLE) | TVS_SHOWSELALWAYS);
    }
    std::string start = ExistingParent(FDirectory);
    FStartPath = start.empty() ? start : start.size() > 3 ? RemoveBackslash(start) : AddBackslash(start);
    FSelectionSeen = false;
    if (FStartPath.empty())
        return;
    SelectPath(FStartPath);
    if (!FSelectionSeen) {
        FSelectTries = kSelectTries;
        SetTimer(H(browser), kSelectTimer, kSelectRetryMs, nullptr);
    }
}

void TOpenFolderDialog::RetrySelection() {
    // A selection of the person's own ends the retries too.
    if (FSelectionSeen || --FSelectTries < 0) {
        KillTimer(H(FBrowser), kSelectTimer);
        return;
    }
    SelectPath(FStartPath);
}

void TOpenFolderDialog::FindBrowserControls() {
    struct TFound {
        HWND Browser;
        std::vector<HWND> Trees, Buttons;
    } found{H(FBrowser), {}, {}};
    EnumChildWindows(
        H(FBrowser),
        [](HWND h, LPARAM lp) CALLBACK -> BOOL {
            auto* f = reinterpret_cast<TFound*>(lp);
            wchar_t cls[64] = {};
            GetClassNameW(h, cls, 63);
            if (_wcsnicmp(cls, L"SYSTREE", 7) == 0)
                f->Trees.push_back(h);
            else if (_wcsnicmp(cls, L"BUTTON", 6) == 0)
                f->Buttons.push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    auto record = [&](HWND h) {
        RECT r;
        GetWindowRect(h, &r);
        MapWindowPoints(nullptr, H(FBrowser), reinterpret_cast<POINT*>(&r), 2);
        return TChildRect{reinterpret_cast<uintptr_t>(h), {r.left, r.top, r.right, r.bottom}};
    };
    if (!found.Trees.empty())
        FTree = record(found.Trees.front());
    if (found.Buttons.size() >= 1)
        FOK = record(found.Buttons[0]);
    if (found.Buttons.size() >= 2)
        FCancel = record(found.Buttons[1]);
}

void TOpenFolderDialog::AddCreateButton() {
    TRect r = kDefaultRect;
    if (FOK.Window && FCancel.Window) {
        // On the row of OK and Cancel, from the tree's left edge to one gap before OK.
        r.Top = FOK.Rect.Top;
        r.Bottom = FOK.Rect.Bottom;
        r.Right = FOK.Rect.Right - (FCancel.Rect.Left - FOK.Rect.Left);
        r.Left = FTree.Window ? FTree.Rect.Left : r.Left;
    }
    FCreateButton = new TOFDCreateButton(this);
    FCreateButton->SetCaption(TOFDResourceStrings::CreateFolderCaption());
    FCreateButton->SetBounds(r.Left, r.Top, r.Width(), r.Height());
    FCreateButton->OnClick = [this](TObject* sender) { CreateButtonClick(sender); };
    FCreateButton->SetParentWindow(FBrowser);
    FCreateButton->HandleNeeded();
    SendMessageW(H(FCreateButton->Handle()), WM_SETFONT, SendMessageW(H(FBrowser), WM_GETFONT, 0, 0), TRUE);
}

void TOpenFolderDialog::AddPathEdit() {
    TRect r = kDefaultRect;
    if (FTree.Window) {
        FTree.Rect.Bottom -= kPathEditRoom;
        SetWindowPos(H(FTree.Window), nullptr, 0, 0, FTree.Rect.Width(), FTree.Rect.Height(),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
        if (FOK.Window) {
            int32_t h = r.Height();
            r = {FTree.Rect.Left, FTree.Rect.Bottom + kPathEditGap, FTree.Rect.Right,
                 FTree.Rect.Bottom + kPathEditGap + h};
        }
    }
    FPathEdit = new TOFDPathEdit(this);
    FPathEdit->SetBounds(r.Left, r.Top, r.Width(), r.Height());
    FPathEdit->OnKeyUp = [this](TObject* sender, uint16_t& key, TShiftState shift) {
        PathEditKeyUp(sender, key, shift);
    };
    FPathEdit->SetParentWindow(FBrowser);
    FPathEdit->HandleNeeded();
    SendMessageW(H(FPathEdit->Handle()), WM_SETFONT, SendMessageW(H(FBrowser), WM_GETFONT, 0, 0), TRUE);
    FPathEdit->SetText(FCurrentPath);
}

void TOpenFolderDialog::SelectPath(const std::string& path) {
    if (!FBrowser)
        return;
    std::wstring w = Wide(path);
    FSelecting = true;
    SendMessageW(H(FBrowser), BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(w.c_str()));
    FSelecting = false;
}

void TOpenFolderDialog::SelectionChanged(const std::string& path) {
    FSelectionSeen = true;
    FCurrentPath = path;
    if (FPathEdit && !FTyping)
        FPathEdit->SetText(path);
    // Only a folder that can be chosen can get a new folder.
    if (FOK.Window && FCreateButton) {
        if (IsWindowEnabled(H(FOK.Window)))
            FCreateButton->Show();
        else
            FCreateButton->Hide();
    }
}

void TOpenFolderDialog::PathEditKeyUp(TObject*, uint16_t&, TShiftState) {
    if (FSelecting || !FPathEdit)
        return;
    // The person's own path: the first folder is not tried again over it.
    FSelectTries = 0;
    FTyping = true;
    std::string typed = FPathEdit->Text();
    try {
        SelectPath(typed);
    } catch (...) {
        FTyping = false;
        throw;
    }
    FCurrentPath = typed;
    FTyping = false;
}

void TOpenFolderDialog::CreateButtonClick(TObject* sender) {
    bool allow = true;
    if (OnCreateFolder)
        OnCreateFolder(sender, allow);
    if (!allow)
        return;
    if (!FPathEdit || DirectoryExists(FPathEdit->Text())) {
        std::string name;
        if (!InputQuery(TOFDResourceStrings::CreateFolderCaption(), TOFDResourceStrings::NewFolderPrompt(),
                        name))
            return;
        // No name, no folder: the browser stays as it is.
        if (Trim(name).empty())
            return;
        FCurrentPath = AddBackslash(FCurrentPath) + name;
    } else {
        FCurrentPath = FPathEdit->Text();
    }
    MakeFolder(FCurrentPath);
    FReopen = true;
    if (FOK.Window)
        PostMessageW(H(FOK.Window), BM_CLICK, 0, 0);
    else
        PostMessageW(H(FBrowser), WM_COMMAND, IDOK, 0);
}

// ---------------------------------------------------------------------------
// Class descriptions

const TClassInfo& TOFDCreateButton::StaticClass() {
    static const TClassInfo info = DescribeClass<TOFDCreateButton, TButton>("TOFDCreateButton", [](auto&) {});
    return info;
}

const TClassInfo& TOFDPathEdit::StaticClass() {
    static const TClassInfo info = DescribeClass<TOFDPathEdit, TEdit>("TOFDPathEdit", [](auto&) {});
    return info;
}

const TClassInfo& TOpenFolderDialog::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TOpenFolderDialog, TComponent>("TOpenFolderDialog", [](auto& c) {
            c.Str("Directory", &TOpenFolderDialog::Directory, &TOpenFolderDialog::SetDirectory, "");
            c.Bool("ShowCreateButton", &TOpenFolderDialog::ShowCreateButton,
                   &TOpenFolderDialog::SetShowCreateButton, true);
            c.Bool("ShowPathEdit", &TOpenFolderDialog::ShowPathEdit, &TOpenFolderDialog::SetShowPathEdit,
                   true);
            c.Event("OnCreateFolder", &TOpenFolderDialog::OnCreateFolder);
        });
    return info;
}
