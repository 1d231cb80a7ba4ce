// Geometry kernels: cutting a rectangle, quarter turns, free rotation, layering, areas.
#pragma once

#include <vector>

#include "imaging/engine/kernels/dib_image.h"
#include "imaging/engine/kernels/progress.h"

namespace q47::ik {

// The part [left, right) x [top, bottom) clipped to the picture; empty if nothing is left.
DibImage cutRect(const DibImage& src, int left, int top, int right, int bottom);

// Rotation counter-clockwise by angle/100 degrees. Multiples of 90 degrees are exact
// pixel moves at any depth; other angles turn a 24-bit or grey picture (others expanded
// to 24 bits) about its centre, on a canvas enlarged to hold it all when `enlarge`, with
// bilinear sampling when `smooth`, and the background colour (B, G, R) outside.
DibImage rotate(const DibImage& src, int angleHundredths, bool smooth, bool enlarge,
                const uint8_t background[3], ProgressSink* progress = nullptr);

// Lays `top` over `base` at (x, y): result is 24 bits, the size of base. Pixels of top
// whose colour lies in [low, high] per channel (when useTransparent) let base show;
// the rest are mixed at opacity/255 (255 = opaque; 0 is taken as opaque, as callers
// that pass no opacity expect the picture to show).
struct LayerOptions {
    int x = 0, y = 0;
    int opacity = 255;
    bool useTransparent = false;
    uint8_t low[3] = {0, 0, 0};   // B, G, R
    uint8_t high[3] = {0, 0, 0};  // B, G, R
};
DibImage layer(const DibImage& base, const DibImage& top, const LayerOptions& options,
               ProgressSink* progress = nullptr);

// Which pixels an area-selecting filter changes: for each row, a byte per pixel (1 =
// take the filtered pixel). Built from an ellipse inside a rectangle, a polygon (even-odd
// rule) or a mask picture (non-black pixels), inverted for "outside".
std::vector<uint8_t> ellipseArea(int width, int height, int left, int top, int right, int bottom);
std::vector<uint8_t> polygonArea(int width, int height, const int* xy, int points);
std::vector<uint8_t> maskArea(const DibImage& mask, int width, int height);
// Blends filtered into original by the area (same size; filtered may have more bits).
DibImage applyArea(const DibImage& original, const DibImage& filtered,
                   const std::vector<uint8_t>& area, bool invert);

}  // namespace q47::ik
