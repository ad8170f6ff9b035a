#include "setup/cmp_Rotate3DLabel.h"
#include "setup/cmp_TBackDrop.h"
#include "setup/setup_Classes.h"
#include "toolkit/classes_Reader.h"
#include "toolkit/forms_Forms.h"
#include "unit/setup/MemoryCanvas.h"
#include <gtest/gtest.h>

namespace {

struct ChangeCounter {
    explicit ChangeCounter(TLabelStyle& s) {
        s.OnChange = [this](TObject*) { ++Count; };
    }
    int Count = 0;
};

TEST(LabelStyle, StartsRaisedWithGreyAndWhiteShades) {
    TLabelStyle s;
    EXPECT_EQ(s.Angle(), 0);
    EXPECT_EQ(s.AStyle3D(), A3dRaised);
    EXPECT_EQ(s.AShadeRightBottom(), 8421504);
    EXPECT_EQ(s.AShadeLeftTop(), 16777215);
    EXPECT_FALSE(s.AShadeLTSet());
    EXPECT_EQ(s.AHShadeOffSet(), 5);
    EXPECT_EQ(s.AVShadeOffSet(), -5);
    // Starts false but is stored unless true, so a stored project lists a false one.
    EXPECT_EQ(TLabelStyle::StaticClass().FindProp("AShadeLTSet")->Default, "True");
}

TEST(LabelStyle, AnglesOutsideACircleBecomeZero) {
    TLabelStyle s;
    ChangeCounter changes(s);
    s.SetAngle(45);
    EXPECT_EQ(changes.Count, 1);
    s.SetAngle(360);
    EXPECT_EQ(s.Angle(), 0);
    s.SetAngle(359);
    s.SetAngle(-1);
    EXPECT_EQ(s.Angle(), 0);
    s.SetAngle(0); // no change, no event
    EXPECT_EQ(changes.Count, 4);
}

TEST(LabelStyle, AShadeLTSetForcesWhiteAndGivesTheColourBack) {
    TLabelStyle s;
    ChangeCounter changes(s);
    s.SetAShadeLeftTop(clBlack);
    EXPECT_EQ(changes.Count, 1);
    s.SetAShadeLTSet(true);
    EXPECT_EQ(s.AShadeLeftTop(), clWhite);
    EXPECT_EQ(changes.Count, 2);
    s.SetAShadeLeftTop(clRed); // ignored while set
    EXPECT_EQ(s.AShadeLeftTop(), clWhite);
    EXPECT_EQ(changes.Count, 2);
    s.SetAShadeLTSet(false);
    EXPECT_EQ(s.AShadeLeftTop(), clBlack);
    EXPECT_EQ(changes.Count, 3); // the highlight changed back: repaint
    // Setting it while the saved colour is white changes nothing.
    TLabelStyle w;
    ChangeCounter wChanges(w);
    w.SetAShadeLTSet(true);
    EXPECT_EQ(wChanges.Count, 0);
}

TEST(LabelStyle, ShadowOffsetsRepaintOnlyAShadowedLabel) {
    TLabelStyle s;
    ChangeCounter changes(s);
    s.SetAHShadeOffSet(7);
    s.SetAVShadeOffSet(2);
    EXPECT_EQ(changes.Count, 0);
    EXPECT_EQ(s.AHShadeOffSet(), 7);
    EXPECT_EQ(s.AVShadeOffSet(), 2);
    s.SetAStyle3D(A3dShadowed);
    s.SetAHShadeOffSet(8);
    s.SetAVShadeOffSet(3);
    EXPECT_EQ(changes.Count, 3);
}

TEST(LabelStyle, AssignCopiesTheLookAndFires) {
    TLabelStyle a, b;
    a.SetAngle(90);
    a.SetAStyle3D(A3dResit);
    a.SetAShadeRightBottom(clNavy);
    a.SetAShadeLeftTop(clYellow);
    a.SetAShadeLTSet(true);
    a.SetAHShadeOffSet(1);
    a.SetAVShadeOffSet(2);
    ChangeCounter changes(b);
    b.Assign(a);
    EXPECT_EQ(changes.Count, 1);
    EXPECT_EQ(b.Angle(), 90);
    EXPECT_EQ(b.AStyle3D(), A3dResit);
    EXPECT_EQ(b.AShadeRightBottom(), clNavy);
    EXPECT_EQ(b.AShadeLeftTop(), clWhite);
    EXPECT_TRUE(b.AShadeLTSet());
    EXPECT_EQ(b.AHShadeOffSet(), 1);
    EXPECT_EQ(b.AVShadeOffSet(), 2);
    b.SetAShadeLTSet(false);
    EXPECT_EQ(b.AShadeLeftTop(), clYellow);
    EXPECT_THROW(b.Assign(TFont()), EConvertError);
}

TEST(Rotate3DLabel, StartsTransparentBoldArialWithoutAutoSize) {
    TOwnedPtr<TRotate3DLabel> l(new TRotate3DLabel(nullptr));
    EXPECT_TRUE(l->Transparent());
    EXPECT_FALSE(l->AutoSize());
    EXPECT_TRUE(l->MyTransparent());
    EXPECT_EQ(l->Font().Name(), "Arial");
    EXPECT_TRUE(l->Font().Style() & (1u << fsBold));
    EXPECT_EQ(l->LabelStyle().AStyle3D(), A3dRaised);
}

TEST(Rotate3DLabel, CaptionOriginFollowsAngleAndAlignment) {
    TOwnedPtr<TRotate3DLabel> l(new TRotate3DLabel(nullptr));
    l->SetBounds(0, 0, 201, 101); // cx 100, cy 50
    l->SetAlignment(taCenter);
    int32_t x, y;
    l->CaptionOrigin(80, 21, x, y);
    EXPECT_EQ(x, 60); // 100 - 40 - 0
    EXPECT_EQ(y, 40); // 0 + 50 - trunc(10.5)
    l->LabelStyle().SetAngle(90);
    l->CaptionOrigin(80, 21, x, y);
    EXPECT_EQ(x, 90); // 100 - 0 - trunc(10.5)
    EXPECT_EQ(y, 90); // 40 + 50 - 0
    l->LabelStyle().SetAngle(180);
    l->CaptionOrigin(80, 21, x, y);
    EXPECT_EQ(x, 140); // 100 + 40
    EXPECT_EQ(y, 60);  // 0 + 50 + 10
    l->LabelStyle().SetAngle(60);
    l->CaptionOrigin(80, 21, x, y);
    EXPECT_EQ(x, 100 - 20 - 9); // trunc(40 cos 60) = 20, trunc(10.5 sin 60) = 9
    EXPECT_EQ(y, 34 + 50 - 5);  // trunc(40 sin 60) = 34, trunc(10.5 cos 60) = 5
    l->SetAlignment(taRightJustify);
    l->CaptionOrigin(80, 21, x, y);
    EXPECT_EQ(x, 121);
    l->SetAlignment(taLeftJustify);
    l->CaptionOrigin(80, 21, x, y);
    EXPECT_EQ(x, 0);
}

TEST(Rotate3DLabel, TagMinusOneMakesTheMainLabel) {
    TOwnedPtr<TRotate3DLabel> a(new TRotate3DLabel(nullptr)), b(new TRotate3DLabel(nullptr));
    a->SetTag(-1);
    b->SetTag(-1);
    EXPECT_EQ(TRotate3DLabel::MainLabel(), b.get());
    EXPECT_EQ(a->Tag(), 0);
    b.reset();
    EXPECT_EQ(TRotate3DLabel::MainLabel(), nullptr);
}

TEST(Rotate3DLabel, AssignCopiesCaptionStyleFontPlaceAndTransparency) {
    TOwnedPtr<TRotate3DLabel> a(new TRotate3DLabel(nullptr)), b(new TRotate3DLabel(nullptr));
    a->SetCaption("Product");
    a->LabelStyle().SetAngle(45);
    a->Font().SetHeight(-30);
    a->SetAlign(alTop);
    a->SetBounds(3, 4, 50, 60);
    a->SetMyTransparent(false);
    b->Assign(*a);
    EXPECT_EQ(b->Caption(), "Product");
    EXPECT_EQ(b->LabelStyle().Angle(), 45);
    EXPECT_EQ(b->Font().Height(), -30);
    EXPECT_EQ(b->Align(), alTop);
    EXPECT_EQ(b->BoundsRect(), (TRect{3, 4, 53, 64}));
    EXPECT_FALSE(b->MyTransparent());
}

TEST(Rotate3DLabel, TheProjectsProductLabelLoads) {
    RegisterSetupClasses();
    const char* layout = R"(object SetupMainForm: TForm
  object BackDrop: TBackdrop
    Left = 0
    Top = 0
    Width = 800
    Height = 581
    Tag = -1
    object ProductLabel: TRotate3DLabel
      Align = alTop
      Height = 65
      Caption = '  Screen Saver'
      Font.Color = clWhite
      Font.Height = -23
      Font.Name = 'Arial'
      Font.Style = [fsBold, fsItalic]
      LabelStyle.AShadeLeftTop = clBlack
      LabelStyle.AShadeLTSet = False
      Tag = -1
    end
  end
end
)";
    TOwnedPtr<TForm> form(new TForm(nullptr));
    ReadLayoutInto(*form, layout);
    auto* backdrop = dynamic_cast<TBackdrop*>(form->FindComponent("BackDrop"));
    auto* label = dynamic_cast<TRotate3DLabel*>(form->FindComponent("ProductLabel"));
    ASSERT_NE(backdrop, nullptr);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(TBackdrop::MainBackdrop(), backdrop);
    EXPECT_EQ(TRotate3DLabel::MainLabel(), label);
    EXPECT_EQ(backdrop->Align(), alClient);
    EXPECT_EQ(backdrop->StartColor(), clBlue);
    EXPECT_EQ(label->Parent(), backdrop);
    EXPECT_EQ(label->Align(), alTop);
    EXPECT_EQ(label->Height(), 65);
    EXPECT_EQ(label->Caption(), "  Screen Saver");
    EXPECT_EQ(label->Font().Color(), clWhite);
    EXPECT_EQ(label->Font().Height(), -23);
    EXPECT_EQ(label->Font().Style(), (1u << fsBold) | (1u << fsItalic));
    EXPECT_EQ(label->LabelStyle().AShadeLeftTop(), clBlack);
    EXPECT_FALSE(label->LabelStyle().AShadeLTSet());
    EXPECT_EQ(label->LabelStyle().AStyle3D(), A3dRaised);
    EXPECT_EQ(label->LabelStyle().AShadeRightBottom(), clGray);
    EXPECT_TRUE(label->MyTransparent());
    EXPECT_EQ(label->Tag(), -1);
    form.reset();
    EXPECT_EQ(TBackdrop::MainBackdrop(), nullptr);
    EXPECT_EQ(TRotate3DLabel::MainLabel(), nullptr);
}

// Paints a label with red text, a green highlight and a blue shade on black.
struct PaintedLabel {
    explicit PaintedLabel(T3DEffectShort style, int angle = 0, bool myTransparent = true)
        : Bitmap(320, 320, Rgb(0, 0, 0)) {
        Label.reset(new TRotate3DLabel(nullptr));
        Label->SetBounds(0, 0, 320, 320);
        Label->SetAlignment(taCenter);
        Label->SetCaption("HHHHHH");
        Label->Font().SetHeight(-40);
        Label->Font().SetColor(Rgb(255, 0, 0));
        Label->LabelStyle().SetAngle(angle);
        Label->LabelStyle().SetAStyle3D(style);
        Label->LabelStyle().SetAShadeLeftTop(Rgb(0, 255, 0));
        Label->LabelStyle().SetAShadeRightBottom(Rgb(0, 0, 255));
        Label->SetColor(Rgb(128, 128, 128));
        Label->SetMyTransparent(myTransparent);
        TCanvas c = Bitmap.Canvas();
        Label->Paint(c);
    }
    int Red(TRect* box = nullptr) const {
        return Bitmap.Count([](int r, int g, int b) { return r > 150 && g < 90 && b < 90; }, box);
    }
    int Green(TRect* box = nullptr) const {
        return Bitmap.Count([](int r, int g, int b) { return g > 150 && r < 90 && b < 90; }, box);
    }
    int Blue(TRect* box = nullptr) const {
        return Bitmap.Count([](int r, int g, int b) { return b > 150 && r < 90 && g < 90; }, box);
    }
    TOwnedPtr<TRotate3DLabel> Label;
    TMemoryCanvas Bitmap;
};

TEST(Rotate3DLabel, RaisedAndSunkenTextShowBothShades) {
    // Raised: the highlight (green) one pixel up and left, the shade (blue)
    // one down and right; sunken the other way round.
    TRect red, green, blue;
    PaintedLabel raised(A3dRaised);
    EXPECT_GT(raised.Red(&red), 200);
    EXPECT_GT(raised.Green(&green), 20);
    EXPECT_GT(raised.Blue(&blue), 20);
    EXPECT_EQ(green.Left, red.Left - 1);
    EXPECT_EQ(green.Top, red.Top - 1);
    EXPECT_EQ(blue.Right, red.Right + 1);
    EXPECT_EQ(blue.Bottom, red.Bottom + 1);
    PaintedLabel sunken(A3dResit);
    EXPECT_GT(sunken.Red(&red), 200);
    EXPECT_GT(sunken.Green(&green), 20);
    EXPECT_GT(sunken.Blue(&blue), 20);
    EXPECT_EQ(green.Right, red.Right + 1);
    EXPECT_EQ(green.Bottom, red.Bottom + 1);
    EXPECT_EQ(blue.Left, red.Left - 1);
    EXPECT_EQ(blue.Top, red.Top - 1);
    PaintedLabel normal(A3dNormal);
    EXPECT_GT(normal.Red(), 200);
    EXPECT_EQ(normal.Green(), 0);
    EXPECT_EQ(normal.Blue(), 0);
}

TEST(Rotate3DLabel, AShadowLiesAtTheShadowOffsets) {
    PaintedLabel shadowed(A3dShadowed);
    TRect red, blue;
    shadowed.Red(&red);
    EXPECT_GT(shadowed.Blue(&blue), 20);
    EXPECT_EQ(shadowed.Green(), 0);
    EXPECT_EQ(blue.Right - red.Right, 5); // AHShadeOffSet
    EXPECT_EQ(blue.Top - red.Top, -5);    // AVShadeOffSet
}

TEST(Rotate3DLabel, AnOpaqueLabelDropsTheEffectForGood) {
    PaintedLabel opaque(A3dRaised, 0, false);
    EXPECT_EQ(opaque.Label->LabelStyle().AStyle3D(), A3dNormal);
    EXPECT_GT(opaque.Red(), 200);
    EXPECT_EQ(opaque.Green(), 0);
    EXPECT_EQ(opaque.Blue(), 0);
    // The rectangle behind the caption is in the label's colour, the rest untouched.
    TRect red;
    opaque.Red(&red);
    EXPECT_EQ(opaque.Bitmap.Pixel(red.Left - 3, 160), Rgb(128, 128, 128));
    EXPECT_EQ(opaque.Bitmap.Pixel(red.Left - 20, 160), Rgb(0, 0, 0));
    EXPECT_EQ(opaque.Bitmap.Pixel(160, red.Top - 30), Rgb(0, 0, 0));
}

TEST(Rotate3DLabel, TheCaptionIsDrawnTurned) {
    TRect flat, turned;
    PaintedLabel(A3dNormal, 0).Red(&flat);
    PaintedLabel(A3dNormal, 90).Red(&turned);
    EXPECT_GT(flat.Right - flat.Left, 2 * (flat.Bottom - flat.Top));
    EXPECT_GT(turned.Bottom - turned.Top, 2 * (turned.Right - turned.Left));
    // Centred: both stay around the middle of the label.
    EXPECT_NEAR((flat.Left + flat.Right) / 2, 160, 12);
    EXPECT_NEAR((turned.Top + turned.Bottom) / 2, 160, 12);
}

} // namespace
