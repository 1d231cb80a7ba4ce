// Drawing synthetic sheets for the capture tests: white paper with coloured marks.
#pragma once

#include <cstdint>

#include "capture/rgb_image.h"

namespace q47::capture::testing {

struct Rgb {
    uint8_t r, g, b;
};
constexpr Rgb kRed{230, 30, 40}, kGreen{20, 220, 30}, kBlue{30, 40, 230}, kBlack{20, 20, 20};

inline void put(RgbImage& img, int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= img.width || y >= img.height) return;
    uint8_t* p = img.row(y) + 3 * x;
    p[0] = c.b, p[1] = c.g, p[2] = c.r;
}

inline Rgb pixel(const RgbImage& img, int x, int y) {
    const uint8_t* p = img.row(y) + 3 * x;
    return Rgb{p[2], p[1], p[0]};
}

// A filled rectangle of w by h pixels with its top-left at (x, y).
inline void rect(RgbImage& img, int x, int y, int w, int h, Rgb c) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) put(img, i, j, c);
}

// A filled disc of the given diameter whose bounding square starts at (x, y).
inline void disc(RgbImage& img, int x, int y, int diameter, Rgb c) {
    const double r = diameter / 2.0;
    for (int j = 0; j < diameter; ++j)
        for (int i = 0; i < diameter; ++i) {
            const double dx = i + 0.5 - r, dy = j + 0.5 - r;
            if (dx * dx + dy * dy <= r * r) put(img, x + i, y + j, c);
        }
}

// A drawn circle (ring of `thickness` pixels), as a user marks a ring with a pen.
inline void circle(RgbImage& img, int x, int y, int diameter, int thickness, Rgb c) {
    const double r = diameter / 2.0, inner = r - thickness;
    for (int j = 0; j < diameter; ++j)
        for (int i = 0; i < diameter; ++i) {
            const double dx = i + 0.5 - r, dy = j + 0.5 - r, d2 = dx * dx + dy * dy;
            if (d2 <= r * r && d2 >= inner * inner) put(img, x + i, y + j, c);
        }
}

}  // namespace q47::capture::testing
