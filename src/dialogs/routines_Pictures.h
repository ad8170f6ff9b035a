// The pictures of the framework's windows, drawn here in code: the drive and
// the no-room mark of the drive list, the archive and the network transfer of
// the copy-progress window, the status box's icon and the change-disk
// window's disk. Each is the bytes of a 24-bit bitmap file whose bottom-left
// pixel has the colour a transparent image or a masked image list leaves out.
#pragma once
#include <cstdint>
#include <vector>

// The colour left out around every picture (magenta, used by none of them).
constexpr uint32_t kPictureBackground = 0xFF00FF;

// Pixels of a picture being drawn, 0xRRGGBB, rows from the top.
class TPixelCanvas {
public:
    TPixelCanvas(int32_t width, int32_t height, uint32_t fill = kPictureBackground);
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    uint32_t Pixel(int32_t x, int32_t y) const;
    // Points outside the canvas are left out.
    void SetPixel(int32_t x, int32_t y, uint32_t rgb);
    void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t rgb);
    void FrameRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t rgb);
    // The ellipse inside the rectangle (right and bottom excluded).
    void FillEllipse(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t rgb);
    void FillTriangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, uint32_t rgb);
    // A line of the given thickness in pixels.
    void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb, int32_t thickness = 1);
    // A bitmap file (BITMAPFILEHEADER, BITMAPINFOHEADER, bottom-up rows padded to 4 bytes).
    std::vector<uint8_t> BitmapFile() const;

private:
    int32_t FWidth, FHeight;
    std::vector<uint32_t> FPixels;
};

// The drive list's image strip, 16 x 16 each: 0 a drive, 1 the mark for a
// drive without enough room.
std::vector<uint8_t> DriveSpaceImagesBitmap();
// The copy-progress window: an archive giving out a page (36 x 37), and a
// globe with a download arrow (37 x 36).
std::vector<uint8_t> ExtractionBitmap();
std::vector<uint8_t> TransferBitmap();
// The status box's 32 x 32 icon: an "i" on a blue disc.
std::vector<uint8_t> StatusIconBitmap();
// The change-disk window: a floppy disk, 48 x 48.
std::vector<uint8_t> DiskBitmap();
