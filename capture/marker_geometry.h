// The marker rings: their size, colours, placement on the projector monitor, and the
// drawing of one ring (shared by the marker windows and the tests).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "capture/composition_geometry.h"
#include "capture/rgb_image.h"

namespace q47::capture {

// 0xBBGGRR colours of the rings.
constexpr uint32_t kMarkerYellow = 0x00FFFF;  // the see-through key colour around a ring
constexpr uint32_t kMarkerWhite = 0xFFFFFF;
constexpr uint32_t kMarkerBlack = 0x000000;
constexpr uint32_t kMarkerRed = 0x0000FF;
constexpr uint32_t kMarkerGreen = 0x00FF00;
constexpr uint32_t kMarkerBlue = 0xFF0000;

// Ring colour for SelectMark: 0 white (no colour), 1 red, 2 green, 3 blue, 4 black;
// other values give white.
uint32_t MarkerColourFor(int selectMark);
// Outline of a ring: white around a black ring, black around every other colour.
uint32_t MarkerOutlineFor(uint32_t colour);

// SelectMonitor checked against the number of monitors: an index that is not less than
// the count falls back to 0 (and `reset` says the setting must become 0).
struct MonitorChoice {
    int index = 0;
    bool reset = false;
};
MonitorChoice ResolveMonitor(int selectMonitor, int monitorCount);

// The four windows on a monitor (left, top, width W, height H): ring size
// s = rnd(W * 0.03 * 0.9), ring width w = rnd(W * 0.005 * 0.9), each window s by s, placed
// in the order top-left, top-right, bottom-right, bottom-left with f = rnd(H * 0.022)
// between the rings and the monitor's top and bottom edges.
struct MarkerLayout {
    int32_t size = 0, ringWidth = 0, edgeOffset = 0;
    std::array<Point, 4> windows{};
};
MarkerLayout MarkerLayoutFor(int32_t left, int32_t top, int32_t width, int32_t height);

// One ring, s by s: yellow background, outer ellipse (0, 0, s, s) filled with the colour
// and outlined one pixel wide, inner ellipse (w, w, s - w, s - w) filled yellow with the
// same outline. Ellipse bounds exclude the right and bottom edge, as a GDI ellipse does.
RgbImage DrawMarkerRing(int32_t size, int32_t ringWidth, uint32_t colour);
// The see-through shape of a ring picture: 1 where it is not yellow, one byte a pixel.
std::vector<uint8_t> MarkerRingShape(const RgbImage& ring);

}  // namespace q47::capture
