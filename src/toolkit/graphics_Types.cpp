#include "toolkit/graphics_Types.h"
#include "toolkit/classes_Publish.h"
#include <cstdio>

namespace {
struct ColorName {
    const char* Name;
    TColor Value;
};
const ColorName kColors[] = {
    {"clBlack", clBlack},
    {"clMaroon", clMaroon},
    {"clGreen", clGreen},
    {"clOlive", clOlive},
    {"clNavy", clNavy},
    {"clPurple", clPurple},
    {"clTeal", clTeal},
    {"clGray", clGray},
    {"clSilver", clSilver},
    {"clRed", clRed},
    {"clLime", clLime},
    {"clYellow", clYellow},
    {"clBlue", clBlue},
    {"clFuchsia", clFuchsia},
    {"clAqua", clAqua},
    {"clWhite", clWhite},
    {"clNone", clNone},
    {"clScrollBar", clScrollBar},
    {"clBackground", clBackground},
    {"clActiveCaption", clActiveCaption},
    {"clWindow", clWindow},
    {"clWindowText", clWindowText},
    {"clCaptionText", clCaptionText},
    {"clBtnFace", clBtnFace},
    {"clHighlight", clHighlight},
    {"clHighlightText", clHighlightText},
    {"clBtnShadow", clBtnShadow},
    {"clGrayText", clGrayText},
    {"clBtnText", clBtnText},
    {"clBtnHighlight", clBtnHighlight},
};

uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
    return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (static_cast<uint32_t>(d[at + 3]) << 24);
}
uint16_t Le16(const std::vector<uint8_t>& d, size_t at) {
    return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}
} // namespace

bool IdentToColor(const std::string& ident, TColor& color) {
    for (const ColorName& c : kColors)
        if (SameText(ident, c.Name)) {
            color = c.Value;
            return true;
        }
    return false;
}

std::string ColorToText(TColor color) {
    for (const ColorName& c : kColors)
        if (c.Value == color)
            return c.Name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%08X", static_cast<unsigned>(color));
    return buf;
}

const TClassInfo& TFont::StaticClass() {
    static const TClassInfo info = DescribeClass<TFont, TPersistent>("TFont", [](auto& c) {
        c.Int("Charset", &TFont::Charset, &TFont::SetCharset, DEFAULT_CHARSET_VALUE);
        c.Color("Color", &TFont::Color, &TFont::SetColor, clWindowText);
        c.Int("Height", &TFont::Height, &TFont::SetHeight, -11);
        c.Str("Name", &TFont::Name, &TFont::SetName, "MS Sans Serif");
        c.Set("Style", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}, &TFont::Style, &TFont::SetStyle,
              0);
    });
    return info;
}

TFont::TFont() = default;

void TFont::Assign(const TPersistent& source) {
    const auto* f = dynamic_cast<const TFont*>(&source);
    if (!f) {
        TPersistent::Assign(source);
        return;
    }
    bool changed = !(*this == *f);
    FCharset = f->FCharset;
    FColor = f->FColor;
    FHeight = f->FHeight;
    FName = f->FName;
    FStyle = f->FStyle;
    if (changed && OnChange)
        OnChange();
}

bool TFont::operator==(const TFont& o) const {
    return FCharset == o.FCharset && FColor == o.FColor && FHeight == o.FHeight && FName == o.FName &&
           FStyle == o.FStyle;
}

void TPicture::SetData(std::vector<uint8_t> data) {
    if (data.empty()) {
        Clear();
        FWidth = FHeight = FBits = 0;
        return;
    }
    // A bitmap file: "BM", sizes and a BITMAPINFOHEADER (or the old core header).
    if (data.size() < 26 || data[0] != 'B' || data[1] != 'M')
        throw EPropertyError("Bitmap image is not valid");
    uint32_t offBits = Le32(data, 10), headerSize = Le32(data, 14);
    int64_t width, height;
    int bits;
    if (headerSize == 12) {
        width = Le16(data, 18);
        height = Le16(data, 20);
        bits = Le16(data, 24);
    } else if (headerSize >= 40 && data.size() >= 14 + 40) {
        width = static_cast<int32_t>(Le32(data, 18));
        height = static_cast<int32_t>(Le32(data, 22));
        bits = Le16(data, 28);
    } else {
        throw EPropertyError("Bitmap image is not valid");
    }
    if (height < 0)
        height = -height;
    int64_t stride = ((width * bits + 31) / 32) * 4;
    if (width <= 0 || height <= 0 || width > 32768 || height > 32768 ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) ||
        offBits >= data.size() || static_cast<int64_t>(data.size() - offBits) < stride * height)
        throw EPropertyError("Bitmap image is not valid");
    FData = std::move(data);
    FWidth = static_cast<int32_t>(width);
    FHeight = static_cast<int32_t>(height);
    FBits = bits;
}
