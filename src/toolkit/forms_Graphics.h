// Pictures on the screen: the bitmaps, drawing and image lists that images,
// buttons and the lists of the toolkit make from a TPicture.
#pragma once
#include "toolkit/forms_Controls.h"

// A device-dependent bitmap (HBITMAP) of the picture; 0 for an empty one.
// The caller deletes it.
uintptr_t CreatePictureBitmap(const TPicture& picture);
// The colour of the bottom-left pixel: the colour a glyph or a transparent
// image leaves out. clNone for an empty picture.
TColor PictureCornerColor(const TPicture& picture);
// Draws the picture stretched into dest; transparent leaves out the pixels of
// the bottom-left pixel's colour.
void DrawPicture(TCanvas& canvas, const TPicture& picture, const TRect& dest, bool transparent);
// Number of images of width w in a strip picture (at least 1 when not empty).
int32_t PictureStripCount(const TPicture& picture, int32_t width);
// Appends images cut from a strip picture to an image list (HIMAGELIST):
// image order[i] of the strip, or every image in turn when order is empty (an
// index past the strip's end takes its first image). With masked the
// bottom-left pixel's colour is left out.
void AddPictureImages(uintptr_t list, const TPicture& picture, int32_t width, int32_t height, bool masked,
                      const std::vector<int32_t>& order = {});
// An image list (HIMAGELIST) of width x height images cut from a strip
// picture: image i of the list is image order[i] of the strip (an index past
// the strip's end takes its first image). With masked the bottom-left pixel's
// colour is left out. 0 for an empty picture; the caller destroys the list.
uintptr_t CreateImageListOfPicture(const TPicture& picture, int32_t width, int32_t height, bool masked,
                                   const std::vector<int32_t>& order);
