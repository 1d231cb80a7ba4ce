// Where the screen picture goes on the sheet, and the rules for reshaping it by hand.
//
// Coordinates are picture pixels of the sheet (the display's image), x to the right and
// y down. The image window keeps the corners and the eight handle positions; these
// functions answer what a press, drag or release may do and where things go.
#pragma once

#include <array>
#include <cstdint>

#include "capture/settings.h"

namespace q47::capture {

struct Point {
    int32_t x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

// The four corners of the laid-in screen picture.
struct Quad {
    Point topLeft, topRight, bottomRight, bottomLeft;
    bool operator==(const Quad&) const = default;
};

struct Box {
    int32_t left = 0, top = 0, width = 0, height = 0;
};

// The corners as detection reports them (MarkDetection::MarkCorners order).
Quad QuadFromMarkCorners(const int32_t corners[8]);
// The smallest axis-parallel box holding the four corners (right and bottom exclusive:
// width = max x - min x, as the warp measures it).
Box BoundingBox(const Quad& q);
// The corners relative to the box's top-left.
Quad RelativeTo(const Quad& q, const Box& box);
bool IsAxisParallelRectangle(const Quad& q);

// Sheet aspect: sheets 1750 pixels wide or wider are "large" and start at 1:2; smaller
// ones are 2:3 and cannot switch.
enum class SheetAspect { TwoThirds, Half };
struct SheetSizing {
    bool largeSheet = false;
    SheetAspect aspect = SheetAspect::TwoThirds;
};
SheetSizing SheetSizingFor(int32_t sheetWidth);
// The ratio height / width of an aspect (2/3 or 1/2).
double AspectRatio(SheetAspect aspect);
// The largest display for a screen: i by rnd(r * i), grown or shrunk from
// rnd((screenWidth - 20) * 0.85) so that it fits screenHeight - 90.
struct Size {
    int32_t width = 0, height = 0;
};
Size LargestDisplay(int32_t screenWidth, int32_t screenHeight, SheetAspect aspect);

// Default corners when detection found nothing: b = rnd(0.9 * sheet height) tall,
// c = rnd(b * screen width / screen height) wide, with the top-left at `offset`.
Quad DefaultCorners(int32_t sheetHeight, int32_t screenWidth, int32_t screenHeight, Point offset);

// The plausibility test: none of |top-left y - top-right y|, |bottom-right y - bottom-left y|
// and |bottom-left x - top-left x| may exceed a fifth of layerHeight, nor
// |top-right x - bottom-right x| a fifth of layerWidth.
bool IsPlausible(const Quad& q, int32_t layerWidth, int32_t layerHeight);

// Placement at composition: detected corners (top-left x or y non-zero) that pass the
// plausibility test against their own bounding box are used and the layer starts at
// (smaller left x, smaller top y); otherwise the default corners at `defaultOffset`
// (10 % of the display's width and height) and the layer starts there.
struct Placement {
    Quad corners;
    Point layerStart;
    bool detected = false;
};
Placement PlaceCaptureLayer(const int32_t markCorners[8], int32_t sheetHeight, int32_t screenWidth,
                            int32_t screenHeight, Point defaultOffset);

// Handles: layer 2 top-left corner, 3 top edge, 4 top-right corner, 5 right edge,
// 6 bottom-right corner, 7 bottom edge, 8 bottom-left corner, 9 left edge. Positions are
// the top-left of each handle picture (w by h).
enum Handle { HTopLeft = 0, HTop, HTopRight, HRight, HBottomRight, HBottom, HBottomLeft, HLeft };
using Handles = std::array<Point, 8>;
// Corner handles with their outer corner on the corner, middle handles re-centred.
Handles HandlesForQuad(const Quad& q, int32_t w, int32_t h);
// The outline through the outer corners of the four corner handles.
Quad QuadFromHandles(const Handles& handles, int32_t w, int32_t h);
// Re-centring of a middle handle: top or bottom edge between its left corner handle
// (a, c) and right one (b, d); left or right edge between its upper (a, c) and lower
// (b, d) corner handle. Halves are truncated toward zero.
Point CentreOnHorizontalEdge(Point left, Point right, int32_t w);
Point CentreOnVerticalEdge(Point upper, Point lower, int32_t h);
void RecentreMiddleHandles(Handles& handles, int32_t w, int32_t h);

// A corner handle released at `to`: refused (false, nothing changes) when the outline
// with the new corner fails the plausibility test against layerWidth/Height, or when
// the move exceeds a fifth of the outline's width or height measured before it (from
// the dragged handle to the far edge of its horizontal, respectively vertical,
// neighbour). Otherwise the handle goes to `to` with its outer corner, the two adjacent
// middle handles are re-centred, and true is returned: re-warp.
bool MoveCornerHandle(Handles& handles, Handle corner, Point to, int32_t w, int32_t h,
                      int32_t layerWidth, int32_t layerHeight);
// An edge handle released at `to`: the edge (its two corners and its middle handle)
// moves to the released x (left/right) or y (top/bottom), provided the outline's new
// width or height, times `scale` (display to picture pixels), stays within 0.75 .. 1.25
// times the layer's size at composition (limits included). The neighbouring middle
// handles are re-centred. False: nothing changed.
bool MoveEdgeHandle(Handles& handles, Handle edge, Point to, int32_t w, int32_t h, double scale,
                    int32_t composedWidth, int32_t composedHeight);

// The capture layer's start after a re-warp: left follows the smaller x of the left
// corner handles when a left corner or the left edge moved; top follows the smaller y of
// the top corner handles when a top corner moved, or the top edge's y when it moved.
Point LayerStartAfterMove(const Handles& handles, Handle moved, Point oldStart);

// Keeps a layer of the given size inside the visible area: not left of or above 0, and
// when it would pass the right or bottom edge it goes to edge - size + 2.
Point KeepInsideVisible(Point start, Size layer, Size visible);

// The 9 by 9 smoothing matrix (rows of 9, zero except its centre 3 by 3) and divisor:
// Filter0..8/FilterDiv for a screen picture of at least 1024 by 768, else
// FilterL0..8/FilterLDiv.
struct CaptureFilter {
    std::array<int32_t, 81> matrix{};
    int32_t divisor = 1;
};
CaptureFilter CaptureFilterFor(const AppSettings& settings, int32_t screenWidth, int32_t screenHeight);

}  // namespace q47::capture
