// The system's standard controls: push buttons (with glyphs), edit boxes,
// check boxes, group boxes and radio groups.
#pragma once
#include "toolkit/forms_Forms.h"

// A push button. A click sets the ModalResult of its form (the outermost
// one, so a page's button ends its wizard window) and then runs OnClick.
// Return presses the Default button, Escape the Cancel one.
class TButton : public TWinControl {
    QFD_CLASS(TButton)
public:
    explicit TButton(TComponent* AOwner);
    bool Default() const { return FDefault; }
    void SetDefault(bool v);
    bool Cancel() const { return FCancel; }
    void SetCancel(bool v) { FCancel = v; }
    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult v) { FModalResult = v; }
    void Click() override;
    bool DialogKey(uint16_t key, bool focused) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void CommandNotify(uint32_t code) override;

private:
    bool FDefault = false, FCancel = false;
    TModalResult FModalResult = mrNone;
};

enum TBitBtnKind {
    bkCustom,
    bkOK,
    bkCancel,
    bkHelp,
    bkYes,
    bkNo,
    bkClose,
    bkAbort,
    bkRetry,
    bkIgnore,
    bkAll
};
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
constexpr TModalResult mrAll = 8;

// A push button with a glyph beside its caption. The glyph is a strip of up
// to four images (up, disabled, clicked, down); the colour of its bottom-left
// pixel is left out. A Kind other than bkCustom gives the button its usual
// modal result and default or cancel key, and its caption when it has none.
class TBitBtn : public TButton {
    QFD_CLASS(TBitBtn)
public:
    explicit TBitBtn(TComponent* AOwner);
    ~TBitBtn() override;
    TBitBtnKind Kind() const { return FKind; }
    void SetKind(TBitBtnKind v);
    TPicture& Glyph() { return FGlyph; }
    void SetGlyph(const TPicture& p);
    int32_t NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int32_t v);
    TButtonLayout Layout() const { return FLayout; }
    void SetLayout(TButtonLayout v);
    // Pixels between the button's edge and the glyph; -1 centres glyph and text together.
    int32_t Margin() const { return FMargin; }
    void SetMargin(int32_t v);
    int32_t Spacing() const { return FSpacing; }
    void SetSpacing(int32_t v) { FSpacing = v; }
    void Click() override;
    void Loaded() override;
    // The image list shown on the button (0 without a glyph or a window).
    uintptr_t GlyphImages() const { return FImages; }

protected:
    void AfterCreateWnd() override;

private:
    void UpdateGlyph();
    void FreeImages();
    TBitBtnKind FKind = bkCustom;
    TPicture FGlyph;
    int32_t FNumGlyphs = 1;
    TButtonLayout FLayout = blGlyphLeft;
    int32_t FMargin = -1, FSpacing = 4;
    uintptr_t FImages = 0;
};

enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

// A one-line edit box. OnChange follows every change of the text, typed or set.
class TEdit : public TWinControl {
    QFD_CLASS(TEdit)
public:
    explicit TEdit(TComponent* AOwner);
    std::string Text() const override;
    void SetCaption(const std::string& s) override;
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool v);
    int32_t MaxLength() const { return FMaxLength; }
    void SetMaxLength(int32_t v);
    TEditCharCase CharCase() const { return FCharCase; }
    void SetCharCase(TEditCharCase v);
    void SelectAll();

    TNotifyEvent OnChange;
    // The box lost the keyboard focus.
    TNotifyEvent OnExit;

protected:
    void CreateParams(TCreateParams& p) override;
    void AfterCreateWnd() override;
    void CommandNotify(uint32_t code) override;
    virtual void Change();

private:
    std::string Cased(const std::string& s) const;
    bool FSettingText = false;
    bool FReadOnly = false;
    int32_t FMaxLength = 0;
    TEditCharCase FCharCase = ecNormal;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// A check box. A change of state, clicked or set, runs OnClick.
class TCheckBox : public TWinControl {
    QFD_CLASS(TCheckBox)
public:
    explicit TCheckBox(TComponent* AOwner);
    bool Checked() const { return State() == cbChecked; }
    void SetChecked(bool v) { SetState(v ? cbChecked : cbUnchecked); }
    // Read from the window when it exists: what the person sees.
    TCheckBoxState State() const;
    void SetState(TCheckBoxState v);
    bool AllowGrayed() const { return FAllowGrayed; }
    void SetAllowGrayed(bool v) { FAllowGrayed = v; }
    // taRightJustify puts the caption right of the box (the usual place).
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment a);

protected:
    void CreateParams(TCreateParams& p) override;
    void AfterCreateWnd() override;
    void CommandNotify(uint32_t code) override;

private:
    mutable TCheckBoxState FState = cbUnchecked;
    bool FAllowGrayed = false;
    TAlignment FAlignment = taRightJustify;
};

// A frame with a caption around other controls.
class TGroupBox : public TWinControl {
    QFD_CLASS(TGroupBox)
public:
    explicit TGroupBox(TComponent* AOwner);
    TRect AlignArea() const override;

protected:
    void CreateParams(TCreateParams& p) override;
    void WndProc(TMessage& msg) override;
};

class TRadioGroupButton;

// A group box of radio buttons, one per line of Items, in Columns columns.
// ItemIndex is the chosen one (-1: none); a change, clicked or set, runs OnClick.
class TRadioGroup : public TGroupBox {
    QFD_CLASS(TRadioGroup)
public:
    explicit TRadioGroup(TComponent* AOwner);
    ~TRadioGroup() override;
    const TStringList& Items() const { return FItems; }
    void SetItems(const TStringList& items);
    int32_t ItemIndex() const { return FItemIndex; }
    void SetItemIndex(int32_t v);
    int32_t Columns() const { return FColumns; }
    void SetColumns(int32_t v);
    // The radio button of item i (for tests and pages that focus one).
    TWinControl* Button(int i) const;
    void Loaded() override;

protected:
    void BoundsChanged() override;
    void FontChanged() override;

private:
    friend class TRadioGroupButton;
    void ButtonClicked(TRadioGroupButton* b);
    void RebuildButtons();
    void ArrangeButtons();
    TStringList FItems;
    std::vector<TRadioGroupButton*> FButtons;
    int32_t FItemIndex = -1;
    int32_t FColumns = 1;
};
