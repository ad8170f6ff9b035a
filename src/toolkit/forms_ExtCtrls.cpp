#include "toolkit/forms_ExtCtrls.h"
#include "platform/routines_WinText.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Graphics.h"
#include <windows.h>
#undef DrawText
#include <algorithm>

namespace {

// Lines of width w around r, top and left in one colour, bottom and right in
// the other; r shrinks by w.
void Frame3D(TCanvas& canvas, TRect& r, TColor topLeft, TColor bottomRight, int32_t w) {
    for (int32_t i = 0; i < w && r.Width() > 0 && r.Height() > 0; ++i) {
        canvas.FillRect({r.Left, r.Top, r.Right, r.Top + 1}, topLeft);
        canvas.FillRect({r.Left, r.Top, r.Left + 1, r.Bottom}, topLeft);
        canvas.FillRect({r.Left, r.Bottom - 1, r.Right, r.Bottom}, bottomRight);
        canvas.FillRect({r.Right - 1, r.Top, r.Right, r.Bottom}, bottomRight);
        r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    }
}

void PanelBevel(TCanvas& canvas, TRect& r, TPanelBevel bevel, TColor color, int32_t w) {
    switch (bevel) {
    case bvNone:
        return;
    case bvLowered:
        Frame3D(canvas, r, clBtnShadow, clBtnHighlight, w);
        return;
    case bvRaised:
        Frame3D(canvas, r, clBtnHighlight, clBtnShadow, w);
        return;
    case bvSpace:
        Frame3D(canvas, r, color, color, w);
        return;
    }
}

int32_t EdgeOfBorder(TFormBorderStyle s) {
    return s == bsSingle ? GetSystemMetrics(SM_CXEDGE) : 0;
}

} // namespace

// ---------------------------------------------------------------------------
// TPanel

TPanel::TPanel(TComponent* AOwner) : TWinControl(AOwner) {
    FWidth = 185;
    FHeight = 41;
}

void TPanel::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    if (FBorderStyle == bsSingle)
        p.ExStyle |= WS_EX_CLIENTEDGE;
}

TRect TPanel::AlignArea() const {
    TRect r = TWinControl::AlignArea();
    int32_t inset = (FBevelOuter != bvNone ? FBevelWidth : 0) + (FBevelInner != bvNone ? FBevelWidth : 0);
    // Without a window yet the client edge is not taken off by the system.
    if (!HandleAllocated())
        inset += EdgeOfBorder(FBorderStyle);
    return {r.Left + inset, r.Top + inset, std::max(r.Right - inset, r.Left + inset),
            std::max(r.Bottom - inset, r.Top + inset)};
}

void TPanel::PaintBackground(TCanvas& canvas, const TRect& client) {
    TRect r = client;
    PanelBevel(canvas, r, FBevelOuter, FColor, FBevelWidth);
    Frame3D(canvas, r, FColor, FColor, FBorderWidth);
    PanelBevel(canvas, r, FBevelInner, FColor, FBevelWidth);
    canvas.FillRect(r, FColor);
    if (FCaption.empty())
        return;
    uint32_t flags = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS |
                     (FAlignment == taCenter         ? DT_CENTER
                      : FAlignment == taRightJustify ? DT_RIGHT
                                                     : DT_LEFT);
    canvas.TextRect(FCaption, r, flags, FFont, true, FColor);
}

void TPanel::TextChanged() {
    TWinControl::TextChanged();
    Invalidate();
}

void TPanel::Relayout() {
    AlignControls();
    Invalidate();
}

void TPanel::SetAlignment(TAlignment a) {
    FAlignment = a;
    Invalidate();
}

void TPanel::SetBevelInner(TPanelBevel v) {
    FBevelInner = v;
    Relayout();
}

void TPanel::SetBevelOuter(TPanelBevel v) {
    FBevelOuter = v;
    Relayout();
}

void TPanel::SetBevelWidth(int32_t v) {
    FBevelWidth = std::clamp(v, 1, 100);
    Relayout();
}

void TPanel::SetBorderStyle(TFormBorderStyle v) {
    FBorderStyle = v == bsSingle ? bsSingle : bsNone;
    if (HandleAllocated()) {
        HWND h = reinterpret_cast<HWND>(FHandle);
        LONG_PTR ex = GetWindowLongPtrW(h, GWL_EXSTYLE);
        ex = FBorderStyle == bsSingle ? (ex | WS_EX_CLIENTEDGE)
                                      : (ex & ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE));
        SetWindowLongPtrW(h, GWL_EXSTYLE, ex);
        SetWindowPos(h, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Relayout();
}

// ---------------------------------------------------------------------------
// TBevel

TBevel::TBevel(TComponent* AOwner) : TGraphicControl(AOwner) {
    FWidth = 50;
    FHeight = 50;
}

void TBevel::SetShape(TBevelShape v) {
    FShape = v;
    Invalidate();
}

void TBevel::SetStyle(TBevelStyle v) {
    FStyle = v;
    Invalidate();
}

void TBevel::Paint(TCanvas& canvas) {
    TColor c1 = FStyle == bsLowered ? clBtnShadow : clBtnHighlight;
    TColor c2 = FStyle == bsLowered ? clBtnHighlight : clBtnShadow;
    const int32_t w = FWidth, h = FHeight;
    // A box: top and left lines in c1, bottom and right in c2.
    auto box = [&](int32_t l, int32_t t, int32_t r, int32_t b, TColor a, TColor z) {
        canvas.FillRect({l, t, r, t + 1}, a);
        canvas.FillRect({l, t, l + 1, b}, a);
        canvas.FillRect({l, b - 1, r, b}, z);
        canvas.FillRect({r - 1, t, r, b}, z);
    };
    switch (FShape) {
    case bsBox:
        box(0, 0, w, h, c1, c2);
        break;
    case bsFrame:
        box(1, 1, w, h, c2, c2);
        box(0, 0, w - 1, h - 1, c1, c1);
        break;
    case bsTopLine:
        canvas.FillRect({0, 0, w, 1}, c1);
        canvas.FillRect({0, 1, w, 2}, c2);
        break;
    case bsBottomLine:
        canvas.FillRect({0, h - 2, w, h - 1}, c1);
        canvas.FillRect({0, h - 1, w, h}, c2);
        break;
    case bsLeftLine:
        canvas.FillRect({0, 0, 1, h}, c1);
        canvas.FillRect({1, 0, 2, h}, c2);
        break;
    case bsRightLine:
        canvas.FillRect({w - 2, 0, w - 1, h}, c1);
        canvas.FillRect({w - 1, 0, w, h}, c2);
        break;
    case bsSpacer:
        break;
    }
}

// ---------------------------------------------------------------------------
// TImage

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner) {
    FWidth = 105;
    FHeight = 105;
}

void TImage::SetPicture(const TPicture& p) {
    FPicture = p;
    PictureChanged();
}

void TImage::PictureChanged() {
    if (FAutoSize && !FPicture.Empty() && !Loading())
        SetBounds(FLeft, FTop, FPicture.Width(), FPicture.Height());
    Invalidate();
}

void TImage::Loaded() {
    TGraphicControl::Loaded();
    PictureChanged();
}

void TImage::SetAutoSize(bool v) {
    FAutoSize = v;
    PictureChanged();
}

void TImage::SetCenter(bool v) {
    FCenter = v;
    Invalidate();
}

void TImage::SetStretch(bool v) {
    FStretch = v;
    Invalidate();
}

void TImage::SetTransparent(bool v) {
    FTransparent = v;
    Invalidate();
}

TRect TImage::DestRect() const {
    if (FStretch || FPicture.Empty())
        return {0, 0, FWidth, FHeight};
    int32_t pw = FPicture.Width(), ph = FPicture.Height();
    if (!FCenter)
        return {0, 0, pw, ph};
    int32_t l = (FWidth - pw) / 2, t = (FHeight - ph) / 2;
    return {l, t, l + pw, t + ph};
}

void TImage::Paint(TCanvas& canvas) {
    // Behind a transparent picture the parent's background shows.
    if (FPicture.Empty())
        return;
    DrawPicture(canvas, FPicture, DestRect(), FTransparent);
}

// ---------------------------------------------------------------------------
// Class descriptions

const TClassInfo& TPanel::StaticClass() {
    static const TClassInfo info = DescribeClass<TPanel, TWinControl>("TPanel", [](auto& c) {
        c.Str("Caption", &TPanel::Caption, &TPanel::SetCaption, "");
        c.Enum("Alignment", {"taLeftJustify", "taRightJustify", "taCenter"}, &TPanel::Alignment,
               &TPanel::SetAlignment, taCenter);
        const std::vector<std::string> bevels{"bvNone", "bvLowered", "bvRaised", "bvSpace"};
        c.Enum("BevelInner", bevels, &TPanel::BevelInner, &TPanel::SetBevelInner, bvNone);
        c.Enum("BevelOuter", bevels, &TPanel::BevelOuter, &TPanel::SetBevelOuter, bvRaised);
        c.Int("BevelWidth", &TPanel::BevelWidth, &TPanel::SetBevelWidth, 1);
        c.Int("BorderWidth", &TPanel::BorderWidth, &TPanel::SetBorderWidth, 0);
        c.Enum("BorderStyle", {"bsNone", "bsSingle"}, &TPanel::BorderStyle, &TPanel::SetBorderStyle, bsNone);
    });
    return info;
}

const TClassInfo& TBevel::StaticClass() {
    static const TClassInfo info = DescribeClass<TBevel, TGraphicControl>("TBevel", [](auto& c) {
        c.Enum("Shape",
               {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine", "bsRightLine", "bsSpacer"},
               &TBevel::Shape, &TBevel::SetShape, bsBox);
        c.Enum("Style", {"bsLowered", "bsRaised"}, &TBevel::Style, &TBevel::SetStyle, bsLowered);
    });
    return info;
}

const TClassInfo& TImage::StaticClass() {
    static const TClassInfo info = DescribeClass<TImage, TGraphicControl>("TImage", [](auto& c) {
        c.Picture("Picture", [](TImage& o) -> TPicture& { return o.Picture(); });
        c.Bool("AutoSize", &TImage::AutoSize, &TImage::SetAutoSize, false);
        c.Bool("Center", &TImage::Center, &TImage::SetCenter, false);
        c.Bool("Stretch", &TImage::Stretch, &TImage::SetStretch, false);
        c.Bool("Transparent", &TImage::Transparent, &TImage::SetTransparent, false);
    });
    return info;
}
