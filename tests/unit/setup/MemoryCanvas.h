// A 32-bit bitmap in a memory device context, for painting and reading back pixels.
#pragma once
#include "toolkit/forms_Controls.h"
#include <cstdint>
#include <functional>

class TMemoryCanvas {
public:
    // background is an RGB colour (0x00BBGGRR).
    TMemoryCanvas(int w, int h, uint32_t background);
    ~TMemoryCanvas();
    TMemoryCanvas(const TMemoryCanvas&) = delete;
    TMemoryCanvas& operator=(const TMemoryCanvas&) = delete;

    TCanvas Canvas() const { return TCanvas(FDC); }
    uint32_t Pixel(int x, int y) const;
    // Pixels for which test holds, and their bounding box (inclusive).
    int Count(const std::function<bool(int r, int g, int b)>& test, TRect* box = nullptr) const;

private:
    int FW, FH;
    uintptr_t FDC = 0, FBitmap = 0, FOld = 0;
};

constexpr uint32_t Rgb(int r, int g, int b) {
    return static_cast<uint32_t>(r) | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(b) << 16);
}
