#include "setup/cmp_TBackDrop.h"
#include "setup/setup_Classes.h"
#include "toolkit/forms_Forms.h"
#include "unit/setup/MemoryCanvas.h"
#include <gtest/gtest.h>
#include <windows.h>

namespace {

// A backdrop of the given client size painted into a bitmap.
struct Painted {
    Painted(TDirection d, TColor start, TColor end, int w, int h) : Bitmap(w, h, Rgb(1, 2, 3)) {
        Backdrop.reset(new TBackdrop(nullptr));
        Backdrop->SetBounds(0, 0, w, h);
        Backdrop->SetDirection(d);
        Backdrop->SetStartColor(start);
        Backdrop->SetEndColor(end);
        TCanvas c = Bitmap.Canvas();
        Backdrop->PaintGradient(c);
    }
    TOwnedPtr<TBackdrop> Backdrop;
    TMemoryCanvas Bitmap;
};

constexpr TColor kRed = 0x0000FF, kBlue = 0xFF0000;

TEST(Backdrop, DefaultsAndStoredDefaults) {
    TOwnedPtr<TBackdrop> b(new TBackdrop(nullptr));
    EXPECT_EQ(b->Align(), alClient);
    EXPECT_EQ(b->Direction(), bdUp);
    EXPECT_EQ(b->StartColor(), 16711680);
    EXPECT_EQ(b->EndColor(), 0);
    const TClassInfo& cls = TBackdrop::StaticClass();
    EXPECT_EQ(cls.FindProp("Align")->Default, "alClient");
    EXPECT_EQ(cls.FindProp("StartColor")->Default, "clBlue");
    EXPECT_EQ(cls.FindProp("Direction")->Default, "bdUp");
}

TEST(Backdrop, OneWayGradientsRunFromEdgeToEdge) {
    // Start and end differ by -255, 100 and -100 per channel: band 130 shows
    // the rounding to the nearest integer (50.98 -> 51).
    const TColor start = Rgb(255, 0, 200), end = Rgb(0, 100, 100);
    Painted up(bdUp, start, end, 4, 256);
    EXPECT_EQ(up.Bitmap.Pixel(2, 0), Rgb(255, 0, 200));
    EXPECT_EQ(up.Bitmap.Pixel(2, 255), Rgb(0, 100, 100));
    EXPECT_EQ(up.Bitmap.Pixel(2, 130), Rgb(125, 51, 149));
    EXPECT_EQ(up.Bitmap.Pixel(3, 130), up.Bitmap.Pixel(0, 130)); // bands run the full width
    Painted down(bdDown, start, end, 4, 256);
    EXPECT_EQ(down.Bitmap.Pixel(0, 0), Rgb(0, 100, 100));
    EXPECT_EQ(down.Bitmap.Pixel(0, 255), Rgb(255, 0, 200));
    Painted left(bdLeft, kRed, kBlue, 256, 3);
    EXPECT_EQ(left.Bitmap.Pixel(0, 1), Rgb(255, 0, 0));
    EXPECT_EQ(left.Bitmap.Pixel(255, 1), Rgb(0, 0, 255));
    EXPECT_EQ(left.Bitmap.Pixel(128, 0), left.Bitmap.Pixel(128, 2)); // bands run the full height
    Painted right(bdRight, kRed, kBlue, 256, 3);
    EXPECT_EQ(right.Bitmap.Pixel(0, 1), Rgb(0, 0, 255));
    // A smaller backdrop is covered whole.
    Painted small(bdUp, kRed, kBlue, 5, 37);
    EXPECT_EQ(small.Bitmap.Count([](int r, int g, int b) { return r == 1 && g == 2 && b == 3; }), 0);
}

TEST(Backdrop, SymmetricGradientsMeetInTheMiddle) {
    Painted horzIn(bdHorzIn, kRed, kBlue, 2, 256);
    for (int row : {0, 255})
        EXPECT_EQ(horzIn.Bitmap.Pixel(0, row), Rgb(0, 0, 255)) << row;
    for (int row : {127, 128})
        EXPECT_EQ(horzIn.Bitmap.Pixel(0, row), Rgb(255, 0, 0)) << row;
    EXPECT_EQ(horzIn.Bitmap.Pixel(0, 40), horzIn.Bitmap.Pixel(0, 215)); // mirrored
    Painted horzOut(bdHorzOut, kRed, kBlue, 2, 256);
    EXPECT_EQ(horzOut.Bitmap.Pixel(0, 0), Rgb(255, 0, 0));
    EXPECT_EQ(horzOut.Bitmap.Pixel(0, 128), Rgb(0, 0, 255));
    Painted vertIn(bdVertIn, kRed, kBlue, 256, 2);
    EXPECT_EQ(vertIn.Bitmap.Pixel(0, 0), Rgb(255, 0, 0));
    EXPECT_EQ(vertIn.Bitmap.Pixel(255, 0), Rgb(255, 0, 0));
    EXPECT_EQ(vertIn.Bitmap.Pixel(127, 0), Rgb(0, 0, 255));
    Painted vertOut(bdVertOut, kRed, kBlue, 256, 2);
    EXPECT_EQ(vertOut.Bitmap.Pixel(0, 1), Rgb(0, 0, 255));
    EXPECT_EQ(vertOut.Bitmap.Pixel(128, 1), Rgb(255, 0, 0));
}

TEST(Backdrop, SystemColoursAreTurnedIntoRGB) {
    Painted p(bdUp, clBtnFace, clWindowText, 2, 256);
    EXPECT_EQ(p.Bitmap.Pixel(0, 0), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(p.Bitmap.Pixel(0, 255), GetSysColor(COLOR_WINDOWTEXT));
}

TEST(Backdrop, ItsWindowPaintsTheGradientUnderItsLabels) {
    TOwnedPtr<TBackdrop> b(new TBackdrop(nullptr));
    b->SetAlign(alNone);
    b->SetBounds(0, 0, 64, 256);
    b->SetStartColor(kRed);
    b->SetEndColor(kBlue);
    auto* label = new TLabel(b.get());
    label->SetParent(b.get());
    label->SetBounds(0, 100, 64, 20);
    label->SetTransparent(false);
    label->SetColor(clLime);
    HWND h = reinterpret_cast<HWND>(b->HandleNeeded());
    ASSERT_NE(h, nullptr);
    ShowWindow(h, SW_SHOWNA);
    UpdateWindow(h);
    HDC dc = GetDC(h);
    COLORREF top = GetPixel(dc, 5, 0), bottom = GetPixel(dc, 5, 255), mid = GetPixel(dc, 5, 110);
    ReleaseDC(h, dc);
    EXPECT_EQ(top, Rgb(255, 0, 0));
    EXPECT_EQ(bottom, Rgb(0, 0, 255));
    EXPECT_EQ(mid, Rgb(0, 255, 0));
}

TEST(Backdrop, GrowingRepaintsTheWholeGradient) {
    // As when the main form is maximised: the bands are spread over the new
    // height, also in the part that was on screen before.
    TOwnedPtr<TWinControl> parent(new TWinControl(nullptr));
    parent->SetBounds(0, 0, 64, 512);
    auto* b = new TBackdrop(parent.get());
    b->SetAlign(alNone);
    b->SetParent(parent.get());
    b->SetBounds(0, 0, 64, 256);
    b->SetStartColor(kRed);
    b->SetEndColor(kBlue);
    HWND p = reinterpret_cast<HWND>(parent->HandleNeeded());
    HWND h = reinterpret_cast<HWND>(b->HandleNeeded());
    ASSERT_NE(h, nullptr);
    ShowWindow(p, SW_SHOWNA);
    UpdateWindow(p);
    UpdateWindow(h);
    b->SetBounds(0, 0, 64, 512);
    UpdateWindow(h);
    HDC dc = GetDC(h);
    COLORREF top = GetPixel(dc, 5, 0), oldBottom = GetPixel(dc, 5, 255), bottom = GetPixel(dc, 5, 511);
    ReleaseDC(h, dc);
    EXPECT_EQ(top, Rgb(255, 0, 0));
    EXPECT_EQ(oldBottom, Rgb(128, 0, 127)); // band 127 of 256 now, no longer the end colour
    EXPECT_EQ(bottom, Rgb(0, 0, 255));
}

TEST(Backdrop, TagMinusOneMakesTheMainBackdrop) {
    TOwnedPtr<TBackdrop> a(new TBackdrop(nullptr)), b(new TBackdrop(nullptr));
    EXPECT_EQ(TBackdrop::MainBackdrop(), nullptr);
    SetPropText(*a, "Tag", "-1");
    EXPECT_EQ(TBackdrop::MainBackdrop(), a.get());
    b->SetTag(-1);
    EXPECT_EQ(TBackdrop::MainBackdrop(), b.get());
    EXPECT_EQ(a->Tag(), 0);
    b->SetTag(3);
    EXPECT_EQ(TBackdrop::MainBackdrop(), nullptr);
    a->SetTag(-1);
    a.reset();
    EXPECT_EQ(TBackdrop::MainBackdrop(), nullptr); // no dangling main one
}

} // namespace
