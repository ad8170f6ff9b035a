#include "setup/cmp_TBackDrop.h"
#include "toolkit/classes_Publish.h"

namespace {
TBackdrop* GMainBackdrop = nullptr;

// The Win32 multiply-then-divide: the nearest integer, halves away from zero.
int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0)
        return -1;
    if (c < 0) {
        a = -a;
        c = -c;
    }
    int64_t p = static_cast<int64_t>(a) * b;
    return static_cast<int32_t>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}

struct TRGB {
    int32_t R, G, B;
};
TRGB Split(TColor c) {
    uint32_t rgb = ColorToRGB(c);
    return {static_cast<int32_t>(rgb & 0xFF), static_cast<int32_t>((rgb >> 8) & 0xFF),
            static_cast<int32_t>((rgb >> 16) & 0xFF)};
}
} // namespace

TBackdrop::TBackdrop(TComponent* AOwner) : TWinControl(AOwner) {
    SetAlign(alClient);
    // Created while a project is designed: the first one is the main one.
    if (AOwner && (AOwner->ComponentState() & csDesigning) && !GMainBackdrop)
        SetTag(-1);
}

TBackdrop::~TBackdrop() {
    LeaveMain();
}

void TBackdrop::BeforeDestruction() {
    LeaveMain();
    TWinControl::BeforeDestruction();
}

void TBackdrop::LeaveMain() {
    if (GMainBackdrop == this)
        GMainBackdrop = nullptr;
}

TBackdrop* TBackdrop::MainBackdrop() {
    return GMainBackdrop;
}

void TBackdrop::SetTag(int32_t v) {
    if (v == -1) {
        if (GMainBackdrop && GMainBackdrop != this)
            GMainBackdrop->TComponent::SetTag(0);
        GMainBackdrop = this;
    } else if (GMainBackdrop == this) {
        GMainBackdrop = nullptr;
    }
    TComponent::SetTag(v);
}

void TBackdrop::SetDirection(TDirection v) {
    if (v == FDirection)
        return;
    FDirection = v;
    Invalidate();
}

void TBackdrop::SetStartColor(TColor v) {
    if (v == FStartColor)
        return;
    FStartColor = v;
    Invalidate();
}

void TBackdrop::SetEndColor(TColor v) {
    if (v == FEndColor)
        return;
    FEndColor = v;
    Invalidate();
}

void TBackdrop::DrawGradient(TCanvas& canvas, TColor fromColor, TColor toColor, bool symmetric,
                             bool vertical) {
    TRGB f = Split(fromColor), t = Split(toColor);
    TRGB d{t.R - f.R, t.G - f.G, t.B - f.B};
    int32_t w = ClientWidth(), h = ClientHeight();
    int32_t size = vertical ? w : h;
    auto band = [&](int32_t from, int32_t to) -> TRect {
        return vertical ? TRect{from, 0, to, h} : TRect{0, from, w, to};
    };
    int32_t m = symmetric ? 127 : 255;
    for (int32_t n = 0; n <= m; ++n) {
        uint32_t r = static_cast<uint32_t>(f.R + MulDiv(n, d.R, m)) & 0xFF;
        uint32_t g = static_cast<uint32_t>(f.G + MulDiv(n, d.G, m)) & 0xFF;
        uint32_t b = static_cast<uint32_t>(f.B + MulDiv(n, d.B, m)) & 0xFF;
        TColor c = static_cast<TColor>(r | (g << 8) | (b << 16));
        canvas.FillRect(band(MulDiv(n, size, 256), MulDiv(n + 1, size, 256)), c);
        if (symmetric)
            canvas.FillRect(band(MulDiv(255 - n, size, 256), MulDiv(256 - n, size, 256)), c);
    }
}

void TBackdrop::PaintGradient(TCanvas& canvas) {
    TColor s = FStartColor, e = FEndColor;
    switch (FDirection) {
    case bdUp:
        DrawGradient(canvas, s, e, false, false);
        break;
    case bdDown:
        DrawGradient(canvas, e, s, false, false);
        break;
    case bdLeft:
        DrawGradient(canvas, s, e, false, true);
        break;
    case bdRight:
        DrawGradient(canvas, e, s, false, true);
        break;
    case bdHorzIn:
        DrawGradient(canvas, e, s, true, false);
        break;
    case bdHorzOut:
        DrawGradient(canvas, s, e, true, false);
        break;
    case bdVertIn:
        DrawGradient(canvas, s, e, true, true);
        break;
    case bdVertOut:
        DrawGradient(canvas, e, s, true, true);
        break;
    }
}

void TBackdrop::PaintBackground(TCanvas& canvas, const TRect&) {
    PaintGradient(canvas);
}

void TBackdrop::BoundsChanged() {
    TWinControl::BoundsChanged();
    // The bands depend on the size: the part kept on screen is wrong now.
    Invalidate();
}

const TClassInfo& TBackdrop::StaticClass() {
    static const TClassInfo info = DescribeClass<TBackdrop, TWinControl>("TBackdrop", [](auto& c) {
        c.Enum("Direction",
               {"bdUp", "bdDown", "bdLeft", "bdRight", "bdHorzIn", "bdHorzOut", "bdVertIn", "bdVertOut"},
               &TBackdrop::Direction, &TBackdrop::SetDirection, bdUp);
        c.Color("StartColor", &TBackdrop::StartColor, &TBackdrop::SetStartColor, clBlue);
        c.Color("EndColor", &TBackdrop::EndColor, &TBackdrop::SetEndColor, clBlack);
        c.Enum("Align", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"}, &TControl::Align,
               &TControl::SetAlign, alClient);
        c.Int("BorderWidth", &TWinControl::BorderWidth, &TWinControl::SetBorderWidth, 0);
        c.Int("Tag", &TComponent::Tag, &TBackdrop::SetTag, 0);
    });
    return info;
}
