// Display geometry: modes, conversions, hit test, scrolling and wheel steps.
#include "imaging/display_geometry.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace q47::disp {
namespace {

// Ceiling division for a positive divisor and a dividend of either sign.
int64_t ceilDiv(int64_t a, int64_t b) {
    return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}

// Sizes never grow beyond this, whatever scale a caller sets.
constexpr double kMaxExtent = 1 << 30;

// trunc() of a product that should land on an integer: a hair of tolerance keeps
// 1000 x 0.9 from becoming 899 through binary rounding; saturated so that an absurd
// scale cannot overflow.
int saturated(double v) {
    if (!(v < kMaxExtent)) return static_cast<int>(kMaxExtent);
    if (v < -kMaxExtent) return -static_cast<int>(kMaxExtent);
    return static_cast<int>(v);
}
int truncScaled(double v) {
    return saturated(std::floor(v + 1e-9));
}

int clampToInt(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Drawn extent of the visible part: screen pixels r >= 0 whose image pixel
// origin + r * size / full is still inside the image, at most the area's extent.
int visibleExtent(int origin, int size, int full, int area) {
    return static_cast<int>(std::min<int64_t>(area, ceilDiv(int64_t(size - origin) * full, size)));
}

}  // namespace

int DispGeometry::clientToImageX(int x) const {
    return ALeft + static_cast<int>(int64_t(x - OriginX) * imageWidth / fullWidth);
}
int DispGeometry::clientToImageY(int y) const {
    return ATop + static_cast<int>(int64_t(y - OriginY) * imageHeight / fullHeight);
}
int DispGeometry::imageToClientX(int X) const {
    return OriginX + static_cast<int>(ceilDiv(int64_t(X - ALeft) * fullWidth, imageWidth));
}
int DispGeometry::imageToClientY(int Y) const {
    return OriginY + static_cast<int>(ceilDiv(int64_t(Y - ATop) * fullHeight, imageHeight));
}

void ComputeArea(const DispInput& in, DispGeometry* g) {
    g->areaLeft = 0;
    g->areaTop = 0;
    g->areaRight = in.clientWidth - 1;
    g->areaBottom = in.clientHeight - 1;
    if (in.rulers) g->areaLeft = g->areaTop = kRulerBand;
    if (in.border) {
        const int inset = in.appearance == vikFlat ? 1 : 2;
        g->areaLeft += inset;
        g->areaTop += inset;
        g->areaRight -= inset;
        g->areaBottom -= inset;
    }
}

DispGeometry ComputeGeometry(const DispInput& in) {
    DispGeometry g;
    ComputeArea(in, &g);
    const int W = in.imageWidth, H = in.imageHeight;
    g.imageWidth = W;
    g.imageHeight = H;
    const int AW = g.areaWidth(), AH = g.areaHeight();
    if (in.mode == vikClear || W <= 0 || H <= 0 || AW < 2 || AH < 2) return g;

    int ox = 0, oy = 0;  // first visible image pixel
    switch (in.mode) {
        case vikScale: {
            const double f = std::min(AW < W ? double(AW) / W : 1.0, AH < H ? double(AH) / H : 1.0);
            g.fullWidth = std::clamp(truncScaled(W * f), 1, AW);
            g.fullHeight = std::clamp(truncScaled(H * f), 1, AH);
            g.OriginX = g.areaLeft + (AW - g.fullWidth) / 2;
            g.OriginY = g.areaTop + (AH - g.fullHeight) / 2;
            g.visibleWidth = W;
            g.visibleHeight = H;
            break;
        }
        case vikStretch:
            g.fullWidth = AW;
            g.fullHeight = AH;
            g.OriginX = g.areaLeft;
            g.OriginY = g.areaTop;
            g.visibleWidth = W;
            g.visibleHeight = H;
            break;
        default: {  // vikActualSize
            const double s = in.dispScale > 0 ? in.dispScale : 1.0;
            g.fullWidth = std::max(1, truncScaled(W * s));
            g.fullHeight = std::max(1, truncScaled(H * s));
            g.visibleWidth = std::max(1, truncScaled(AW / s));
            g.visibleHeight = std::max(1, truncScaled(AH / s));
            ox = in.startX;
            oy = in.startY;
            if (in.centerX > 0)
                ox = in.centerX - saturated((g.areaRight - g.areaLeft) * 0.5 / s + 0.5);
            if (in.centerY > 0)
                oy = in.centerY - saturated((g.areaBottom - g.areaTop) * 0.5 / s + 0.5);
            ox = std::max(0, std::min(ox, W - g.visibleWidth));
            oy = std::max(0, std::min(oy, H - g.visibleHeight));
            g.OriginX = g.areaLeft + (g.fullWidth < AW ? (AW - g.fullWidth) / 2 : 0);
            g.OriginY = g.areaTop + (g.fullHeight < AH ? (AH - g.fullHeight) / 2 : 0);
            break;
        }
    }
    g.drawnWidth = std::max(1, visibleExtent(ox, W, g.fullWidth, AW));
    g.drawnHeight = std::max(1, visibleExtent(oy, H, g.fullHeight, AH));
    g.ALeft = ox;
    g.ATop = oy;
    // The visible part: what the area holds (a reduction may skip the very last pixel on
    // screen, it is still in view), and a pixel cut by the area's edge, which clicks reach.
    g.ARight = std::min(
        W - 1, std::max(ox + g.visibleWidth - 1, g.clientToImageX(g.OriginX + g.drawnWidth - 1)));
    g.ABottom = std::min(
        H - 1, std::max(oy + g.visibleHeight - 1, g.clientToImageY(g.OriginY + g.drawnHeight - 1)));
    g.drawn = true;
    return g;
}

DispGeometry ComputeGeometryWithBars(DispInput in, bool scrollBar, int barThickness) {
    if (!scrollBar || in.mode != vikActualSize) return ComputeGeometry(in);
    const double s = in.dispScale > 0 ? in.dispScale : 1.0;
    bool h = false, v = false;
    DispGeometry g;
    // A bar taking room can make the other one necessary; two rounds settle it.
    for (int round = 0; round < 3; ++round) {
        DispInput t = in;
        if (h) t.clientHeight -= barThickness;
        if (v) t.clientWidth -= barThickness;
        g = ComputeGeometry(t);
        const bool needH = saturated(in.imageWidth * s + 0.5) > g.areaWidth();
        const bool needV = saturated(in.imageHeight * s + 0.5) > g.areaHeight();
        if ((needH || h) == h && (needV || v) == v) break;
        h = h || needH;
        v = v || needV;
    }
    g.hbar = {h && g.drawn, in.imageWidth - 1, g.visibleWidth, g.ALeft};
    g.vbar = {v && g.drawn, in.imageHeight - 1, g.visibleHeight, g.ATop};
    return g;
}

std::optional<ZoomTarget> ComputeZoom(int W, int H, int AW, int AH, int left, int top, int right,
                                      int bottom) {
    if (left < 0 || top < 0 || right >= W || bottom >= H || right <= left || bottom <= top)
        return std::nullopt;
    ZoomTarget z;
    z.centerX = static_cast<int>((left + right) / 2.0 + 0.5);
    z.centerY = static_cast<int>((top + bottom) / 2.0 + 0.5);
    z.scale = std::min(double(AH) / (bottom - top), double(AW) / (right - left));
    return z;
}

void ScrollOrigin(TVIkScrollDir dir, int sw, int sh, int* x, int* y) {
    int64_t dx = 0, dy = 0;
    const int64_t w = sw, h = sh;
    switch (dir) {
        case vikScrollUp:
            dy = -h;
            break;
        case vikScrollDown:
            dy = h;
            break;
        case vikScrollLeft:
            dx = -w;
            break;
        case vikScrollRight:
            dx = w;
            break;
        case vikScrollUpLeft:
            dy = -h, dx = -w;
            break;
        case vikScrollUpRight:
            dy = -h, dx = w;
            break;
        case vikScrollDownLeft:
            dy = h, dx = -w;
            break;
        case vikScrollDownRight:
            dy = h, dx = w;
            break;
    }
    *x = clampToInt(*x + dx);
    *y = clampToInt(*y + dy);
}

int ScrollBarOrigin(TScrollCode code, int origin, int step, int page, int max, int thumb) {
    switch (code) {
        case scLineUp:
            return clampToInt(int64_t(origin) - step);
        case scLineDown:
            return clampToInt(int64_t(origin) + step);
        case scPageUp:
            return clampToInt(int64_t(origin) - page);
        case scPageDown:
            return clampToInt(int64_t(origin) + page);
        case scPosition:
        case scTrack:
            return thumb;
        case scTop:
            return 0;
        case scBottom:
            return max;
        case scEndScroll:
            break;
    }
    return origin;
}

std::optional<LayerHit> HitTestLayers(const LayerBox* layers, int count, int X, int Y) {
    for (int i = count - 1; i >= 0; --i) {
        const LayerBox& l = layers[i];
        if (!l.active) continue;
        const int64_t dx = int64_t(X) - l.startX, dy = int64_t(Y) - l.startY;
        if (dx >= 0 && dx <= l.width && dy >= 0 && dy <= l.height)
            return LayerHit{i, static_cast<int>(dx), static_cast<int>(dy)};
    }
    return std::nullopt;
}

int WheelAccumulator::feed(int delta, int wheelLines) {
    if (wheelLines <= 0) return 0;
    const int step = std::max(1, 120 / wheelLines);
    accumulated_ += delta;
    const int steps = accumulated_ / step;
    accumulated_ -= steps * step;
    return steps;
}

}  // namespace q47::disp
