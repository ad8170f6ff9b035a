#include "toolkit/forms_StdCtrls.h"
#include "platform/routines_WinText.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Graphics.h"
#include <windows.h>
#undef DrawText
#include <algorithm>
#include <commctrl.h>

namespace {

HWND H(uintptr_t h) {
    return reinterpret_cast<HWND>(h);
}

std::string WindowText(uintptr_t h) {
    int n = GetWindowTextLengthW(H(h));
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(H(h), w.data(), n + 1);
    w.resize(static_cast<size_t>(std::max(n, 0)));
    return Narrow(w);
}

void SetStyleBits(uintptr_t h, LONG_PTR bits, bool on) {
    LONG_PTR style = GetWindowLongPtrW(H(h), GWL_STYLE);
    SetWindowLongPtrW(H(h), GWL_STYLE, on ? (style | bits) : (style & ~bits));
}

int32_t TextHeightOf(const TFont& font) {
    HDC dc = GetDC(nullptr);
    TCanvas canvas(reinterpret_cast<uintptr_t>(dc));
    int32_t w, h;
    canvas.TextExtent("0", font, w, h);
    ReleaseDC(nullptr, dc);
    return h;
}

} // namespace

// ---------------------------------------------------------------------------
// TButton

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner) {
    FWidth = 75;
    FHeight = 25;
    FTabStop = true;
}

void TButton::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.ClassName = L"BUTTON";
    p.OwnClass = false;
    p.Style |= FDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::SetDefault(bool v) {
    FDefault = v;
    if (HandleAllocated())
        SendMessageW(H(FHandle), BM_SETSTYLE, v ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::CommandNotify(uint32_t code) {
    if (code == BN_CLICKED)
        Click();
}

void TButton::Click() {
    if (FModalResult != mrNone)
        if (TForm* form = GetParentForm(this))
            form->SetModalResult(FModalResult);
    TWinControl::Click();
}

bool TButton::DialogKey(uint16_t key, bool focused) {
    if ((key == VK_RETURN && (focused || FDefault)) || (key == VK_ESCAPE && FCancel)) {
        Click();
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// TBitBtn

namespace {
struct TKindInfo {
    const char* Caption;
    TModalResult Result;
    bool Default, Cancel;
};
const TKindInfo kKinds[] = {
    {"", mrNone, false, false},          {"OK", mrOk, true, false},        {"Cancel", mrCancel, false, true},
    {"&Help", mrNone, false, false},     {"&Yes", mrYes, true, false},     {"&No", mrNo, false, true},
    {"&Close", mrNone, false, false},    {"Abort", mrAbort, false, false}, {"&Retry", mrRetry, false, false},
    {"&Ignore", mrIgnore, false, false}, {"&All", mrAll, false, false},
};
} // namespace

TBitBtn::TBitBtn(TComponent* AOwner) : TButton(AOwner) {}

TBitBtn::~TBitBtn() {
    FreeImages();
}

void TBitBtn::SetKind(TBitBtnKind v) {
    FKind = v;
    if (v == bkCustom)
        return;
    const TKindInfo& k = kKinds[v];
    SetModalResult(k.Result);
    if (k.Default)
        SetDefault(true);
    if (k.Cancel)
        SetCancel(true);
    if (FCaption.empty())
        SetCaption(k.Caption);
}

void TBitBtn::Click() {
    if (FKind == bkClose) {
        if (TForm* form = GetParentForm(this)) {
            TWinControl::Click();
            form->Close();
            return;
        }
    }
    TButton::Click();
}

void TBitBtn::SetGlyph(const TPicture& p) {
    FGlyph = p;
    UpdateGlyph();
}

void TBitBtn::SetNumGlyphs(int32_t v) {
    FNumGlyphs = std::clamp(v, 1, 4);
    UpdateGlyph();
}

void TBitBtn::SetLayout(TButtonLayout v) {
    FLayout = v;
    UpdateGlyph();
}

void TBitBtn::SetMargin(int32_t v) {
    FMargin = std::max(v, -1);
    UpdateGlyph();
}

void TBitBtn::Loaded() {
    TButton::Loaded();
    UpdateGlyph();
}

void TBitBtn::AfterCreateWnd() {
    TButton::AfterCreateWnd();
    UpdateGlyph();
}

void TBitBtn::FreeImages() {
    if (FImages)
        ImageList_Destroy(reinterpret_cast<HIMAGELIST>(FImages));
    FImages = 0;
}

void TBitBtn::UpdateGlyph() {
    if (!HandleAllocated() || Loading())
        return;
    BUTTON_IMAGELIST none{};
    none.himl = nullptr;
    SendMessageW(H(FHandle), BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&none));
    FreeImages();
    if (FGlyph.Empty())
        return;
    int32_t w = std::max(FGlyph.Width() / FNumGlyphs, 1);
    // The button's states in its order: normal, hot, pressed, disabled,
    // defaulted, stylus hot; the glyph strip's: up, disabled, clicked, down.
    int32_t clicked = FNumGlyphs >= 3 ? 2 : 0, disabled = FNumGlyphs >= 2 ? 1 : 0;
    FImages = CreateImageListOfPicture(FGlyph, w, FGlyph.Height(), true, {0, 0, clicked, disabled, 0, 0});
    if (!FImages)
        return;
    BUTTON_IMAGELIST bil{};
    bil.himl = reinterpret_cast<HIMAGELIST>(FImages);
    int32_t margin = std::max(FMargin, 0);
    switch (FLayout) {
    case blGlyphLeft:
        bil.margin = {margin, 0, FSpacing, 0};
        bil.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
        break;
    case blGlyphRight:
        bil.margin = {FSpacing, 0, margin, 0};
        bil.uAlign = BUTTON_IMAGELIST_ALIGN_RIGHT;
        break;
    case blGlyphTop:
        bil.margin = {0, margin, 0, FSpacing};
        bil.uAlign = BUTTON_IMAGELIST_ALIGN_TOP;
        break;
    case blGlyphBottom:
        bil.margin = {0, FSpacing, 0, margin};
        bil.uAlign = BUTTON_IMAGELIST_ALIGN_BOTTOM;
        break;
    }
    SendMessageW(H(FHandle), BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&bil));
    InvalidateRect(H(FHandle), nullptr, TRUE);
}

// ---------------------------------------------------------------------------
// TEdit

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner) {
    FWidth = 121;
    FHeight = 21;
    FColor = clWindow;
    FTabStop = true;
}

void TEdit::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.ClassName = L"EDIT";
    p.OwnClass = false;
    p.Style |= ES_AUTOHSCROLL;
    if (FReadOnly)
        p.Style |= ES_READONLY;
    if (FCharCase == ecLowerCase)
        p.Style |= ES_LOWERCASE;
    else if (FCharCase == ecUpperCase)
        p.Style |= ES_UPPERCASE;
    p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TEdit::AfterCreateWnd() {
    SendMessageW(H(FHandle), EM_LIMITTEXT, static_cast<WPARAM>(FMaxLength), 0);
}

std::string TEdit::Cased(const std::string& s) const {
    if (FCharCase == ecNormal || s.empty())
        return s;
    // The system's case mapping, as the edit box applies it to typed text.
    std::wstring w = Wide(s);
    if (FCharCase == ecLowerCase)
        CharLowerBuffW(w.data(), static_cast<DWORD>(w.size()));
    else
        CharUpperBuffW(w.data(), static_cast<DWORD>(w.size()));
    return Narrow(w);
}

std::string TEdit::Text() const {
    return HandleAllocated() ? WindowText(FHandle) : FCaption;
}

void TEdit::SetCaption(const std::string& s) {
    std::string text = Cased(s);
    if (text == Text()) {
        FCaption = text;
        return;
    }
    FCaption = text;
    if (HandleAllocated()) {
        // One change, whether or not the edit box reports its own.
        FSettingText = true;
        SetWindowTextW(H(FHandle), Wide(text).c_str());
        FSettingText = false;
    }
    if (!Loading())
        Change();
}

void TEdit::CommandNotify(uint32_t code) {
    if (code == EN_CHANGE && !FSettingText) {
        FCaption = WindowText(FHandle);
        Change();
    } else if (code == EN_KILLFOCUS && OnExit) {
        OnExit(this);
    }
}

void TEdit::Change() {
    if (OnChange)
        OnChange(this);
}

void TEdit::SetReadOnly(bool v) {
    FReadOnly = v;
    if (HandleAllocated())
        SendMessageW(H(FHandle), EM_SETREADONLY, v, 0);
}

void TEdit::SetMaxLength(int32_t v) {
    FMaxLength = std::max(v, 0);
    if (HandleAllocated())
        SendMessageW(H(FHandle), EM_LIMITTEXT, static_cast<WPARAM>(FMaxLength), 0);
}

void TEdit::SetCharCase(TEditCharCase v) {
    FCharCase = v;
    if (HandleAllocated()) {
        SetStyleBits(FHandle, ES_LOWERCASE, v == ecLowerCase);
        SetStyleBits(FHandle, ES_UPPERCASE, v == ecUpperCase);
    }
    SetCaption(Text());
}

void TEdit::SelectAll() {
    if (HandleAllocated())
        SendMessageW(H(FHandle), EM_SETSEL, 0, -1);
}

// ---------------------------------------------------------------------------
// TCheckBox

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner) {
    FWidth = 97;
    FHeight = 17;
    FTabStop = true;
    FParentColor = true;
}

void TCheckBox::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.ClassName = L"BUTTON";
    p.OwnClass = false;
    // Not an automatic box: a click goes through SetState like every change.
    p.Style |= BS_3STATE;
    if (FAlignment == taLeftJustify)
        p.Style |= BS_LEFTTEXT;
}

void TCheckBox::AfterCreateWnd() {
    SendMessageW(H(FHandle), BM_SETCHECK, FState, 0);
}

TCheckBoxState TCheckBox::State() const {
    if (HandleAllocated()) {
        LRESULT r = SendMessageW(H(FHandle), BM_GETCHECK, 0, 0);
        FState = r == BST_CHECKED ? cbChecked : r == BST_INDETERMINATE ? cbGrayed : cbUnchecked;
    }
    return FState;
}

void TCheckBox::SetState(TCheckBoxState v) {
    if (v == State())
        return;
    FState = v;
    if (HandleAllocated())
        SendMessageW(H(FHandle), BM_SETCHECK, v, 0);
    if (!Loading())
        Click();
}

void TCheckBox::CommandNotify(uint32_t code) {
    if (code != BN_CLICKED)
        return;
    switch (State()) {
    case cbUnchecked:
        SetState(cbChecked);
        break;
    case cbChecked:
        SetState(FAllowGrayed ? cbGrayed : cbUnchecked);
        break;
    case cbGrayed:
        SetState(cbUnchecked);
        break;
    }
}

void TCheckBox::SetAlignment(TAlignment a) {
    FAlignment = a == taLeftJustify ? taLeftJustify : taRightJustify;
    if (HandleAllocated()) {
        SetStyleBits(FHandle, BS_LEFTTEXT, FAlignment == taLeftJustify);
        InvalidateRect(H(FHandle), nullptr, TRUE);
    }
}

// ---------------------------------------------------------------------------
// TGroupBox

TGroupBox::TGroupBox(TComponent* AOwner) : TWinControl(AOwner) {
    FWidth = 185;
    FHeight = 105;
    FParentColor = true;
    FAcceptsControls = true;
}

void TGroupBox::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.ClassName = L"BUTTON";
    p.OwnClass = false;
    p.Style |= BS_GROUPBOX;
}

TRect TGroupBox::AlignArea() const {
    // Inside the frame and below the caption.
    TRect r = TWinControl::AlignArea();
    int32_t top = TextHeightOf(FFont);
    return {r.Left + 2, r.Top + top + 2, std::max(r.Right - 2, r.Left + 2),
            std::max(r.Bottom - 2, r.Top + top + 2)};
}

void TGroupBox::WndProc(TMessage& m) {
    switch (m.Msg) {
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(H(FHandle), &rc);
        TCanvas canvas(static_cast<uintptr_t>(m.WParam));
        canvas.FillRect({rc.left, rc.top, rc.right, rc.bottom}, FColor);
        m.Result = 1;
        return;
    }
    case WM_NCHITTEST:
        // The system's group box lets the mouse through to what lies under it.
        m.Result = HTCLIENT;
        return;
    }
    TWinControl::WndProc(m);
}

// ---------------------------------------------------------------------------
// TRadioGroup

class TRadioGroupButton : public TWinControl {
    QFD_CLASS(TRadioGroupButton)
public:
    TRadioGroupButton(TRadioGroup* group) : TWinControl(nullptr), FGroup(group) {
        FParentColor = true;
        FTabStop = true;
    }
    void SetCheck(bool v) {
        FChecked = v;
        if (HandleAllocated())
            SendMessageW(H(FHandle), BM_SETCHECK, v ? BST_CHECKED : BST_UNCHECKED, 0);
    }

protected:
    void CreateParams(TCreateParams& p) override {
        TWinControl::CreateParams(p);
        p.ClassName = L"BUTTON";
        p.OwnClass = false;
        p.Style |= BS_RADIOBUTTON;
    }
    void AfterCreateWnd() override { SetCheck(FChecked); }
    void CommandNotify(uint32_t code) override {
        if (code == BN_CLICKED)
            FGroup->ButtonClicked(this);
    }

private:
    TRadioGroup* FGroup;
    bool FChecked = false;
};

TRadioGroup::TRadioGroup(TComponent* AOwner) : TGroupBox(AOwner) {}

TRadioGroup::~TRadioGroup() {
    for (TRadioGroupButton* b : FButtons)
        b->Free();
}

void TRadioGroup::SetItems(const TStringList& items) {
    FItems = items;
    if (Loading())
        return;
    if (FItemIndex >= FItems.Count())
        FItemIndex = -1;
    RebuildButtons();
}

void TRadioGroup::SetItemIndex(int32_t v) {
    if (Loading()) {
        // Items may come after it in the layout.
        FItemIndex = v;
        return;
    }
    if (v < -1 || v >= FItems.Count())
        v = -1;
    if (v == FItemIndex)
        return;
    FItemIndex = v;
    for (size_t i = 0; i < FButtons.size(); ++i)
        FButtons[i]->SetCheck(static_cast<int32_t>(i) == v);
    Click();
}

void TRadioGroup::SetColumns(int32_t v) {
    FColumns = std::clamp(v, 1, 16);
    ArrangeButtons();
}

TWinControl* TRadioGroup::Button(int i) const {
    return i >= 0 && i < static_cast<int>(FButtons.size()) ? FButtons[static_cast<size_t>(i)] : nullptr;
}

void TRadioGroup::Loaded() {
    TGroupBox::Loaded();
    if (FItemIndex < -1 || FItemIndex >= FItems.Count())
        FItemIndex = -1;
    RebuildButtons();
}

void TRadioGroup::ButtonClicked(TRadioGroupButton* b) {
    auto it = std::find(FButtons.begin(), FButtons.end(), b);
    if (it != FButtons.end())
        SetItemIndex(static_cast<int32_t>(it - FButtons.begin()));
}

void TRadioGroup::RebuildButtons() {
    while (static_cast<int>(FButtons.size()) > FItems.Count()) {
        FButtons.back()->Free();
        FButtons.pop_back();
    }
    while (static_cast<int>(FButtons.size()) < FItems.Count()) {
        auto* b = new TRadioGroupButton(this);
        FButtons.push_back(b);
        b->SetParent(this);
    }
    for (size_t i = 0; i < FButtons.size(); ++i) {
        FButtons[i]->SetCaption(FItems[static_cast<int>(i)]);
        FButtons[i]->SetCheck(static_cast<int32_t>(i) == FItemIndex);
    }
    ArrangeButtons();
}

void TRadioGroup::ArrangeButtons() {
    if (FButtons.empty() || Loading())
        return;
    const int32_t count = static_cast<int32_t>(FButtons.size());
    const int32_t th = TextHeightOf(FFont);
    const int32_t perColumn = (count + FColumns - 1) / FColumns;
    const int32_t buttonWidth = (FWidth - 10) / FColumns;
    const int32_t room = FHeight - th - 5;
    const int32_t buttonHeight = room / perColumn;
    const int32_t topMargin = th + 1 + (room % perColumn) / 2;
    for (int32_t i = 0; i < count; ++i)
        FButtons[static_cast<size_t>(i)]->SetBounds((i / perColumn) * buttonWidth + 8,
                                                    (i % perColumn) * buttonHeight + topMargin,
                                                    buttonWidth - 10, buttonHeight);
}

void TRadioGroup::BoundsChanged() {
    TGroupBox::BoundsChanged();
    ArrangeButtons();
}

void TRadioGroup::FontChanged() {
    TGroupBox::FontChanged();
    ArrangeButtons();
}

// ---------------------------------------------------------------------------
// Class descriptions

const TClassInfo& TButton::StaticClass() {
    static const TClassInfo info = DescribeClass<TButton, TWinControl>("TButton", [](auto& c) {
        c.Str("Caption", &TButton::Caption, &TButton::SetCaption, "");
        c.Bool("Default", &TButton::Default, &TButton::SetDefault, false);
        c.Bool("Cancel", &TButton::Cancel, &TButton::SetCancel, false);
        c.Int("ModalResult", &TButton::ModalResult, &TButton::SetModalResult, mrNone);
        c.Bool("TabStop", &TButton::TabStop, &TButton::SetTabStop, true);
    });
    return info;
}

const TClassInfo& TBitBtn::StaticClass() {
    static const TClassInfo info = DescribeClass<TBitBtn, TButton>("TBitBtn", [](auto& c) {
        c.Enum("Kind",
               {"bkCustom", "bkOK", "bkCancel", "bkHelp", "bkYes", "bkNo", "bkClose", "bkAbort", "bkRetry",
                "bkIgnore", "bkAll"},
               &TBitBtn::Kind, &TBitBtn::SetKind, bkCustom);
        c.Picture("Glyph", [](TBitBtn& o) -> TPicture& { return o.Glyph(); });
        c.Int("NumGlyphs", &TBitBtn::NumGlyphs, &TBitBtn::SetNumGlyphs, 1);
        c.Enum("Layout", {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"}, &TBitBtn::Layout,
               &TBitBtn::SetLayout, blGlyphLeft);
        c.Int("Margin", &TBitBtn::Margin, &TBitBtn::SetMargin, -1);
        c.Int("Spacing", &TBitBtn::Spacing, &TBitBtn::SetSpacing, 4);
    });
    return info;
}

const TClassInfo& TEdit::StaticClass() {
    static const TClassInfo info = DescribeClass<TEdit, TWinControl>("TEdit", [](auto& c) {
        c.Str("Text", &TEdit::Text, &TEdit::SetText, "");
        c.Bool("ReadOnly", &TEdit::ReadOnly, &TEdit::SetReadOnly, false);
        c.Int("MaxLength", &TEdit::MaxLength, &TEdit::SetMaxLength, 0);
        c.Enum("CharCase", {"ecNormal", "ecUpperCase", "ecLowerCase"}, &TEdit::CharCase, &TEdit::SetCharCase,
               ecNormal);
        c.Bool("TabStop", &TEdit::TabStop, &TEdit::SetTabStop, true);
        c.Event("OnChange", &TEdit::OnChange);
        c.Event("OnExit", &TEdit::OnExit);
        c.Event("OnKeyDown", &TEdit::OnKeyDown);
        c.Event("OnKeyUp", &TEdit::OnKeyUp);
    });
    return info;
}

const TClassInfo& TCheckBox::StaticClass() {
    static const TClassInfo info = DescribeClass<TCheckBox, TWinControl>("TCheckBox", [](auto& c) {
        c.Str("Caption", &TCheckBox::Caption, &TCheckBox::SetCaption, "");
        c.Enum("Alignment", {"taLeftJustify", "taRightJustify"}, &TCheckBox::Alignment,
               &TCheckBox::SetAlignment, taRightJustify);
        c.Bool("AllowGrayed", &TCheckBox::AllowGrayed, &TCheckBox::SetAllowGrayed, false);
        c.Bool("Checked", &TCheckBox::Checked, &TCheckBox::SetChecked, false);
        c.Enum("State", {"cbUnchecked", "cbChecked", "cbGrayed"}, &TCheckBox::State, &TCheckBox::SetState,
               cbUnchecked);
        c.Bool("TabStop", &TCheckBox::TabStop, &TCheckBox::SetTabStop, true);
    });
    return info;
}

const TClassInfo& TGroupBox::StaticClass() {
    static const TClassInfo info = DescribeClass<TGroupBox, TWinControl>("TGroupBox", [](auto& c) {
        c.Str("Caption", &TGroupBox::Caption, &TGroupBox::SetCaption, "");
        c.Int("BorderWidth", &TGroupBox::BorderWidth, &TGroupBox::SetBorderWidth, 0);
    });
    return info;
}

const TClassInfo& TRadioGroup::StaticClass() {
    static const TClassInfo info = DescribeClass<TRadioGroup, TGroupBox>("TRadioGroup", [](auto& c) {
        c.Strings("Items", &TRadioGroup::Items, &TRadioGroup::SetItems);
        c.Int("ItemIndex", &TRadioGroup::ItemIndex, &TRadioGroup::SetItemIndex, -1);
        c.Int("Columns", &TRadioGroup::Columns, &TRadioGroup::SetColumns, 1);
    });
    return info;
}

const TClassInfo& TRadioGroupButton::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TRadioGroupButton, TWinControl>("TRadioGroupButton", [](auto&) {});
    return info;
}
