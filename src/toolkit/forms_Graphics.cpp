#include "toolkit/forms_Graphics.h"
#include <windows.h>
// The common controls' header needs the Windows types first.
#include <algorithm>
#include <commctrl.h>

namespace {

// The picture's header and pixels, as the bitmap file holds them.
struct TDib {
    const BITMAPINFO* Info = nullptr;
    const void* Bits = nullptr;
};

TDib DibOf(const TPicture& picture) {
    const std::vector<uint8_t>& d = picture.Data();
    if (d.size() < sizeof(BITMAPFILEHEADER) + 12)
        return {};
    uint32_t offBits = static_cast<uint32_t>(d[10] | d[11] << 8 | d[12] << 16) | static_cast<uint32_t>(d[13])
                                                                                     << 24;
    // TPicture checked the header and that the pixels fit behind offBits.
    return {reinterpret_cast<const BITMAPINFO*>(d.data() + sizeof(BITMAPFILEHEADER)), d.data() + offBits};
}

// A memory DC that selects a bitmap for its lifetime.
class TMemoryDC {
public:
    explicit TMemoryDC(HBITMAP bmp) : FDC(CreateCompatibleDC(nullptr)), FOld(SelectObject(FDC, bmp)) {}
    ~TMemoryDC() {
        SelectObject(FDC, FOld);
        DeleteDC(FDC);
    }
    TMemoryDC(const TMemoryDC&) = delete;
    TMemoryDC& operator=(const TMemoryDC&) = delete;
    operator HDC() const { return FDC; }

private:
    HDC FDC;
    HGDIOBJ FOld;
};

} // namespace

uintptr_t CreatePictureBitmap(const TPicture& picture) {
    TDib dib = DibOf(picture);
    if (!dib.Info)
        return 0;
    HDC screen = GetDC(nullptr);
    HBITMAP bmp = CreateDIBitmap(screen, &dib.Info->bmiHeader, CBM_INIT, dib.Bits, dib.Info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return reinterpret_cast<uintptr_t>(bmp);
}

TColor PictureCornerColor(const TPicture& picture) {
    auto bmp = reinterpret_cast<HBITMAP>(CreatePictureBitmap(picture));
    if (!bmp)
        return clNone;
    COLORREF c;
    {
        TMemoryDC dc(bmp);
        c = GetPixel(dc, 0, picture.Height() - 1);
    }
    DeleteObject(bmp);
    return c == CLR_INVALID ? clNone : static_cast<TColor>(c);
}

void DrawPicture(TCanvas& canvas, const TPicture& picture, const TRect& dest, bool transparent) {
    TDib dib = DibOf(picture);
    if (!dib.Info || dest.Width() <= 0 || dest.Height() <= 0)
        return;
    auto dc = reinterpret_cast<HDC>(canvas.Handle());
    if (!transparent) {
        int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
        StretchDIBits(dc, dest.Left, dest.Top, dest.Width(), dest.Height(), 0, 0, picture.Width(),
                      picture.Height(), dib.Bits, dib.Info, DIB_RGB_COLORS, SRCCOPY);
        SetStretchBltMode(dc, oldMode);
        return;
    }
    TColor key = PictureCornerColor(picture);
    auto bmp = reinterpret_cast<HBITMAP>(CreatePictureBitmap(picture));
    if (!bmp)
        return;
    {
        TMemoryDC src(bmp);
        GdiTransparentBlt(dc, dest.Left, dest.Top, dest.Width(), dest.Height(), src, 0, 0, picture.Width(),
                          picture.Height(), static_cast<UINT>(key));
    }
    DeleteObject(bmp);
}

int32_t PictureStripCount(const TPicture& picture, int32_t width) {
    if (picture.Empty() || width <= 0)
        return 0;
    return std::max(picture.Width() / width, 1);
}

void AddPictureImages(uintptr_t list, const TPicture& picture, int32_t width, int32_t height, bool masked,
                      const std::vector<int32_t>& order) {
    int32_t count = PictureStripCount(picture, width);
    if (!list || count == 0 || height <= 0)
        return;
    auto strip = reinterpret_cast<HBITMAP>(CreatePictureBitmap(picture));
    if (!strip)
        return;
    std::vector<int32_t> indexes = order;
    if (indexes.empty())
        for (int32_t i = 0; i < count; ++i)
            indexes.push_back(i);
    TColor key = masked ? PictureCornerColor(picture) : clNone;
    {
        TMemoryDC src(strip);
        HDC screen = GetDC(nullptr);
        for (int32_t index : indexes) {
            int32_t i = index >= 0 && index < count ? index : 0;
            HBITMAP one = CreateCompatibleBitmap(screen, width, height);
            {
                TMemoryDC dst(one);
                RECT all{0, 0, width, height};
                FillRect(dst, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
                BitBlt(dst, 0, 0, std::min(width, picture.Width()), std::min(height, picture.Height()), src,
                       i * width, 0, SRCCOPY);
            }
            if (masked)
                ImageList_AddMasked(reinterpret_cast<HIMAGELIST>(list), one, static_cast<COLORREF>(key));
            else
                ImageList_Add(reinterpret_cast<HIMAGELIST>(list), one, nullptr);
            DeleteObject(one);
        }
        ReleaseDC(nullptr, screen);
    }
    DeleteObject(strip);
}

uintptr_t CreateImageListOfPicture(const TPicture& picture, int32_t width, int32_t height, bool masked,
                                   const std::vector<int32_t>& order) {
    if (PictureStripCount(picture, width) == 0 || height <= 0 || order.empty())
        return 0;
    HIMAGELIST list =
        ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, static_cast<int>(order.size()), 4);
    AddPictureImages(reinterpret_cast<uintptr_t>(list), picture, width, height, masked, order);
    return reinterpret_cast<uintptr_t>(list);
}
