// Controls: the base of everything shown in a window, windowed controls that
// own a window handle, controls painted by their parent, a label and a memo.
// No Windows header here: handles travel as integers.
#pragma once
#include "toolkit/classes_Components.h"
#include "toolkit/graphics_Types.h"
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TWinControl;
class TCanvas;

struct TPoint {
    int32_t X = 0, Y = 0;
};

struct TRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool operator==(const TRect& o) const {
        return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
    }
};

// A window message as the window procedure received it.
struct TMessage {
    uint32_t Msg;
    uintptr_t WParam;
    intptr_t LParam;
    intptr_t Result = 0;
};

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TShiftStateFlag : uint32_t { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
using TShiftState = uint32_t;
// A key event: a handler that sets Key to 0 keeps the key from the control.
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TCursor { crDefault, crArrow, crHourGlass };

class TControl : public TComponent {
    QFD_CLASS(TControl)
public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    TWinControl* Parent() const { return FParent; }
    virtual void SetParent(TWinControl* parent);
    void SetParentComponent(TComponent* parent) override;

    int32_t Left() const { return FLeft; }
    int32_t Top() const { return FTop; }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    void SetLeft(int32_t v) { SetBounds(v, FTop, FWidth, FHeight); }
    void SetTop(int32_t v) { SetBounds(FLeft, v, FWidth, FHeight); }
    void SetWidth(int32_t v) { SetBounds(FLeft, FTop, v, FHeight); }
    void SetHeight(int32_t v) { SetBounds(FLeft, FTop, FWidth, v); }
    virtual void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
    TRect BoundsRect() const { return {FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }
    virtual int32_t ClientWidth() const { return FWidth; }
    virtual int32_t ClientHeight() const { return FHeight; }

    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign a);
    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool v);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible, and every parent too.
    bool Showing() const;
    bool Enabled() const { return FEnabled; }
    virtual void SetEnabled(bool v);

    const std::string& Caption() const { return FCaption; }
    virtual void SetCaption(const std::string& s);
    // The text as a person reads it (a memo's text, a label's caption).
    virtual std::string Text() const { return FCaption; }
    void SetText(const std::string& s) { SetCaption(s); }

    TFont& Font() { return FFont; }
    const TFont& Font() const { return FFont; }
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool v);
    TColor Color() const { return FColor; }
    void SetColor(TColor c);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool v);

    // Repaints the control's area.
    virtual void Invalidate();
    // What a click does (OnClick here; buttons set their form's ModalResult first).
    virtual void Click();
    // Return or Escape pressed in the control's form: true when this control
    // acted on it (a default or cancel button). focused: the key was pressed
    // in this control.
    virtual bool DialogKey(uint16_t key, bool focused) { return false; }
    // Painting by the parent (controls without a window).
    virtual bool PaintedByParent() const { return false; }
    virtual void Paint(TCanvas&) {}

    TNotifyEvent OnClick;

protected:
    virtual void FontChanged();
    virtual void ColorChanged();
    virtual void BoundsChanged();
    virtual void TextChanged() { Invalidate(); }
    void BeforeDestruction() override;

    TWinControl* FParent = nullptr;
    int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    TAlign FAlign = alNone;
    bool FVisible = true;
    bool FEnabled = true;
    std::string FCaption;
    TFont FFont;
    bool FParentFont = true;
    TColor FColor = clBtnFace;
    bool FParentColor = false;
    bool FSettingParentFont = false;
    friend class TWinControl;
};

// A control with a window of its own; parent of other controls.
class TWinControl : public TControl {
    QFD_CLASS(TWinControl)
public:
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;

    // The window handle; 0 until the window exists.
    uintptr_t Handle() const { return FHandle; }
    // A window that is not ours to put this control in (a system dialog);
    // used when the control has no parent control.
    uintptr_t ParentWindow() const { return FParentWindow; }
    void SetParentWindow(uintptr_t w);
    bool HandleAllocated() const { return FHandle != 0; }
    // Creates the window (and the parents' ones) when it does not exist yet.
    uintptr_t HandleNeeded();
    void DestroyHandle();

    int ControlCount() const { return static_cast<int>(FControls.size()); }
    TControl* Controls(int i) const { return FControls.at(static_cast<size_t>(i)); }
    void InsertControl(TControl* c);
    void RemoveControl(TControl* c);

    int32_t BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int32_t v);
    // The client area left for aligned children (after border width and bevels).
    virtual TRect AlignArea() const;
    // Lays out aligned children: top, bottom, left and right strips in creation
    // order, then the client-aligned ones take the rest.
    void AlignControls();

    int32_t ClientWidth() const override;
    int32_t ClientHeight() const override;
    // The window shows its vertical scroll bar (its client width is less by it).
    bool VerticalScrollBarShown() const;
    void Invalidate() override;
    // Invalidates the window and its children and paints them at once.
    void Repaint();
    void SetFocus();
    bool Focused() const;
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool v);
    // True when the control keeps Return, Escape or Tab for itself (a memo
    // keeps Return) instead of letting its form act on it.
    virtual bool WantsDialogKey(uint16_t key) const { return false; }

    TKeyEvent OnKeyDown, OnKeyUp;

    // The window procedure of this control; exceptions are caught by the caller.
    virtual void WndProc(TMessage& msg);
    // A WM_COMMAND notification sent to this control through its parent.
    virtual void CommandNotify(uint32_t code) {}
    // A WM_NOTIFY message this control sent to its parent; msg.Result is the answer.
    virtual void ChildNotify(TMessage& msg) {}

protected:
    // Window class and styles for CreateWindowEx.
    struct TCreateParams {
        std::wstring ClassName;
        std::wstring Caption;
        uint32_t Style = 0;
        uint32_t ExStyle = 0;
        int32_t X = 0, Y = 0, W = 0, H = 0;
        uintptr_t WndParent = 0;
        bool OwnClass = true; // our window class (procedure knows us) or a system one
    };
    virtual void CreateParams(TCreateParams& p);
    virtual void CreateWnd();
    virtual void AfterCreateWnd() {}
    void CreateChildHandles();
    void DefaultHandler(TMessage& msg);
    virtual void PaintWindow(uintptr_t dc);
    // Paints the client area under the children painted by this control.
    virtual void PaintBackground(TCanvas& canvas, const TRect& client);
    void UpdateWindowFont();
    void FontChanged() override;
    void BoundsChanged() override;
    void TextChanged() override;
    void SetVisible(bool v) override;
    void SetEnabled(bool v) override;
    virtual void KeyDown(uint16_t& key, TShiftState shift);
    virtual void KeyUp(uint16_t& key, TShiftState shift);
    // The control's window parent: the parent control's window or ParentWindow.
    uintptr_t ParentHandle() const;

    uintptr_t FHandle = 0;
    uintptr_t FParentWindow = 0;
    bool FTabStop = false;
    bool FAcceptsControls = false; // a system control that holds controls (a group box)
    uintptr_t FSystemProc = 0;     // the window procedure of a system class we subclass
    std::vector<TControl*> FControls;
    int32_t FBorderWidth = 0;
    bool FAligning = false;
    friend intptr_t QfdDispatch(TWinControl*, uintptr_t, uint32_t, uintptr_t, intptr_t);
    friend class TControl;
};

// A control without a window, painted by its parent.
class TGraphicControl : public TControl {
    QFD_CLASS(TGraphicControl)
public:
    using TControl::TControl;
    bool PaintedByParent() const override { return true; }
};

// Drawing on a device context (the handle is an HDC).
class TCanvas {
public:
    explicit TCanvas(uintptr_t dc) : FDC(dc) {}
    uintptr_t Handle() const { return FDC; }
    void FillRect(const TRect& r, TColor color);
    // Text in a rectangle with DrawText flags; returns the height used.
    int32_t TextRect(const std::string& text, TRect& r, uint32_t flags, const TFont& font, bool transparent,
                     TColor background);
    // The extent of one line of text in the font.
    void TextExtent(const std::string& text, const TFont& font, int32_t& w, int32_t& h);
    // One line of text with its top left corner at (x, y), on a clear
    // background, in the given colour; escapement turns it by tenths of a
    // degree counter-clockwise.
    void TextOutAngle(int32_t x, int32_t y, const std::string& text, const TFont& font, TColor color,
                      int32_t escapement = 0, bool trueTypeOnly = false);
    // A filled polygon without an outline.
    void FillPolygon(const std::vector<TPoint>& points, TColor color);

private:
    uintptr_t FDC;
};

// The control of ours that owns a window; nullptr for a window that is not ours.
TWinControl* FindControl(uintptr_t window);
// Hands a WM_COMMAND notification from one of our controls to it, for a
// parent window that is not ours (a system dialog); false when the window is
// not ours. Exceptions go to the application's handler.
bool DispatchCommandToControl(uintptr_t control, uint32_t code);
// The shift keys down now.
TShiftState KeyboardShiftState();

// COLORREF of a colour (system colours looked up).
uint32_t ColorToRGB(TColor c);
// A shared font handle for the font's attributes (the toolkit keeps them).
// trueTypeOnly picks TrueType faces only (raster fonts cannot be turned).
uintptr_t FontHandle(const TFont& font, int32_t escapement = 0, bool trueTypeOnly = false);

class TLabel : public TGraphicControl {
    QFD_CLASS(TLabel)
public:
    explicit TLabel(TComponent* AOwner);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment a);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool v);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool v);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool v);
    void Paint(TCanvas& canvas) override;

protected:
    void TextChanged() override;
    void FontChanged() override;
    void AdjustSize();

private:
    TAlignment FAlignment = taLeftJustify;
    bool FAutoSize = true;
    bool FTransparent = false;
    bool FWordWrap = false;
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// A multi-line edit box.
class TMemo : public TWinControl {
    QFD_CLASS(TMemo)
public:
    explicit TMemo(TComponent* AOwner);
    // The lines as they stand (read back from the window when it exists).
    TStringList Lines() const;
    void SetLines(const TStringList& lines);
    void Clear() { SetLines(TStringList()); }
    // Replaces the lines with those of a text file (raises EFOpenError).
    void LoadLinesFromFile(const std::string& fileName);
    std::string Text() const override;
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool v) { FReadOnly = v; }
    TScrollStyle ScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle s) { FScrollBars = s; }
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool v) { FWordWrap = v; }
    // Return makes a new line.
    bool WantsDialogKey(uint16_t key) const override;

    TNotifyEvent OnChange;

protected:
    void CreateParams(TCreateParams& p) override;
    void AfterCreateWnd() override;
    void CommandNotify(uint32_t code) override;

private:
    mutable TStringList FLines;
    bool FReadOnly = false;
    bool FWordWrap = true;
    TScrollStyle FScrollBars = ssNone;
    bool FSettingText = false;
};
