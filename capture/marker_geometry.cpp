// Marker ring geometry, colours and drawing.
#include "capture/marker_geometry.h"

#include <algorithm>
#include <cmath>

namespace q47::capture {

namespace {

int32_t rnd(double v) { return static_cast<int32_t>(std::lround(v)); }

// Inside the ellipse inscribed in [l, r) x [t, b), tested at the pixel's centre.
bool insideEllipse(int x, int y, int l, int t, int r, int b) {
    const double a = (r - l) / 2.0, c = (b - t) / 2.0;
    if (a <= 0 || c <= 0) return false;
    const double dx = (x + 0.5 - (l + a)) / a, dy = (y + 0.5 - (t + c)) / c;
    return dx * dx + dy * dy <= 1.0;
}

// Fills the ellipse with `fill` and draws its one-pixel outline with `pen`: a pixel of
// the ellipse that has a 4-neighbour outside it belongs to the outline.
void ellipse(RgbImage& img, int l, int t, int r, int b, uint32_t pen, uint32_t fill) {
    for (int y = std::max(t, 0); y < std::min(b, img.height); ++y) {
        uint8_t* row = img.row(y);
        for (int x = std::max(l, 0); x < std::min(r, img.width); ++x) {
            if (!insideEllipse(x, y, l, t, r, b)) continue;
            const bool edge = !insideEllipse(x - 1, y, l, t, r, b) || !insideEllipse(x + 1, y, l, t, r, b) ||
                              !insideEllipse(x, y - 1, l, t, r, b) || !insideEllipse(x, y + 1, l, t, r, b);
            const uint32_t c = edge ? pen : fill;
            row[3 * x] = static_cast<uint8_t>(c >> 16);
            row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(c);
        }
    }
}

}  // namespace

uint32_t MarkerColourFor(int selectMark) {
    switch (selectMark) {
    case 1: return kMarkerRed;
    case 2: return kMarkerGreen;
    case 3: return kMarkerBlue;
    case 4: return kMarkerBlack;
    default: return kMarkerWhite;
    }
}

uint32_t MarkerOutlineFor(uint32_t colour) { return colour == kMarkerBlack ? kMarkerWhite : kMarkerBlack; }

MonitorChoice ResolveMonitor(int selectMonitor, int monitorCount) {
    if (selectMonitor < 0 || monitorCount < selectMonitor + 1) return MonitorChoice{0, true};
    return MonitorChoice{selectMonitor, false};
}

MarkerLayout MarkerLayoutFor(int32_t left, int32_t top, int32_t width, int32_t height) {
    MarkerLayout m;
    m.size = rnd(width * 0.03 * 0.9);
    m.ringWidth = rnd(width * 0.005 * 0.9);
    m.edgeOffset = rnd(height * 0.022);
    const int32_t s = m.size, f = m.edgeOffset;
    m.windows[0] = Point{left, top + f};
    m.windows[1] = Point{left + width - s, top + f};
    m.windows[2] = Point{left + width - s, top + height - s - f};
    m.windows[3] = Point{left, top + height - s - f};
    return m;
}

RgbImage DrawMarkerRing(int32_t s, int32_t w, uint32_t colour) {
    if (s <= 0) return RgbImage{};
    RgbImage img(s, s, 0x00, 0xFF, 0xFF);  // yellow: blue 0, green 255, red 255
    const uint32_t pen = MarkerOutlineFor(colour);
    ellipse(img, 0, 0, s, s, pen, colour);
    ellipse(img, w, w, s - w, s - w, pen, kMarkerYellow);
    return img;
}

std::vector<uint8_t> MarkerRingShape(const RgbImage& ring) {
    std::vector<uint8_t> shape(static_cast<size_t>(ring.width) * static_cast<size_t>(ring.height));
    for (int y = 0; y < ring.height; ++y) {
        const uint8_t* p = ring.row(y);
        for (int x = 0; x < ring.width; ++x)
            shape[static_cast<size_t>(y) * ring.width + x] = !(p[3 * x] == 0 && p[3 * x + 1] == 255 && p[3 * x + 2] == 255);
    }
    return shape;
}

}  // namespace q47::capture
