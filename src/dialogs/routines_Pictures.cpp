#include "dialogs/routines_Pictures.h"
#include <algorithm>
#include <cstdlib>

TPixelCanvas::TPixelCanvas(int32_t width, int32_t height, uint32_t fill)
    : FWidth(std::clamp(width, 1, 1024)), FHeight(std::clamp(height, 1, 1024)),
      FPixels(static_cast<size_t>(FWidth) * static_cast<size_t>(FHeight), fill) {}

uint32_t TPixelCanvas::Pixel(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight)
        return kPictureBackground;
    return FPixels[static_cast<size_t>(y) * static_cast<size_t>(FWidth) + static_cast<size_t>(x)];
}

void TPixelCanvas::SetPixel(int32_t x, int32_t y, uint32_t rgb) {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight)
        return;
    FPixels[static_cast<size_t>(y) * static_cast<size_t>(FWidth) + static_cast<size_t>(x)] = rgb;
}

void TPixelCanvas::FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t rgb) {
    for (int32_t y = std::max(top, 0); y < std::min(bottom, FHeight); ++y)
        for (int32_t x = std::max(left, 0); x < std::min(right, FWidth); ++x)
            SetPixel(x, y, rgb);
}

void TPixelCanvas::FrameRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t rgb) {
    FillRect(left, top, right, top + 1, rgb);
    FillRect(left, bottom - 1, right, bottom, rgb);
    FillRect(left, top, left + 1, bottom, rgb);
    FillRect(right - 1, top, right, bottom, rgb);
}

void TPixelCanvas::FillEllipse(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t rgb) {
    // A pixel belongs when its centre lies inside; in doubled coordinates so
    // that halves stay whole.
    const int64_t cx = left + right, cy = top + bottom; // twice the centre
    const int64_t rx = right - left, ry = bottom - top; // twice the radii
    if (rx <= 0 || ry <= 0)
        return;
    for (int32_t y = top; y < bottom; ++y)
        for (int32_t x = left; x < right; ++x) {
            const int64_t dx = 2 * x + 1 - cx, dy = 2 * y + 1 - cy;
            if (dx * dx * ry * ry + dy * dy * rx * rx <= rx * rx * ry * ry)
                SetPixel(x, y, rgb);
        }
}

void TPixelCanvas::FillTriangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3,
                                uint32_t rgb) {
    const auto side = [](int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px, int64_t py) {
        return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
    };
    const int32_t left = std::min({x1, x2, x3}), right = std::max({x1, x2, x3});
    const int32_t top = std::min({y1, y2, y3}), bottom = std::max({y1, y2, y3});
    for (int32_t y = top; y <= bottom; ++y)
        for (int32_t x = left; x <= right; ++x) {
            const int64_t a = side(x1, y1, x2, y2, x, y), b = side(x2, y2, x3, y3, x, y),
                          c = side(x3, y3, x1, y1, x, y);
            if ((a >= 0 && b >= 0 && c >= 0) || (a <= 0 && b <= 0 && c <= 0))
                SetPixel(x, y, rgb);
        }
}

void TPixelCanvas::Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb, int32_t thickness) {
    const int32_t steps = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
    const int32_t half = std::max(thickness, 1) / 2;
    for (int32_t i = 0; i <= steps; ++i) {
        const int32_t x = steps ? x1 + (x2 - x1) * i / steps : x1;
        const int32_t y = steps ? y1 + (y2 - y1) * i / steps : y1;
        FillRect(x - half, y - half, x - half + std::max(thickness, 1), y - half + std::max(thickness, 1),
                 rgb);
    }
}

std::vector<uint8_t> TPixelCanvas::BitmapFile() const {
    const uint32_t stride = (static_cast<uint32_t>(FWidth) * 3 + 3) & ~3u;
    const uint32_t imageSize = stride * static_cast<uint32_t>(FHeight);
    const uint32_t offset = 14 + 40;
    std::vector<uint8_t> out(offset + imageSize, 0);
    const auto put16 = [&](size_t at, uint32_t v) {
        out[at] = static_cast<uint8_t>(v);
        out[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    const auto put32 = [&](size_t at, uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, offset + imageSize);
    put32(10, offset);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(FWidth));
    put32(22, static_cast<uint32_t>(FHeight)); // positive: bottom-up rows
    put16(26, 1);
    put16(28, 24);
    put32(34, imageSize);
    for (int32_t y = 0; y < FHeight; ++y) {
        size_t at = offset + static_cast<size_t>(FHeight - 1 - y) * stride;
        for (int32_t x = 0; x < FWidth; ++x) {
            const uint32_t rgb = Pixel(x, y);
            out[at++] = static_cast<uint8_t>(rgb);       // blue
            out[at++] = static_cast<uint8_t>(rgb >> 8);  // green
            out[at++] = static_cast<uint8_t>(rgb >> 16); // red
        }
    }
    return out;
}

namespace {

void DrawDrive(TPixelCanvas& c, int32_t x0) {
    c.FillRect(x0 + 1, 4, x0 + 15, 7, 0xE8E8E8);   // the top face
    c.FillRect(x0 + 1, 7, x0 + 15, 12, 0xB4B4B4);  // the front
    c.FrameRect(x0 + 1, 4, x0 + 15, 12, 0x404040); // outline
    c.FillRect(x0 + 3, 9, x0 + 9, 10, 0x505050);   // the slot
    c.FillRect(x0 + 11, 8, x0 + 13, 10, 0x10C010); // the light
}

void DrawNoRoomMark(TPixelCanvas& c, int32_t x0) {
    c.FillEllipse(x0 + 0, 0, x0 + 16, 16, 0x901010);
    c.FillEllipse(x0 + 1, 1, x0 + 15, 15, 0xE02020);
    c.FillRect(x0 + 7, 3, x0 + 9, 10, 0xFFFFFF); // "!"
    c.FillRect(x0 + 7, 11, x0 + 9, 13, 0xFFFFFF);
}

} // namespace

std::vector<uint8_t> DriveSpaceImagesBitmap() {
    TPixelCanvas c(32, 16);
    DrawDrive(c, 0);
    DrawNoRoomMark(c, 16);
    return c.BitmapFile();
}

std::vector<uint8_t> ExtractionBitmap() {
    TPixelCanvas c(36, 37);
    // A page that leaves the archive, with lines of text.
    c.FillRect(14, 1, 31, 22, 0xFFFFFF);
    c.FrameRect(14, 1, 31, 22, 0x606060);
    for (int32_t y = 5; y < 20; y += 3)
        c.FillRect(17, y, 28, y + 1, 0x7080B0);
    // The archive: a box with its lid and a band round it.
    c.FillRect(3, 18, 29, 35, 0xB07830);
    c.FillRect(1, 14, 31, 19, 0xD09A50);
    c.FrameRect(3, 18, 29, 35, 0x5A2E0C);
    c.FrameRect(1, 14, 31, 19, 0x5A2E0C);
    c.FillRect(14, 14, 18, 35, 0x7A4A18);
    // An arrow out of it.
    c.FillTriangle(26, 20, 35, 20, 30, 13, 0x10A010);
    c.FillRect(28, 20, 33, 30, 0x10A010);
    return c.BitmapFile();
}

std::vector<uint8_t> TransferBitmap() {
    TPixelCanvas c(37, 36);
    // A globe: sea, land, and its lines.
    c.FillEllipse(1, 1, 31, 31, 0x184890);
    c.FillEllipse(2, 2, 30, 30, 0x2E6FD8);
    c.FillEllipse(7, 6, 17, 15, 0x2FA040);
    c.FillEllipse(13, 15, 24, 27, 0x2FA040);
    c.FillEllipse(20, 6, 27, 12, 0x2FA040);
    c.FillRect(3, 15, 29, 16, 0x9CC4F8);
    c.FillRect(15, 3, 16, 29, 0x9CC4F8);
    // The download arrow.
    c.FillRect(27, 14, 34, 26, 0x0A7A0A);
    c.FillRect(28, 15, 33, 26, 0x20C020);
    c.FillTriangle(22, 25, 36, 25, 29, 34, 0x0A7A0A);
    c.FillTriangle(24, 26, 34, 26, 29, 32, 0x20C020);
    return c.BitmapFile();
}

std::vector<uint8_t> StatusIconBitmap() {
    TPixelCanvas c(32, 32);
    c.FillEllipse(0, 0, 32, 32, 0x103C8C);
    c.FillEllipse(1, 1, 31, 31, 0x2A64D0);
    c.FillEllipse(13, 5, 19, 11, 0xFFFFFF); // the dot of the "i"
    c.FillRect(13, 13, 19, 25, 0xFFFFFF);   // its stem and foot
    c.FillRect(11, 13, 14, 15, 0xFFFFFF);
    c.FillRect(11, 24, 21, 26, 0xFFFFFF);
    return c.BitmapFile();
}

std::vector<uint8_t> DiskBitmap() {
    TPixelCanvas c(48, 48);
    c.FillRect(2, 2, 46, 46, 0x24418F);
    c.FillTriangle(40, 2, 46, 2, 46, 8, kPictureBackground); // the cut corner
    c.Line(40, 2, 46, 8, 0x101830);
    c.FrameRect(2, 2, 46, 46, 0x101830);
    c.FillRect(39, 2, 46, 3, kPictureBackground);
    c.FillRect(45, 2, 46, 8, kPictureBackground);
    // The metal shutter with its window.
    c.FillRect(13, 2, 35, 17, 0xC4C8D0);
    c.FrameRect(13, 2, 35, 17, 0x707480);
    c.FillRect(26, 5, 31, 14, 0x24418F);
    // The label with its lines.
    c.FillRect(8, 23, 40, 46, 0xF6F6F6);
    c.FrameRect(8, 23, 40, 46, 0x9098A8);
    for (int32_t y = 28; y < 44; y += 4)
        c.FillRect(11, y, 37, y + 1, 0x7C8CC8);
    return c.BitmapFile();
}
