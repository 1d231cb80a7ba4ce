// Placement of the screen picture on the sheet and the limits of editing it by hand.
#include "capture/composition_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace q47::capture {

namespace {

int32_t rnd(double v) { return static_cast<int32_t>(std::lround(v)); }

}  // namespace

Quad QuadFromMarkCorners(const int32_t c[8]) {
    return Quad{{c[0], c[4]}, {c[1], c[5]}, {c[2], c[6]}, {c[3], c[7]}};
}

Box BoundingBox(const Quad& q) {
    const int32_t l = std::min({q.topLeft.x, q.topRight.x, q.bottomRight.x, q.bottomLeft.x});
    const int32_t r = std::max({q.topLeft.x, q.topRight.x, q.bottomRight.x, q.bottomLeft.x});
    const int32_t t = std::min({q.topLeft.y, q.topRight.y, q.bottomRight.y, q.bottomLeft.y});
    const int32_t b = std::max({q.topLeft.y, q.topRight.y, q.bottomRight.y, q.bottomLeft.y});
    return Box{l, t, r - l, b - t};
}

Quad RelativeTo(const Quad& q, const Box& box) {
    auto rel = [&](Point p) { return Point{p.x - box.left, p.y - box.top}; };
    return Quad{rel(q.topLeft), rel(q.topRight), rel(q.bottomRight), rel(q.bottomLeft)};
}

bool IsAxisParallelRectangle(const Quad& q) {
    return q.topLeft.y == q.topRight.y && q.bottomLeft.y == q.bottomRight.y && q.topLeft.x == q.bottomLeft.x &&
           q.topRight.x == q.bottomRight.x;
}

SheetSizing SheetSizingFor(int32_t sheetWidth) {
    if (sheetWidth < 1750) return SheetSizing{false, SheetAspect::TwoThirds};
    return SheetSizing{true, SheetAspect::Half};
}

double AspectRatio(SheetAspect aspect) { return aspect == SheetAspect::Half ? 0.5 : 2.0 / 3.0; }

Size LargestDisplay(int32_t screenWidth, int32_t screenHeight, SheetAspect aspect) {
    const double r = AspectRatio(aspect);
    const int32_t limit = screenHeight - 90;
    int32_t i = rnd((screenWidth - 20) * 0.85);
    if (rnd(i * r) <= limit) {
        while (i + 1 < screenWidth - 20 && rnd((i + 1) * r) <= limit) ++i;
    } else {
        while (i > 0 && rnd(i * r) > limit) --i;
    }
    return Size{i, rnd(r * i)};
}

Quad DefaultCorners(int32_t sheetHeight, int32_t screenWidth, int32_t screenHeight, Point o) {
    const int32_t b = rnd(sheetHeight * 0.9);
    const int32_t c = screenHeight > 0 ? rnd(static_cast<double>(b) * screenWidth / screenHeight) : b;
    return Quad{{o.x, o.y}, {o.x + c, o.y}, {o.x + c, o.y + b}, {o.x, o.y + b}};
}

bool IsPlausible(const Quad& q, int32_t layerWidth, int32_t layerHeight) {
    // As the rule stands, the left edge's slant is measured against the height, like the
    // two vertical differences; only the right edge's against the width.
    const double fifthH = layerHeight / 5.0, fifthW = layerWidth / 5.0;
    return std::abs(q.topLeft.y - q.topRight.y) <= fifthH && std::abs(q.bottomRight.y - q.bottomLeft.y) <= fifthH &&
           std::abs(q.bottomLeft.x - q.topLeft.x) <= fifthH && std::abs(q.topRight.x - q.bottomRight.x) <= fifthW;
}

Placement PlaceCaptureLayer(const int32_t mc[8], int32_t sheetHeight, int32_t screenWidth, int32_t screenHeight,
                            Point defaultOffset) {
    Placement p;
    const Quad detected = QuadFromMarkCorners(mc);
    // The layer is the screen picture warped onto the corners' box, so its size at this
    // point is that box.
    const Box box = BoundingBox(detected);
    if ((detected.topLeft.x != 0 || detected.topLeft.y != 0) && IsPlausible(detected, box.width, box.height)) {
        p.corners = detected;
        p.detected = true;
        p.layerStart = Point{std::min(detected.topLeft.x, detected.bottomLeft.x),
                             std::min(detected.topLeft.y, detected.topRight.y)};
        return p;
    }
    p.corners = DefaultCorners(sheetHeight, screenWidth, screenHeight, defaultOffset);
    p.layerStart = defaultOffset;
    return p;
}

Point CentreOnHorizontalEdge(Point l, Point r, int32_t w) {
    return Point{l.x + (r.x + w - l.x) / 2 - w / 2, l.y + (r.y - l.y) / 2};
}

Point CentreOnVerticalEdge(Point u, Point d, int32_t h) {
    return Point{u.x + (d.x - u.x) / 2, u.y + (d.y + h - u.y) / 2 - h / 2};
}

void RecentreMiddleHandles(Handles& hs, int32_t w, int32_t h) {
    hs[HTop] = CentreOnHorizontalEdge(hs[HTopLeft], hs[HTopRight], w);
    hs[HBottom] = CentreOnHorizontalEdge(hs[HBottomLeft], hs[HBottomRight], w);
    hs[HLeft] = CentreOnVerticalEdge(hs[HTopLeft], hs[HBottomLeft], h);
    hs[HRight] = CentreOnVerticalEdge(hs[HTopRight], hs[HBottomRight], h);
}

Handles HandlesForQuad(const Quad& q, int32_t w, int32_t h) {
    Handles hs{};
    hs[HTopLeft] = q.topLeft;
    hs[HTopRight] = Point{q.topRight.x - w, q.topRight.y};
    hs[HBottomRight] = Point{q.bottomRight.x - w, q.bottomRight.y - h};
    hs[HBottomLeft] = Point{q.bottomLeft.x, q.bottomLeft.y - h};
    RecentreMiddleHandles(hs, w, h);
    return hs;
}

Quad QuadFromHandles(const Handles& hs, int32_t w, int32_t h) {
    return Quad{hs[HTopLeft],
                {hs[HTopRight].x + w, hs[HTopRight].y},
                {hs[HBottomRight].x + w, hs[HBottomRight].y + h},
                {hs[HBottomLeft].x, hs[HBottomLeft].y + h}};
}

namespace {

// The handle position that puts a corner handle's outer corner at `outer`.
Point handleAt(Handle corner, Point outer, int32_t w, int32_t h) {
    switch (corner) {
    case HTopRight: return Point{outer.x - w, outer.y};
    case HBottomRight: return Point{outer.x - w, outer.y - h};
    case HBottomLeft: return Point{outer.x, outer.y - h};
    default: return outer;
    }
}

Point outerOf(const Handles& hs, Handle corner, int32_t w, int32_t h) {
    const Quad q = QuadFromHandles(hs, w, h);
    switch (corner) {
    case HTopRight: return q.topRight;
    case HBottomRight: return q.bottomRight;
    case HBottomLeft: return q.bottomLeft;
    default: return q.topLeft;
    }
}

}  // namespace

bool MoveCornerHandle(Handles& hs, Handle corner, Point to, int32_t w, int32_t h, int32_t layerWidth,
                      int32_t layerHeight) {
    if (corner != HTopLeft && corner != HTopRight && corner != HBottomRight && corner != HBottomLeft) return false;
    const Point from = outerOf(hs, corner, w, h);
    if (from == to) return false;
    // Width and height before the move: from the dragged corner to the far edge of its
    // horizontal and vertical neighbour, which are the outline's outer corners.
    const Handle hNeighbour = corner == HTopLeft ? HTopRight
                              : corner == HTopRight ? HTopLeft
                              : corner == HBottomRight ? HBottomLeft
                                                       : HBottomRight;
    const Handle vNeighbour = corner == HTopLeft ? HBottomLeft
                              : corner == HTopRight ? HBottomRight
                              : corner == HBottomRight ? HTopRight
                                                       : HTopLeft;
    const int32_t width = std::abs(outerOf(hs, hNeighbour, w, h).x - from.x);
    const int32_t height = std::abs(outerOf(hs, vNeighbour, w, h).y - from.y);
    if (std::abs(to.x - from.x) > 0.2 * width || std::abs(to.y - from.y) > 0.2 * height) return false;

    Handles moved = hs;
    moved[corner] = handleAt(corner, to, w, h);
    if (!IsPlausible(QuadFromHandles(moved, w, h), layerWidth, layerHeight)) return false;
    RecentreMiddleHandles(moved, w, h);
    hs = moved;
    return true;
}

bool MoveEdgeHandle(Handles& hs, Handle edge, Point to, int32_t w, int32_t h, double scale,
                    int32_t composedWidth, int32_t composedHeight) {
    Handles moved = hs;
    double extent = 0, composed = 0;
    switch (edge) {
    case HTop:
        moved[HTopLeft].y = moved[HTopRight].y = to.y;
        extent = std::max(moved[HBottomLeft].y, moved[HBottomRight].y) + h - to.y;
        composed = composedHeight;
        break;
    case HBottom:
        moved[HBottomLeft].y = moved[HBottomRight].y = to.y;
        extent = to.y + h - std::min(moved[HTopLeft].y, moved[HTopRight].y);
        composed = composedHeight;
        break;
    case HLeft:
        moved[HTopLeft].x = moved[HBottomLeft].x = to.x;
        extent = std::max(moved[HTopRight].x, moved[HBottomRight].x) + w - to.x;
        composed = composedWidth;
        break;
    case HRight:
        moved[HTopRight].x = moved[HBottomRight].x = to.x;
        extent = to.x + w - std::min(moved[HTopLeft].x, moved[HBottomLeft].x);
        composed = composedWidth;
        break;
    default: return false;
    }
    RecentreMiddleHandles(moved, w, h);
    if (moved == hs) return false;
    const double inPicture = extent * scale;
    if (inPicture < 0.75 * composed || inPicture > 1.25 * composed) return false;
    hs = moved;
    return true;
}

Point LayerStartAfterMove(const Handles& hs, Handle moved, Point start) {
    if (moved == HTopLeft || moved == HBottomLeft || moved == HLeft)
        start.x = std::min(hs[HTopLeft].x, hs[HBottomLeft].x);
    if (moved == HTopLeft || moved == HTopRight) start.y = std::min(hs[HTopLeft].y, hs[HTopRight].y);
    if (moved == HTop) start.y = hs[HTopLeft].y;
    return start;
}

Point KeepInsideVisible(Point p, Size layer, Size visible) {
    if (p.x < 0) p.x = 0;
    if (p.y < 0) p.y = 0;
    if (p.x + layer.width > visible.width) p.x = visible.width - layer.width + 2;
    if (p.y + layer.height > visible.height) p.y = visible.height - layer.height + 2;
    return p;
}

CaptureFilter CaptureFilterFor(const AppSettings& s, int32_t screenWidth, int32_t screenHeight) {
    const bool large = screenWidth >= 1024 && screenHeight >= 768;
    const int32_t* k = large ? s.Filter : s.FilterL;
    CaptureFilter f;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) f.matrix[(3 + r) * 9 + 3 + c] = k[r * 3 + c];
    f.divisor = large ? s.FilterDiv : s.FilterLDiv;
    return f;
}

}  // namespace q47::capture
