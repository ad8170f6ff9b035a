// The backdrop: a panel that fills its parent with a colour gradient.
#pragma once
#include "toolkit/forms_Controls.h"

enum TDirection { bdUp, bdDown, bdLeft, bdRight, bdHorzIn, bdHorzOut, bdVertIn, bdVertOut };

class TBackdrop : public TWinControl {
    QFD_CLASS(TBackdrop)
public:
    explicit TBackdrop(TComponent* AOwner);
    ~TBackdrop() override;

    TDirection Direction() const { return FDirection; }
    void SetDirection(TDirection v);
    TColor StartColor() const { return FStartColor; }
    void SetStartColor(TColor v);
    TColor EndColor() const { return FEndColor; }
    void SetEndColor(TColor v);
    // Tag -1 makes this backdrop the main one; the previous main one gets 0.
    void SetTag(int32_t v);
    static TBackdrop* MainBackdrop();

    // Fills the client area with bands from fromColor to toColor: across the
    // height (vertical false) or the width; symmetric runs them to the middle
    // and mirrors them.
    void DrawGradient(TCanvas& canvas, TColor fromColor, TColor toColor, bool symmetric, bool vertical);
    // The gradient of Direction, StartColor and EndColor.
    void PaintGradient(TCanvas& canvas);

protected:
    void PaintBackground(TCanvas& canvas, const TRect& client) override;
    void BoundsChanged() override;
    void BeforeDestruction() override;

private:
    void LeaveMain();
    TDirection FDirection = bdUp;
    TColor FStartColor = clBlue;
    TColor FEndColor = clBlack;
};
