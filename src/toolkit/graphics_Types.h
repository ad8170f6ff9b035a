// Colours, fonts and pictures as the component model stores them. The
// window handles made from them live in the Windows half of the toolkit.
#pragma once
#include "toolkit/classes_Components.h"
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// An RGB colour (0x00BBGGRR) or, with the high byte 0xFF, a system colour index.
using TColor = int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clBtnHighlight = clSystemColor | 20;

// Colour names of stored layouts ("clWhite"); false when the name is unknown.
bool IdentToColor(const std::string& ident, TColor& color);
std::string ColorToText(TColor color);

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = uint32_t; // bit (1 << TFontStyle)
constexpr uint8_t DEFAULT_CHARSET_VALUE = 1;

class TFont : public TPersistent {
    QFD_CLASS(TFont)
public:
    TFont();
    void Assign(const TPersistent& source) override;

    int32_t Charset() const { return FCharset; }
    void SetCharset(int32_t v) { Change(FCharset, v); }
    TColor Color() const { return FColor; }
    void SetColor(TColor v) { Change(FColor, v); }
    // Character height in pixels; negative as in LOGFONT.
    int32_t Height() const { return FHeight; }
    void SetHeight(int32_t v) { Change(FHeight, v); }
    const std::string& Name() const { return FName; }
    void SetName(const std::string& v) { Change(FName, v); }
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles v) { Change(FStyle, v); }
    bool operator==(const TFont& o) const;

    std::function<void()> OnChange;

private:
    template <class V> void Change(V& field, const V& v) {
        if (field == v)
            return;
        field = v;
        if (OnChange)
            OnChange();
    }
    int32_t FCharset = DEFAULT_CHARSET_VALUE;
    TColor FColor = clWindowText;
    int32_t FHeight = -11;
    std::string FName = "MS Sans Serif";
    TFontStyles FStyle = 0;
};

// A picture held as the bytes of a Windows bitmap file.
class TPicture {
public:
    const std::vector<uint8_t>& Data() const { return FData; }
    // Raises EPropertyError when the bytes are not a bitmap file this program can show.
    void SetData(std::vector<uint8_t> data);
    void Clear() { FData.clear(); }
    bool Empty() const { return FData.empty(); }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    int32_t BitsPerPixel() const { return FBits; }

private:
    std::vector<uint8_t> FData;
    int32_t FWidth = 0, FHeight = 0, FBits = 0;
};
