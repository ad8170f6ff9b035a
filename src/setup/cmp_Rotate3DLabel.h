// A label that draws its caption turned by an angle, raised, sunken or with
// a shadow.
#pragma once
#include "toolkit/forms_Controls.h"

enum T3DEffectShort { A3dNormal, A3dResit, A3dRaised, A3dShadowed };

// The 3-D look of a TRotate3DLabel. Every setter fires OnChange only when
// the look changed.
class TLabelStyle : public TPersistent {
    QFD_CLASS(TLabelStyle)
public:
    TLabelStyle() = default;
    // Copies the look of another style and fires OnChange.
    void Assign(const TPersistent& source) override;

    // Degrees; values outside 0..359 become 0.
    int32_t Angle() const { return FAngle; }
    void SetAngle(int32_t v);
    T3DEffectShort AStyle3D() const { return FAStyle3D; }
    void SetAStyle3D(T3DEffectShort v);
    TColor AShadeRightBottom() const { return FAShadeRightBottom; }
    void SetAShadeRightBottom(TColor v);
    // Ignored while AShadeLTSet holds.
    TColor AShadeLeftTop() const { return FAShadeLeftTop; }
    void SetAShadeLeftTop(TColor v);
    // True forces a white highlight and keeps the colour it had; false gives
    // that colour back.
    bool AShadeLTSet() const { return FAShadeLTSet; }
    void SetAShadeLTSet(bool v);
    int32_t AHShadeOffSet() const { return FAHShadeOffSet; }
    void SetAHShadeOffSet(int32_t v);
    int32_t AVShadeOffSet() const { return FAVShadeOffSet; }
    void SetAVShadeOffSet(int32_t v);

    TNotifyEvent OnChange;

private:
    friend class TRotate3DLabel;
    void Changed();

    int32_t FAngle = 0;
    T3DEffectShort FAStyle3D = A3dRaised;
    TColor FAShadeRightBottom = clGray;
    TColor FAShadeLeftTop = clWhite;
    bool FAShadeLTSet = false;
    int32_t FAHShadeOffSet = 5;
    int32_t FAVShadeOffSet = -5;
    TColor FSavedShadeLeftTop = clWhite;
};

class TRotate3DLabel : public TLabel {
    QFD_CLASS(TRotate3DLabel)
public:
    explicit TRotate3DLabel(TComponent* AOwner);
    ~TRotate3DLabel() override;
    // Copies caption, style, font, Align, bounds and MyTransparent.
    void Assign(const TPersistent& source) override;

    TLabelStyle& LabelStyle() { return FLabelStyle; }
    const TLabelStyle& LabelStyle() const { return FLabelStyle; }
    void SetLabelStyle(const TLabelStyle& v);
    // False paints a turned rectangle in Color behind the caption and drops
    // the 3-D effect for good.
    bool MyTransparent() const { return FMyTransparent; }
    void SetMyTransparent(bool v);
    // Tag -1 makes this label the main one; the previous main one gets 0.
    void SetTag(int32_t v);
    static TRotate3DLabel* MainLabel();

    // Where a caption of w x h pixels starts, for the current angle and alignment.
    void CaptionOrigin(int32_t w, int32_t h, int32_t& x, int32_t& y);
    void Paint(TCanvas& canvas) override;

protected:
    void BeforeDestruction() override;

private:
    void UpdateAngle();
    void LeaveMain();

    TLabelStyle FLabelStyle;
    bool FMyTransparent = true;
    double FDegToRad;
    double FCos = 1, FSin = 0;
};
