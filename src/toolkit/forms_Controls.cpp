#include "platform/routines_Files.h"
#include "platform/routines_WinText.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Forms.h"
#include <windows.h>
// Our names, not the macros for the A/W functions.
#undef RegisterClass
#undef MessageBox
#undef DrawText
#include <algorithm>
#include <commctrl.h>
#include <map>
#include <tuple>

// ---------------------------------------------------------------------------
// Window procedures: every window of ours, and every system control we
// subclass, comes through QfdDispatch, which never lets an exception out.

static const wchar_t* const kWindowClass = L"QfdWindow";
static const wchar_t* const kControlProp = L"QfdControl";

static TWinControl* ControlOf(HWND h) {
    return h ? static_cast<TWinControl*>(GetPropW(h, kControlProp)) : nullptr;
}

intptr_t QfdDispatch(TWinControl* c, uintptr_t h, uint32_t msg, uintptr_t wp, intptr_t lp) {
    // Messages arrive during CreateWindowEx, before it has returned the handle.
    if (!c->FHandle && msg != WM_NCDESTROY)
        c->FHandle = h;
    TMessage m{msg, wp, lp, 0};
    try {
        c->WndProc(m);
    } catch (...) {
        Application()->HandleCurrentException(c);
    }
    return m.Result;
}

static LRESULT CALLBACK QfdWindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetPropW(h, kControlProp, cs->lpCreateParams);
    }
    TWinControl* c = ControlOf(h);
    if (!c)
        return DefWindowProcW(h, msg, wp, lp);
    return QfdDispatch(c, reinterpret_cast<uintptr_t>(h), msg, wp, lp);
}

TWinControl* FindControl(uintptr_t window) {
    return ControlOf(reinterpret_cast<HWND>(window));
}

bool DispatchCommandToControl(uintptr_t control, uint32_t code) {
    TWinControl* c = FindControl(control);
    if (!c)
        return false;
    try {
        c->CommandNotify(code);
    } catch (...) {
        Application()->HandleCurrentException(c);
    }
    return true;
}

TShiftState KeyboardShiftState() {
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0)
        s |= ssShift;
    if (GetKeyState(VK_MENU) < 0)
        s |= ssAlt;
    if (GetKeyState(VK_CONTROL) < 0)
        s |= ssCtrl;
    return s;
}

static void RegisterWindowClass() {
    static bool done = false;
    if (done)
        return;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = QfdWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), L"MAINICON");
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);
    done = true;
}

// ---------------------------------------------------------------------------
// Colours, fonts and brushes

uint32_t ColorToRGB(TColor c) {
    if ((static_cast<uint32_t>(c) & 0xFF000000u) == 0xFF000000u)
        return GetSysColor(c & 0xFF);
    return static_cast<uint32_t>(c) & 0xFFFFFF;
}

uintptr_t FontHandle(const TFont& font, int32_t escapement, bool trueTypeOnly) {
    using Key = std::tuple<std::string, int32_t, int32_t, uint32_t, int32_t, bool>;
    static std::map<Key, HFONT> cache;
    Key key{font.Name(), font.Height(), font.Charset(), font.Style(), escapement, trueTypeOnly};
    auto it = cache.find(key);
    if (it != cache.end())
        return reinterpret_cast<uintptr_t>(it->second);
    LOGFONTW lf = {};
    lf.lfHeight = font.Height();
    lf.lfEscapement = lf.lfOrientation = escapement;
    lf.lfWeight = (font.Style() & (1u << fsBold)) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (font.Style() & (1u << fsItalic)) ? TRUE : FALSE;
    lf.lfUnderline = (font.Style() & (1u << fsUnderline)) ? TRUE : FALSE;
    lf.lfStrikeOut = (font.Style() & (1u << fsStrikeOut)) ? TRUE : FALSE;
    lf.lfCharSet = static_cast<BYTE>(font.Charset());
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfOutPrecision = trueTypeOnly ? OUT_TT_ONLY_PRECIS : OUT_DEFAULT_PRECIS;
    std::wstring face = Wide(font.Name()).substr(0, LF_FACESIZE - 1);
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    HFONT f = CreateFontIndirectW(&lf);
    cache[key] = f;
    return reinterpret_cast<uintptr_t>(f);
}

static HBRUSH SolidBrush(TColor c) {
    static std::map<uint32_t, HBRUSH> cache;
    uint32_t rgb = ColorToRGB(c);
    auto it = cache.find(rgb);
    if (it != cache.end())
        return it->second;
    HBRUSH b = CreateSolidBrush(rgb);
    cache[rgb] = b;
    return b;
}

void TCanvas::FillRect(const TRect& r, TColor color) {
    RECT rc{r.Left, r.Top, r.Right, r.Bottom};
    ::FillRect(reinterpret_cast<HDC>(FDC), &rc, SolidBrush(color));
}

int32_t TCanvas::TextRect(const std::string& text, TRect& r, uint32_t flags, const TFont& font,
                          bool transparent, TColor background) {
    HDC dc = reinterpret_cast<HDC>(FDC);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(FontHandle(font)));
    SetTextColor(dc, ColorToRGB(font.Color()));
    SetBkMode(dc, transparent ? TRANSPARENT : OPAQUE);
    SetBkColor(dc, ColorToRGB(background));
    RECT rc{r.Left, r.Top, r.Right, r.Bottom};
    std::wstring w = Wide(text);
    int h = ::DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &rc, flags);
    if (flags & DT_CALCRECT)
        r = {rc.left, rc.top, rc.right, rc.bottom};
    SelectObject(dc, old);
    return h;
}

void TCanvas::TextExtent(const std::string& text, const TFont& font, int32_t& w, int32_t& h) {
    TRect r{0, 0, 0, 0};
    TextRect(text.empty() ? std::string(" ") : text, r, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS, font, true,
             clNone);
    w = text.empty() ? 0 : r.Width();
    h = r.Height();
}

void TCanvas::TextOutAngle(int32_t x, int32_t y, const std::string& text, const TFont& font, TColor color,
                           int32_t escapement, bool trueTypeOnly) {
    HDC dc = reinterpret_cast<HDC>(FDC);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(FontHandle(font, escapement, trueTypeOnly)));
    SetTextColor(dc, ColorToRGB(color));
    int oldMode = SetBkMode(dc, TRANSPARENT);
    UINT oldAlign = SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    std::wstring w = Wide(text);
    ::TextOutW(dc, x, y, w.c_str(), static_cast<int>(w.size()));
    SetTextAlign(dc, oldAlign);
    SetBkMode(dc, oldMode);
    SelectObject(dc, old);
}

void TCanvas::FillPolygon(const std::vector<TPoint>& points, TColor color) {
    if (points.size() < 3)
        return;
    HDC dc = reinterpret_cast<HDC>(FDC);
    std::vector<POINT> pts;
    pts.reserve(points.size());
    for (const TPoint& p : points)
        pts.push_back({p.X, p.Y});
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, SolidBrush(color));
    // The null pen leaves out the outline, which Polygon otherwise adds.
    ::Polygon(dc, pts.data(), static_cast<int>(pts.size()));
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
}

// ---------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
    FFont.OnChange = [this] {
        if (!FSettingParentFont)
            FParentFont = false;
        FontChanged();
    };
}

TControl::~TControl() {
    if (FParent)
        FParent->RemoveControl(this);
}

void TControl::BeforeDestruction() {
    if (FParent)
        FParent->RemoveControl(this);
    TComponent::BeforeDestruction();
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == FParent)
        return;
    if (parent == this)
        throw EComponentError("A control cannot have itself as its parent");
    if (FParent)
        FParent->RemoveControl(this);
    if (parent)
        parent->InsertControl(this);
}

void TControl::SetParentComponent(TComponent* parent) {
    if (auto* w = dynamic_cast<TWinControl*>(parent))
        SetParent(w);
}

void TControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (left == FLeft && top == FTop && width == FWidth && height == FHeight)
        return;
    if (PaintedByParent())
        Invalidate();
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    BoundsChanged();
}

void TControl::BoundsChanged() {
    Invalidate();
    if (FParent && FAlign != alNone && !FParent->FAligning)
        FParent->AlignControls();
}

void TControl::SetAlign(TAlign a) {
    if (a == FAlign)
        return;
    FAlign = a;
    if (FParent && !Loading())
        FParent->AlignControls();
}

void TControl::SetVisible(bool v) {
    if (v == FVisible)
        return;
    FVisible = v;
    if (PaintedByParent() && FParent && FParent->HandleAllocated())
        InvalidateRect(reinterpret_cast<HWND>(FParent->Handle()), nullptr, TRUE);
    if (FParent && FAlign != alNone)
        FParent->AlignControls();
}

bool TControl::Showing() const {
    if (!FVisible)
        return false;
    return !FParent || FParent->Showing();
}

void TControl::SetEnabled(bool v) {
    FEnabled = v;
    Invalidate();
}

void TControl::SetCaption(const std::string& s) {
    if (s == FCaption)
        return;
    FCaption = s;
    TextChanged();
}

void TControl::SetParentFont(bool v) {
    FParentFont = v;
    if (v && FParent) {
        FSettingParentFont = true;
        FFont.Assign(FParent->Font());
        FSettingParentFont = false;
    }
}

void TControl::SetColor(TColor c) {
    if (c == FColor)
        return;
    FColor = c;
    FParentColor = false;
    ColorChanged();
}

void TControl::SetParentColor(bool v) {
    FParentColor = v;
    if (v && FParent) {
        FColor = FParent->Color();
        ColorChanged();
    }
}

void TControl::Click() {
    if (OnClick)
        OnClick(this);
}

void TControl::FontChanged() {
    Invalidate();
}
void TControl::ColorChanged() {
    Invalidate();
}

void TControl::Invalidate() {
    if (FParent && FParent->HandleAllocated()) {
        RECT r{FLeft, FTop, FLeft + FWidth, FTop + FHeight};
        InvalidateRect(reinterpret_cast<HWND>(FParent->Handle()), &r, TRUE);
    }
}

// ---------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
    // Children that outlive us lose their parent; their windows die with ours.
    for (TControl* c : FControls)
        c->FParent = nullptr;
    FControls.clear();
    DestroyHandle();
}

void TWinControl::InsertControl(TControl* c) {
    FControls.push_back(c);
    c->FParent = this;
    if (c->FParentFont) {
        c->FSettingParentFont = true;
        c->FFont.Assign(FFont);
        c->FSettingParentFont = false;
    }
    if (c->FParentColor)
        c->FColor = FColor;
    if (auto* w = dynamic_cast<TWinControl*>(c); w && HandleAllocated())
        w->HandleNeeded();
    if (c->FAlign != alNone && !Loading())
        AlignControls();
    c->Invalidate();
}

void TWinControl::RemoveControl(TControl* c) {
    auto it = std::find(FControls.begin(), FControls.end(), c);
    if (it == FControls.end())
        return;
    c->Invalidate();
    if (auto* w = dynamic_cast<TWinControl*>(c))
        w->DestroyHandle();
    FControls.erase(it);
    c->FParent = nullptr;
    if (c->FAlign != alNone && !Destroying())
        AlignControls();
}

void TWinControl::SetParentWindow(uintptr_t w) {
    if (w == FParentWindow)
        return;
    DestroyHandle();
    FParentWindow = w;
}

uintptr_t TWinControl::ParentHandle() const {
    return FParent ? FParent->FHandle : FParentWindow;
}

void TWinControl::SetTabStop(bool v) {
    FTabStop = v;
    if (FHandle) {
        HWND h = reinterpret_cast<HWND>(FHandle);
        LONG_PTR style = GetWindowLongPtrW(h, GWL_STYLE);
        SetWindowLongPtrW(h, GWL_STYLE,
                          v ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP)));
    }
}

void TWinControl::KeyDown(uint16_t& key, TShiftState shift) {
    if (OnKeyDown)
        OnKeyDown(this, key, shift);
}

void TWinControl::KeyUp(uint16_t& key, TShiftState shift) {
    if (OnKeyUp)
        OnKeyUp(this, key, shift);
}

uintptr_t TWinControl::HandleNeeded() {
    if (FHandle)
        return FHandle;
    if (FParent && !FParent->HandleAllocated()) {
        FParent->HandleNeeded(); // creates ours among its children
        if (FHandle)
            return FHandle;
    }
    CreateWnd();
    return FHandle;
}

void TWinControl::CreateParams(TCreateParams& p) {
    p.ClassName = kWindowClass;
    p.Caption = Wide(FCaption);
    bool child = FParent || FParentWindow;
    p.Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (child ? WS_CHILD : WS_POPUP);
    if (FVisible && child)
        p.Style |= WS_VISIBLE;
    if (!FEnabled)
        p.Style |= WS_DISABLED;
    if (FTabStop)
        p.Style |= WS_TABSTOP;
    // Tab moves on into the controls of our containers.
    p.ExStyle |= WS_EX_CONTROLPARENT;
    p.X = FLeft;
    p.Y = FTop;
    p.W = FWidth;
    p.H = FHeight;
    p.WndParent = ParentHandle();
}

void TWinControl::CreateWnd() {
    RegisterWindowClass();
    TCreateParams p;
    CreateParams(p);
    if (!p.OwnClass && !FAcceptsControls)
        p.ExStyle &= ~static_cast<uint32_t>(WS_EX_CONTROLPARENT);
    HWND h = CreateWindowExW(p.ExStyle, p.ClassName.c_str(), p.Caption.c_str(), p.Style, p.X, p.Y, p.W, p.H,
                             reinterpret_cast<HWND>(p.WndParent), nullptr, GetModuleHandleW(nullptr),
                             p.OwnClass ? this : nullptr);
    if (!h)
        throw EOSError(
            Format("Cannot create the window of %s. %s", {Name(), SystemErrorText(GetLastError())}));
    FHandle = reinterpret_cast<uintptr_t>(h);
    if (!p.OwnClass) {
        // A system control: route its messages through us as well.
        SetPropW(h, kControlProp, this);
        FSystemProc = static_cast<uintptr_t>(
            SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(QfdWindowProc)));
    }
    UpdateWindowFont();
    AfterCreateWnd();
    CreateChildHandles();
    AlignControls();
}

void TWinControl::CreateChildHandles() {
    for (TControl* c : FControls)
        if (auto* w = dynamic_cast<TWinControl*>(c); w && !w->FHandle)
            w->CreateWnd();
}

void TWinControl::DestroyHandle() {
    if (!FHandle)
        return;
    for (TControl* c : FControls)
        if (auto* w = dynamic_cast<TWinControl*>(c))
            w->DestroyHandle();
    HWND h = reinterpret_cast<HWND>(FHandle);
    FHandle = 0;
    if (IsWindow(h))
        DestroyWindow(h);
}

void TWinControl::DefaultHandler(TMessage& m) {
    HWND h = reinterpret_cast<HWND>(FHandle);
    if (FSystemProc)
        m.Result = CallWindowProcW(reinterpret_cast<WNDPROC>(FSystemProc), h, m.Msg, m.WParam, m.LParam);
    else
        m.Result = DefWindowProcW(h, m.Msg, m.WParam, m.LParam);
}

static TCursor EffectiveCursor(TWinControl* c) {
    if (Application()->Cursor() != crDefault)
        return Application()->Cursor();
    for (TControl* p = c; p; p = p->Parent())
        if (auto* f = dynamic_cast<TForm*>(p))
            return f->Cursor();
    return crDefault;
}

void TWinControl::WndProc(TMessage& m) {
    HWND h = reinterpret_cast<HWND>(FHandle);
    switch (m.Msg) {
    case WM_PAINT:
        if (!FSystemProc) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            PaintWindow(reinterpret_cast<uintptr_t>(dc));
            EndPaint(h, &ps);
            return;
        }
        break;
    case WM_ERASEBKGND:
        if (!FSystemProc) {
            m.Result = 1; // painted whole in WM_PAINT
            return;
        }
        break;
    case WM_SIZE:
        if (!FAligning)
            AlignControls();
        break;
    case WM_COMMAND:
        if (TWinControl* child = ControlOf(reinterpret_cast<HWND>(m.LParam)); child && child != this) {
            child->CommandNotify(HIWORD(m.WParam));
            return;
        }
        break;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(m.LParam);
        if (TWinControl* child = hdr ? ControlOf(hdr->hwndFrom) : nullptr; child && child != this) {
            child->ChildNotify(m);
            return;
        }
        break;
    }
    case WM_KEYDOWN:
    case WM_KEYUP: {
        auto key = static_cast<uint16_t>(m.WParam);
        if (m.Msg == WM_KEYDOWN)
            KeyDown(key, KeyboardShiftState());
        else
            KeyUp(key, KeyboardShiftState());
        if (key == 0)
            return;
        m.WParam = key;
        break;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        if (TWinControl* child = ControlOf(reinterpret_cast<HWND>(m.LParam))) {
            HDC dc = reinterpret_cast<HDC>(m.WParam);
            SetTextColor(dc, ColorToRGB(child->Font().Color()));
            SetBkColor(dc, ColorToRGB(child->Color()));
            m.Result = reinterpret_cast<intptr_t>(SolidBrush(child->Color()));
            return;
        }
        break;
    case WM_SETCURSOR:
        if (LOWORD(m.LParam) == HTCLIENT && EffectiveCursor(this) == crHourGlass) {
            ::SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
            m.Result = TRUE;
            return;
        }
        break;
    case WM_LBUTTONUP:
        if (!FSystemProc) {
            // A click on a control painted by us goes to that control.
            int x = static_cast<short>(LOWORD(m.LParam)), y = static_cast<short>(HIWORD(m.LParam));
            for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
                TControl* c = *it;
                if (c->PaintedByParent() && c->Visible() && x >= c->Left() && x < c->Left() + c->Width() &&
                    y >= c->Top() && y < c->Top() + c->Height()) {
                    c->Click();
                    return;
                }
            }
            Click();
        }
        break;
    case WM_NCDESTROY:
        DefaultHandler(m);
        if (FSystemProc)
            SetWindowLongPtrW(h, GWLP_WNDPROC, static_cast<LONG_PTR>(FSystemProc));
        RemovePropW(h, kControlProp);
        FSystemProc = 0;
        FHandle = 0;
        return;
    }
    DefaultHandler(m);
}

void TWinControl::PaintWindow(uintptr_t dcHandle) {
    HDC dc = reinterpret_cast<HDC>(dcHandle);
    TCanvas canvas(dcHandle);
    RECT rc;
    GetClientRect(reinterpret_cast<HWND>(FHandle), &rc);
    PaintBackground(canvas, {rc.left, rc.top, rc.right, rc.bottom});
    for (TControl* c : FControls) {
        if (!c->PaintedByParent() || !c->Visible())
            continue;
        int saved = SaveDC(dc);
        IntersectClipRect(dc, c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height());
        SetViewportOrgEx(dc, c->Left(), c->Top(), nullptr);
        c->Paint(canvas);
        RestoreDC(dc, saved);
    }
}

void TWinControl::PaintBackground(TCanvas& canvas, const TRect& client) {
    canvas.FillRect(client, FColor);
}

TRect TWinControl::AlignArea() const {
    return {FBorderWidth, FBorderWidth, ClientWidth() - FBorderWidth, ClientHeight() - FBorderWidth};
}

void TWinControl::AlignControls() {
    if (FAligning)
        return;
    FAligning = true;
    try {
        TRect area = AlignArea();
        for (TAlign a : {alTop, alBottom, alLeft, alRight, alClient}) {
            for (TControl* c : FControls) {
                if (c->Align() != a || !c->Visible())
                    continue;
                int32_t w = c->Width(), h = c->Height();
                switch (a) {
                case alTop:
                    c->SetBounds(area.Left, area.Top, area.Width(), h);
                    area.Top += h;
                    break;
                case alBottom:
                    c->SetBounds(area.Left, area.Bottom - h, area.Width(), h);
                    area.Bottom -= h;
                    break;
                case alLeft:
                    c->SetBounds(area.Left, area.Top, w, area.Height());
                    area.Left += w;
                    break;
                case alRight:
                    c->SetBounds(area.Right - w, area.Top, w, area.Height());
                    area.Right -= w;
                    break;
                default:
                    c->SetBounds(area.Left, area.Top, area.Width(), area.Height());
                }
            }
        }
    } catch (...) {
        FAligning = false;
        throw;
    }
    FAligning = false;
}

void TWinControl::SetBorderWidth(int32_t v) {
    FBorderWidth = std::max(v, 0);
    AlignControls();
}

bool TWinControl::VerticalScrollBarShown() const {
    return FHandle && (GetWindowLongW(reinterpret_cast<HWND>(FHandle), GWL_STYLE) & WS_VSCROLL) != 0;
}

int32_t TWinControl::ClientWidth() const {
    if (FHandle) {
        RECT r;
        GetClientRect(reinterpret_cast<HWND>(FHandle), &r);
        return r.right;
    }
    return FWidth;
}

int32_t TWinControl::ClientHeight() const {
    if (FHandle) {
        RECT r;
        GetClientRect(reinterpret_cast<HWND>(FHandle), &r);
        return r.bottom;
    }
    return FHeight;
}

void TWinControl::Repaint() {
    if (!FHandle)
        return;
    HWND h = reinterpret_cast<HWND>(FHandle);
    RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TWinControl::Invalidate() {
    if (FHandle)
        InvalidateRect(reinterpret_cast<HWND>(FHandle), nullptr, TRUE);
}

void TWinControl::SetFocus() {
    if (HandleNeeded())
        ::SetFocus(reinterpret_cast<HWND>(FHandle));
}

bool TWinControl::Focused() const {
    return FHandle && GetFocus() == reinterpret_cast<HWND>(FHandle);
}

void TWinControl::UpdateWindowFont() {
    if (FHandle)
        SendMessageW(reinterpret_cast<HWND>(FHandle), WM_SETFONT, static_cast<WPARAM>(FontHandle(FFont)),
                     TRUE);
}

void TWinControl::FontChanged() {
    UpdateWindowFont();
    for (TControl* c : FControls)
        if (c->ParentFont()) {
            c->FSettingParentFont = true;
            c->Font().Assign(FFont);
            c->FSettingParentFont = false;
        }
    Invalidate();
}

void TWinControl::BoundsChanged() {
    if (FHandle && ParentHandle())
        SetWindowPos(reinterpret_cast<HWND>(FHandle), nullptr, FLeft, FTop, FWidth, FHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    else if (!FHandle)
        AlignControls();
    if (FParent && FAlign != alNone && !FParent->FAligning)
        FParent->AlignControls();
}

void TWinControl::TextChanged() {
    if (FHandle)
        SetWindowTextW(reinterpret_cast<HWND>(FHandle), Wide(FCaption).c_str());
}

void TWinControl::SetVisible(bool v) {
    TControl::SetVisible(v);
    if (FHandle && ParentHandle())
        ShowWindow(reinterpret_cast<HWND>(FHandle), v ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::SetEnabled(bool v) {
    TControl::SetEnabled(v);
    if (FHandle)
        EnableWindow(reinterpret_cast<HWND>(FHandle), v);
}

// ---------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
    FWidth = 65;
    FHeight = 17;
    FParentColor = true;
}

void TLabel::SetAlignment(TAlignment a) {
    FAlignment = a;
    Invalidate();
}

void TLabel::SetAutoSize(bool v) {
    FAutoSize = v;
    AdjustSize();
}

void TLabel::SetTransparent(bool v) {
    FTransparent = v;
    Invalidate();
}

void TLabel::SetWordWrap(bool v) {
    FWordWrap = v;
    AdjustSize();
    Invalidate();
}

void TLabel::TextChanged() {
    AdjustSize();
    Invalidate();
}

void TLabel::FontChanged() {
    AdjustSize();
    Invalidate();
}

void TLabel::AdjustSize() {
    if (!FAutoSize || Loading())
        return;
    const bool strip = FAlign == alTop || FAlign == alBottom;
    // A wrapped label keeps its width; only a strip grows to its lines.
    if (FWordWrap && (!strip || FWidth <= 0))
        return;
    HDC dc = GetDC(nullptr);
    TCanvas canvas(reinterpret_cast<uintptr_t>(dc));
    int32_t w, h;
    if (FWordWrap) {
        TRect r{0, 0, FWidth, 0};
        canvas.TextRect(FCaption.empty() ? std::string(" ") : FCaption, r,
                        DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS, FFont, true, clNone);
        w = FWidth;
        h = r.Height();
    } else {
        canvas.TextExtent(FCaption, FFont, w, h);
    }
    ReleaseDC(nullptr, dc);
    if (FAlign == alTop || FAlign == alBottom)
        SetHeight(h);
    else if (FAlign == alNone)
        SetBounds(FLeft, FTop, w, h);
}

void TLabel::Paint(TCanvas& canvas) {
    TRect r{0, 0, FWidth, FHeight};
    if (!FTransparent)
        canvas.FillRect(r, FColor);
    uint32_t flags = DT_EXPANDTABS | (FWordWrap ? DT_WORDBREAK : 0) |
                     (FAlignment == taCenter         ? DT_CENTER
                      : FAlignment == taRightJustify ? DT_RIGHT
                                                     : DT_LEFT);
    canvas.TextRect(FCaption, r, flags, FFont, true, FColor);
}

// ---------------------------------------------------------------------------
// TMemo

TMemo::TMemo(TComponent* AOwner) : TWinControl(AOwner) {
    FWidth = 185;
    FHeight = 89;
    FColor = clWindow;
}

void TMemo::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.ClassName = L"EDIT";
    p.OwnClass = false;
    p.Style |= WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_NOHIDESEL;
    if (FReadOnly)
        p.Style |= ES_READONLY;
    if (!FWordWrap)
        p.Style |= ES_AUTOHSCROLL;
    if (FScrollBars == ssVertical || FScrollBars == ssBoth)
        p.Style |= WS_VSCROLL;
    if (FScrollBars == ssHorizontal || FScrollBars == ssBoth)
        p.Style |= WS_HSCROLL;
    p.ExStyle |= WS_EX_CLIENTEDGE;
    p.Caption.clear();
}

static std::string JoinLines(const TStringList& l) {
    std::string t = l.Text();
    if (t.size() >= 2)
        t.resize(t.size() - 2); // no line break after the last line
    return t;
}

void TMemo::AfterCreateWnd() {
    FSettingText = true;
    SetWindowTextW(reinterpret_cast<HWND>(FHandle), Wide(JoinLines(FLines)).c_str());
    FSettingText = false;
}

TStringList TMemo::Lines() const {
    if (FHandle) {
        HWND h = reinterpret_cast<HWND>(FHandle);
        int n = GetWindowTextLengthW(h);
        std::wstring w(static_cast<size_t>(n) + 1, L'\0');
        GetWindowTextW(h, w.data(), n + 1);
        w.resize(static_cast<size_t>(n));
        FLines.SetText(Narrow(w));
    }
    return FLines;
}

void TMemo::SetLines(const TStringList& lines) {
    FLines = lines;
    if (FHandle) {
        FSettingText = true;
        SetWindowTextW(reinterpret_cast<HWND>(FHandle), Wide(JoinLines(FLines)).c_str());
        FSettingText = false;
    }
    if (OnChange)
        OnChange(this);
}

void TMemo::LoadLinesFromFile(const std::string& fileName) {
    TStringList l;
    l.LoadFromFile(fileName);
    SetLines(l);
}

std::string TMemo::Text() const {
    return JoinLines(Lines());
}

bool TMemo::WantsDialogKey(uint16_t key) const {
    return key == VK_RETURN;
}

void TMemo::CommandNotify(uint32_t code) {
    if (code == EN_CHANGE && !FSettingText && OnChange)
        OnChange(this);
}

// ---------------------------------------------------------------------------
// Class descriptions

template <class T> static void PublishControl(TClassBuilder<T>& c) {
    c.Int("Left", &TControl::Left, &TControl::SetLeft, 0);
    c.Int("Top", &TControl::Top, &TControl::SetTop, 0);
    c.Int("Width", &TControl::Width, &TControl::SetWidth, 0);
    c.Int("Height", &TControl::Height, &TControl::SetHeight, 0);
    c.Enum("Align", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"}, &TControl::Align,
           &TControl::SetAlign, alNone);
    c.Bool("Visible", &TControl::Visible, &TControl::SetVisible, true);
    c.Bool("Enabled", &TControl::Enabled, &TControl::SetEnabled, true);
    c.Color("Color", &TControl::Color, &TControl::SetColor, clBtnFace);
    c.Bool("ParentColor", &TControl::ParentColor, &TControl::SetParentColor, false);
    c.Font("Font", [](TControl& o) { return &o.Font(); });
    c.Bool("ParentFont", &TControl::ParentFont, &TControl::SetParentFont, true);
    c.Event("OnClick", &TControl::OnClick);
}

const TClassInfo& TControl::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TControl, TComponent>("TControl", [](auto& c) { PublishControl(c); });
    return info;
}

const TClassInfo& TWinControl::StaticClass() {
    static const TClassInfo info = DescribeClass<TWinControl, TControl>("TWinControl", [](auto&) {});
    return info;
}

const TClassInfo& TGraphicControl::StaticClass() {
    static const TClassInfo info = DescribeClass<TGraphicControl, TControl>("TGraphicControl", [](auto&) {});
    return info;
}

const TClassInfo& TLabel::StaticClass() {
    static const TClassInfo info = DescribeClass<TLabel, TGraphicControl>("TLabel", [](auto& c) {
        c.Str("Caption", &TLabel::Caption, &TLabel::SetCaption, "");
        c.Enum("Alignment", {"taLeftJustify", "taRightJustify", "taCenter"}, &TLabel::Alignment,
               &TLabel::SetAlignment, taLeftJustify);
        c.Bool("AutoSize", &TLabel::AutoSize, &TLabel::SetAutoSize, true);
        c.Bool("Transparent", &TLabel::Transparent, &TLabel::SetTransparent, false);
        c.Bool("WordWrap", &TLabel::WordWrap, &TLabel::SetWordWrap, false);
    });
    return info;
}

const TClassInfo& TMemo::StaticClass() {
    static const TClassInfo info = DescribeClass<TMemo, TWinControl>("TMemo", [](auto& c) {
        c.Strings("Lines", &TMemo::Lines, &TMemo::SetLines);
        c.Bool("ReadOnly", &TMemo::ReadOnly, &TMemo::SetReadOnly, false);
        c.Bool("WordWrap", &TMemo::WordWrap, &TMemo::SetWordWrap, true);
        c.Enum("ScrollBars", {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"}, &TMemo::ScrollBars,
               &TMemo::SetScrollBars, ssNone);
        c.Event("OnChange", &TMemo::OnChange);
    });
    return info;
}
