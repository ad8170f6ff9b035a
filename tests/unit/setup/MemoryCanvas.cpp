#include "unit/setup/MemoryCanvas.h"
#include <algorithm>
#include <windows.h>

TMemoryCanvas::TMemoryCanvas(int w, int h, uint32_t background) : FW(w), FH(h) {
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    FOld = reinterpret_cast<uintptr_t>(SelectObject(dc, bmp));
    RECT r{0, 0, w, h};
    HBRUSH b = CreateSolidBrush(background);
    FillRect(dc, &r, b);
    DeleteObject(b);
    FDC = reinterpret_cast<uintptr_t>(dc);
    FBitmap = reinterpret_cast<uintptr_t>(bmp);
}

TMemoryCanvas::~TMemoryCanvas() {
    HDC dc = reinterpret_cast<HDC>(FDC);
    SelectObject(dc, reinterpret_cast<HGDIOBJ>(FOld));
    DeleteObject(reinterpret_cast<HGDIOBJ>(FBitmap));
    DeleteDC(dc);
}

uint32_t TMemoryCanvas::Pixel(int x, int y) const {
    return GetPixel(reinterpret_cast<HDC>(FDC), x, y);
}

int TMemoryCanvas::Count(const std::function<bool(int r, int g, int b)>& test, TRect* box) const {
    int n = 0;
    TRect bb{FW, FH, -1, -1};
    for (int y = 0; y < FH; ++y)
        for (int x = 0; x < FW; ++x) {
            COLORREF c = GetPixel(reinterpret_cast<HDC>(FDC), x, y);
            if (test(GetRValue(c), GetGValue(c), GetBValue(c))) {
                ++n;
                bb.Left = std::min(bb.Left, x);
                bb.Top = std::min(bb.Top, y);
                bb.Right = std::max(bb.Right, x);
                bb.Bottom = std::max(bb.Bottom, y);
            }
        }
    if (box)
        *box = bb;
    return n;
}
