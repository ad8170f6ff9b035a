#include "setup/cmp_Rotate3DLabel.h"
#include "toolkit/classes_Publish.h"
#include <cmath>
#include <numbers>

namespace {
TRotate3DLabel* GMainLabel = nullptr;

int32_t Trunc(double v) {
    return static_cast<int32_t>(std::trunc(v));
}
} // namespace

// ---------------------------------------------------------------------------
// TLabelStyle

void TLabelStyle::Changed() {
    if (OnChange)
        OnChange(this);
}

void TLabelStyle::Assign(const TPersistent& source) {
    auto* s = dynamic_cast<const TLabelStyle*>(&source);
    if (!s) {
        TPersistent::Assign(source);
        return;
    }
    FAngle = s->FAngle;
    FAStyle3D = s->FAStyle3D;
    FAShadeRightBottom = s->FAShadeRightBottom;
    FAShadeLeftTop = s->FAShadeLeftTop;
    FAShadeLTSet = s->FAShadeLTSet;
    FAHShadeOffSet = s->FAHShadeOffSet;
    FAVShadeOffSet = s->FAVShadeOffSet;
    // So that clearing AShadeLTSet on the copy gives back the same colour.
    FSavedShadeLeftTop = s->FSavedShadeLeftTop;
    Changed();
}

void TLabelStyle::SetAngle(int32_t v) {
    if (v < 0 || v > 359)
        v = 0;
    if (v == FAngle)
        return;
    FAngle = v;
    Changed();
}

void TLabelStyle::SetAStyle3D(T3DEffectShort v) {
    if (v == FAStyle3D)
        return;
    FAStyle3D = v;
    Changed();
}

void TLabelStyle::SetAShadeRightBottom(TColor v) {
    if (v == FAShadeRightBottom)
        return;
    FAShadeRightBottom = v;
    Changed();
}

void TLabelStyle::SetAShadeLeftTop(TColor v) {
    if (FAShadeLTSet || v == FAShadeLeftTop)
        return;
    FAShadeLeftTop = v;
    Changed();
}

void TLabelStyle::SetAShadeLTSet(bool v) {
    TColor before = FAShadeLeftTop;
    if (v != FAShadeLTSet) {
        FAShadeLTSet = v;
        if (v) {
            FSavedShadeLeftTop = FAShadeLeftTop;
            FAShadeLeftTop = clWhite;
        } else {
            FAShadeLeftTop = FSavedShadeLeftTop;
        }
    }
    bool drawn = FAStyle3D == A3dResit || FAStyle3D == A3dRaised;
    // Giving the colour back repaints as well, or the white highlight stays.
    if ((FAShadeLTSet && drawn && FSavedShadeLeftTop != clWhite) || (drawn && before != FAShadeLeftTop))
        Changed();
}

void TLabelStyle::SetAHShadeOffSet(int32_t v) {
    if (v == FAHShadeOffSet)
        return;
    FAHShadeOffSet = v;
    if (FAStyle3D == A3dShadowed)
        Changed();
}

void TLabelStyle::SetAVShadeOffSet(int32_t v) {
    if (v == FAVShadeOffSet)
        return;
    FAVShadeOffSet = v;
    if (FAStyle3D == A3dShadowed)
        Changed();
}

const TClassInfo& TLabelStyle::StaticClass() {
    static const TClassInfo info = DescribeClass<TLabelStyle, TPersistent>("TLabelStyle", [](auto& c) {
        c.Int("Angle", &TLabelStyle::Angle, &TLabelStyle::SetAngle, 0);
        c.Enum("AStyle3D", {"A3dNormal", "A3dResit", "A3dRaised", "A3dShadowed"}, &TLabelStyle::AStyle3D,
               &TLabelStyle::SetAStyle3D, A3dRaised);
        c.Color("AShadeRightBottom", &TLabelStyle::AShadeRightBottom, &TLabelStyle::SetAShadeRightBottom,
                clGray);
        c.Color("AShadeLeftTop", &TLabelStyle::AShadeLeftTop, &TLabelStyle::SetAShadeLeftTop, clWhite);
        // Stored whenever it is false, although a new style starts with false.
        c.Bool("AShadeLTSet", &TLabelStyle::AShadeLTSet, &TLabelStyle::SetAShadeLTSet, true);
        c.Int("AHShadeOffSet", &TLabelStyle::AHShadeOffSet, &TLabelStyle::SetAHShadeOffSet, 5);
        c.Int("AVShadeOffSet", &TLabelStyle::AVShadeOffSet, &TLabelStyle::SetAVShadeOffSet, -5);
        c.Event("OnChange", &TLabelStyle::OnChange);
    });
    return info;
}

// ---------------------------------------------------------------------------
// TRotate3DLabel

TRotate3DLabel::TRotate3DLabel(TComponent* AOwner) : TLabel(AOwner), FDegToRad(std::numbers::pi / 180) {
    SetTransparent(true);
    SetAutoSize(false);
    Font().SetName("Arial");
    Font().SetStyle(Font().Style() | (1u << fsBold));
    FLabelStyle.OnChange = [this](TObject*) {
        UpdateAngle();
        Invalidate();
    };
    if (AOwner && (AOwner->ComponentState() & csDesigning) && !GMainLabel)
        SetTag(-1);
}

TRotate3DLabel::~TRotate3DLabel() {
    LeaveMain();
}

void TRotate3DLabel::BeforeDestruction() {
    LeaveMain();
    TLabel::BeforeDestruction();
}

void TRotate3DLabel::LeaveMain() {
    if (GMainLabel == this)
        GMainLabel = nullptr;
}

TRotate3DLabel* TRotate3DLabel::MainLabel() {
    return GMainLabel;
}

void TRotate3DLabel::SetTag(int32_t v) {
    if (v == -1) {
        if (GMainLabel && GMainLabel != this)
            GMainLabel->TComponent::SetTag(0);
        GMainLabel = this;
    } else if (GMainLabel == this) {
        GMainLabel = nullptr;
    }
    TComponent::SetTag(v);
}

void TRotate3DLabel::Assign(const TPersistent& source) {
    auto* s = dynamic_cast<const TRotate3DLabel*>(&source);
    if (!s) {
        TLabel::Assign(source);
        return;
    }
    SetCaption(s->Caption());
    FLabelStyle.Assign(s->FLabelStyle);
    Font().Assign(s->Font());
    SetAlign(s->Align());
    SetBounds(s->Left(), s->Top(), s->Width(), s->Height());
    SetMyTransparent(s->FMyTransparent);
}

void TRotate3DLabel::SetLabelStyle(const TLabelStyle& v) {
    FLabelStyle.Assign(v);
    Invalidate();
}

void TRotate3DLabel::SetMyTransparent(bool v) {
    if (v == FMyTransparent)
        return;
    FMyTransparent = v;
    if (!v)
        SetParentColor(false); // the colour it has now becomes its own
    Invalidate();
}

void TRotate3DLabel::UpdateAngle() {
    double a = FLabelStyle.Angle() * FDegToRad;
    FCos = std::cos(a);
    FSin = std::sin(a);
}

void TRotate3DLabel::CaptionOrigin(int32_t w, int32_t h, int32_t& x, int32_t& y) {
    UpdateAngle();
    int32_t cx = Width() / 2, cy = Height() / 2;
    switch (Alignment()) {
    case taLeftJustify:
        x = 0;
        break;
    case taRightJustify:
        x = Width() - w;
        break;
    case taCenter:
        x = cx - Trunc(w / 2.0 * FCos) - Trunc(h / 2.0 * FSin);
        break;
    }
    y = Trunc(w / 2.0 * FSin) + cy - Trunc(h / 2.0 * FCos);
}

void TRotate3DLabel::Paint(TCanvas& canvas) {
    UpdateAngle();
    if (!FMyTransparent)
        FLabelStyle.FAStyle3D = A3dNormal; // painting must not fire a repaint
    int32_t highlight = 0, shade = 0;
    switch (FLabelStyle.AStyle3D()) {
    case A3dResit:
        highlight = 1;
        shade = -1;
        break;
    case A3dRaised:
        highlight = -1;
        shade = 1;
        break;
    default:
        break;
    }
    int32_t escapement = FLabelStyle.Angle() * 10;
    const std::string& text = Caption();
    int32_t w = 0, h = 0;
    canvas.TextExtent(text, Font(), w, h);
    int32_t x = 0, y = 0;
    CaptionOrigin(w, h, x, y);
    if (!FMyTransparent) {
        int32_t cx = Width() / 2, cy = Height() / 2;
        double w2 = (w + 10) / 2.0, h2 = (h + 7) / 2.0;
        int32_t a = Trunc(w2 * FCos), b = Trunc(h2 * FSin), c = Trunc(w2 * FSin), e = Trunc(h2 * FCos);
        canvas.FillPolygon({{cx - a - b, cy + c - e},
                            {cx + a - b, cy - c - e},
                            {cx + a + b, cy - c + e},
                            {cx - a + b, cy + c + e}},
                           Color());
    }
    auto draw = [&](int32_t px, int32_t py, TColor color) {
        canvas.TextOutAngle(px, py, text, Font(), color, escapement, true);
    };
    switch (FLabelStyle.AStyle3D()) {
    case A3dResit:
    case A3dRaised:
        draw(x + highlight, y + highlight, FLabelStyle.AShadeLeftTop());
        draw(x + shade, y + shade, FLabelStyle.AShadeRightBottom());
        break;
    case A3dShadowed:
        draw(x + FLabelStyle.AHShadeOffSet(), y + FLabelStyle.AVShadeOffSet(),
             FLabelStyle.AShadeRightBottom());
        break;
    default:
        break;
    }
    draw(x, y, Font().Color());
}

const TClassInfo& TRotate3DLabel::StaticClass() {
    static const TClassInfo info = DescribeClass<TRotate3DLabel, TLabel>("TRotate3DLabel", [](auto& c) {
        c.Nested("LabelStyle", [](TRotate3DLabel& o) { return &o.LabelStyle(); });
        c.Bool("MyTransparent", &TRotate3DLabel::MyTransparent, &TRotate3DLabel::SetMyTransparent, true);
        c.Int("Tag", &TComponent::Tag, &TRotate3DLabel::SetTag, 0);
        c.Bool("Transparent", &TLabel::Transparent, &TLabel::SetTransparent, true);
        c.Bool("AutoSize", &TLabel::AutoSize, &TLabel::SetAutoSize, false);
    });
    return info;
}
