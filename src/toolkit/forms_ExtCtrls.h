// Containers and pictures: the panel with its bevels, the bevel line or box,
// and the image.
#pragma once
#include "toolkit/forms_Forms.h"

enum TPanelBevel { bvNone, bvLowered, bvRaised, bvSpace };

// A container painted by us: an outer bevel, a frame of BorderWidth in its
// colour, an inner bevel, and its caption in the middle. Aligned children
// take what is inside all of these.
class TPanel : public TWinControl {
    QFD_CLASS(TPanel)
public:
    explicit TPanel(TComponent* AOwner);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment a);
    TPanelBevel BevelInner() const { return FBevelInner; }
    void SetBevelInner(TPanelBevel v);
    TPanelBevel BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TPanelBevel v);
    int32_t BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int32_t v);
    // bsNone or bsSingle: a single line around the panel's window.
    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle v);
    TRect AlignArea() const override;

protected:
    void CreateParams(TCreateParams& p) override;
    void PaintBackground(TCanvas& canvas, const TRect& client) override;
    void TextChanged() override;

private:
    void Relayout();
    TAlignment FAlignment = taCenter;
    TPanelBevel FBevelInner = bvNone, FBevelOuter = bvRaised;
    int32_t FBevelWidth = 1;
    TFormBorderStyle FBorderStyle = bsNone;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

// A sunken or raised line or box, painted by its parent.
class TBevel : public TGraphicControl {
    QFD_CLASS(TBevel)
public:
    explicit TBevel(TComponent* AOwner);
    TBevelShape Shape() const { return FShape; }
    void SetShape(TBevelShape v);
    TBevelStyle Style() const { return FStyle; }
    void SetStyle(TBevelStyle v);
    void Paint(TCanvas& canvas) override;

private:
    TBevelShape FShape = bsBox;
    TBevelStyle FStyle = bsLowered;
};

// A picture painted by its parent: at the top left, centred, or stretched
// over the control; transparent leaves out the bottom-left pixel's colour.
class TImage : public TGraphicControl {
    QFD_CLASS(TImage)
public:
    explicit TImage(TComponent* AOwner);
    TPicture& Picture() { return FPicture; }
    const TPicture& Picture() const { return FPicture; }
    // Replaces the picture and repaints (and resizes with AutoSize).
    void SetPicture(const TPicture& p);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool v);
    bool Center() const { return FCenter; }
    void SetCenter(bool v);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool v);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool v);
    // Where the picture lands in the control's own coordinates.
    TRect DestRect() const;
    void Paint(TCanvas& canvas) override;
    void Loaded() override;

private:
    void PictureChanged();
    TPicture FPicture;
    bool FAutoSize = false, FCenter = false, FStretch = false, FTransparent = false;
};
